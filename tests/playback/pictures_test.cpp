// Pictures of any size and orientation leave the engine as ffmpeg itself shows them: in the
// graph (what the view paints, snapshots and the report take), in thumbnails and in the CLI.
#include "clipfactory.h"

#include "media/mediagraph.h"
#include "media/picture.h"
#include "media/thumbnailer.h"
#include "media/videoorientation.h"

extern "C" {
#include <libavutil/display.h>
}

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Widths and heights the scaler's vector code handles differently: lines that are no multiple
// of its block, odd sizes, the common broadcast and laptop sizes, 4K.
struct tagSIZECASE {
    int nWidth;
    int nHeight;
    // "h264" (MP4 with B-frames), "mjpeg" (AVI), "-444" for odd sizes (no chroma subsampling)
    const char *codec;
};

const tagSIZECASE kSizes[] = {
    {826, 540, "h264"},      {828, 540, "h264"},      {826, 540, "mjpeg"},    {828, 540, "mjpeg"},
    {827, 541, "mjpeg-444"}, {161, 121, "mjpeg-444"}, {161, 121, "h264-444"}, {720, 480, "h264"},
    {854, 480, "h264"},      {1366, 768, "h264"},     {1366, 768, "mjpeg"},   {1440, 1080, "h264"},
    {3840, 2160, "h264"},
};

QString MakeSizedClip(const tagSIZECASE &c)
{
    const QString strSize = QStringLiteral("%1x%2").arg(c.nWidth).arg(c.nHeight);
    // testsrc2 makes even sizes only; the scaler gives the odd ones.
    const QStringList source{"-f",  "lavfi",
                             "-i",  QStringLiteral("testsrc2=s=%1:r=25:d=0.2").arg(strSize),
                             "-vf", QStringLiteral("scale=%1:%2").arg(c.nWidth).arg(c.nHeight)};
    const QString strCodec = QString::fromLatin1(c.codec);
    if (strCodec.startsWith(QLatin1String("mjpeg"))) {
        const QString strFormat = strCodec.endsWith(QLatin1String("444")) ? "yuvj444p" : "yuvj420p";
        return clips::Make(QStringLiteral("size2-%1-%2.avi").arg(strSize, strFormat),
                           source + QStringList{"-c:v", "mjpeg", "-q:v", "3", "-pix_fmt", strFormat});
    }
    const QString strFormat = strCodec == QLatin1String("h264-444") ? "yuv444p" : "yuv420p";
    return clips::Make(QStringLiteral("size2-%1-%2.mp4").arg(strSize, strFormat),
                       source + QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-bf", "2", "-g", "4",
                                            "-pix_fmt", strFormat});
}

TEST(PictureSizeTest, EverySizeConvertsLikeFfmpegWithoutWritingPastThePicture)
{
    QTemporaryDir cacheDir;
    ASSERT_TRUE(cacheDir.isValid());
    CThumbnailer::SetCacheDirectory(cacheDir.path());
    for (const tagSIZECASE &c : kSizes) {
        SCOPED_TRACE(QStringLiteral("%1x%2 %3").arg(c.nWidth).arg(c.nHeight).arg(c.codec).toStdString());
        const QString strClip = MakeSizedClip(c);
        ASSERT_FALSE(strClip.isEmpty());
        CMediaGraph graph;
        ASSERT_EQ(graph.OpenMedia(strClip), S_OK);
        EXPECT_EQ(graph.VideoSize(), QSize(c.nWidth, c.nHeight));
        // Frame 2 comes after a B-frame in the H.264 clips.
        ASSERT_EQ(graph.SeekToFrame(2), S_OK);
        const QImage image = graph.CurrentImage();
        ASSERT_EQ(image.size(), QSize(c.nWidth, c.nHeight));
        EXPECT_LT(clips::MeanDifference(image, clips::FfmpegPicture(strClip, 2)), 4.0);
        // The picture is usable as any QImage: painted on, copied, saved.
        QImage copy = image.copy();
        copy.setPixel(c.nWidth - 1, c.nHeight - 1, 0xff00ff00);
        EXPECT_EQ(copy.pixel(c.nWidth - 1, c.nHeight - 1), 0xff00ff00u);
        EXPECT_NE(image.pixel(c.nWidth - 1, c.nHeight - 1), 0xff00ff00u) << "the shown picture is shared";

        // Thumbnails, at the list's size and at a size that is no multiple of anything.
        for (const QSize size : {QSize(110, 80), QSize(97, 61)}) {
            QImage thumbnail;
            ASSERT_EQ(CThumbnailer::Decode(strClip, size, &thumbnail), S_OK);
            EXPECT_EQ(thumbnail.size(), size);
            const QImage reference = clips::FfmpegPicture(strClip, 0)
                                         .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            EXPECT_LT(clips::MeanDifference(thumbnail, reference), 12.0);
        }
    }
    CThumbnailer::SetCacheDirectory(QString());
}

TEST(PictureSizeTest, ConversionsStayInsideTheirBuffers)
{
    // The scaler's vector code is not built with the sanitizers, so a write past a picture shows
    // only to valgrind (or much later, as a corrupted heap). The conversions run alone under it.
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "valgrind cannot run a program built with AddressSanitizer";
#endif
    ASSERT_EQ(clips::RunProgram(QStringLiteral("valgrind"), {"--version"}), 0) << "valgrind is not installed";
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("valgrind"),
                  {"-q", QStringLiteral(PELLISTER_BINARY_DIR "/tests/playback/picture_conversion_check")});
    ASSERT_TRUE(process.waitForStarted(10000));
    if (!process.waitForFinished(240000)) {
        process.kill();
        process.waitForFinished(5000);
        FAIL() << "valgrind did not finish in 4 minutes";
    }
    const QByteArray output = process.readAll();
    EXPECT_FALSE(output.contains("Invalid write")) << output.left(4000).constData();
    EXPECT_FALSE(output.contains("Invalid read")) << output.left(4000).constData();
    EXPECT_EQ(process.exitCode(), 0) << output.right(2000).constData();
    EXPECT_TRUE(output.contains("conversions checked, 0 wrong")) << output.right(2000).constData();
}

// ---------------------------------------------------------------------------------------
// Orientation

TEST(OrientationTest, DisplayMatricesGiveTheirOrientation)
{
    // FFmpeg's own helpers write the matrices: av_display_rotation_set turns clockwise on
    // screen, av_display_matrix_flip mirrors.
    const struct {
        double dAngle;
        bool bMirror;
        tagVIDEOORIENTATION expected;
    } cases[] = {
        {0, false, {0, false}},        {90, false, {90, false}}, {180, false, {180, false}},
        {-90, false, {270, false}},    {0, true, {0, true}},     {-90, true, {90, true}},
        {180, true, {180, true}},      {90, true, {270, true}},  {88.0, false, {90, false}},
        {-136.0, false, {180, false}},
    };
    for (const auto &c : cases) {
        int32_t matrix[9];
        av_display_rotation_set(matrix, c.dAngle);
        if (c.bMirror)
            av_display_matrix_flip(matrix, 1, 0);
        const tagVIDEOORIENTATION got = OrientationOfMatrix(matrix);
        EXPECT_EQ(got.nRotation, c.expected.nRotation) << c.dAngle << " mirror " << c.bMirror;
        EXPECT_EQ(got.bMirror, c.expected.bMirror) << c.dAngle << " mirror " << c.bMirror;
    }
    // No matrix, or one that maps everything to a point: shown as stored.
    EXPECT_TRUE(OrientationOfMatrix(nullptr).IsIdentity());
    const int32_t zero[9] = {0, 0, 0, 0, 0, 0, 0, 0, 1 << 30};
    EXPECT_TRUE(OrientationOfMatrix(zero).IsIdentity());
}

TEST(OrientationTest, PixelsMoveExactly)
{
    QImage image(3, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            image.setPixel(x, y, qRgb(x * 80, y * 80, 7));
    // Top-left pixel (0,0) and where it lands.
    const struct {
        tagVIDEOORIENTATION o;
        QSize size;
        QPoint topLeftGoesTo;
    } cases[] = {
        {{90, false}, {2, 3}, {1, 0}}, {{180, false}, {3, 2}, {2, 1}}, {{270, false}, {2, 3}, {0, 2}},
        {{0, true}, {3, 2}, {2, 0}},   {{90, true}, {2, 3}, {1, 2}},
    };
    for (const auto &c : cases) {
        const QImage turned = ApplyOrientation(image, c.o);
        ASSERT_EQ(turned.size(), c.size) << c.o.nRotation << c.o.bMirror;
        EXPECT_EQ(turned.pixel(c.topLeftGoesTo), image.pixel(0, 0)) << c.o.nRotation << c.o.bMirror;
        EXPECT_EQ(OrientedSize(image.size(), c.o), c.size);
    }
}

struct tagROTATEDCLIP {
    const char *name;
    QString strPath;
    QString strReferenceFilters; // what turns ffmpeg's own decode into the expected picture
    bool bAutorotate;
    QSize shown;
};

std::vector<tagROTATEDCLIP> RotatedClips()
{
    // 826x540: an odd line length on top of the turn.
    const QStringList source{"-f",   "lavfi",   "-i",       "testsrc2=s=826x540:r=25:d=0.2",
                             "-c:v", "libx264", "-preset",  "ultrafast",
                             "-bf",  "2",       "-pix_fmt", "yuv420p"};
    std::vector<tagROTATEDCLIP> result;
    for (const int nRotate : {90, 180, 270}) {
        const QString strName = QStringLiteral("rotate-%1.mp4").arg(nRotate);
        result.push_back({"rotate tag",
                          clips::MakeCopied(strName, source,
                                            {"-metadata:s:v:0", QStringLiteral("rotate=%1").arg(nRotate)}),
                          QString(), true, nRotate == 180 ? QSize(826, 540) : QSize(540, 826)});
    }
    // A camera mounted mirrored: a track matrix with the x axis flipped (the ffmpeg command of
    // this machine does not turn such a picture itself, so the reference mirrors it).
    const QString strPlain = clips::Make(QStringLiteral("rotate-0.mp4"), source);
    const int32_t mirror[9] = {-65536, 0, 0, 0, 65536, 0, 826 << 16, 0, 1 << 30};
    result.push_back({"mirrored", clips::WithTrackMatrix(strPlain, QStringLiteral("mirror.mp4"), mirror),
                      QStringLiteral("hflip"), false, QSize(826, 540)});
    // Rows become columns (mirrored, then turned): the transpose.
    const int32_t transpose[9] = {0, 65536, 0, 65536, 0, 0, 0, 0, 1 << 30};
    result.push_back({"transposed",
                      clips::WithTrackMatrix(strPlain, QStringLiteral("transpose.mp4"), transpose),
                      QStringLiteral("transpose=0"), false, QSize(540, 826)});
    return result;
}

TEST(OrientationTest, TurnedClipsShowUprightEverywhere)
{
    QTemporaryDir cacheDir;
    ASSERT_TRUE(cacheDir.isValid());
    CThumbnailer::SetCacheDirectory(cacheDir.path());
    for (const tagROTATEDCLIP &clip : RotatedClips()) {
        SCOPED_TRACE(
            QStringLiteral("%1 %2").arg(clip.name, QFileInfo(clip.strPath).fileName()).toStdString());
        ASSERT_FALSE(clip.strPath.isEmpty());
        const QImage reference =
            clips::FfmpegPicture(clip.strPath, 3, clip.strReferenceFilters, clip.bAutorotate);
        ASSERT_EQ(reference.size(), clip.shown) << "the reference itself is turned";
        const QImage stored = clips::FfmpegPicture(clip.strPath, 3, QString(), false);

        CMediaGraph graph;
        ASSERT_EQ(graph.OpenMedia(clip.strPath), S_OK);
        EXPECT_EQ(graph.VideoSize(), clip.shown);
        ASSERT_EQ(graph.SeekToFrame(3), S_OK);
        QImage shown;
        int64_t llFrame = -1;
        ASSERT_EQ(graph.GetCurrentImage(&shown, &llFrame), S_OK);
        EXPECT_EQ(llFrame, 3);
        EXPECT_LT(clips::MeanDifference(shown, reference), 4.0);
        if (stored.size() == shown.size()) // a half turn or a mirror keeps the size
            EXPECT_GT(clips::MeanDifference(shown, stored), 10.0) << "the picture is turned, not as stored";

        QImage thumbnail;
        ASSERT_EQ(CThumbnailer::Decode(clip.strPath, QSize(80, 110), &thumbnail), S_OK);
        ASSERT_EQ(thumbnail.size(), QSize(80, 110));
        const QImage thumbReference =
            clips::FfmpegPicture(clip.strPath, 0, clip.strReferenceFilters, clip.bAutorotate)
                .scaled(QSize(80, 110), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage thumbStored =
            clips::FfmpegPicture(clip.strPath, 0, QString(), false)
                .scaled(QSize(80, 110), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_LT(clips::MeanDifference(thumbnail, thumbReference), 12.0);
        EXPECT_LT(clips::MeanDifference(thumbnail, thumbReference),
                  clips::MeanDifference(thumbnail, thumbStored));
    }
    CThumbnailer::SetCacheDirectory(QString());
}

TEST(OrientationTest, CliProbeAndFrameShowTheTurnedPicture)
{
    const QString strCli = clips::BinaryDir() + QStringLiteral("/PC_viewer/cli/pellister-cli");
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    for (const tagROTATEDCLIP &clip : RotatedClips()) {
        SCOPED_TRACE(
            QStringLiteral("%1 %2").arg(clip.name, QFileInfo(clip.strPath).fileName()).toStdString());
        QByteArray probe;
        ASSERT_EQ(clips::RunProgram(strCli, {"probe", clip.strPath}, &probe), 0);
        EXPECT_TRUE(probe.contains(QStringLiteral("width=%1\n").arg(clip.shown.width()).toLatin1()))
            << probe.data();
        EXPECT_TRUE(probe.contains(QStringLiteral("height=%1\n").arg(clip.shown.height()).toLatin1()))
            << probe.data();
        const QString strPng = out.filePath(QFileInfo(clip.strPath).baseName() + QStringLiteral(".png"));
        ASSERT_EQ(clips::RunProgram(strCli, {"frame", clip.strPath, "3", strPng}), 0);
        const QImage written(strPng);
        EXPECT_LT(
            clips::MeanDifference(
                written, clips::FfmpegPicture(clip.strPath, 3, clip.strReferenceFilters, clip.bAutorotate)),
            4.0);
    }
}

} // namespace
