// Texts and drawing of the telemetry band.
#include "export/telemetryoverlay.h"

#include "base/clocktime.h"
#include "telemetry/graphgeometry.h"
#include "telemetry/vehicletexts.h"

#include <QDateTime>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QStringList>

#include <cmath>

const char kOverlayNoGps[] = "no GPS";
const char kOverlayNoSensor[] = "no sensor data";
const char kOverlayNoTime[] = "no time";
const char kOverlayNoVehicle[] = "no vehicle data";

namespace {

const char *const kItemNames[] = {"time", "speed", "position", "heading", "gsensor", "kind", "name"};
constexpr int kItemCount = 7;

QString DateOfClock(int64_t ms)
{
    int64_t secs = ms / 1000;
    if (ms % 1000 < 0)
        --secs;
    const QDateTime dt = QDateTime::fromSecsSinceEpoch(secs, Qt::LocalTime);
    return dt.isValid() ? dt.date().toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

} // namespace

bool ParseOverlayList(const QString &list, unsigned *items, QString *bad)
{
    unsigned bits = 0;
    const QStringList names = list.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &raw : names) {
        const QString name = raw.trimmed().toLower();
        int i = 0;
        while (i < kItemCount && name != QLatin1String(kItemNames[i]))
            ++i;
        if (i == kItemCount) {
            if (bad)
                *bad = raw.trimmed();
            return false;
        }
        bits |= 1u << i;
    }
    if (bits == 0) {
        if (bad)
            *bad = list;
        return false;
    }
    *items = bits;
    return true;
}

QString OverlayListText(unsigned items)
{
    QStringList names;
    for (int i = 0; i < kItemCount; ++i)
        if (items & (1u << i))
            names << QLatin1String(kItemNames[i]);
    return names.join(QLatin1Char(','));
}

QString SpeedText(const tagGPSINFO &fix, SpeedUnit unit)
{
    if (unit == SpeedUnit::Kmh)
        return fix.strSpeed;
    const double mph = SpeedInUnit(fix.dSpeedKnots, SpeedUnit::Mph);
    // Truncated like the recorder's own km/h figure; a speed field that is not a number reads 0.
    const long long whole = std::isfinite(mph) && std::fabs(mph) < 1e9 ? static_cast<long long>(mph) : 0;
    return QStringLiteral("%1 mph").arg(whole);
}

tagOVERLAYTEXTS OverlayTexts(const tagDATAFILEINFO &rec, const tagFRAMETELEMETRY &t, const QString &fileName,
                             int64_t frame, int64_t frameCount, SpeedUnit unit)
{
    tagOVERLAYTEXTS o;
    const QString clock = t.bClock ? GraphClockText(t.llClockMs) : QString();
    o.strTime = clock.isEmpty() ? QLatin1String(kOverlayNoTime) : DateOfClock(t.llClockMs) + QLatin1Char(' ') + clock;
    if (t.nFix >= 0) {
        const tagGPSINFO &g = rec.vecGps[t.nFix];
        o.strSpeed = SpeedText(g, unit);
        o.strHeading = GraphDirectionText(g.strDirection, g.dCourse);
        o.strPosition = (g.strLat + QLatin1Char(' ') + g.strLon).trimmed();
    }
    if (o.strSpeed.isEmpty())
        o.strSpeed = QLatin1String(kOverlayNoGps);
    if (o.strHeading.isEmpty())
        o.strHeading = QLatin1String(kOverlayNoGps);
    if (o.strPosition.isEmpty())
        o.strPosition = QLatin1String(kOverlayNoGps);
    if (t.nSample >= 0) {
        const tagACCELINFO &a = rec.vecAccel[t.nSample];
        o.strGSensor = QStringLiteral("X %1  Y %2  Z %3")
                           .arg(GraphValueText(a.fX), GraphValueText(a.fY), GraphValueText(a.fZ));
    } else {
        o.strGSensor = QLatin1String(kOverlayNoSensor);
    }
    if (!rec.vecVehicle.isEmpty()) {
        o.strVehicle = t.nVehicle >= 0 && t.nVehicle < rec.vecVehicle.size()
                           ? VehicleBandText(rec.vecVehicle[t.nVehicle])
                           : QLatin1String(kOverlayNoVehicle);
    }
    o.strKind = RecordingTypeName(rec.nType);
    o.strName = fileName + QStringLiteral("  ") + GraphFrameText(frame, frameCount);
    return o;
}

CClipOverlay::CClipOverlay(const tagDATAFILEINFO &rec, const QString &mediaPath, int64_t frameTime,
                           int64_t frameCount)
    : m_rec(rec), m_fileName(FileNameOfPath(mediaPath)), m_frameTime(frameTime), m_frameCount(frameCount),
      m_frameToSample(BuildFrameToSample(rec, frameTime, frameCount)),
      m_fix(BuildFrameToFix(rec, frameTime, frameCount)),
      m_frameToVehicle(BuildFrameToVehicle(rec, frameTime, frameCount))
{
}

tagOVERLAYTEXTS CClipOverlay::Texts(int64_t frame, SpeedUnit unit) const
{
    const tagFRAMETELEMETRY t = FrameTelemetry(m_rec, m_frameToSample, m_fix.frameToFix, frame,
                                               frame * m_frameTime, &m_frameToVehicle);
    return OverlayTexts(m_rec, t, m_fileName, frame, m_frameCount, unit);
}

int OverlayBandHeight(const QSize &picture)
{
    const int h = qMax(36, picture.height() / 12);
    return h + (h & 1);
}

void DrawTelemetryOverlay(QPainter &p, const QRect &band, const tagOVERLAYTEXTS &texts, unsigned items)
{
    p.save();
    p.fillRect(band, Qt::black);
    // Two rows: when and where on the first, what the car felt and which recording on the second.
    QStringList rows[2];
    if (items & OVERLAY_TIME)
        rows[0] << texts.strTime;
    if (items & OVERLAY_SPEED)
        rows[0] << texts.strSpeed;
    if (items & OVERLAY_HEADING)
        rows[0] << texts.strHeading;
    if (items & OVERLAY_POSITION)
        rows[0] << texts.strPosition;
    if (items & OVERLAY_GSENSOR)
        rows[1] << texts.strGSensor;
    // What the car did goes with what it felt.
    if ((items & OVERLAY_GSENSOR) && !texts.strVehicle.isEmpty())
        rows[1] << texts.strVehicle;
    if (items & OVERLAY_KIND)
        rows[1] << texts.strKind;
    if (items & OVERLAY_NAME)
        rows[1] << texts.strName;
    if (rows[0].isEmpty()) {
        rows[0] = rows[1];
        rows[1].clear();
    }
    const QString lines[2] = {rows[0].join(QStringLiteral("   ")), rows[1].join(QStringLiteral("   "))};
    const int rowHeight = band.height() / 2;
    const int margin = qMax(2, rowHeight / 6);
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(qMax(6, rowHeight - 2 * margin));
    // A narrow picture gets smaller letters rather than cut-off values.
    const int room = band.width() - 2 * margin;
    for (int i = 0; i < 2 && font.pixelSize() > 6; ++i) {
        const int widest = qMax(QFontMetrics(font).horizontalAdvance(lines[0]),
                                QFontMetrics(font).horizontalAdvance(lines[1]));
        if (widest <= room)
            break;
        font.setPixelSize(qMax(6, font.pixelSize() * room / widest));
    }
    p.setFont(font);
    p.setPen(Qt::white);
    for (int r = 0; r < 2; ++r) {
        const QRect row(band.left() + margin, band.top() + r * rowHeight, room, rowHeight);
        p.drawText(row, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, lines[r]);
    }
    p.restore();
}
