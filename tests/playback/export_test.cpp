// Export of ranges to MP4 and evidence packages, checked with ffmpeg, ffprobe, sha256sum and
// pdftotext on generated clips.
#include "clipfactory.h"

#include "catalogue/datafileinfo.h"
#include "catalogue/momentnotes.h"
#include "export/videoexport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

namespace {

QString Cli()
{
    return clips::BinaryDir() + QStringLiteral("/PC_viewer/cli/pellister-cli");
}

tagEXPORTCLIP ClipOf(const QString &path, const tagDATAFILEINFO &rec = tagDATAFILEINFO())
{
    tagEXPORTCLIP c;
    c.strPath = path;
    c.record = rec;
    return c;
}

double StreamSeconds(const QString &path, const char *stream)
{
    QByteArray out;
    clips::RunProgram("ffprobe", {"-v", "error", "-select_streams", stream, "-show_entries", "stream=duration", "-of",
                                  "csv=p=0", path},
                      &out);
    return out.trimmed().toDouble();
}

// A data file whose fixes and samples change every second, so that neighbouring seconds' bands
// read differently: sync at 08:30:00.000, one fix and ten samples a second.
QByteArray DataFileText(int seconds)
{
    QByteArray text = "$SYNCTIME,083000.000,130512,\r\n";
    for (int s = 0; s < seconds; ++s) {
        for (int t = 0; t < 10; ++t)
            text += QString::asprintf("$ACCELERATOR,0830%02d.%03d,130512,%.2f,%.2f,%.2f,\r\n", s, t * 100, 0.1 * s,
                                      -0.2 * t, 0.9 + 0.05 * s)
                        .toLatin1();
        text += QString::asprintf("$GPRMC,0830%02d.000,A,3733.%04d,N,12658.3368,E,%d.0,%d.0,120513,,,A\r\n", s,
                                  1000 + 17 * s, 10 + 9 * s, 30 * s)
                    .toLatin1();
    }
    return text;
}

// The picture is source picture n (as ffmpeg shows it), nearer to it than to its neighbours.
bool ShowsPicture(const QImage &picture, const QString &source, int64_t n, int64_t count)
{
    const double d = clips::MeanDifference(picture, clips::FfmpegPicture(source, n));
    for (const int64_t m : {n - 1, n + 1})
        if (m >= 0 && m < count && clips::MeanDifference(picture, clips::FfmpegPicture(source, m)) <= d)
            return false;
    return d < 8;
}

TEST(VideoExport, EveryPictureOfTheRangeOnceAndInOrder)
{
    const QString rotated = clips::MakeCopied(
        QStringLiteral("export-rotate-90.mp4"),
        {"-f", "lavfi", "-i", "testsrc2=s=826x540:r=25:d=0.4", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt",
         "yuv420p"},
        {"-metadata:s:v:0", "rotate=90"});
    const struct {
        const char *name;
        QStringList paths;
        int64_t from, to, frames;
        bool bSound;
    } cases[] = {
        {"one clip with sound", {clips::Mp4H264()}, 5, 40, 36, true},
        {"three clips, MJPEG and B-frames between", {clips::Mp4H264(), clips::AviMjpeg(), clips::Mp4H264BFrames()},
         100, 10, 20 + 90 + 11, true},
        {"H.265 with B-frames", {clips::Mp4HevcBFrames()}, 0, 29, 30, false},
        {"turned by its display matrix", {rotated}, 1, 9, 9, false},
    };
    QTemporaryDir dir;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QVector<tagEXPORTCLIP> range;
        for (const QString &p : c.paths)
            range.append(ClipOf(p));
        range.first().llFrom = c.from;
        range.last().llTo = c.to;
        CVideoExporter exporter(range, tagEXPORTOPTIONS());
        const QString out = dir.filePath(QString::fromLatin1(c.name) + QStringLiteral(".mp4"));
        tagEXPORTRESULT r;
        QString why;
        ASSERT_EQ(exporter.Run(out, {}, &r, &why), S_OK) << qPrintable(why);
        EXPECT_EQ(r.llFrames, c.frames);
        EXPECT_EQ(clips::FfprobeCountFrames(out), c.frames);
        // Which source picture each exported one shows, above the band.
        const QImage firstSource = clips::FfmpegPicture(c.paths.first(), 0);
        int64_t k = 0;
        for (int i = 0; i < c.paths.size(); ++i) {
            const int64_t count = clips::FfprobeCountFrames(c.paths[i]);
            const int64_t from = i == 0 ? c.from : 0;
            const int64_t to = i == c.paths.size() - 1 ? c.to : count - 1;
            // The first, a middle and the last picture of every clip's part.
            for (const int64_t n : {from, (from + to) / 2, to}) {
                const QImage top =
                    clips::FfmpegPicture(out, k + n - from).copy(0, 0, firstSource.width(), firstSource.height());
                EXPECT_TRUE(ShowsPicture(top, c.paths[i], n, count)) << "clip " << i << " picture " << n;
            }
            k += to - from + 1;
        }
        if (c.bSound)
            EXPECT_NEAR(StreamSeconds(out, "a:0"), StreamSeconds(out, "v:0"), 1.0 / 30);
    }
}

TEST(VideoExport, TheBandShowsItsFramesPanelValues)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("data"));
    // Wide enough for the band's letters to keep their shape through the encoder.
    const QString source = clips::Make(QStringLiteral("export-640x360.mp4"),
                                       {"-f", "lavfi", "-i", "testsrc2=s=640x360:r=30:d=4", "-c:v", "libx264",
                                        "-preset", "ultrafast", "-pix_fmt", "yuv420p"});
    const QString clip = dir.filePath("clip.mp4");
    ASSERT_TRUE(QFile::copy(source, clip));
    QFile data(dir.filePath("data/clip.dat"));
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.write(DataFileText(4));
    data.close();
    CDataFileInfo reader;
    ASSERT_EQ(reader.Load(data.fileName()), 1);
    tagEXPORTCLIP c = ClipOf(clip, reader.Info());
    c.llFrom = 0;
    c.llTo = 119;
    tagEXPORTOPTIONS options;
    options.unit = SpeedUnit::Mph;
    CVideoExporter exporter({c}, options);
    const QString out = dir.filePath("out.mp4");
    tagEXPORTRESULT r;
    QString why;
    ASSERT_EQ(exporter.Run(out, {}, &r, &why), S_OK) << qPrintable(why);
    ASSERT_EQ(clips::FfprobeCountFrames(out), 120);

    const CVideoExporter::Span span = exporter.Spans().first();
    const CClipOverlay overlay(c.record, clip, span.llFrameTime, span.llFrameCount);
    const QSize picture(640, 360);
    const int band = clips::FfmpegPicture(out, 0).height() - picture.height();
    ASSERT_EQ(band, OverlayBandHeight(picture));
    const auto drawn = [&](int64_t frame) {
        QImage image(picture.width(), band, QImage::Format_RGB32);
        QPainter p(&image);
        DrawTelemetryOverlay(p, image.rect(), overlay.Texts(frame, SpeedUnit::Mph), OVERLAY_ALL);
        return image;
    };
    // Frame 33 has a sample and a fix; frame 31 has neither (samples come ten times a second).
    EXPECT_NE(overlay.Texts(33, SpeedUnit::Mph).strSpeed, QLatin1String(kOverlayNoGps));
    EXPECT_EQ(overlay.Texts(31, SpeedUnit::Mph).strGSensor, QLatin1String(kOverlayNoSensor));
    // Pixels where one band has a letter and the other has none.
    const auto mismatch = [](const QImage &a, const QImage &b) {
        int n = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                n += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 128;
        return n;
    };
    for (const int64_t frame : {3, 31, 33, 100}) {
        SCOPED_TRACE(frame);
        const QImage written = clips::FfmpegPicture(out, frame).copy(0, picture.height(), picture.width(), band);
        const int same = mismatch(written, drawn(frame));
        // The next frame's band differs in its frame number and milliseconds only.
        const int next = mismatch(written, drawn(frame + 1));
        EXPECT_LT(same * 3, next) << same;
    }
}

TEST(VideoExport, CancelAndAFullDiskLeaveNoFile)
{
    QTemporaryDir dir;
    QVector<tagEXPORTCLIP> range{ClipOf(clips::Mp4H264())};
    CVideoExporter exporter(range, tagEXPORTOPTIONS());
    tagEXPORTRESULT r;
    QString why;
    EXPECT_EQ(exporter.Run(dir.filePath("cancelled.mp4"), [&](int64_t done, int64_t) {
        if (done == 10)
            exporter.Cancel();
    }, &r, &why), E_ABORT);
    // A file-size limit of 64 KiB: the write fails as on a full card, and the program says so.
    QByteArray out, err;
    const QString command = QStringLiteral("ulimit -f 64; exec '%1' export '%2' --from 0 --to 119 '%3'")
                                .arg(Cli(), clips::Mp4H264(), dir.filePath("full.mp4"));
    EXPECT_EQ(clips::RunProgram("bash", {"-c", command}, &out, &err), 1) << err.constData();
    EXPECT_TRUE(err.contains("the disk is full")) << err.constData();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

TEST(VideoExport, ALosslessCutStartsAtTheKeyPictureBeforeIt)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("cut.mp4");
    QByteArray text, err;
    ASSERT_EQ(clips::RunProgram(Cli(), {"export", clips::Mp4H264(), "--from", "20", "--to", "50", "--copy", out},
                                &text, &err),
              0)
        << err.constData();
    EXPECT_TRUE(text.contains("from=15\n")) << text.constData();
    EXPECT_TRUE(text.contains("frames=36\n")) << text.constData();
    EXPECT_TRUE(err.contains("key picture")) << err.constData();
    EXPECT_EQ(clips::FfprobeCountFrames(out), 36);
    EXPECT_EQ(clips::ClosestFrame(clips::Mp4H264(), clips::FfmpegPicture(out, 0)), 15);
    EXPECT_EQ(clips::ClosestFrame(clips::Mp4H264(), clips::FfmpegPicture(out, 35)), 50);
}

TEST(VideoExport, AnEvidencePackageVerifiesItself)
{
    QTemporaryDir card;
    QDir().mkpath(card.filePath("record/data"));
    const QString a = card.filePath("record/20120513_083000N.mp4");
    const QString b = card.filePath("record/20120513_083004N.mp4");
    ASSERT_TRUE(QFile::copy(clips::Mp4H264(), a));
    ASSERT_TRUE(QFile::copy(clips::Mp4H264(), b));
    for (const char *name : {"record/data/20120513_083000N.dat", "record/data/20120513_083004N.dat"}) {
        QFile f(card.filePath(QLatin1String(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray text = DataFileText(4);
        if (QByteArray(name).contains("083004"))
            text.replace("$SYNCTIME,083000.000", "$SYNCTIME,083004.000");
        f.write(text);
    }
    // Wrong arguments: the clips the wrong way round, a frame past the end.
    const struct {
        QStringList args;
        int status;
    } refused[] = {{{b, a, "--from", "0", "--to", "5"}, 2}, {{a, "--from", "0", "--to", "120"}, 2}};
    for (const auto &c : refused)
        EXPECT_EQ(clips::RunProgram(Cli(), QStringList{"evidence"} + c.args + QStringList{card.filePath("x")}),
                  c.status)
            << qPrintable(c.args.join(' '));

    // The driver's notes on the card: one on a recording of the range goes into the package.
    tagMOMENTNOTE note;
    note.strClip = QStringLiteral("20120513_083004N.mp4");
    note.llFrame = 3;
    note.llOffsetMs = 300;
    note.strText = QStringLiteral("the lorry pulls out");
    tagMOMENTNOTE elsewhere = note;
    elsewhere.strClip = QStringLiteral("20120513_090000N.mp4");
    {
        QFile notes(card.filePath(QStringLiteral("record/") + QLatin1String(kMomentNotesFileName)));
        ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
        notes.write(MomentNotesJson({note, elsewhere}));
    }

    const QString pkg = card.filePath("package");
    QByteArray out, err;
    ASSERT_EQ(clips::RunProgram(Cli(), {"evidence", a, b, "--from", "100", "--to", "20", pkg}, &out, &err), 0)
        << err.constData();
    QProcess sums;
    sums.setWorkingDirectory(pkg);
    sums.start("sha256sum", {"-c", "SHA256SUMS"});
    ASSERT_TRUE(sums.waitForFinished(60000));
    EXPECT_EQ(sums.exitCode(), 0) << sums.readAll().constData();
    for (const QString &original : {a, b}) {
        // The catalogue is the first clip's folder: originals/ keeps the layout below it.
        QFile copy(pkg + QStringLiteral("/originals/") + QFileInfo(original).fileName());
        QFile source(original);
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly) && source.open(QIODevice::ReadOnly));
        EXPECT_TRUE(copy.readAll() == source.readAll());
    }
    EXPECT_TRUE(QFile::exists(pkg + "/originals/data/20120513_083004N.dat"));
    EXPECT_EQ(clips::FfprobeCountFrames(pkg + "/20120513_083000N_100-20120513_083004N_20.mp4"), 41);
    // The report's last page lists the video with its hash.
    QByteArray text;
    ASSERT_EQ(clips::RunProgram("pdftotext", {"-layout", pkg + "/report.pdf", "-"}, &text), 0);
    QByteArray sumsText;
    QFile sumsFile(pkg + "/SHA256SUMS");
    ASSERT_TRUE(sumsFile.open(QIODevice::ReadOnly));
    for (const QByteArray &line : sumsFile.readAll().split('\n'))
        if (line.endsWith(".mp4") && !line.contains("originals"))
            EXPECT_TRUE(text.contains(line.left(64))) << line.constData();
    EXPECT_TRUE(text.contains("Evidence"));
    EXPECT_FALSE(QFileInfo::exists(pkg + ".part"));

    // The notes of the package's recordings, hashed and listed like every other file.
    QFile notesFile(pkg + "/notes.json");
    ASSERT_TRUE(notesFile.open(QIODevice::ReadOnly));
    QVector<tagMOMENTNOTE> packed;
    QString why;
    ASSERT_TRUE(ParseMomentNotes(notesFile.readAll(), &packed, &why)) << why.toStdString();
    ASSERT_EQ(packed.size(), 1);
    EXPECT_EQ(packed[0].strText, note.strText);
    // sha256sum -c above checked its line; the Evidence pages' table shows the same hash.
    QFile sumsAgain(pkg + "/SHA256SUMS");
    ASSERT_TRUE(sumsAgain.open(QIODevice::ReadOnly));
    QByteArray notesLine;
    for (const QByteArray &line : sumsAgain.readAll().split('\n'))
        if (line.endsWith("  notes.json"))
            notesLine = line;
    ASSERT_FALSE(notesLine.isEmpty());
    EXPECT_TRUE(text.contains(notesLine.left(64)));
    QFile manifestFile(pkg + "/manifest.json");
    ASSERT_TRUE(manifestFile.open(QIODevice::ReadOnly));
    QStringList listed;
    for (const QJsonValue &f : QJsonDocument::fromJson(manifestFile.readAll()).object().value("files").toArray())
        listed << f.toObject().value("path").toString();
    EXPECT_TRUE(listed.contains("notes.json")) << listed.join(' ').toStdString();
    EXPECT_TRUE(text.simplified().contains("1 note(s) on the recordings' moments, in notes.json")) << text.constData();
}

} // namespace
