// Clock times: the one reading of an "hhmmss.fff" time of day, and the local time of day of a
// millisecond time key, as every panel, band, CSV and trip list prints it.
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

// Wall-clock time of a millisecond time key, read as local time: "hh:mm:ss.mmm".
QString GraphClockText(int64_t timeKeyMs);
// The local date and time of a time key (to the second, floored) and its milliseconds in *ms.
QDateTime LocalTimeOfKey(int64_t timeKeyMs, int *ms);
// Milliseconds of the day of a time "hhmmss" or "hhmmss.f..." as NMEA sentences and the
// recorder's lines write it: six digits, then optionally a point and digits, of which the first
// three count (".2" is 200 ms); hour 0-23, minute 0-59, second 0-59 (or 60, a leap second, with
// allowLeapSecond). -1 when the text is no such time.
int ClockTimeMs(const char *text, int length, bool allowLeapSecond);
