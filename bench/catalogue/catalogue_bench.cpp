// Folder load of a large card against the least any load must do: walk the same tree and read
// every data-file byte; and the trips of that card (load, then trips) against the load alone.
// Prints the medians of several runs and their ratios.
//
//   build/bench/catalogue/bench_catalogue [CLIPS=2000] [WORKDIR]
#include "catalogue/corvanadoc.h"
#include "trips/trips.h"

#include "fixtures/minutecard.h"

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

template <typename F> double Seconds(F f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> t)
{
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
    MakeMinuteCard(root, clips);

    qint64 bytes = 0;
    int count = 0;
    QVector<tagTRIP> trips;
    // `pellister-cli trips` is a load and then the trips; each run times both on the same load, so
    // that the ratio does not hang on two loads that a busy machine ran at different speeds.
    std::vector<double> walk, load, withTrips, ratio;
    for (int run = 0; run < 7; ++run) {
        walk.push_back(Seconds([&] { bytes = PlainWalk(root); }));
        CCorvanaDoc doc;
        doc.SetFolder(root);
        load.push_back(Seconds([&] { doc.LoadFolder(); }));
        count = doc.Count();
        withTrips.push_back(load.back() + Seconds([&] { trips = BuildTrips(doc); }));
        ratio.push_back(withTrips.back() / load.back());
    }
    int events = 0;
    for (const tagTRIP &t : trips)
        events += t.vecEvents.size();
    std::printf("clips %d, data bytes %lld, trips %d, events %d\n", count, static_cast<long long>(bytes),
                static_cast<int>(trips.size()), events);
    std::printf("plain walk reading every .dat byte: %.3f s\n", Median(walk));
    std::printf("folder load:                        %.3f s\n", Median(load));
    std::printf("folder load and trips:              %.3f s\n", Median(withTrips));
    std::printf("ratio load / walk:                  %.2f\n", Median(load) / Median(walk));
    std::printf("ratio load and trips / load:        %.2f (median of the runs' own ratios)\n", Median(ratio));
    return 0;
}
