// pellister-cli probe and frame on generated clips and bad input, against ffprobe and ffmpeg.
#include "clipfactory.h"

#include <gtest/gtest.h>

#include <QMap>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

QString Cli()
{
    return clips::BinaryDir() + QStringLiteral("/PC_viewer/cli/pellister-cli");
}

QMap<QString, long long> Probe(const QString &strClip, int *pStatus)
{
    QByteArray out;
    *pStatus = clips::RunProgram(Cli(), {"probe", strClip}, &out);
    QMap<QString, long long> values;
    for (const QByteArray &line : out.split('\n')) {
        const int nEq = line.indexOf('=');
        if (nEq > 0)
            values.insert(QString::fromUtf8(line.left(nEq)), line.mid(nEq + 1).toLongLong());
    }
    return values;
}

TEST(CliMedia, ProbePrintsTheClipsMeasures)
{
    const struct {
        QString strClip;
        long long llHasAudio;
    } cases[] = {{clips::Mp4H264(), 1}, {clips::AviH264(), 0}, {clips::AviWithoutIndex(), 1}};
    for (const auto &c : cases) {
        int nStatus = -1;
        const auto values = Probe(c.strClip, &nStatus);
        ASSERT_EQ(nStatus, 0) << qPrintable(c.strClip);
        EXPECT_EQ(values.keys(),
                  (QStringList{"duration", "frame_time", "frames", "has_audio", "height", "width"}));
        EXPECT_EQ(values.value("frames"), clips::FfprobeCountFrames(c.strClip));
        EXPECT_EQ(values.value("frame_time"), values.value("duration") / values.value("frames"));
        EXPECT_EQ(values.value("width"), clips::kWidth);
        EXPECT_EQ(values.value("height"), clips::kHeight);
        EXPECT_EQ(values.value("has_audio"), c.llHasAudio) << qPrintable(c.strClip);
    }
}

TEST(CliMedia, FrameWritesThePictureFfmpegDecodes)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString strClip = clips::Mp4H264BFrames();
    const long long llLast = clips::FfprobeCountFrames(strClip) - 1;
    for (long long n : {0LL, 31LL, llLast}) {
        const QString strOut = temp.filePath(QStringLiteral("f%1.png").arg(n));
        ASSERT_EQ(clips::RunProgram(Cli(), {"frame", strClip, QString::number(n), strOut}), 0);
        QImage written(strOut);
        EXPECT_LT(clips::MeanDifference(written, clips::FfmpegSelectFrame(strClip, n)), 4.0) << n;
    }
    const QString strJpeg = temp.filePath("f.JPG");
    ASSERT_EQ(clips::RunProgram(Cli(), {"frame", clips::AviMjpeg(), "5", strJpeg}), 0);
    QImage jpeg;
    ASSERT_TRUE(jpeg.load(strJpeg, "JPEG"));
    EXPECT_EQ(jpeg.size(), QSize(clips::kWidth, clips::kHeight));
}

TEST(CliMedia, FrameCropsScalesAndAdjustsAsFfmpegsCropScaleAndEq)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString strClip = clips::Mp4H264BFrames();
    const struct {
        QStringList options;
        QString filters;
        QSize size;
    } cases[] = {
        {{"--crop", "40,30,64,48"}, "crop=64:48:40:30", {64, 48}},
        {{"--crop", "40,30,64,48", "--scale", "2.5"}, "crop=64:48:40:30,scale=160:120:flags=bicubic", {160, 120}},
        {{"--adjust", "brightness=-0.2,gamma=1.8"}, "eq=brightness=-0.2:gamma=1.8", {160, 120}},
        {{"--crop", "20,10,80,60", "--scale", "2", "--adjust", "contrast=1.3,brightness=0.1,gamma=0.8"},
         "crop=80:60:20:10,scale=160:120:flags=bicubic,eq=contrast=1.3:brightness=0.1:gamma=0.8",
         {160, 120}},
    };
    for (const auto &c : cases) {
        const QString strOut = temp.filePath(QStringLiteral("view.png"));
        ASSERT_EQ(clips::RunProgram(Cli(), QStringList{"frame", strClip, "31", strOut} + c.options), 0) << qPrintable(c.filters);
        const QImage written(strOut);
        ASSERT_EQ(written.size(), c.size) << qPrintable(c.filters);
        EXPECT_LT(clips::MeanDifference(written, clips::FfmpegPicture(strClip, 31, c.filters)), 4.0)
            << qPrintable(c.filters);
        // The same chain on another frame differs clearly: the comparison can tell.
        EXPECT_GT(clips::MeanDifference(written, clips::FfmpegPicture(strClip, 45, c.filters)), 6.0)
            << qPrintable(c.filters);
    }
}

TEST(CliMedia, FailuresAndWrongArgumentsHaveTheirExitStatus)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString strOut = temp.filePath("out.png");
    const long long llCount = clips::FfprobeCountFrames(clips::AviH264());
    const struct {
        const char *pszCase;
        QStringList args;
        int nStatus;
    } cases[] = {
        {"frame past the end", {"frame", clips::AviH264(), QString::number(llCount), strOut}, 1},
        {"negative frame", {"frame", clips::AviH264(), "-1", strOut}, 1},
        {"clip that does not open", {"frame", clips::RandomBytes(), "0", strOut}, 1},
        {"probe of a sound-only file", {"probe", clips::AudioOnly()}, 1},
        {"probe of a zero-byte file", {"probe", clips::ZeroBytes()}, 1},
        {"probe of a missing file", {"probe", temp.filePath("none.mp4")}, 1},
        {"frame number not a number", {"frame", clips::AviH264(), "x", strOut}, 2},
        {"unknown picture format", {"frame", clips::AviH264(), "0", temp.filePath("a.bmpx")}, 2},
        {"missing argument", {"frame", clips::AviH264(), "0"}, 2},
        {"probe without clip", {"probe"}, 2},
        {"play at a rate the viewer has not", {"play", clips::AviH264(), "3"}, 2},
        {"play from a frame that is no number", {"play", clips::AviH264(), "4", "x"}, 2},
        {"play from past the end", {"play", clips::AviH264(), "4", QString::number(llCount + 1)}, 1},
        {"play of a clip that does not open", {"play", clips::RandomBytes(), "1"}, 1},
        {"crop outside the picture", {"frame", clips::AviH264(), "0", strOut, "--crop", "100,0,100,20"}, 2},
        {"crop of no size", {"frame", clips::AviH264(), "0", strOut, "--crop", "0,0,0,20"}, 2},
        {"crop of three numbers", {"frame", clips::AviH264(), "0", strOut, "--crop", "0,0,20"}, 2},
        {"scale of 0", {"frame", clips::AviH264(), "0", strOut, "--scale", "0"}, 2},
        {"scale past any picture", {"frame", clips::AviH264(), "0", strOut, "--scale", "1000"}, 2},
        {"unknown adjustment", {"frame", clips::AviH264(), "0", strOut, "--adjust", "hue=3"}, 2},
        {"brightness out of range", {"frame", clips::AviH264(), "0", strOut, "--adjust", "brightness=2"}, 2},
        {"gamma given twice", {"frame", clips::AviH264(), "0", strOut, "--adjust", "gamma=1,gamma=2"}, 2},
    };
    for (const auto &c : cases) {
        QByteArray out, err;
        EXPECT_EQ(clips::RunProgram(Cli(), c.args, &out, &err), c.nStatus) << c.pszCase;
        EXPECT_FALSE(err.trimmed().isEmpty()) << c.pszCase << ": no message";
    }
    EXPECT_FALSE(QFileInfo::exists(strOut)) << "a failed command wrote a picture";
}

TEST(CliMedia, PlaySteppedAndInRealTimePrintsEveryPositionShown)
{
    const QString strClip = clips::Mp4H264(); // 120 pictures
    const struct {
        const char *rate;
        const char *from;
        long long llFirst;
        long long llEnd;
    } cases[] = {
        {"4", "0", 4, 120},
        {"-32", nullptr, 88, 0},
        {"2", "100", 102, 120},
        {"1", "90", -1, 120},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.rate);
        QStringList args{"play", strClip, c.rate};
        if (c.from)
            args << c.from;
        QByteArray out;
        ASSERT_EQ(clips::RunProgram(Cli(), args, &out), 0);
        const QList<QByteArray> lines = out.trimmed().split('\n');
        ASSERT_GE(lines.size(), 3);
        // A step goes at once; 1x shows the picture due when the clock first asks (any after FROM).
        if (c.llFirst >= 0)
            EXPECT_EQ(lines.first(), "frame=" + QByteArray::number(c.llFirst));
        else
            EXPECT_GT(lines.first().mid(6).toLongLong(), 90);
        EXPECT_EQ(lines.last(), "end=" + QByteArray::number(c.llEnd));
        // Every position moves on in the rate's direction, never further than the rate allows
        // between two shown pictures at 1x (the player passes late pictures over).
        long long llPrevious = -1;
        for (const QByteArray &line : lines.mid(0, lines.size() - 1)) {
            ASSERT_TRUE(line.startsWith("frame=")) << line.constData();
            const long long llFrame = line.mid(6).toLongLong();
            if (llPrevious >= 0)
                EXPECT_TRUE(c.rate[0] == '-' ? llFrame <= llPrevious : llFrame >= llPrevious)
                    << line.constData();
            llPrevious = llFrame;
        }
    }
}

} // namespace

TEST(CliMedia, SnapshotWritesWhatSaveImageWrites)
{
    QTemporaryDir out;
    const QString clip = clips::AviH264(); // 90 pictures, base name "h264"
    const struct {
        QStringList extra;
        int status;
        QStringList files; // frames written, in order
        QString message;
    } cases[] = {
        {{}, 0, {"h264_40.jpg"}, "Success to save the image."},
        // Four panes at 88 start at 86; panes 1 and 3 are 87 and 89.
        {{"--grid", "4", "--marked", "3,1"}, 0, {"h264_87.jpg", "h264_89.jpg"}, "Success to save the image."},
        {{"--grid", "9"}, 1, {}, "The selected file does not exist."},
    };
    const qint64 frames[] = {40, 88, 88};
    for (size_t i = 0; i < std::size(cases); ++i) {
        QByteArray stdOut;
        const int status = clips::RunProgram(
            Cli(), QStringList{"snapshot", clip, "--frame", QString::number(frames[i]), out.path()} + cases[i].extra,
            &stdOut);
        EXPECT_EQ(status, cases[i].status) << i;
        QStringList lines = QString::fromUtf8(stdOut).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty()) << i;
        EXPECT_EQ(lines.takeLast(), cases[i].message) << i;
        QStringList expected;
        for (const QString &name : cases[i].files)
            expected << QStringLiteral("file=") + out.filePath(name);
        EXPECT_EQ(lines, expected) << i;
        for (const QString &name : cases[i].files) {
            const long long frame = name.section(QLatin1Char('_'), 1).section(QLatin1Char('.'), 0, 0).toLongLong();
            EXPECT_EQ(clips::ClosestFrame(clip, QImage(out.filePath(name))), frame) << qPrintable(name);
        }
    }

    // Wrong arguments, and a folder that does not exist.
    const QStringList wrong[] = {
        {"snapshot", clip, out.path()},
        {"snapshot", clip, "--frame", "x", out.path()},
        {"snapshot", clip, "--frame", "1", out.path(), "--grid", "5"},
        {"snapshot", clip, "--frame", "1", out.path(), "--marked", "1"},
        {"snapshot", clip, "--frame", "1", out.path(), "--grid", "4", "--marked", "4"},
    };
    for (const QStringList &args : wrong)
        EXPECT_EQ(clips::RunProgram(Cli(), args), 2) << qPrintable(args.join(' '));
    QByteArray stdOut;
    EXPECT_EQ(clips::RunProgram(Cli(), {"snapshot", clip, "--frame", "1", out.filePath("none")}, &stdOut), 1);
    EXPECT_EQ(stdOut, "Wrong folder.\n");
}
