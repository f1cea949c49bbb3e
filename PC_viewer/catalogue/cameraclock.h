// The camera's own clock against GPS time, and the clock correction a card keeps.
//
// Cameras name their clips by the local time the driver set and record GPS in UTC. Where a clip's
// name tells the camera's time and its telemetry tells UTC, the record takes the camera's time:
// every time in it moves by the difference, and the difference (camera time minus UTC at the
// clip's start) is kept. That difference is the card's time zone, rounded to the quarter hour,
// plus the camera clock's error.
//
// A card may keep a clock correction: seconds added to every time the camera recorded (its clip
// names and the times of its telemetry), for a camera whose clock or time zone was set wrong.
// Times taken from a track the user added are true times and are not corrected. The correction is
// kept in the viewer's settings under the card's folder, never on the card; a process may set one
// for every card instead (the command line's --clock-offset).
#pragma once

#include "catalogue/recordinfo.h"

#include <QString>
#include <cstdint>
#include <optional>

// The most a correction can move a clock either way: twenty years, for a camera that lost its
// date.
inline constexpr int64_t kMaxClockCorrectionMs = 20LL * 366 * 86400 * 1000;
// A difference within this of a quarter hour is a time zone and an error; beyond, all error.
inline constexpr int64_t kMaxTimeZoneMs = 14LL * 3600 * 1000;

// Splits camera time minus UTC into the time zone (quarter hours, at most kMaxTimeZoneMs either
// way) and the clock's error (the rest).
void SplitCameraOffset(int64_t offsetMs, int64_t *zoneMs, int64_t *errorMs);

// Moves every time of the record (sync, name, samples, fixes with their texts) by shiftMs.
// False, and the record untouched, when a time would leave the years 2000..2099.
bool ShiftRecordTimes(tagDATAFILEINFO *rec, int64_t shiftMs);

// Puts a record whose times are local times of UTC (bHasUtcOffset) on the camera's clock, given
// the camera's time of the clip's start (from its name); where that UTC is GPS time (bUtcFromGps)
// the difference is kept as the camera clock's (bCameraClock). False, and nothing changed, for a
// record without UTC or a time that cannot move.
bool ApplyCameraClock(const SYSTEMTIME &cameraStart, tagDATAFILEINFO *rec);

// Adds the correction to the record's times and to its offset from UTC, and keeps it in
// nClockCorrectionMs. False when the times cannot move (the record then keeps no correction).
bool ApplyClockCorrection(int64_t correctionMs, tagDATAFILEINFO *rec);

// "UTC+09:00, the camera's clock 2.000 s ahead of GPS time" (or "behind", "on GPS time"); empty
// for a record without the camera's clock. A correction adds "; corrected by +3600.000 s".
QString CameraClockText(const tagDATAFILEINFO &rec);
// "+3600.000 s", "-2.500 s", "+0.000 s".
QString SignedSecondsText(int64_t ms);

// The correction kept for the card in `cardFolder` (0 when none), or the one the process set.
int64_t ClockCorrectionOfCard(const QString &cardFolder);
// The correction of the card whose folder holds clipPath (the deepest such card), or the one the
// process set; 0 when none.
int64_t ClockCorrectionOfClip(const QString &clipPath);
// Keeps the card's correction, clamped to +-kMaxClockCorrectionMs; 0 forgets it.
void KeepClockCorrection(const QString &cardFolder, int64_t correctionMs);
// One correction for every card, whatever the settings keep; nullopt goes back to the settings.
void SetClockCorrectionForAllCards(std::optional<int64_t> correctionMs);
// Reads "+3600", "-2.5", "90" as milliseconds; false for anything else or beyond the limit.
bool ParseClockCorrection(const QString &text, int64_t *ms);
