// The grid of 25 panes as it reaches the screen: for 1x, 4x and 32x, how many grid steps per second
// the engine alone delivers (25 graphs on the clip seeking to the next step's frames, as fast as
// they can, capped at the step clock of one step per frame time), against the grid steps the window painted
// per second (new pane pictures painted / 25) while the viewer played the grid; how often pane
// 0's painted frame was not the published one; the time of SetLayout from the single view to 25
// panes and back, in D (ffmpeg -threads 1 decode time per picture, measured in the same run); and
// the peak memory.
//
//   build/bench/shell/bench_gridpace [CLIP]
//
// Without CLIP a 1920x1080 H.264 clip of 60 s at 30 pictures a second is made with ffmpeg.
#include "media/mediagraph.h"
#include "playback/mediaplayview.h"
#include "playback/multiplayview.h"
#include "playback/playbackpane.h"
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

#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kPanes = 25;

double FfmpegSecondsPerPicture(const QString &clip, qint64 pictures)
{
    QElapsedTimer t;
    t.start();
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-threads", "1", "-i", clip, "-f", "null", "-"});
    ffmpeg.waitForFinished(600000);
    return t.nsecsElapsed() / 1e9 / static_cast<double>(pictures);
}

// Grid steps per second the engine delivers alone at `rate`: 25 graphs, each step seeking every
// pane to the frame the rate has reached by then (as the viewer's step clock aims) and taking its
// picture, from the start for at most 3 s.
double EngineGridSteps(const QString &clip, int rate, double frameSeconds)
{
    std::vector<std::unique_ptr<CMediaGraph>> panes;
    for (int i = 0; i < kPanes; ++i) {
        panes.push_back(std::make_unique<CMediaGraph>());
        if (FAILED(panes.back()->OpenMedia(clip)))
            return 0.0;
    }
    const int64_t count = panes.front()->FrameCount();
    int steps = 0;
    QElapsedTimer t;
    t.start();
    // k: the steps the rate clock has reached (at least one more than the last shown).
    for (int64_t k = 0;;) {
        const int64_t ticks = static_cast<int64_t>(t.nsecsElapsed() / 1e9 / frameSeconds) + 1;
        k = std::max(k + 1, ticks);
        const int64_t first = k * rate;
        if (first + kPanes > count || t.elapsed() >= 3000)
            break;
        for (int i = 0; i < kPanes; ++i) {
            panes[size_t(i)]->SeekToFrame(first + i);
            (void)panes[size_t(i)]->CurrentImage();
        }
        ++steps;
    }
    return steps / (t.nsecsElapsed() / 1e9);
}

long PeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

} // namespace

int main(int argc, char **argv)
{
    CBenchApplication app(argc, argv);

    QTemporaryDir work;
    const QString clip =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : MakeBenchClip(work, 60, "bench_gridpace");
    if (clip.isEmpty())
        return 1;

    CBenchSkin skin;
    CBenchViewer viewer(skin);
    CMainFrame &frame = viewer.Frame();
    CPlaybackController *playback = viewer.Playback();
    frame.show();
    if (!viewer.OpenClip(clip, "bench_gridpace"))
        return 1;
    CMediaPlayView *view = frame.PlayView();
    const double d = FfmpegSecondsPerPicture(clip, playback->FrameCount());
    std::printf("%s: %lld pictures; D = %.2f ms (ffmpeg -threads 1)\n", qPrintable(QFileInfo(clip).fileName()),
                static_cast<long long>(playback->FrameCount()), d * 1000);

    QElapsedTimer t;
    t.start();
    playback->SetLayout(1, kPanes, true);
    const double toGrid = t.nsecsElapsed() / 1e9;
    t.restart();
    playback->SetLayout(0, 1, true);
    const double toSingle = t.nsecsElapsed() / 1e9;
    std::printf("SetLayout single -> 25 panes: %.1f D (%.0f ms); 25 panes -> single: %.1f D (%.0f ms)\n",
                toGrid / d, toGrid * 1000, toSingle / d, toSingle * 1000);
    playback->SetLayout(1, kPanes, true);

    std::printf("%-6s %14s %14s %6s %11s\n", "rate", "engine st/s", "painted st/s", "ratio", "paint!=pub");
    for (int rate : {1, 4, 32}) {
        const double engine = std::min(1e7 / playback->FrameTime(), EngineGridSteps(clip, rate, playback->FrameTime() / 1e7));
        playback->SeekToBeginning();
        playback->SetRate(rate);
        int64_t paintedBefore = 0;
        for (int i = 0; i < view->PaneViews(); ++i)
            paintedBefore += view->PaneView(i)->NewPicturesPainted();
        int checks = 0, mismatches = 0;
        t.restart();
        playback->Play();
        while (view->GetPlayState() == PlayState::Running && t.elapsed() < 3000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            const qint64 position = playback->Position();
            screencheck::FlushRepaints();
            ++checks;
            if (view->PaneView(0)->PaintedFrame() != position)
                ++mismatches;
        }
        const double seconds = t.nsecsElapsed() / 1e9;
        playback->Pause();
        int64_t painted = -paintedBefore;
        for (int i = 0; i < view->PaneViews(); ++i)
            painted += view->PaneView(i)->NewPicturesPainted();
        const double paintedSteps = painted / double(kPanes) / seconds;
        std::printf("%4dx %14.1f %14.1f %6.2f %5d/%-5d\n", rate, engine, paintedSteps, paintedSteps / engine,
                    mismatches, checks);
        std::fflush(stdout);
    }
    std::printf("peak memory: %ld MB\n", PeakMegabytes());
    return 0;
}
