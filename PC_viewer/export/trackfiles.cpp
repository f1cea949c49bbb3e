// SubRip and KML files of a recording's GPS.
#include "export/trackfiles.h"

#include "catalogue/cliptelemetry.h"
#include "export/telemetryoverlay.h"

#include <QDateTime>
#include <QSaveFile>
#include <QTimeZone>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>

namespace {

QString CueClock(int64_t ms)
{
    return QString::asprintf("%02lld:%02lld:%02lld,%03lld", static_cast<long long>(ms / 3600000),
                             static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                             static_cast<long long>(ms % 1000));
}

QString WallText(int64_t wallMs)
{
    return QDateTime::fromMSecsSinceEpoch(wallMs, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

bool OnGlobe(const tagGPSINFO &g)
{
    return g.cStatus == 'A' && std::isfinite(g.dLat) && std::isfinite(g.dLon) && std::fabs(g.dLat) <= 90.0 &&
           std::fabs(g.dLon) <= 180.0 && !(g.dLat == 0.0 && g.dLon == 0.0);
}

} // namespace

QByteArray FormatSrt(const tagDATAFILEINFO &rec, double durationSeconds, SpeedUnit unit)
{
    int64_t startMs = 0;
    const bool clock = rec.bValid == 1 && !rec.bNoClock && WallClockMs(rec.stSyncTime, &startMs);
    const bool timeline = rec.bValid == 1 && WallClockMs(rec.stSyncTime, &startMs);
    // The fixes on the clip's timeline, in time order as the record holds them.
    QVector<std::pair<int64_t, const tagGPSINFO *>> fixes;
    int64_t lastMs = 0;
    for (const tagGPSINFO &g : rec.vecGps) {
        int64_t ms = 0;
        if (timeline && WallClockMs(g.stTime, &ms) && ms >= startMs) {
            fixes.append({ms - startMs, &g});
            lastMs = std::max(lastMs, ms - startMs);
        }
    }
    for (const tagACCELINFO &a : rec.vecAccel) {
        int64_t ms = 0;
        if (timeline && WallClockMs(a.stTime, &ms) && ms >= startMs)
            lastMs = std::max(lastMs, ms - startMs);
    }
    std::stable_sort(fixes.begin(), fixes.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    const double seconds = std::isfinite(durationSeconds) && durationSeconds > 0 ? durationSeconds : lastMs / 1000.0 + 1;
    const int cues = static_cast<int>(std::min<double>(std::ceil(seconds), kMaxSrtCues));
    QString text;
    int next = 0; // first fix not yet passed
    const tagGPSINFO *shown = nullptr;
    int64_t shownMs = 0;
    for (int k = 0; k < cues; ++k) {
        const int64_t from = int64_t(k) * 1000;
        const int64_t to = std::min<int64_t>(from + 1000, std::llround(seconds * 1000.0));
        while (next < fixes.size() && fixes[next].first < to) {
            shown = fixes[next].second;
            shownMs = fixes[next].first;
            ++next;
        }
        QStringList lines{QString::number(k + 1), CueClock(from) + QStringLiteral(" --> ") + CueClock(to)};
        if (clock)
            lines << WallText(startMs + from);
        if (shown && shownMs >= from - kSrtFixReachMs && OnGlobe(*shown))
            lines << SpeedText(*shown, unit) + QStringLiteral("  ") +
                         QString::asprintf("%.6f, %.6f", shown->dLat, shown->dLon);
        else
            lines << QString::fromLatin1(kOverlayNoGps);
        text += lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n\r\n");
    }
    return text.toUtf8();
}

QByteArray FormatKml(const QString &documentName, const QVector<tagKMLPLACE> &places)
{
    QByteArray bytes;
    QXmlStreamWriter x(&bytes);
    x.setAutoFormatting(true);
    x.writeStartDocument();
    x.writeStartElement(QStringLiteral("kml"));
    x.writeDefaultNamespace(QStringLiteral("http://www.opengis.net/kml/2.2"));
    x.writeStartElement(QStringLiteral("Document"));
    x.writeTextElement(QStringLiteral("name"), documentName);
    for (const tagKMLPLACE &place : places) {
        QStringList coordinates;
        for (const tagGPSINFO &g : place.fixes) {
            if (OnGlobe(g))
                coordinates << QString::asprintf("%.7f,%.7f,0", g.dLon, g.dLat);
        }
        if (coordinates.isEmpty())
            continue;
        x.writeStartElement(QStringLiteral("Placemark"));
        x.writeTextElement(QStringLiteral("name"), place.strName);
        if (!place.strDescription.isEmpty())
            x.writeTextElement(QStringLiteral("description"), place.strDescription);
        if (coordinates.size() == 1) {
            x.writeStartElement(QStringLiteral("Point"));
        } else {
            x.writeStartElement(QStringLiteral("LineString"));
            x.writeTextElement(QStringLiteral("tessellate"), QStringLiteral("1"));
        }
        x.writeTextElement(QStringLiteral("coordinates"), coordinates.join(QLatin1Char(' ')));
        x.writeEndElement();
        x.writeEndElement();
    }
    x.writeEndElement();
    x.writeEndElement();
    x.writeEndDocument();
    return bytes;
}

bool WriteBesideAndRename(const QString &path, const QByteArray &bytes, QString *why)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (why)
            *why = file.errorString();
        return false;
    }
    return true;
}
