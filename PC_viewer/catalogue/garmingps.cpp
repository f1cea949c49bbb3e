// Garmin's PNDM cues and its 'uuid' box of GPS records.
#include "catalogue/garmingps.h"

#include "catalogue/mp4topboxes.h"

#include <cstring>

namespace {

constexpr double kMph = 1609.344 / 3600.0;         // m/s
constexpr double kSemicircle = 180.0 / 2147483648.0; // degrees
constexpr qint64 kMp4Epoch = 2082844800;           // seconds from 1904-01-01 to 1970-01-01
constexpr qint64 kFirstUtc = 946684800;            // 2000-01-01
constexpr qint64 kEndUtc = 4102444800;             // 2100-01-01
constexpr int kBoxRecords = 33;
constexpr int kBoxRecordBytes = 20;

quint16 Be16At(const QByteArray &b, qsizetype at)
{
    return quint16((uchar(b[at]) << 8) | uchar(b[at + 1]));
}
qint32 Be32At(const QByteArray &b, qsizetype at)
{
    return qint32(Be32(reinterpret_cast<const uchar *>(b.constData()) + at));
}

// A fix from the fields both places share: the speed at speedAt, latitude and longitude from latAt.
MakerRecordResult AddFix(const QByteArray &b, qsizetype speedAt, qsizetype latAt, double time, bool utc,
                         qint64 utcMs, tagTRACKTELEMETRY *out)
{
    const double lat = Be32At(b, latAt) * kSemicircle, lon = Be32At(b, latAt + 4) * kSemicircle;
    if (lat < -90.0 || lat > 90.0)
        return MR_DAMAGED;
    if (lat == 0.0 && lon == 0.0)
        return MR_NOFIX;
    tagTRACKFIX f;
    f.dTime = time;
    f.bHasUtc = utc;
    f.nUtcMs = utc ? utcMs : 0;
    f.cStatus = 'A';
    f.dLat = lat;
    f.dLon = lon;
    f.dSpeed = Be16At(b, speedAt) * kMph;
    ClampTrackFix(&f);
    out->AddFix(f);
    return MR_DECODED;
}

} // namespace

MakerRecordResult CGarminGps::AddCue(const QByteArray &sample, double time, tagTRACKTELEMETRY *out)
{
    const QByteArray text = Mp4CueText(sample);
    qsizetype at = -1;
    if (text.startsWith("PNDM"))
        at = 0;
    else if (text.size() >= 8 && text[0] == '\0' && text.mid(4, 4) == "PNDM")
        at = 4;
    if (at < 0)
        return MR_OTHER;
    if (text.size() < at + 20)
        return MR_DAMAGED;
    return AddFix(text, at + 8, at + 12, time, false, 0, out);
}

bool CGarminGps::AddBox(const QByteArray &payload, tagTRACKTELEMETRY *out, tagMAKERGPSSTATS *stats)
{
    if (!payload.startsWith(QByteArray(kGarminUuid, 16)))
        return false;
    qint64 firstUtc = -1;
    for (qsizetype at = kBoxRecords; at + kBoxRecordBytes <= payload.size() && !out->bTooLarge; at += kBoxRecordBytes) {
        const qint64 utc = qint64(quint32(Be32At(payload, at))) - kMp4Epoch;
        MakerRecordResult r = MR_DAMAGED;
        if (utc >= kFirstUtc && utc < kEndUtc) {
            if (firstUtc < 0)
                firstUtc = utc;
            if (utc >= firstUtc && utc - firstUtc <= 86400)
                r = AddFix(payload, at + 4, at + 12, double(utc - firstUtc), true, utc * 1000, out);
        }
        CountMakerRecord(stats, r);
    }
    // A box of Garmin's without a whole record is still Garmin's: one damaged record.
    if (payload.size() < kBoxRecords + kBoxRecordBytes)
        CountMakerRecord(stats, MR_DAMAGED);
    return true;
}

bool CGarminGps::Read(const QString &path, CMp4Boxes *boxes, tagTRACKTELEMETRY *out, qint64 *budget,
                      tagMAKERGPSSTATS *stats)
{
    tagMAKERGPSSTATS counts;
    ForEachTrackSample(boxes, budget, out, IsMp4TextTrack, [&](const QByteArray &sample, double start) {
        CountMakerRecord(&counts, AddCue(sample, start, out));
    });
    if (counts.nRecords == 0 && !out->bTooLarge) {
        CMp4TopBoxes top;
        if (top.Open(path, budget)) {
            for (const tagMP4BOXREF &b : top.Boxes()) {
                if (!b.bInMoov || b.nType != FourCC("uuid") || b.nSize < 16)
                    continue;
                if (top.Read({b.nType, b.bInMoov, b.nPayload, 16}, 16) != QByteArray(kGarminUuid, 16))
                    continue;
                if (!AddBox(top.Read(b, kMaxMp4TableBytes), out, &counts))
                    CountMakerRecord(&counts, MR_DAMAGED); // Garmin's, but not readable
                break;
            }
            if (top.TooLarge())
                out->bTooLarge = 1;
        }
    }
    if (stats)
        *stats = counts;
    return counts.nRecords > 0;
}
