// Folder load of a large card against the least any load must do: walk the same tree and read
// every data-file byte; and the trips of that card (load, then trips) against the load alone.
// Prints the medians of several runs and their ratios.
//
//   build/bench/catalogue/bench_catalogue [CLIPS=2000] [WORKDIR]
#include "catalogue/corvanadoc.h"
#include "catalogue/trips.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtEndian>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

// One minute of telemetry from `start` (wall-clock time): 600 samples at 10 Hz (gravity on Z),
// every 37th clip with a shock, and 60 fixes at 1 Hz.
QByteArray MinuteOfTelemetry(int clip, const QDateTime &start)
{
    const QByteArray ymd = start.toString(QStringLiteral("yyMMdd")).toLatin1();
    const QByteArray dmy = start.toString(QStringLiteral("ddMMyy")).toLatin1();
    const QByteArray hm = start.toString(QStringLiteral("hhmm")).toLatin1();
    QByteArray out = "$SYNCTIME," + hm + "00.000," + ymd + ",\r\n";
    for (int i = 0; i < 600; ++i) {
        const int s = i / 10, ms = (i % 10) * 100;
        const double x = clip % 37 == 0 && i == 300 ? 0.8 : 0.01 * (i % 7);
        out += "$ACCELERATOR," + hm +
               QString::asprintf("%02d.%03d,%s,%.2f,%.2f,%.2f,\r\n", s, ms, ymd.constData(), x,
                                 0.01 * (clip % 5) - 0.02, 0.98 + 0.02 * (i % 3))
                   .toLatin1();
        if (ms == 0)
            out += "$GPRMC," + hm +
                   QString::asprintf("%02d.000,A,3733.%04d,N,12658.%04d,E,21.5,87.3,%s,,*6A\r\n", s, 1000 + i,
                                     5000 + i, dmy.constData())
                       .toLatin1();
    }
    return out;
}

// Small clip headers that say a minute: an AVI main header, or an MP4 movie header.
QByteArray ClipHeader(bool mp4)
{
    if (!mp4) {
        QByteArray avih(56, '\0');
        qToLittleEndian<quint32>(40000, avih.data());
        qToLittleEndian<quint32>(1500, avih.data() + 16);
        return "RIFF" + QByteArray(4, '\0') + "AVI LIST" + QByteArray(4, '\0') + "hdrlavih" +
               QByteArray("\x38\0\0\0", 4) + avih;
    }
    const auto be32 = [](quint32 v) {
        QByteArray b(4, '\0');
        qToBigEndian<quint32>(v, b.data());
        return b;
    };
    const auto box = [&](const char *type, const QByteArray &payload) {
        return be32(quint32(8 + payload.size())) + QByteArray(type, 4) + payload;
    };
    const QByteArray mvhd = box("mvhd", be32(0) + be32(0) + be32(0) + be32(1000) + be32(60000) + QByteArray(80, '\0'));
    return box("ftyp", "isom" + be32(0) + "isom") + box("moov", mvhd);
}

// A card of clips a minute long, ten hours a day with a half-hour stop every hundred clips.
void MakeCard(const QString &root, int clips)
{
    const QDateTime first(QDate(2013, 5, 12), QTime(8, 0), QTimeZone::utc());
    for (int i = 0; i < clips; ++i) {
        const QDateTime start = first.addDays(i / 600).addSecs(60 * (i % 600) + 1800 * ((i % 600) / 100));
        const QString folder = QStringLiteral("%1/day%2/hour%3").arg(root).arg(i / 200).arg((i / 20) % 10);
        QDir().mkpath(folder + QStringLiteral("/data"));
        const QString name = QStringLiteral("X20130512%1N").arg(i, 6, 10, QLatin1Char('0'));
        QFile clip(folder + QLatin1Char('/') + name +
                   (i % 2 ? QStringLiteral(".mp4") : QStringLiteral(".avi")));
        clip.open(QIODevice::WriteOnly);
        clip.write(ClipHeader(i % 2));
        QFile data(folder + QStringLiteral("/data/") + name + QStringLiteral(".dat"));
        data.open(QIODevice::WriteOnly);
        data.write(MinuteOfTelemetry(i, start));
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
    MakeCard(root, clips);

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
