// Camera Motion Metadata packet reader.
#include "catalogue/camm.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double kStandardGravity = 9.80665;
// 1980-01-06 00:00:00 UTC in seconds since 1970.
constexpr qint64 kGpsEpoch = 315964800;

// Payload size of each packet type; -1 for types we do not know.
int PayloadSize(int type)
{
    switch (type) {
    case 0: case 2: case 3: case 4: case 7: return 12;
    case 1: return 8;
    case 5: return 24;
    case 6: return 56;
    default: return -1;
    }
}

quint16 Le16(const uchar *p) { return quint16(p[0] | (p[1] << 8)); }
quint32 Le32(const uchar *p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}
float LeFloat(const uchar *p)
{
    const quint32 bits = Le32(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}
double LeDouble(const uchar *p)
{
    const quint64 bits = quint64(Le32(p)) | (quint64(Le32(p + 4)) << 32);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

// GPS time runs ahead of UTC by the leap seconds since 1980: these are the UTC days (seconds
// since 1970) from which each further second applies.
qint64 GpsToUtcSeconds(qint64 gps)
{
    static const qint64 kLeaps[] = {
        362793600,  394329600,  425865600,  489024000,  567993600,  631152000,
        662688000,  709948800,  741484800,  773020800,  820454400,  867715200,
        915148800,  1136073600, 1230768000, 1341100800, 1435708800, 1483228800};
    // At the UTC instant kLeaps[i] GPS time is already i + 1 seconds ahead.
    const qint64 gpsAsUtc = gps + kGpsEpoch;
    qint64 offset = 0;
    for (qint64 i = 0; i < qint64(sizeof kLeaps / sizeof kLeaps[0]); ++i) {
        if (gpsAsUtc >= kLeaps[i] + i + 1)
            offset = i + 1;
    }
    return gpsAsUtc - offset;
}

} // namespace

void CCamm::ParseSample(const char *data, qint64 size, double start, double duration, tagTRACKTELEMETRY *out)
{
    if (!data || size <= 0 || !out)
        return;
    const uchar *base = reinterpret_cast<const uchar *>(data);

    // First count the whole packets, so that their times can be spread over the sample.
    int packets = 0;
    for (qint64 at = 0; size - at >= 4; ++packets) {
        const int n = PayloadSize(Le16(base + at + 2));
        if (n < 0 || size - at - 4 < n)
            break;
        at += 4 + n;
    }

    qint64 at = 0;
    for (int i = 0; i < packets; ++i) {
        const int type = Le16(base + at + 2);
        const uchar *p = base + at + 4;
        at += 4 + PayloadSize(type);
        const double time = start + duration * i / packets;
        if (type == 3) {
            tagTRACKSAMPLE s;
            s.dTime = time;
            s.fX = float(LeFloat(p) / kStandardGravity);
            s.fY = float(LeFloat(p + 4) / kStandardGravity);
            s.fZ = float(LeFloat(p + 8) / kStandardGravity);
            if (!out->AddSample(s))
                return;
        } else if (type == 5 || type == 6) {
            tagTRACKFIX f;
            f.dTime = time;
            if (type == 5) {
                f.dLat = LeDouble(p);
                f.dLon = LeDouble(p + 8);
                f.dAlt = LeDouble(p + 16);
                f.cStatus = f.dLat == 0.0 && f.dLon == 0.0 ? 'V' : 'A';
            } else {
                const double gpsTime = LeDouble(p);
                const qint32 fix = qint32(Le32(p + 8));
                f.dLat = LeDouble(p + 12);
                f.dLon = LeDouble(p + 20);
                f.dAlt = LeFloat(p + 28);
                const double east = LeFloat(p + 40), north = LeFloat(p + 44);
                f.dSpeed = std::hypot(east, north);
                if (f.dSpeed > 0.0) {
                    f.dCourse = std::atan2(east, north) * 180.0 / M_PI;
                    if (f.dCourse < 0.0)
                        f.dCourse += 360.0;
                }
                f.cStatus = fix == 2 || fix == 3 ? 'A' : 'V';
                // Up to the year 2100; anything else is not a time.
                if (gpsTime > 0.0 && gpsTime < 4.0e9) {
                    const double whole = std::floor(gpsTime);
                    f.bHasUtc = true;
                    f.nUtcMs = GpsToUtcSeconds(qint64(whole)) * 1000 + std::llround((gpsTime - whole) * 1000.0);
                }
            }
            ClampTrackFix(&f);
            if (!out->AddFix(f))
                return;
        }
    }
}
