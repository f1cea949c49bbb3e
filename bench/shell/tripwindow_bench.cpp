// The Trips window on a large card: "Trip timeline..." in the main window on a card whose clips
// all make one drive (a minute each, 600 G-sensor samples and 60 fixes per clip), then the timeline
// scrolled from end to end, a wheel step (a tenth of the view) at a time, at the whole trip's
// width, at 16 times that and zoomed in all the way; every step repainted at once and timed (at
// least 30 repaints per zoom: a view with less to scroll is scrolled through again). Prints the
// time to open the window and, per zoom, the repaints' median, 95th percentile (goal <= 16 ms) and
// worst, on the wall clock and in the thread's own processor time (which a busy machine's other
// work does not add to).
//
//   build/bench/shell/bench_tripwindow [CLIPS=2000] [WORKDIR] [TIMES.csv]
#include "shell/mainframe.h"
#include "skin/commandids.h"
#include "trips/triptimelineview.h"
#include "trips/tripwindow.h"

#include "benchwindow.h"
#include "fixtures/minutecard.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// The processor time this thread has used, in milliseconds.
double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

struct tagREPAINT {
    double wall = 0, cpu = 0;
};

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

// Scrolls the timeline from its start to its end, a wheel step at a time (again, until 30 steps);
// each step's repaint.
std::vector<tagREPAINT> ScrollEndToEnd(CTripTimelineView *view)
{
    std::vector<tagREPAINT> times;
    QScrollBar *bar = view->horizontalScrollBar();
    const int step = std::max(1, view->viewport()->width() / 10);
    while (times.size() < 30) {
        for (int x = 0;; x += step) {
            view->ScrollTo(x);
            const auto start = Clock::now();
            const double cpu = ThreadCpuMs();
            view->viewport()->repaint();
            times.push_back({Ms(start), ThreadCpuMs() - cpu});
            if (x >= bar->maximum())
                break;
        }
    }
    return times;
}

} // namespace

int main(int argc, char **argv)
{
    CBenchApplication app(argc, argv);
    const int clips = argc > 1 ? std::max(1, atoi(argv[1])) : 2000;
    QTemporaryDir work(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/bench-trips-XXXXXX")
                                : QDir::tempPath() + QStringLiteral("/bench-trips-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "bench_tripwindow: cannot write the card\n");
        return 1;
    }
    MakeMinuteCard(work.path(), clips, clips, 0);

    CBenchSkin skin;
    CBenchViewer viewer(skin);
    CMainFrame &frame = viewer.Frame();
    frame.show();
    viewer.Root().SetFolderAndLoad(work.path());
    if (viewer.Document().Count() != clips) {
        std::fprintf(stderr, "bench_tripwindow: loaded %d of %d clips\n", viewer.Document().Count(), clips);
        return 1;
    }

    const auto opening = Clock::now();
    frame.Command(ID_VIEW_TRIP_TIMELINE);
    CTripWindow *window = viewer.Root().TripWindow();
    window->resize(1200, 700);
    QCoreApplication::processEvents();
    window->repaint();
    const double openMs = Ms(opening);
    if (window->Trips().size() != 1 || window->Trips().first().nClips != clips) {
        std::fprintf(stderr, "bench_tripwindow: the card made %d trips\n", static_cast<int>(window->Trips().size()));
        return 1;
    }
    CTripTimelineView *view = window->Timeline();
    std::printf("%d clips in one drive, %d events; Trip timeline... to the window painted: %.0f ms; timeline %d x %d\n",
                clips, static_cast<int>(window->Trips().first().vecEvents.size()), openMs, view->viewport()->width(),
                view->viewport()->height());

    QFile csv(argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString());
    if (argc > 3 && csv.open(QIODevice::WriteOnly | QIODevice::Text))
        csv.write("zoom,step,ms,cpu_ms\n");
    for (const double zoom : {1.0, 16.0, 1e9}) {
        const auto zooming = Clock::now();
        view->SetZoom(zoom, view->Timeline().StartMs());
        const double zoomMs = Ms(zooming);
        const std::vector<tagREPAINT> times = ScrollEndToEnd(view);
        std::vector<double> wall, cpu;
        for (size_t i = 0; i < times.size(); ++i) {
            wall.push_back(times[i].wall);
            cpu.push_back(times[i].cpu);
            if (csv.isOpen())
                csv.write(QString::asprintf("%g,%zu,%.3f,%.3f\n", view->Zoom(), i, times[i].wall, times[i].cpu).toLatin1());
        }
        std::printf("zoom %.0f (%d px wide, %.2f px/s; laid out in %.0f ms): %zu repaints; wall median %.2f ms, "
                    "95th percentile %.2f ms (goal <= 16), worst %.2f ms; processor median %.2f ms, 95th "
                    "percentile %.2f ms, worst %.2f ms\n",
                    view->Zoom(), view->Timeline().ContentWidth(),
                    view->Timeline().ContentWidth() * 1000.0 /
                        double(view->Timeline().EndMs() - view->Timeline().StartMs()),
                    zoomMs, times.size(), Percentile(wall, 0.5), Percentile(wall, 0.95),
                    *std::max_element(wall.begin(), wall.end()), Percentile(cpu, 0.5), Percentile(cpu, 0.95),
                    *std::max_element(cpu.begin(), cpu.end()));
        std::fflush(stdout);
    }
    return 0;
}
