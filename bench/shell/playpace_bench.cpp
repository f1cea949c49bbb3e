// Pace of playback in the video pane, as it reaches the screen: plays a clip at 1x and at 2x to
// 32x forwards and backwards and prints, for each rate, how many frames of the clip went by per
// second of wall time against what the rate asks for, the steps the engine delivered (positions
// published), the new pictures painted per second and their ratio to the steps, the reference
// (at 1x the clip's frame rate, at other rates the steps per second of the playback session
// without a window, pellister-cli play, on the same clip) and the painted pictures against it,
// and how often what the screen showed was not the published frame: by the view's own record of
// its last paint after every pass of the event loop, and by matching the window system's pixels
// against ffmpeg's decode of the frame every 100 ms (matched after each run).
//
//   build/bench/shell/bench_playpace [CLIP]
//
// Without CLIP a 1920x1080 H.264 clip of 20 s at 30 pictures a second is made with ffmpeg.
#include "media/mediagraph.h"
#include "playback/mediaplayview.h"
#include "shell/contentlistview.h"
#include "playback/playbackcontroller.h"
#include "shell/mainframe.h"

#include "benchwindow.h"
#include "screen/screencheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// Steps per second the playback session makes without a window (pellister-cli play, from the
// start or, backwards, the end), so that the window's pace is measured against the engine's on
// the same clip in the same run.
double EngineStepsPerSecond(const QString &clip, double rate)
{
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/../../PC_viewer/cli/pellister-cli");
    QProcess play;
    QElapsedTimer t;
    t.start();
    play.start(cli, {"play", clip, QString::number(rate)});
    if (!play.waitForStarted(10000) || !play.waitForFinished(300000) || play.exitCode() != 0)
        return 0;
    return play.readAllStandardOutput().count("frame=") / (t.nsecsElapsed() / 1e9);
}

} // namespace

int main(int argc, char **argv)
{
    CBenchApplication app(argc, argv);

    QTemporaryDir work;
    const QString clip =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : MakeBenchClip(work, 20, "bench_playpace");
    if (clip.isEmpty())
        return 1;

    CBenchSkin skin;
    CBenchViewer viewer(skin);
    CMainFrame &frame = viewer.Frame();
    CPlaybackController *playback = viewer.Playback();
    frame.show();
    if (!viewer.OpenClip(clip, "bench_playpace"))
        return 1;
    CMediaPlayView *view = frame.PlayView();
    const double fps = 1e7 / static_cast<double>(playback->FrameTime());
    std::printf("%s: %lld pictures at %.2f a second\n", qPrintable(QFileInfo(clip).fileName()),
                static_cast<long long>(playback->FrameCount()), fps);

    const QSize referenceSize(160, 90);
    const std::vector<QImage> &references = screencheck::FfmpegFrames(clip, referenceSize);
    if (static_cast<qint64>(references.size()) != playback->FrameCount())
        std::fprintf(stderr, "bench_playpace: ffmpeg decoded %zu pictures; the pixel check is off\n",
                     references.size());

    // Steps delivered: positions the view published that differ from the one before (the end of
    // a clip is announced twice, by the step and by the end-of-clip handling).
    int published = 0;
    qint64 lastPublished = -1;
    QObject::connect(playback, &CPlaybackController::PositionChanged, [&](const tagPLAYPOSITION &p) {
        if (p.pOrigin == playback->MainSession() && playback->Position() != lastPublished) {
            ++published;
            lastPublished = playback->Position();
        }
    });

    // The reference for 1x is the clip's frame rate; for the other rates, the engine alone.
    std::printf("%-7s %9s %7s %6s %9s %9s %6s %9s %7s %11s %12s\n", "rate", "clip f/s", "asked", "pace", "steps/s",
                "painted/s", "ratio", "ref st/s", "vs ref", "paint!=pub", "pixels!=pub");
    for (double rate : {1.0, 2.0, 4.0, 8.0, 16.0, 32.0, -1.0, -2.0, -8.0, -32.0}) {
        if (rate > 0)
            playback->SeekToBeginning();
        else
            playback->SeekToEnd();
        const qint64 start = playback->Position();
        const qint64 last = playback->FrameCount();
        playback->SetRate(rate);
        published = 0;
        lastPublished = playback->Position();
        const int64_t paintedBefore = view->NewPicturesPainted();
        int paintChecks = 0, paintMismatches = 0, pixelChecks = 0, pixelMismatches = 0;
        QElapsedTimer t;
        t.start();
        qint64 nextPixelCheck = 100;
        std::vector<std::pair<QImage, qint64>> grabs;
        playback->Play();
        // Three seconds of wall time, or until the clip ends.
        while (view->GetPlayState() == PlayState::Running && t.elapsed() < 3000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            // Between two passes nothing moves the position: deliver the repaints asked for and
            // compare what was painted with what was published.
            const qint64 position = playback->Position();
            screencheck::FlushRepaints();
            ++paintChecks;
            if (view->PaintedFrame() != std::min(position, last - 1))
                ++paintMismatches;
            if (t.elapsed() >= nextPixelCheck && !references.empty()) {
                nextPixelCheck += 100;
                // Matched after the run: the search takes the UI thread's time.
                grabs.push_back({screencheck::GrabShown(view, view->Graph()->VideoRect()),
                                 std::min(position, last - 1)});
            }
        }
        const double seconds = t.nsecsElapsed() / 1e9;
        const qint64 moved = std::llabs(playback->Position() - start);
        const int64_t painted = view->NewPicturesPainted() - paintedBefore;
        playback->Pause();
        for (const auto &[shown, frame] : grabs) {
            ++pixelChecks;
            if (screencheck::MatchFrame(shown, references).frame != frame)
                ++pixelMismatches;
        }
        grabs.clear();
        const double reference = rate == 1.0 ? fps : EngineStepsPerSecond(clip, rate);
        std::printf("%+5.0fx %9.1f %7.1f %5.0f%% %9.1f %9.1f %6.2f %9.1f %7.2f %5d/%-5d %5d/%-5d\n", rate,
                    moved / seconds, std::abs(rate) * fps, 100.0 * moved / seconds / (std::abs(rate) * fps),
                    published / seconds, painted / seconds, published > 0 ? double(painted) / published : 0.0,
                    reference, reference > 0 ? painted / seconds / reference : 0.0, paintMismatches, paintChecks,
                    pixelMismatches, pixelChecks);
        std::fflush(stdout);
    }
    return 0;
}
