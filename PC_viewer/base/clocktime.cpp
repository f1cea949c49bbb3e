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

int ClockTimeMs(const char *text, int length, bool allowLeapSecond)
{
    constexpr int kDigits = 6;
    const auto digit = [text](int i) { return text[i] >= '0' && text[i] <= '9'; };
    if (length < kDigits)
        return -1;
    for (int i = 0; i < kDigits; ++i)
        if (!digit(i))
            return -1;
    const int h = (text[0] - '0') * 10 + (text[1] - '0');
    const int m = (text[2] - '0') * 10 + (text[3] - '0');
    const int s = (text[4] - '0') * 10 + (text[5] - '0');
    if (h > 23 || m > 59 || s > (allowLeapSecond ? 60 : 59))
        return -1;
    int ms = 0;
    if (length > kDigits) {
        if (text[kDigits] != '.')
            return -1;
        int scale = 100;
        for (int i = kDigits + 1; i < length; ++i) {
            if (!digit(i))
                return -1;
            ms += (text[i] - '0') * scale;
            scale /= 10;
        }
    }
    return ((h * 60 + m) * 60 + s) * 1000 + ms;
}
