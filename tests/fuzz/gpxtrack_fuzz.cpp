// libFuzzer target for the GPX track reader: any bytes must read without a crash, a hang or a
// sanitizer report; the points come out sorted and in range, and the window query agrees.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_gpxtrack
//   build-fuzz/tests/fuzz/fuzz_gpxtrack -max_total_time=300 -max_len=4096 NEW_DIR tests/fuzz/corpus/gpxtrack
#include "catalogue/gpxtrack.h"

#include <QBuffer>

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QBuffer buffer;
    buffer.setData(reinterpret_cast<const char *>(data), static_cast<int>(size));
    buffer.open(QIODevice::ReadOnly);
    CGpxTrack track;
    const bool any = track.Read(&buffer);
    const QVector<tagGPXPOINT> &points = track.Points();
    if (any == points.isEmpty() || track.TooLarge())
        std::abort();
    for (int i = 0; i < points.size(); ++i) {
        const tagGPXPOINT &p = points[i];
        if (i > 0 && p.nTimeMs < points[i - 1].nTimeMs)
            std::abort();
        if (!(std::fabs(p.dLat) <= 90.0 && std::fabs(p.dLon) <= 180.0))
            std::abort();
        if (p.bHasCourse && !(p.dCourse >= 0.0 && p.dCourse < 360.0))
            std::abort();
    }
    if (!points.isEmpty()) {
        const qint64 mid = points[points.size() / 2].nTimeMs;
        const QVector<tagGPXPOINT> window = CGpxTrack::PointsInWindow(points, mid, mid + 1);
        if (window.isEmpty())
            std::abort();
        for (const tagGPXPOINT &p : window) {
            if (p.nTimeMs != mid)
                std::abort();
        }
    }
    return 0;
}
