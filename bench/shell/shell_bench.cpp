// "Set Folder" in the main window on a large card, until the list shows every row, against the
// catalogue load alone, in the same run. Thumbnails may still be filling in when the list counts as
// shown; the time until the last one arrived is printed as well. Prints the medians of several
// runs and their ratio.
//
//   build/bench/shell/bench_shell [CLIPS=2000] [WORKDIR]
#include "catalogue/corvanadoc.h"
#include "media/thumbnailer.h"
#include "shell/contentlistview.h"
#include "shell/mainframe.h"

#include "benchwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Ten seconds of telemetry: 100 samples at 10 Hz and 10 fixes at 1 Hz.
QByteArray Telemetry(int clip)
{
    const int minute = clip / 60 % 60, second = clip % 60;
    QByteArray out = QString::asprintf("$SYNCTIME,08%02d%02d.000,130512,\r\n", minute, second).toLatin1();
    for (int i = 0; i < 100; ++i) {
        out += QString::asprintf("$ACCELERATOR,08%02d%02d.%03d,130512,%.2f,%.2f,%.2f,\r\n", minute, second,
                                 (i % 10) * 100, 0.01 * (i % 7), -0.98, 0.05 * (i % 3))
                   .toLatin1();
        if (i % 10 == 0)
            out += QString::asprintf(
                       "$GPRMC,08%02d%02d.000,A,3733.%04d,N,12658.%04d,E,21.5,87.3,120513,,*6A\r\n", minute,
                       second, 1000 + i, 5000 + i)
                       .toLatin1();
    }
    return out;
}

bool MakeCard(const QString &root, int clips)
{
    const QString clip = root + QStringLiteral("/template.mp4");
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-y"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("testsrc=size=160x120:rate=10:duration=1"), QStringLiteral("-c:v"),
                  QStringLiteral("libx264"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), clip});
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0)
        return false;
    for (int i = 0; i < clips; ++i) {
        const QString folder = QStringLiteral("%1/card/day%2").arg(root).arg(i / 200);
        QDir().mkpath(folder + QStringLiteral("/data"));
        const QString name = QStringLiteral("20130512_%1N").arg(i, 6, 10, QLatin1Char('0'));
        if (!QFile::copy(clip, folder + QLatin1Char('/') + name + QStringLiteral(".mp4")))
            return false;
        QFile data(folder + QStringLiteral("/data/") + name + QStringLiteral(".dat"));
        if (!data.open(QIODevice::WriteOnly) || data.write(Telemetry(i)) < 0)
            return false;
    }
    return true;
}

void Pump(int ms)
{
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    } while (t.elapsed() < ms);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    CBenchApplication app(argc, argv);
    const int clips = argc > 1 ? std::max(1, atoi(argv[1])) : 2000;
    QTemporaryDir work(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/bench-shell-XXXXXX")
                                : QDir::tempPath() + QStringLiteral("/bench-shell-XXXXXX"));
    if (!work.isValid() || !MakeCard(work.path(), clips)) {
        std::fprintf(stderr, "bench_shell: cannot write the card (is ffmpeg installed?)\n");
        return 1;
    }
    const QString card = work.path() + QStringLiteral("/card");
    // Every run decodes its thumbnails afresh; the disk cache would hide that work.
    CThumbnailer::SetCacheDirectory(QString());

    CBenchSkin skin;

    std::vector<double> catalogue, frameRuns, thumbnails;
    const int runs = 7;
    for (int run = 0; run < runs; ++run) {
        {
            CCorvanaDoc doc;
            doc.SetFolder(card);
            const auto start = Clock::now();
            doc.LoadFolder();
            catalogue.push_back(Seconds(start));
        }
        {
            CBenchViewer viewer(skin);
            CMainFrame &frame = viewer.Frame();
            frame.show();
            Pump(50);
            CContentListView *list = frame.ListView();
            bool finished = false;
            QObject::connect(list, &CContentListView::ThumbnailsFinished, [&] { finished = true; });

            const auto start = Clock::now();
            viewer.Root().SetFolderAndLoad(card);
            // The rows are in; the list paints them once.
            list->viewport()->repaint();
            frameRuns.push_back(Seconds(start));
            if (list->RowCount() != clips || viewer.Document().Count() != clips) {
                std::fprintf(stderr, "bench_shell: listed %d of %d clips\n", list->RowCount(), clips);
                return 1;
            }
            QElapsedTimer limit;
            limit.start();
            while (!finished && limit.elapsed() < 600000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            thumbnails.push_back(Seconds(start));
        }
        std::printf("run %d: catalogue %.3f s, list shown %.3f s, thumbnails done %.1f s\n", run + 1,
                    catalogue.back(), frameRuns.back(), thumbnails.back());
        std::fflush(stdout);
    }
    const double c = Median(catalogue), f = Median(frameRuns);
    std::printf("%d clips, medians of %d runs: catalogue load %.3f s, Set Folder to every row listed %.3f s, "
                "ratio %.2f (goal <= 1.30); all thumbnails after %.1f s\n",
                clips, runs, c, f, f / c, Median(thumbnails));
    return 0;
}
