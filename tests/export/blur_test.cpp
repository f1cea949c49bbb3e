// Blurring for sharing: a region marked on one frame follows a moving box forwards and backwards,
// no sharpening brings it back, a privacy copy tells neither where nor when, the command line
// refuses bad regions, and an evidence package holds the redacted copy beside the originals.
#include "movingclip.h"

#include "catalogue/datafileinfo.h"
#include "export/rangepictures.h"
#include "export/regiontracker.h"
#include "export/videoexport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QTemporaryDir>

#include <cmath>

namespace {

QString Cli()
{
    return clips::BinaryDir() + QStringLiteral("/PC_viewer/cli/pellister-cli");
}

int RunCli(const QStringList &args, QByteArray *err = nullptr)
{
    QByteArray out, errors;
    const int status = clips::RunProgram(Cli(), args, &out, &errors, 240000);
    if (err)
        *err = errors;
    return status;
}

// The moving clip alone in a folder of its own (the command line reads the clip's folder).
QString CopyOfClip(const QTemporaryDir &dir)
{
    const QString copy = dir.filePath(QStringLiteral("moving-box.mp4"));
    QFile::copy(moving::Clip(), copy);
    return copy;
}

// Every picture ffmpeg decodes from the clip, its top kPicture (above any band), in order.
std::vector<QImage> Pictures(const QString &path)
{
    std::vector<QImage> pictures;
    QByteArray out;
    const QSize size = moving::kPicture;
    if (clips::RunProgram("ffmpeg", {"-v", "error", "-i", path, "-map", "0:v:0", "-fps_mode", "passthrough", "-vf",
                                     QStringLiteral("crop=%1:%2:0:0").arg(size.width()).arg(size.height()), "-f",
                                     "rawvideo", "-pix_fmt", "bgra", "-"},
                          &out) != 0)
        return pictures;
    const int bytes = size.width() * size.height() * 4;
    for (int at = 0; at + bytes <= out.size(); at += bytes)
        pictures.push_back(QImage(reinterpret_cast<const uchar *>(out.constData() + at), size.width(), size.height(),
                                  size.width() * 4, QImage::Format_RGB32)
                               .copy());
    return pictures;
}

QString Mark(const QRect &r, int frame)
{
    return QStringLiteral("%1,%2,%3,%4@%5").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).arg(frame);
}

// Mean absolute difference of the colour channels inside `area`, or (bOutside) everywhere in the
// top `picture` but there.
double MeanDifferenceIn(const QImage &a, const QImage &b, const QRect &area, bool bOutside = false)
{
    double sum = 0;
    long n = 0;
    for (int y = 0; y < moving::kPicture.height(); ++y)
        for (int x = 0; x < moving::kPicture.width(); ++x) {
            if (area.contains(x, y) == bOutside)
                continue;
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
            n += 3;
        }
    return n ? sum / n : 0;
}

double PsnrIn(const QImage &a, const QImage &b, const QRect &area)
{
    double sum = 0;
    long n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                sum += double(d) * d;
            n += 3;
        }
    return 10 * std::log10(255.0 * 255.0 / std::max(1e-9, sum / n));
}

QPoint Centre(const QRect &r)
{
    return QPoint(r.x() + r.width() / 2, r.y() + r.height() / 2);
}

TEST(Blur, AMarkedRegionFollowsTheBoxBothWaysAndStaysBlurredWhenSharpened)
{
    QTemporaryDir dir;
    const QString source = CopyOfClip(dir);
    const QString out = dir.filePath(QStringLiteral("shared.mp4"));
    QByteArray err;
    ASSERT_EQ(RunCli({"export", source, "--from", "0", "--to", "74", "--overlay", "kind", "--blur",
                      Mark(moving::BoxAt(37).adjusted(-4, -4, 4, 4), 37), out},
                     &err),
              0)
        << err.constData();
    const std::vector<QImage> written = Pictures(out);
    const std::vector<QImage> original = Pictures(source);
    ASSERT_EQ(written.size(), size_t(moving::kFrames));
    ASSERT_EQ(original.size(), size_t(moving::kFrames));
    for (const int n : {0, 12, 30, 37, 45, 60, 74}) {
        SCOPED_TRACE(n);
        // The box itself is changed beyond recognition; the picture away from it is as it was.
        EXPECT_GT(MeanDifferenceIn(written[n], original[n], moving::BoxAt(n).adjusted(3, 3, -3, -3)), 40);
        EXPECT_LT(MeanDifferenceIn(written[n], original[n], moving::BoxAt(n).adjusted(-24, -24, 24, 24), true), 4);
    }
    // Sharpening the blurred box does not bring the squares back.
    const QImage sharpened = clips::FfmpegPicture(out, 37, QStringLiteral("unsharp=7:7:2.5:7:7:2.5"));
    EXPECT_LT(PsnrIn(sharpened, original[37], moving::BoxAt(37)), 12);
    EXPECT_GT(PsnrIn(written[37], original[37], QRect(0, 190, 320, 50)), 30);
}

TEST(Blur, TheTrackMeetsEveryKeyFrameExactly)
{
    CVideoExporter measure({tagEXPORTCLIP{moving::Clip(), {}, {}, {}, 0, moving::kFrames - 1, {}}}, tagEXPORTOPTIONS());
    QString why;
    ASSERT_EQ(measure.Prepare(&why), S_OK) << qPrintable(why);
    CRangePictures pictures(measure.Spans());
    ASSERT_EQ(pictures.Open(&why), S_OK) << qPrintable(why);
    // The second mark is 6 pixels off the box: the track must bend to meet it.
    tagBLURREGION region;
    region.bFollow = true;
    const QRect first = moving::BoxAt(10).adjusted(-4, -4, 4, 4);
    const QRect second = moving::BoxAt(60).adjusted(-4, -4, 4, 4).translated(6, 0);
    region.keys = {{10, first}, {60, second}};
    tagREGIONTRACKS tracks;
    int64_t lastDone = 0, lastTotal = 0;
    ASSERT_EQ(TrackRegions(pictures, {region}, {}, [&](int64_t d, int64_t t) { lastDone = d, lastTotal = t; }, &tracks,
                           &why),
              S_OK);
    EXPECT_EQ(lastDone, lastTotal);
    EXPECT_EQ(lastTotal, TrackedPictures({region}, moving::kFrames));
    EXPECT_EQ(tracks.At(0, 10), first);
    EXPECT_EQ(tracks.At(0, 60), second);
    const struct {
        int n;
        int off; // the correction's share of the 6 pixels at n
    } frames[] = {{0, 0}, {5, 0}, {30, 2}, {55, 5}, {70, 6}};
    for (const auto &f : frames) {
        SCOPED_TRACE(f.n);
        const QPoint d = Centre(tracks.At(0, f.n)) - Centre(moving::BoxAt(f.n)) - QPoint(f.off, 0);
        EXPECT_LE(d.manhattanLength(), 3) << d.x() << "," << d.y();
    }
}

TEST(Blur, APrivacyCopyTellsNeitherWhereNorWhen)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("data"));
    QFile subtitles(dir.filePath("gps.srt"));
    ASSERT_TRUE(subtitles.open(QIODevice::WriteOnly));
    subtitles.write("1\n00:00:00,000 --> 00:00:02,000\nN37.5665 E126.9780 52 km/h\n");
    subtitles.close();
    // A camera's clip with its time and place in tags and its GPS as subtitles.
    const QString clip = dir.filePath("clip.mp4");
    ASSERT_EQ(clips::RunProgram("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "smptebars=s=640x360:r=30:d=2", "-i",
                                           subtitles.fileName(), "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt",
                                           "yuv420p", "-c:s", "mov_text", "-metadata", "creation_time=2021-05-01T10:00:00Z",
                                           "-metadata", "location=+37.5665+126.9780/", "-metadata:s:v:0",
                                           "creation_time=2021-05-01T10:00:00Z", clip}),
              0);
    QByteArray text = "$SYNCTIME,083000.000,130512,\r\n";
    for (int s = 0; s < 2; ++s)
        text += QString::asprintf("$GPRMC,0830%02d.000,A,3733.%04d,N,12658.3368,E,%d.0,%d.0,120513,,,A\r\n", s,
                                  1000 + 17 * s, 30 + 9 * s, 30 * s)
                    .toLatin1();
    QFile data(dir.filePath("data/clip.dat"));
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.write(text);
    data.close();
    const QString out = dir.filePath("private.mp4");
    QByteArray err;
    ASSERT_EQ(RunCli({"export", clip, "--from", "0", "--to", "59", "--privacy", out}, &err), 0) << err.constData();

    QByteArray probe;
    ASSERT_EQ(clips::RunProgram("ffprobe", {"-v", "error", "-show_entries", "format_tags:stream_tags:stream=codec_type",
                                            "-of", "json", out},
                                &probe),
              0);
    const QJsonObject info = QJsonDocument::fromJson(probe).object();
    QStringList tags;
    for (const QJsonValue &s : info.value("streams").toArray()) {
        EXPECT_TRUE(s["codec_type"].toString() == "video" || s["codec_type"].toString() == "audio")
            << qPrintable(s["codec_type"].toString());
        tags += s["tags"].toObject().keys();
    }
    tags += info.value("format").toObject().value("tags").toObject().keys();
    for (const QString &tag : tags)
        EXPECT_FALSE(tag.contains("time", Qt::CaseInsensitive) || tag.contains("date", Qt::CaseInsensitive) ||
                     tag.contains("location", Qt::CaseInsensitive) || tag.contains("gps", Qt::CaseInsensitive))
            << qPrintable(tag);

    // The band is the one without time, speed, position and name, not the whole one.
    CDataFileInfo reader;
    ASSERT_EQ(reader.Load(data.fileName()), 1);
    const CClipOverlay overlay(reader.Info(), clip, 333333, 60);
    ASSERT_NE(overlay.Texts(30, SpeedUnit::Kmh).strPosition, QLatin1String(kOverlayNoGps));
    const QSize picture(640, 360);
    const int band = OverlayBandHeight(picture);
    const QImage written = clips::FfmpegPicture(out, 30).copy(0, picture.height(), picture.width(), band);
    ASSERT_EQ(written.height(), band);
    const auto mismatch = [&](unsigned items) {
        QImage drawn(picture.width(), band, QImage::Format_RGB32);
        QPainter p(&drawn);
        DrawTelemetryOverlay(p, drawn.rect(), overlay.Texts(30, SpeedUnit::Kmh), items);
        int n = 0;
        for (int y = 0; y < band; ++y)
            for (int x = 0; x < picture.width(); ++x)
                n += std::abs(qGray(written.pixel(x, y)) - qGray(drawn.pixel(x, y))) > 128;
        return n;
    };
    EXPECT_LT(mismatch(OVERLAY_ALL & ~kOverlayPrivateItems) * 3, mismatch(OVERLAY_ALL));
}

TEST(Blur, TheCommandLineRefusesBadRegions)
{
    QTemporaryDir dir;
    const QString source = CopyOfClip(dir);
    const struct {
        QStringList args;
        const char *says;
    } cases[] = {
        {{"--blur", "10,10,0,20"}, "width and a height"},
        {{"--blur", "10,10,20,-5@3"}, "width and a height"},
        {{"--blur", "300,10,40,20"}, "not inside the picture"},
        {{"--blur", "10,10,20,20@200"}, "outside the range"},
        {{"--blur", "10,10,20,20@2"}, "before the range"},
        {{"--blur", "10,10,20"}, "X,Y,W,H"},
        {{"--blur", "10,10,20,20", "--copy"}, "--copy"},
        {{"--privacy", "--copy"}, "--copy"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(qPrintable(c.args.join(' ')));
        QByteArray err;
        EXPECT_EQ(RunCli(QStringList{"export", source, "--from", "5", "--to", "70"} + c.args +
                             QStringList{dir.filePath("out.mp4")},
                         &err),
                  2);
        EXPECT_TRUE(err.contains(c.says)) << err.constData();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("out.mp4")));
}

TEST(Blur, AnEvidencePackageHoldsTheRedactedCopyBesideTheOriginals)
{
    QTemporaryDir dir;
    const QString source = CopyOfClip(dir);
    const QString package = dir.filePath("package");
    QByteArray err;
    ASSERT_EQ(RunCli({"evidence", source, "--from", "0", "--to", "74", "--blur",
                      Mark(moving::BoxAt(20).adjusted(-4, -4, 4, 4), 20), "--privacy", package},
                     &err),
              0)
        << err.constData();
    const QString shared = QStringLiteral("shared/moving-box_0-74_redacted.mp4");
    EXPECT_TRUE(QFile::exists(package + "/originals/moving-box.mp4"));
    EXPECT_TRUE(QFile::exists(package + "/moving-box_0-74.mp4"));
    ASSERT_TRUE(QFile::exists(package + '/' + shared));
    QByteArray sums;
    EXPECT_EQ(clips::RunProgram("bash", {"-c", "cd '" + package + "' && sha256sum -c SHA256SUMS"}, &sums), 0);
    EXPECT_TRUE(sums.contains(shared.toUtf8() + ": OK")) << sums.constData();
    QFile manifest(package + "/manifest.json");
    ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
    bool bListed = false;
    for (const QJsonValue &f : QJsonDocument::fromJson(manifest.readAll()).object().value("files").toArray())
        if (f["path"].toString() == shared)
            bListed = f["derived"].toString().contains("redacted");
    EXPECT_TRUE(bListed);
    // The package's own video is whole; the shared one is blurred where the box is.
    const QRect box = moving::BoxAt(50).adjusted(3, 3, -3, -3);
    const QImage original = clips::FfmpegPicture(source, 50);
    EXPECT_LT(MeanDifferenceIn(clips::FfmpegPicture(package + "/moving-box_0-74.mp4", 50), original, box), 8);
    EXPECT_GT(MeanDifferenceIn(clips::FfmpegPicture(package + '/' + shared, 50), original, box), 40);
}

} // namespace
