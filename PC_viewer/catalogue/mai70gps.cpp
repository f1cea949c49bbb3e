// 70mai's 'GPS ' box: fixed records of a second on the clip, DDMM position and km/h.
#include "catalogue/mai70gps.h"

#include "catalogue/mp4topboxes.h"

#include <QtEndian>

#include <algorithm>

namespace {

MakerRecordResult Record(const uchar *p, tagTRACKTELEMETRY *out)
{
    const quint32 second = qFromLittleEndian<quint32>(p + 8);
    const quint32 lat = qFromLittleEndian<quint32>(p + 17), lon = qFromLittleEndian<quint32>(p + 22);
    if (lat == 0 && lon == 0)
        return MR_NOFIX;
    const char ns = char(p[16]), ew = char(p[21]);
    tagTRACKFIX f;
    if ((ns != 'N' && ns != 'S') || (ew != 'E' && ew != 'W') || !DdmmToDegrees(lat / 1000.0, 90.0, &f.dLat) ||
        !DdmmToDegrees(lon / 1000.0, 180.0, &f.dLon) || (out->dDuration > 0 && second > out->dDuration + 1.0))
        return MR_DAMAGED;
    if (ns == 'S')
        f.dLat = -f.dLat;
    if (ew == 'W')
        f.dLon = -f.dLon;
    f.dTime = second;
    f.cStatus = 'A';
    f.dSpeed = qFromLittleEndian<quint32>(p + 12) / 1000.0 / 3.6;
    ClampTrackFix(&f);
    out->AddFix(f);
    return MR_DECODED;
}

} // namespace

void CMai70Gps::AddBox(const QByteArray &payload, tagTRACKTELEMETRY *out, tagMAKERGPSSTATS *stats)
{
    const uchar *p = reinterpret_cast<const uchar *>(payload.constData());
    for (qsizetype at = 0; at + kMai70RecordBytes <= payload.size() && !out->bTooLarge; at += kMai70RecordBytes) {
        if (std::all_of(p + at, p + at + kMai70RecordBytes, [](uchar c) { return c == 0; }))
            break;
        CountMakerRecord(stats, Record(p + at, out));
    }
}

bool CMai70Gps::Read(const QString &path, tagTRACKTELEMETRY *out, qint64 *budget, tagMAKERGPSSTATS *stats)
{
    tagMAKERGPSSTATS counts;
    bool found = false;
    CMp4TopBoxes top;
    if (top.Open(path, budget)) {
        for (const tagMP4BOXREF &b : top.Boxes()) {
            if (b.nType != FourCC("GPS "))
                continue;
            found = true;
            const QByteArray payload = top.Read(b, kMaxMp4TableBytes);
            if (payload.size() < std::min<qint64>(b.nSize, kMaxMp4TableBytes))
                CountMakerRecord(&counts, MR_DAMAGED); // not readable
            else
                AddBox(payload, out, &counts);
            break;
        }
        if (top.TooLarge())
            out->bTooLarge = 1;
    }
    if (stats)
        *stats = counts;
    return found;
}
