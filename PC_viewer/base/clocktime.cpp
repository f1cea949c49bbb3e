// Local clock times of time keys.
#include "base/clocktime.h"

QDateTime LocalTimeOfKey(int64_t timeKeyMs, int *ms)
{
    // Floor rather than truncate, so that a time before the epoch still gives a sane clock.
    int64_t secs = timeKeyMs / 1000;
    int64_t rest = timeKeyMs % 1000;
    if (rest < 0) {
        rest += 1000;
        --secs;
    }
    *ms = static_cast<int>(rest);
    return QDateTime::fromSecsSinceEpoch(secs, Qt::LocalTime);
}

QString GraphClockText(int64_t timeKeyMs)
{
    int ms = 0;
    const QDateTime dt = LocalTimeOfKey(timeKeyMs, &ms);
    if (!dt.isValid())
        return QString();
    const QTime t = dt.time();
    return QString::asprintf("%02d:%02d:%02d.%03d", t.hour(), t.minute(), t.second(), ms);
}
