// Pace of a recording of several cameras in the video pane, as it reaches the screen. Two cards
// made with ffmpeg: front 2560x1440 and rear 1920x1080 at 30 a second (a Novatek card), and four
// 1280x960 cameras at 36 a second (a Tesla card), 20 s each.
//
// At 1x, for each camera: the new pictures painted per second against the camera's own frame
// rate; and, after every pass of the event loop, whether each camera's painted picture was the
// one of the main camera's painted moment, with the largest gap between their moments in frame
// times. At 4x and -4x: the steps per second the pane painted against the decode-bound limit,
// ffmpeg's pictures a second decoding the cameras' clips (-threads 2) divided by the pictures
// each step moved through in all cameras together.
//
//   build/bench/shell/bench_channelpace [WORK]
//
// The clips are made once in WORK (default ./bench-channelpace).
#include "fixtures/clipmaker.h"
#include "media/mediagraph.h"
#include "playback/mediaplayview.h"
#include "playback/playbackcontroller.h"
#include "playback/playbacksession.h"
#include "shell/mainframe.h"

#include "benchwindow.h"
#include "screen/screencheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kSeconds = 20;

struct tagCAMERA {
    const char *pName;
    int nWidth;
    int nHeight;
    int nFps;
};

QString MakeCamera(const QString &folder, const tagCAMERA &camera)
{
    std::fprintf(stderr, "making %s ...\n", camera.pName);
    return clipmaker::Make(folder, QString::fromLatin1(camera.pName),
                           {"-f", "lavfi", "-i",
                            QStringLiteral("testsrc2=size=%1x%2:rate=%3:duration=%4")
                                .arg(camera.nWidth)
                                .arg(camera.nHeight)
                                .arg(camera.nFps)
                                .arg(kSeconds),
                            "-c:v", "libx264", "-preset", "veryfast", "-g", "30", "-pix_fmt", "yuv420p"},
                           60 * 60 * 1000);
}

// Pictures a second ffmpeg decodes of all the clips, one after the other, with two threads.
double FfmpegPicturesPerSecond(const QStringList &clips, int64_t pictures)
{
    QElapsedTimer t;
    t.start();
    for (const QString &clip : clips) {
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-threads", "2", "-i", clip, "-f", "null", "-"});
        if (!ffmpeg.waitForStarted(10000) || !ffmpeg.waitForFinished(600000) || ffmpeg.exitCode() != 0)
            return 0;
    }
    return pictures / (t.nsecsElapsed() / 1e9);
}

// A camera's moment of its frame, in frame times of the main camera.
double Moment(const CPlaybackSession *session, int64_t frame)
{
    const int64_t frames = session->Graph()->FrameCount();
    return frames > 0 ? static_cast<double>(frame) * session->Graph()->Duration() / frames : 0.0;
}

void RunCard(CBenchViewer &viewer, const QString &name, const QStringList &clips)
{
    CPlaybackController *playback = viewer.Playback();
    if (!viewer.OpenClip(clips.front(), "bench_channelpace"))
        return;
    CMediaPlayView *view = viewer.Frame().PlayView();
    const int channels = playback->Channels();
    std::printf("\n%s: %d cameras\n", qPrintable(name), channels);
    if (channels != clips.size()) {
        std::printf("  the recording holds %d cameras, not %lld\n", channels, static_cast<long long>(clips.size()));
        return;
    }
    int64_t pictures = 0;
    for (int c = 0; c < channels; ++c)
        pictures += playback->Session(c)->Graph()->FrameCount();
    const double decoded = FfmpegPicturesPerSecond(clips, pictures);
    std::printf("  ffmpeg -threads 2 decodes %.1f pictures a second of the %d clips\n", decoded, channels);

    for (double rate : {1.0, 4.0, -4.0}) {
        if (rate > 0)
            playback->SeekToBeginning();
        else
            playback->SeekToEnd();
        std::vector<int64_t> startFrames, paintedBefore;
        for (int c = 0; c < channels; ++c) {
            startFrames.push_back(playback->Session(c)->Position());
            paintedBefore.push_back(view->NewChannelPicturesPainted(c));
        }
        playback->SetRate(rate);
        int checks = 0, outOfStep = 0;
        double widestGap = 0;
        QElapsedTimer t;
        t.start();
        playback->Play();
        while (view->GetPlayState() == PlayState::Running && t.elapsed() < 8000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            screencheck::FlushRepaints();
            const int64_t main = view->PaintedChannelFrame(0);
            if (main < 0)
                continue;
            ++checks;
            bool inStep = true;
            for (int c = 1; c < channels; ++c) {
                const int64_t shown = view->PaintedChannelFrame(c);
                const int64_t wanted = playback->ChannelFrameAt(c, main);
                inStep = inStep && shown == wanted;
                if (shown >= 0)
                    widestGap = std::max(widestGap, std::abs(Moment(playback->Session(c), shown) -
                                                             Moment(playback->Session(0), main)) /
                                                        playback->FrameTime());
            }
            if (!inStep)
                ++outOfStep;
        }
        const double seconds = t.nsecsElapsed() / 1e9;
        playback->Pause();
        std::printf("  %+.0fx over %.1f s: %d of %d paints had a camera off the main camera's moment, widest gap %.2f "
                    "frame times\n",
                    rate, seconds, outOfStep, checks, widestGap);
        if (rate == 1.0) {
            for (int c = 0; c < channels; ++c) {
                const CPlaybackSession *session = playback->Session(c);
                const double fps = 1e7 * session->Graph()->FrameCount() / session->Graph()->Duration();
                const double painted = (view->NewChannelPicturesPainted(c) - paintedBefore[size_t(c)]) / seconds;
                std::printf("    camera %d: %6.2f pictures painted a second, its rate %6.2f: %.3f\n", c, painted, fps,
                            painted / fps);
            }
        } else {
            const int64_t steps = view->NewChannelPicturesPainted(0) - paintedBefore[0];
            int64_t moved = 0;
            for (int c = 0; c < channels; ++c)
                moved += std::llabs(playback->Session(c)->Position() - startFrames[size_t(c)]);
            const double perStep = steps > 0 ? double(moved) / steps : 0;
            const double limit = perStep > 0 ? decoded / perStep : 0;
            std::printf("    %.1f steps painted a second, %.2f pictures a step in all cameras; decode-bound limit "
                        "%.1f: %.2f\n",
                        steps / seconds, perStep, limit, limit > 0 ? steps / seconds / limit : 0.0);
        }
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char **argv)
{
    CBenchApplication app(argc, argv);
    const QString work = QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("bench-channelpace"))
                             .absolutePath();

    const QString novatek = work + QStringLiteral("/novatek/DCIM/Movie");
    QStringList twoCameras;
    for (const tagCAMERA &camera : {tagCAMERA{"2024_0315_081500_0001F.MP4", 2560, 1440, 30},
                                    tagCAMERA{"2024_0315_081500_0002R.MP4", 1920, 1080, 30}})
        twoCameras << MakeCamera(novatek, camera);
    const QString tesla = work + QStringLiteral("/tesla/TeslaCam/RecentClips");
    QStringList fourCameras;
    for (const char *side : {"front", "back", "left_repeater", "right_repeater"})
        fourCameras << MakeCamera(tesla, {qPrintable(QStringLiteral("2024-03-15_08-15-00-%1.mp4").arg(side)), 1280,
                                          960, 36});
    if (twoCameras.contains(QString()) || fourCameras.contains(QString())) {
        std::fprintf(stderr, "bench_channelpace: ffmpeg could not make the clips\n");
        return 1;
    }

    CBenchSkin skin;
    CBenchViewer viewer(skin);
    viewer.Frame().resize(1280, 960);
    viewer.Frame().show();
    RunCard(viewer, QStringLiteral("front 2560x1440 + rear 1920x1080, 30 a second"), twoCameras);
    RunCard(viewer, QStringLiteral("Tesla: four 1280x960 cameras, 36 a second"), fourCameras);
    return 0;
}
