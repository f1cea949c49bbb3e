// Folder load of a large card against the least any load must do: walk the same tree and read
// every data-file byte. Prints the medians of several runs and their ratio.
//
//   build/bench/catalogue/bench_catalogue [CLIPS=2000] [WORKDIR]
#include "catalogue/corvanadoc.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

// One minute of telemetry: 600 samples at 10 Hz and 60 fixes at 1 Hz.
QByteArray MinuteOfTelemetry(int clip)
{
    QByteArray out = "$SYNCTIME,083000.000,130512,\r\n";
    for (int i = 0; i < 600; ++i) {
        const int s = i / 10, ms = (i % 10) * 100;
        out += QString::asprintf("$ACCELERATOR,0830%02d.%03d,130512,%.2f,%.2f,%.2f,\r\n", s, ms,
                                 0.01 * (i % 7), -0.98 + 0.01 * (clip % 5), 0.05 * (i % 3))
                   .toLatin1();
        if (ms == 0)
            out +=
                QString::asprintf("$GPRMC,0830%02d.000,A,3733.%04d,N,12658.%04d,E,21.5,87.3,120513,,*6A\r\n",
                                  s, 1000 + i, 5000 + i)
                    .toLatin1();
    }
    return out;
}

void MakeCard(const QString &root, int clips)
{
    for (int i = 0; i < clips; ++i) {
        const QString folder = QStringLiteral("%1/day%2/hour%3").arg(root).arg(i / 200).arg((i / 20) % 10);
        QDir().mkpath(folder + QStringLiteral("/data"));
        const QString name = QStringLiteral("X20130512%1N").arg(i, 6, 10, QLatin1Char('0'));
        QFile clip(folder + QLatin1Char('/') + name +
                   (i % 2 ? QStringLiteral(".mp4") : QStringLiteral(".avi")));
        clip.open(QIODevice::WriteOnly);
        clip.write("x");
        QFile data(folder + QStringLiteral("/data/") + name + QStringLiteral(".dat"));
        data.open(QIODevice::WriteOnly);
        data.write(MinuteOfTelemetry(i));
    }
}

qint64 PlainWalk(const QString &root)
{
    qint64 bytes = 0;
    std::vector<char> buf(64 * 1024);
    QDirIterator it(root, {QStringLiteral("*.dat")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (!f.open(QIODevice::ReadOnly))
            continue;
        qint64 n;
        while ((n = f.read(buf.data(), static_cast<qint64>(buf.size()))) > 0)
            bytes += n;
    }
    return bytes;
}

template <typename F> double MedianSeconds(int runs, F f)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f();
        t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int clips = argc > 1 ? atoi(argv[1]) : 2000;
    QTemporaryDir tmp;
    const QString root = argc > 2 ? QString::fromLocal8Bit(argv[2]) : tmp.path();
    MakeCard(root, clips);

    qint64 bytes = 0;
    const double walk = MedianSeconds(5, [&] { bytes = PlainWalk(root); });
    int count = 0;
    const double load = MedianSeconds(5, [&] {
        CCorvanaDoc doc;
        doc.SetFolder(root);
        doc.LoadFolder();
        count = doc.Count();
    });
    std::printf("clips %d, data bytes %lld\n", count, static_cast<long long>(bytes));
    std::printf("plain walk reading every .dat byte: %.3f s\n", walk);
    std::printf("folder load:                        %.3f s\n", load);
    std::printf("ratio load / walk:                  %.2f\n", load / walk);
    return 0;
}
