// SigmaStar 'ssmd' samples: GPS records and G-sensor triples told apart by size.
#include "catalogue/sstargps.h"

#include <QtEndian>

#include <cmath>
#include <cstring>

namespace {

constexpr double kKnot = 1852.0 / 3600.0; // m/s
constexpr double kNoLock = 4294967295.0;

double F64At(const uchar *p)
{
    const quint64 bits = qFromLittleEndian<quint64>(p);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}
float F32At(const uchar *p)
{
    const quint32 bits = qFromLittleEndian<quint32>(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

} // namespace

MakerRecordResult CSstarGps::AddSample(const QByteArray &sample, double time, tagTRACKTELEMETRY *out)
{
    const uchar *p = reinterpret_cast<const uchar *>(sample.constData());
    if (sample.size() == kSstarAccelBytes) {
        tagTRACKSAMPLE s;
        s.dTime = time;
        s.fX = F32At(p);
        s.fY = F32At(p + 4);
        s.fZ = F32At(p + 8);
        if (!std::isfinite(s.fX) || !std::isfinite(s.fY) || !std::isfinite(s.fZ))
            return MR_DAMAGED;
        out->AddSample(s);
        return MR_DECODED;
    }
    if (sample.size() != kSstarGpsBytes)
        return MR_OTHER;
    const double rawLat = F64At(p), rawLon = F64At(p + 8);
    if (rawLat == kNoLock)
        return MR_NOFIX;
    tagTRACKFIX f;
    if (!DdmmToDegrees(rawLat, 90.0, &f.dLat) || !DdmmToDegrees(rawLon, 180.0, &f.dLon) ||
        !MakerUtcMs(2000 + p[22], p[23], p[24], p[25], p[26], p[27], &f.nUtcMs))
        return MR_DAMAGED;
    if (f.dLat == 0.0 && f.dLon == 0.0)
        return MR_NOFIX;
    f.dTime = time;
    f.bHasUtc = true;
    f.cStatus = 'A';
    f.dSpeed = qFromLittleEndian<quint16>(p + 20) * kKnot;
    ClampTrackFix(&f);
    out->AddFix(f);
    return MR_DECODED;
}

bool CSstarGps::Read(CMp4Boxes *boxes, tagTRACKTELEMETRY *out, qint64 *budget, tagMAKERGPSSTATS *stats)
{
    tagMAKERGPSSTATS counts;
    for (const tagMP4TRACK &track : boxes->Tracks()) {
        if (track.sampleEntry != "ssmd")
            continue;
        for (const tagMP4SAMPLE &s : track.samples) {
            if (out->bTooLarge)
                break;
            // Only the two sizes of telemetry are read: the track's pictures cost nothing.
            if (s.nSize != kSstarGpsBytes && s.nSize != kSstarAccelBytes)
                continue;
            if (s.nSize > *budget) {
                out->bTooLarge = 1;
                break;
            }
            *budget -= s.nSize;
            const QByteArray bytes = boxes->ReadSample(s);
            CountMakerRecord(&counts, bytes.size() == s.nSize ? AddSample(bytes, s.dStart, out) : MR_DAMAGED);
        }
    }
    if (stats)
        *stats = counts;
    return counts.nRecords > 0;
}
