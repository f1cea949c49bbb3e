// Clock times: the local time of day of a millisecond time key, as every panel, band, CSV and
// trip list prints it.
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

// Wall-clock time of a millisecond time key, read as local time: "hh:mm:ss.mmm".
QString GraphClockText(int64_t timeKeyMs);
// The local date and time of a time key (to the second, floored) and its milliseconds in *ms.
QDateTime LocalTimeOfKey(int64_t timeKeyMs, int *ms);
