// Pace of 1x playback in the video pane while the picture is zoomed, panned and adjusted, as it
// reaches the screen: for each way of looking at the picture, the new pictures painted per second
// against the clip's frame rate (the baseline outside the window), and how often the painted
// frame was not the published one. The plain picture is measured in the same run.
//
//   build/bench/shell/bench_zoompace [CLIP]
//
// Without CLIP a 1920x1080 H.264 clip of 40 s at 30 pictures a second is made with ffmpeg. Each
// way plays a stretch of its own, so that none finds the pictures of another in the cache.
#include "media/mediagraph.h"
#include "playback/mediaplayview.h"
#include "playback/playbackcontroller.h"
#include "shell/mainframe.h"

#include "benchwindow.h"
#include "screen/screencheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char **argv)
{
    CBenchApplication app(argc, argv);
    QTemporaryDir work;
    const QString clip = argc > 1 ? QString::fromLocal8Bit(argv[1]) : MakeBenchClip(work, 40, "bench_zoompace");
    if (clip.isEmpty())
        return 1;
    CBenchSkin skin;
    CBenchViewer viewer(skin);
    CMainFrame &frame = viewer.Frame();
    CPlaybackController *playback = viewer.Playback();
    frame.show();
    if (!viewer.OpenClip(clip, "bench_zoompace"))
        return 1;
    CMediaPlayView *view = frame.PlayView();
    const double fps = 1e7 / static_cast<double>(playback->FrameTime());
    std::printf("%s: %lld pictures at %.2f a second, pane %dx%d\n", qPrintable(QFileInfo(clip).fileName()),
                static_cast<long long>(playback->FrameCount()), fps, view->Graph()->VideoRect().width(),
                view->Graph()->VideoRect().height());

    struct tagWAY {
        const char *name;
        double zoom;
        bool pan;
        bool adjust;
    };
    const tagWAY ways[] = {{"plain", 1.0, false, false},
                           {"zoom 2.5x", 2.5, false, false},
                           {"zoom 2.5x, panning", 2.5, true, false},
                           {"zoom 1.2x, panning", 1.2, true, false},
                           {"zoom 4x, panning, adjusted", 4.0, true, true},
                           {"adjusted (whole picture)", 1.0, false, true}};
    std::printf("%-28s %9s %9s %7s %11s\n", "view", "painted/s", "clip f/s", "ratio", "paint!=pub");
    int64_t start = 0;
    for (const tagWAY &way : ways) {
        tagPICTUREVIEW pictureView;
        pictureView = ZoomPictureAt(pictureView, {0.4, 0.6}, way.zoom);
        if (way.adjust)
            pictureView.adjust = {0.15, 1.3, 0.8, 1.0};
        playback->SetPictureView(pictureView);
        playback->Seek(start, nullptr);
        start += static_cast<int64_t>(6 * fps);
        playback->SetRate(1.0);
        const int64_t paintedBefore = view->NewPicturesPainted();
        int checks = 0, mismatches = 0;
        QElapsedTimer t;
        t.start();
        qint64 nextPan = 50;
        int direction = 1;
        playback->Play();
        // Five seconds of wall time; a drag of 6 pixels every 50 ms while panning (a brisk hand).
        while (view->GetPlayState() == PlayState::Running && t.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
            if (way.pan && t.elapsed() >= nextPan) {
                nextPan += 50;
                if ((t.elapsed() / 1000) % 2)
                    direction = -1;
                else
                    direction = 1;
                view->PanBy(QPoint(6 * direction, 3 * direction));
            }
            screencheck::FlushRepaints();
            ++checks;
            if (view->PaintedFrame() != std::min(playback->Position(), playback->FrameCount() - 1))
                ++mismatches;
        }
        const double seconds = t.nsecsElapsed() / 1e9;
        if (view->GetPlayState() != PlayState::Running)
            std::fprintf(stderr, "bench_zoompace: the clip ended before the run did\n");
        const int64_t painted = view->NewPicturesPainted() - paintedBefore;
        playback->Pause();
        std::printf("%-28s %9.1f %9.1f %7.3f %5d/%-5d\n", way.name, painted / seconds, fps, painted / seconds / fps,
                    mismatches, checks);
        std::fflush(stdout);
    }
    return 0;
}
