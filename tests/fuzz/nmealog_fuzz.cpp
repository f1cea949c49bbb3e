// libFuzzer target for the NMEA log reader: any bytes must read without a crash, a hang or a
// sanitizer report, and every fix must be consistent.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_nmealog
//   build-fuzz/tests/fuzz/fuzz_nmealog -max_total_time=300 -max_len=4096 NEW_DIR tests/fuzz/corpus/nmealog
#include "catalogue/datafileinfo.h"
#include "catalogue/nmealog.h"

#include <QBuffer>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QBuffer buffer;
    buffer.setData(reinterpret_cast<const char *>(data), static_cast<int>(size));
    buffer.open(QIODevice::ReadOnly);
    CNmeaLog log;
    const bool any = log.Read(&buffer);
    if (any == log.Fixes().isEmpty() || log.TooLarge())
        std::abort();
    for (const tagNMEAFIX &f : log.Fixes()) {
        if (f.fix.cStatus != 'A' && f.fix.cStatus != 'V')
            std::abort();
        if (f.bHasEpochMs && f.nEpochMs < 0)
            std::abort();
    }
    return 0;
}
