// The camera's clock against GPS, and the cards' clock corrections in the settings.
#include "catalogue/cameraclock.h"

#include "catalogue/channeloffsets.h"
#include "catalogue/cliptelemetry.h"

#include <QRegularExpression>
#include <QSettings>
#include <QVariantMap>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

const char kSettingCorrections[] = "clock/corrections";
constexpr int64_t kQuarterHourMs = 15LL * 60 * 1000;

std::mutex g_overrideMutex;
std::optional<int64_t> g_override;

std::optional<int64_t> Override()
{
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    return g_override;
}

bool Shift(SYSTEMTIME *t, int64_t shiftMs)
{
    int64_t ms = 0;
    return WallClockMs(*t, &ms) && WallClockTime(ms + shiftMs, t);
}

// A fix's texts as the data-file reader writes them: "hh:mm:ss" and "20yy/mm/dd".
void RetimeTexts(tagGPSINFO *g)
{
    const SYSTEMTIME &t = g->stTime;
    if (!g->strTime.trimmed().isEmpty())
        g->strTime = QString::asprintf("%02d:%02d:%02d", t.wHour, t.wMinute, t.wSecond);
    if (!g->strDate.trimmed().isEmpty())
        g->strDate = QString::asprintf("20%02d/%02d/%02d", t.wYear % 100, t.wMonth, t.wDay);
}

} // namespace

void SplitCameraOffset(int64_t offsetMs, int64_t *zoneMs, int64_t *errorMs)
{
    const double quarters = std::round(double(offsetMs) / double(kQuarterHourMs));
    int64_t zone = static_cast<int64_t>(quarters) * kQuarterHourMs;
    if (zone > kMaxTimeZoneMs || zone < -kMaxTimeZoneMs)
        zone = 0;
    *zoneMs = zone;
    *errorMs = offsetMs - zone;
}

bool ShiftRecordTimes(tagDATAFILEINFO *rec, int64_t shiftMs)
{
    if (shiftMs == 0)
        return true;
    tagDATAFILEINFO moved = *rec;
    if (moved.bValid == 1 && !Shift(&moved.stSyncTime, shiftMs))
        return false;
    if (moved.bHasNameTime && !Shift(&moved.stNameTime, shiftMs))
        return false;
    for (tagACCELINFO &a : moved.vecAccel) {
        if (!Shift(&a.stTime, shiftMs))
            return false;
    }
    for (tagVEHICLEINFO &v : moved.vecVehicle) {
        if (!Shift(&v.stTime, shiftMs))
            return false;
    }
    for (tagGPSINFO &g : moved.vecGps) {
        // A fix without a date keeps its time of day: it has no calendar place to move in.
        if (g.strDate.trimmed().isEmpty()) {
            SYSTEMTIME t = g.stTime;
            t.wYear = 0;
            t.wMonth = t.wDay = 1;
            if (Shift(&t, shiftMs)) {
                g.stTime.wHour = t.wHour;
                g.stTime.wMinute = t.wMinute;
                g.stTime.wSecond = t.wSecond;
                g.stTime.wMilliseconds = t.wMilliseconds;
            }
        } else if (!Shift(&g.stTime, shiftMs)) {
            return false;
        }
        RetimeTexts(&g);
    }
    *rec = std::move(moved);
    return true;
}

bool ApplyCameraClock(const SYSTEMTIME &cameraStart, tagDATAFILEINFO *rec)
{
    int64_t cameraMs = 0;
    int64_t shownMs = 0;
    if (rec->bValid != 1 || rec->bNoClock || !rec->bHasUtcOffset || !WallClockMs(cameraStart, &cameraMs) ||
        !WallClockMs(rec->stSyncTime, &shownMs))
        return false;
    const int64_t utcStart = shownMs - rec->nUtcOffsetMs;
    const int64_t offset = cameraMs - utcStart;
    // The name's time keeps the camera's clock even where its telemetry said nothing (bHasNameTime).
    if (!ShiftRecordTimes(rec, offset - rec->nUtcOffsetMs))
        return false;
    rec->nUtcOffsetMs = offset;
    // Only GPS time tells the camera clock's error; a header's UTC is the camera's clock itself.
    rec->bCameraClock = rec->bUtcFromGps;
    rec->nCameraOffsetMs = rec->bUtcFromGps ? offset : 0;
    return true;
}

bool ApplyClockCorrection(int64_t correctionMs, tagDATAFILEINFO *rec)
{
    if (correctionMs == 0 || !ShiftRecordTimes(rec, correctionMs))
        return false;
    rec->nUtcOffsetMs += correctionMs;
    rec->nClockCorrectionMs = correctionMs;
    return true;
}

QString SignedSecondsText(int64_t ms)
{
    const uint64_t magnitude = ms < 0 ? 0 - static_cast<uint64_t>(ms) : static_cast<uint64_t>(ms);
    return QString::asprintf("%c%llu.%03u s", ms < 0 ? '-' : '+', static_cast<unsigned long long>(magnitude / 1000),
                             static_cast<unsigned>(magnitude % 1000));
}

QString CameraClockText(const tagDATAFILEINFO &rec)
{
    if (!rec.bCameraClock)
        return QString();
    int64_t zone = 0;
    int64_t error = 0;
    SplitCameraOffset(rec.nCameraOffsetMs, &zone, &error);
    const int64_t minutes = (zone < 0 ? -zone : zone) / 60000;
    QString text = QString::asprintf("UTC%c%02lld:%02lld, ", zone < 0 ? '-' : '+', static_cast<long long>(minutes / 60),
                                     static_cast<long long>(minutes % 60));
    if (error == 0) {
        text += QStringLiteral("the camera's clock on GPS time");
    } else {
        const int64_t magnitude = error < 0 ? -error : error;
        text += QStringLiteral("the camera's clock %1 %2 GPS time")
                    .arg(SignedSecondsText(magnitude).mid(1), error > 0 ? QStringLiteral("ahead of")
                                                                       : QStringLiteral("behind"));
    }
    if (rec.nClockCorrectionMs != 0)
        text += QStringLiteral("; corrected by ") + SignedSecondsText(rec.nClockCorrectionMs);
    return text;
}

int64_t ClockCorrectionOfCard(const QString &cardFolder)
{
    if (const std::optional<int64_t> all = Override())
        return *all;
    if (cardFolder.isEmpty())
        return 0;
    const QVariantMap cards = QSettings().value(QString::fromLatin1(kSettingCorrections)).toMap();
    int64_t ms = 0;
    return ParseClockCorrection(cards.value(CardKey(cardFolder)).toString(), &ms) ? ms : 0;
}

int64_t ClockCorrectionOfClip(const QString &clipPath)
{
    if (const std::optional<int64_t> all = Override())
        return *all;
    const QVariantMap cards = QSettings().value(QString::fromLatin1(kSettingCorrections)).toMap();
    const QString card = CardKeyHolding(cards, clipPath);
    int64_t ms = 0;
    return !card.isEmpty() && ParseClockCorrection(cards.value(card).toString(), &ms) ? ms : 0;
}

void KeepClockCorrection(const QString &cardFolder, int64_t correctionMs)
{
    if (cardFolder.isEmpty())
        return;
    correctionMs = std::clamp(correctionMs, -kMaxClockCorrectionMs, kMaxClockCorrectionMs);
    QSettings settings;
    QVariantMap cards = settings.value(QString::fromLatin1(kSettingCorrections)).toMap();
    if (correctionMs == 0)
        cards.remove(CardKey(cardFolder));
    else
        cards.insert(CardKey(cardFolder), SignedSecondsText(correctionMs).chopped(2));
    settings.setValue(QString::fromLatin1(kSettingCorrections), cards);
}

void SetClockCorrectionForAllCards(std::optional<int64_t> correctionMs)
{
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    g_override = correctionMs;
}

bool ParseClockCorrection(const QString &text, int64_t *ms)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]{1,10}(\\.[0-9]{1,3})?$"));
    const QString t = text.trimmed();
    if (!number.match(t).hasMatch())
        return false;
    const double seconds = t.toDouble();
    const int64_t value = std::llround(seconds * 1000.0);
    if (value > kMaxClockCorrectionMs || value < -kMaxClockCorrectionMs)
        return false;
    *ms = value;
    return true;
}
