// libFuzzer target for the telemetry data-file reader: any bytes must load without a crash,
// a hang or a sanitizer report, and a loaded record must be consistent.
//
//   cmake --preset fuzz && cmake --build --preset fuzz
//   ctest --preset fuzz       the test command's run: 30 s from the seeds in tests/fuzz/corpus/datafile
//   build-fuzz/tests/fuzz/fuzz_datafile -max_total_time=300 -max_len=4096 NEW_DIR tests/fuzz/corpus/datafile
#include "catalogue/datafileinfo.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("data/X20130512083000N.dat"));
    static bool made = QDir().mkpath(dir.filePath(QStringLiteral("data")));
    (void)made;
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }
    CDataFileInfo reader;
    const int loaded = reader.Load(path);
    const tagDATAFILEINFO &info = reader.Info();
    if (loaded != info.bValid)
        std::abort();
    if (!loaded && (info.nType != RT_UNKNOWN || !info.vecGps.isEmpty() || !info.vecAccel.isEmpty()))
        std::abort();
    if (loaded && info.nType != RT_ORDINARY)
        std::abort();
    for (const tagGPSINFO &g : info.vecGps) {
        if (g.cStatus != 'A' && g.cStatus != 'V')
            std::abort();
        (void)CDataFileInfo::FormatGpx({g}, SYSTEMTIME());
    }
    return 0;
}
