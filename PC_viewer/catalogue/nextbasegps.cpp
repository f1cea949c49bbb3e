// Nextbase's 'gdat' box: Base64 of a JSON list of fixes.
#include "catalogue/nextbasegps.h"

#include "catalogue/mp4topboxes.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <cmath>

namespace {

constexpr double kMph = 1609.344 / 3600.0; // m/s

// A number, or the text of one.
bool Number(const QJsonValue &v, double *x)
{
    bool ok = v.isDouble();
    if (ok)
        *x = v.toDouble();
    else if (v.isString())
        *x = v.toString().toDouble(&ok);
    return ok && std::isfinite(*x);
}

} // namespace

void CNextbaseGps::AddBox(const QByteArray &payload, tagTRACKTELEMETRY *out, tagMAKERGPSSTATS *stats)
{
    // Bytes that are no Base64 are passed over, as line breaks would be.
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromBase64(payload));
    if (!doc.isObject() || !doc.object().value(QLatin1String("gpsData")).isArray()) {
        CountMakerRecord(stats, MR_DAMAGED);
        return;
    }
    bool haveFirst = false;
    qint64 firstMs = 0;
    for (const QJsonValue &v : doc.object().value(QLatin1String("gpsData")).toArray()) {
        if (out->bTooLarge)
            break;
        const QJsonObject r = v.toObject();
        if (r.value(QLatin1String("gpsStatus")).toString() != QLatin1String("A")) {
            CountMakerRecord(stats, MR_NOFIX);
            continue;
        }
        QDateTime t = QDateTime::fromString(r.value(QLatin1String("datetime")).toString(), Qt::ISODateWithMs);
        tagTRACKFIX f;
        f.bHasUtc = t.timeSpec() != Qt::LocalTime;
        if (!f.bHasUtc)
            t.setTimeZone(QTimeZone::utc()); // a wall time: only its differences count
        double speed = 0.0, bearing = -1.0;
        const bool position = Number(r.value(QLatin1String("lat")), &f.dLat) &&
                              Number(r.value(QLatin1String("lon")), &f.dLon) && std::fabs(f.dLat) <= 90.0 &&
                              std::fabs(f.dLon) <= 180.0;
        if (!t.isValid() || !position || (r.contains(QLatin1String("speed")) && !Number(r.value(QLatin1String("speed")), &speed))) {
            CountMakerRecord(stats, MR_DAMAGED);
            continue;
        }
        const qint64 ms = t.toMSecsSinceEpoch();
        if (!haveFirst) {
            haveFirst = true;
            firstMs = ms;
        }
        if (ms < firstMs || ms - firstMs > 86400000) {
            CountMakerRecord(stats, MR_DAMAGED);
            continue;
        }
        if (f.dLat == 0.0 && f.dLon == 0.0) {
            CountMakerRecord(stats, MR_NOFIX);
            continue;
        }
        f.dTime = double(ms - firstMs) / 1000.0;
        f.nUtcMs = f.bHasUtc ? ms : 0;
        f.cStatus = 'A';
        f.dSpeed = speed > 0 ? speed * kMph : 0.0;
        if (Number(r.value(QLatin1String("bearing")), &bearing) && bearing >= 0.0 && bearing < 360.0)
            f.dCourse = bearing;
        ClampTrackFix(&f);
        out->AddFix(f);
        CountMakerRecord(stats, MR_DECODED);
    }
}

bool CNextbaseGps::Read(const QString &path, tagTRACKTELEMETRY *out, qint64 *budget, tagMAKERGPSSTATS *stats)
{
    tagMAKERGPSSTATS counts;
    bool found = false;
    CMp4TopBoxes top;
    if (top.Open(path, budget)) {
        for (const tagMP4BOXREF &b : top.Boxes()) {
            if (b.bInMoov || b.nType != FourCC("gdat"))
                continue;
            found = true;
            const QByteArray payload = top.Read(b, kMaxMp4TableBytes);
            if (top.TooLarge())
                CountMakerRecord(&counts, MR_DAMAGED); // not read whole: its JSON would be cut
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
