// A clip's telemetry as CSV: every row against what the G-sensor graph pane's panel shows for the
// same frame, and pellister-cli csv on a clip made with the ffmpeg command (the frames the media
// engine measures, the units, the day's track, and a file that goes into place whole or not at all).
#include "export/telemetrycsv.h"

#include "catalogue/corvanadoc.h"
#include "fixtures/clipmaker.h"
#include "fixtures/openedrecording.h"
#include "fixtures/testfiles.h"
#include "qstringprint.h"
#include "telemetry/accelsensorgraphview.h"
#include "telemetry/graphgeometry.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int64_t kFrameTime = 1000000; // 10 fps
constexpr int64_t kFrames = 30;         // 3 s

// Sync at 08:30:15.250. Samples in frames 0 and 10 (a second one in frame 0 is not its sample);
// a northern-eastern fix at 15.500 (frames 0 to 2) and a southern-western one at 17.000 (frames 8
// to 17); frames 3 to 7 and from 18 on have no fix. 21.626 knots are 40.05 km/h (the recorder's
// factor would make it 40.04).
const QStringList kDataLines = {
    "$SYNCTIME,083015.250,130512,",
    "$ACCELERATOR,083015.260,130512,0.02,-0.98,0.11,",
    "$ACCELERATOR,083015.270,130512,0.40,-1.20,0.10,",
    "$ACCELERATOR,083016.250,130512,-0.50,-0.90,0.30,",
    "$GPRMC,083015.500,A,3733.1234,N,12658.5678,E,21.626,87.3,120513,,",
    "$GPRMC,083017.000,A,3733.1234,S,12658.5678,W,10.0,304.0,120513,,",
};

QByteArray Bytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(TelemetryCsv, EveryRowReadsWhatThePanelShowsForItsFrame)
{
    static int argc = 1;
    static char name[] = "telemetrycsv_test";
    static char *argv[] = {name, nullptr};
    static QApplication *app = new QApplication(argc, argv); // the graph pane is a widget
    (void)app;
    QTemporaryDir dir;
    ASSERT_TRUE(testfiles::Write(dir.filePath("REC_0001.avi"), "clip"));
    ASSERT_TRUE(testfiles::WriteLines(dir.filePath("data/REC_0001.dat"), kDataLines));
    CCorvanaDoc doc;
    doc.SetFolder(dir.path());
    doc.LoadFolder();
    ASSERT_EQ(doc.Count(), 1);
    // The pane is told what the controller would tell it: recording 0 open, its tables built.
    CRecordingTelemetry telemetry;
    CAccelSensorGraphView view(&doc, &telemetry);
    view.OnRecordingOpened(fixtures::OpenedRecording(doc, 0, kFrameTime, kFrames, &telemetry));
    view.resize(400, 220);
    view.OnInitialUpdate();
    view.RebuildGraph();

    const QString path = dir.filePath("out.csv");
    QString why;
    ASSERT_TRUE(WriteTelemetryCsv(path, doc.RecordRef(0), kFrameTime, kFrames, SpeedUnit::Kmh, &why));
    const QList<QByteArray> lines = Bytes(path).split('\n');
    ASSERT_EQ(lines.size(), kFrames + 2);
    EXPECT_EQ(lines.first(), kTelemetryCsvHeader);
    EXPECT_EQ(lines.last(), "") << "the last row ends its line";
    int withSample = 0, withFix = 0;
    for (int64_t f = 0; f < kFrames; ++f) {
        SCOPED_TRACE(f);
        view.OnPositionChanged({f, f * kFrameTime, nullptr});
        const tagACCELFRAMEPARTS parts = view.FrameParts();
        const QStringList cells = QString::fromLatin1(lines.at(f + 1)).split(',');
        ASSERT_EQ(cells.size(), 9);
        EXPECT_EQ(cells[0], QString::number(f));
        EXPECT_EQ(cells[1], parts.strClock);
        for (int a = 0; a < 3; ++a)
            EXPECT_EQ(cells[6 + a], parts.bValues ? GraphValueText(parts.fValues[a]) : QString());
        withSample += parts.bValues;
        // Position, speed and heading: the panel's fix. Its "40 Km/h" is the recorder's
        // truncation of the knots; the cell's number is the same speed with its tenth.
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

// pellister-cli csv on a real clip of 30 frames at 10 fps.
class CsvCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid() && outDir.isValid());
        clip = clipmaker::Make(folder.path(), QStringLiteral("REC_0001.mp4"),
                               {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=3", "-c:v", "libx264",
                                "-pix_fmt", "yuv420p", "-g", "10", "-threads", "1"});
        ASSERT_FALSE(clip.isEmpty());
        dataFile = folder.filePath("data/REC_0001.dat");
        ASSERT_TRUE(testfiles::WriteLines(dataFile, kDataLines));
        out = outDir.filePath("out.csv");
    }

    // pellister-cli csv ARGS in UTC (for the clip names' and the day track's times), under a
    // file-size limit of one KiB when asked.
    static testfiles::RunResult Cli(const QStringList &args, bool limited = false)
    {
        QString command = QStringLiteral("%1; exec env TZ=UTC '%2/PC_viewer/cli/pellister-cli' csv")
                              .arg(limited ? "ulimit -f 1" : ":", testfiles::BinaryDir());
        for (const QString &a : args)
            command += QStringLiteral(" '%1'").arg(a);
        return testfiles::Run("bash", {"-c", command}, 120000);
    }

    QTemporaryDir folder;
    QTemporaryDir outDir;
    QString clip;
    QString dataFile;
    QString out;
};

TEST_F(CsvCommand, WritesEveryFrameOfTheClipInPlaceOfAnOlderFile)
{
    const struct {
        int frame;
        const char *kmh;
        const char *mph;
    } rows[] = {
        {0, "0,08:30:15.250,37.552057,126.976130,40.1,87.00,+0.02,-0.98,+0.11",
         "0,08:30:15.250,37.552057,126.976130,24.9,87.00,+0.02,-0.98,+0.11"},
        {5, "5,08:30:15.750,,,,,,,", "5,08:30:15.750,,,,,,,"},
        {10, "10,08:30:16.250,-37.552057,-126.976130,18.5,304.00,-0.50,-0.90,+0.30",
         "10,08:30:16.250,-37.552057,-126.976130,11.5,304.00,-0.50,-0.90,+0.30"},
        {29, "29,08:30:18.150,,,,,,,", "29,08:30:18.150,,,,,,,"},
    };
    ASSERT_TRUE(testfiles::Write(out, "an older file"));
    for (const bool mph : {false, true}) {
        const auto r = Cli(mph ? QStringList{"--units", "mph", clip, out} : QStringList{clip, out});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        EXPECT_EQ(r.out, "file=" + out.toUtf8() + "\nframes=30\n");
        const QByteArray bytes = Bytes(out);
        EXPECT_GT(bytes.size(), 1024) << "more than the file-size limit below lets through";
        const QList<QByteArray> lines = bytes.split('\n');
        ASSERT_EQ(lines.size(), kFrames + 2);
        EXPECT_EQ(lines.first(), kTelemetryCsvHeader);
        for (const auto &row : rows)
            EXPECT_EQ(lines.at(row.frame + 1), mph ? row.mph : row.kmh);
    }
    EXPECT_EQ(QDir(outDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.csv"});

    // A clip without telemetry of its own has only its frame numbers, unless the day's track given
    // with --track covers its time.
    const QString named = folder.filePath("d_20130512_102000.mp4");
    ASSERT_TRUE(QFile::copy(clip, named));
    const QString track = folder.filePath("day.gpx");
    ASSERT_TRUE(testfiles::Write(track, "<gpx><trk><trkseg><trkpt lat=\"37.5\" lon=\"127.0\">"
                                        "<time>2013-05-12T10:20:00.500Z</time></trkpt></trkseg></trk></gpx>"));
    auto r = Cli({named, out});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(Bytes(out).split('\n').value(30), "29,,,,,,,,");
    r = Cli({named, out, "--track", track});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(Bytes(out).split('\n').value(1).startsWith("0,10:20:00.000,37.500000,127.000000,"));
}

TEST_F(CsvCommand, FailuresLeaveNoFileAndTouchNoRecording)
{
    ASSERT_TRUE(QDir(outDir.path()).mkdir("sub"));
    const QByteArray clipBytes = Bytes(clip);
    const QByteArray dataBytes = Bytes(dataFile);
    const struct {
        QStringList args;
        bool limited;
        int exitCode;
    } cases[] = {
        {{clip, outDir.filePath("sub")}, false, 1},              // the target is a folder
        {{clip, outDir.filePath("missing/out.csv")}, false, 1}, // in a folder that is not there
        {{clip, out}, true, 1},                                  // a write fails half-way (a full card)
        {{folder.filePath("gone.mp4"), out}, false, 1},
        {{clip, out, "--track", folder.filePath("gone.gpx")}, false, 1},
        {{clip, clip}, false, 2}, // never over the clip or its data
        {{clip, dataFile}, false, 2},
        {{clip, out, "--units", "kph"}, false, 2},
        {{clip, out, "--frames"}, false, 2},
        {{clip}, false, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString() + (c.limited ? " (limited)" : ""));
        const auto r = Cli(c.args, c.limited);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.constData();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.constData();
        EXPECT_FALSE(r.err.isEmpty());
        if (c.limited) {
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
