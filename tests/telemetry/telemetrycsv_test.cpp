// A clip's telemetry as CSV: every row against what the G-sensor graph pane's panel shows for the
// same frame, and pellister-cli csv on a clip made with the ffmpeg command (the frames the media
// engine measures, the units, the day's track, and a file that goes into place whole or not at all).
#include "telemetry/telemetrycsv.h"

#include "catalogue/corvanadoc.h"
#include "fixtures/clipmaker.h"
#include "fixtures/testfiles.h"
#include "qstringprint.h"
#include "telemetry/accelsensorgraphview.h"
#include "telemetry/graphgeometry.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

namespace {

QApplication *App()
{
    static int argc = 1;
    static char name[] = "telemetrycsv_test";
    static char *argv[] = {name, nullptr};
    static QApplication *app = new QApplication(argc, argv);
    return app;
}

constexpr int64_t kFrameTime = 1000000; // 10 fps
constexpr int64_t kFrames = 30;         // 3 s

// Sync at 08:30:15.250. Samples in frames 0 and 10 (a second one in frame 0 is not its sample);
// a northern-eastern fix at 15.500 (frames 0 to 2) and a southern-western one at 17.000 (frames 8
// to 17); frames 3 to 7 and from 18 on have no fix.
const QStringList kDataLines = {
    "$SYNCTIME,083015.250,130512,",
    "$ACCELERATOR,083015.260,130512,0.02,-0.98,0.11,",
    "$ACCELERATOR,083015.270,130512,0.40,-1.20,0.10,",
    "$ACCELERATOR,083016.250,130512,-0.50,-0.90,0.30,",
    "$GPRMC,083015.500,A,3733.1234,N,12658.5678,E,21.5,87.3,120513,,",
    "$GPRMC,083017.000,A,3733.1234,S,12658.5678,W,10.0,304.0,120513,,",
};

QList<QByteArray> Lines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll().split('\n');
}

QByteArray Bytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class TelemetryCsv : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(testfiles::Write(dir.filePath("REC_0001.avi"), "clip"));
        ASSERT_TRUE(testfiles::WriteLines(dir.filePath("data/REC_0001.dat"), kDataLines));
        doc.SetFolder(dir.path());
        doc.LoadFolder();
        ASSERT_EQ(doc.Count(), 1);
        doc.SetCurrentIndex(0);
        doc.SetLastPosition(kFrames);
        doc.SetFrameTime(kFrameTime);
        doc.SetDuration(kFrames * kFrameTime);
    }

    // The CSV of the recording, as lines (the header first, then one per frame).
    QList<QByteArray> Csv(SpeedUnit unit)
    {
        const QString path = dir.filePath(QStringLiteral("out.csv"));
        QString why;
        EXPECT_TRUE(WriteTelemetryCsv(path, doc.RecordRef(0), kFrameTime, kFrames, unit, &why)) << why.toStdString();
        QList<QByteArray> lines = Lines(path);
        EXPECT_EQ(lines.size(), kFrames + 2);
        EXPECT_EQ(lines.value(0), kTelemetryCsvHeader);
        EXPECT_EQ(lines.value(kFrames + 1), "") << "the last row ends its line";
        return lines;
    }

    QTemporaryDir dir;
    CCorvanaDoc doc;
};

TEST_F(TelemetryCsv, EveryRowReadsWhatThePanelShowsForItsFrame)
{
    CAccelSensorGraphView view(&doc);
    view.resize(400, 220);
    view.OnInitialUpdate();
    view.RebuildGraph();
    const QList<QByteArray> lines = Csv(SpeedUnit::Kmh);
    int withSample = 0, withFix = 0;
    for (int64_t f = 0; f < kFrames; ++f) {
        SCOPED_TRACE(f);
        doc.SetCurrentPosition(f);
        const tagACCELFRAMEPARTS parts = view.FrameParts();
        const QStringList cells = QString::fromLatin1(lines.value(f + 1)).split(',');
        ASSERT_EQ(cells.size(), 9);
        EXPECT_EQ(cells[0], QString::number(f));
        EXPECT_EQ(cells[1], parts.strClock);
        for (int a = 0; a < 3; ++a)
            EXPECT_EQ(cells[6 + a], parts.bValues ? GraphValueText(parts.fValues[a]) : QString());
        withSample += parts.bValues;
        // Speed and heading: the panel's fix. Its "39 Km/h" is the recorder's truncation of the
        // knots; the cell's number is the same speed with its tenth.
        const bool fix = !parts.strSpeed.isEmpty();
        withFix += fix;
        for (int c = 2; c <= 5; ++c)
            EXPECT_EQ(cells[c].isEmpty(), !fix) << c;
        if (fix) {
            EXPECT_EQ(parts.strSpeed, QStringLiteral("%1 Km/h").arg(std::floor(cells[4].toDouble())));
            EXPECT_TRUE(parts.strDirection.endsWith(QLatin1Char('(') + cells[5] + QStringLiteral("°)")))
                << parts.strDirection.toStdString();
        }
    }
    EXPECT_EQ(withSample, 2);
    EXPECT_EQ(withFix, 13);
}

TEST_F(TelemetryCsv, NumbersInTheChosenUnitsAndEmptyCellsWithoutData)
{
    const struct {
        int frame;
        const char *kmh;
        const char *mph;
    } cases[] = {
        {0, "0,08:30:15.250,37.552057,126.976130,39.8,87.00,+0.02,-0.98,+0.11",
         "0,08:30:15.250,37.552057,126.976130,24.7,87.00,+0.02,-0.98,+0.11"},
        {5, "5,08:30:15.750,,,,,,,", "5,08:30:15.750,,,,,,,"},
        {10, "10,08:30:16.250,-37.552057,-126.976130,18.5,304.00,-0.50,-0.90,+0.30",
         "10,08:30:16.250,-37.552057,-126.976130,11.5,304.00,-0.50,-0.90,+0.30"},
        {29, "29,08:30:18.150,,,,,,,", "29,08:30:18.150,,,,,,,"},
    };
    const QList<QByteArray> kmh = Csv(SpeedUnit::Kmh);
    const QList<QByteArray> mph = Csv(SpeedUnit::Mph);
    for (const auto &c : cases) {
        EXPECT_EQ(kmh.value(c.frame + 1), c.kmh);
        EXPECT_EQ(mph.value(c.frame + 1), c.mph);
    }

    // A recording without a data file: every frame has its number and nothing else.
    tagDATAFILEINFO none;
    QString why;
    ASSERT_TRUE(WriteTelemetryCsv(dir.filePath("none.csv"), none, kFrameTime, 3, SpeedUnit::Kmh, &why));
    EXPECT_EQ(Bytes(dir.filePath("none.csv")), QByteArray(kTelemetryCsvHeader) + "\n0,,,,,,,,\n1,,,,,,,,\n2,,,,,,,,\n");
}

// pellister-cli csv on a real clip of 30 frames at 10 fps.
class CsvCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Clip names and the day's track are read in UTC here and in the program alike.
        qputenv("TZ", "UTC");
        tzset();
        ASSERT_TRUE(folder.isValid() && outDir.isValid());
        clip = clipmaker::Make(folder.path(), QStringLiteral("REC_0001.mp4"),
                               {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=3", "-c:v", "libx264",
                                "-pix_fmt", "yuv420p", "-g", "10", "-threads", "1"});
        ASSERT_FALSE(clip.isEmpty());
        dataFile = folder.filePath("data/REC_0001.dat");
        ASSERT_TRUE(testfiles::WriteLines(dataFile, kDataLines));
        out = outDir.filePath("out.csv");
    }

    testfiles::RunResult Cli(const QStringList &args, const QString &shellPrefix = QString())
    {
        const QString cli = testfiles::BinaryDir() + QStringLiteral("/PC_viewer/cli/pellister-cli");
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TZ", "UTC");
        p.setProcessEnvironment(env);
        if (shellPrefix.isEmpty()) {
            p.start(cli, QStringList{"csv"} + args);
        } else {
            QString command = shellPrefix + QStringLiteral("; exec '%1' csv").arg(cli);
            for (const QString &a : args)
                command += QStringLiteral(" '%1'").arg(a);
            p.start("bash", {"-c", command});
        }
        testfiles::RunResult r;
        if (!p.waitForStarted(10000) || !p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished(5000);
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }

    // What the core writes for the clip's record over the frames the recipe made.
    QByteArray Expected(SpeedUnit unit)
    {
        const QString path = outDir.filePath("expected.csv");
        QString why;
        EXPECT_TRUE(WriteTelemetryCsv(path, CCorvanaDoc::RecordOfClip(clip), kFrameTime, kFrames, unit, &why));
        const QByteArray bytes = Bytes(path);
        QFile::remove(path);
        return bytes;
    }

    QTemporaryDir folder;
    QTemporaryDir outDir;
    QString clip;
    QString dataFile;
    QString out;
};

TEST_F(CsvCommand, WritesEveryFrameOfTheClipInPlaceOfAnOlderFile)
{
    ASSERT_TRUE(testfiles::Write(out, "an older file"));
    auto r = Cli({clip, out});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out, "file=" + out.toUtf8() + "\nframes=30\n");
    const QByteArray kmh = Bytes(out);
    EXPECT_EQ(kmh, Expected(SpeedUnit::Kmh));
    EXPECT_GT(kmh.size(), 1024) << "more than the file-size limit below lets through";
    EXPECT_TRUE(kmh.contains("\n10,08:30:16.250,-37.552057,-126.976130,18.5,304.00,-0.50,-0.90,+0.30\n"));

    r = Cli({"--units", "mph", clip, out});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(Bytes(out), Expected(SpeedUnit::Mph));
    EXPECT_EQ(QDir(outDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.csv"});

    // A clip with no telemetry of its own takes the day's track given with --track.
    const QString named = folder.filePath("d_20130512_102000.mp4");
    ASSERT_TRUE(QFile::copy(clip, named));
    const QString track = folder.filePath("day.gpx");
    ASSERT_TRUE(testfiles::Write(track, "<gpx><trk><trkseg><trkpt lat=\"37.5\" lon=\"127.0\">"
                                        "<time>2013-05-12T10:20:00.500Z</time></trkpt></trkseg></trk></gpx>"));
    r = Cli({named, out});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(Lines(out).value(1).startsWith("0,,,,")) << Lines(out).value(1).constData();
    r = Cli({named, out, "--track", track});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(Lines(out).value(1).startsWith("0,10:20:00.000,37.500000,127.000000,"))
        << Lines(out).value(1).constData();
}

TEST_F(CsvCommand, FailuresLeaveNoFileAndTouchNoRecording)
{
    ASSERT_TRUE(QDir(outDir.path()).mkdir("sub"));
    const QByteArray clipBytes = Bytes(clip);
    const QByteArray dataBytes = Bytes(dataFile);
    const struct {
        QStringList args;
        QString shellPrefix;
        int exitCode;
    } cases[] = {
        {{clip, outDir.filePath("sub")}, {}, 1},              // the target is a folder
        {{clip, outDir.filePath("missing/out.csv")}, {}, 1}, // in a folder that is not there
        {{clip, out}, "ulimit -f 1", 1},                      // a write fails half-way (a full card)
        {{folder.filePath("gone.mp4"), out}, {}, 1},
        {{clip, out, "--track", folder.filePath("gone.gpx")}, {}, 1},
        {{clip, clip}, {}, 2}, // never over the clip or its data
        {{clip, dataFile}, {}, 2},
        {{clip, out, "--units", "kph"}, {}, 2},
        {{clip, out, "--frames"}, {}, 2},
        {{clip}, {}, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE((c.shellPrefix + ' ' + c.args.join(' ')).toStdString());
        const auto r = Cli(c.args, c.shellPrefix);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.constData();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.constData();
        EXPECT_FALSE(r.err.isEmpty());
        if (!c.shellPrefix.isEmpty()) {
            EXPECT_TRUE(r.err.contains("the disk is full")) << r.err.constData();
        }
        EXPECT_EQ(QDir(outDir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{"sub"});
        EXPECT_TRUE(QDir(outDir.filePath("sub")).isEmpty());
    }
    EXPECT_TRUE(Bytes(clip) == clipBytes);
    EXPECT_EQ(Bytes(dataFile), dataBytes);
}

} // namespace
