// What the readers of the dash cams' own in-clip telemetry (Thinkware, Garmin, SigmaStar, 70mai)
// share: their counts, the reading of a track's samples out of the file's budget, the text of a
// cue, an RMC sentence, and the range checks every position and time passes.
#pragma once

#include "catalogue/mp4boxes.h"

#include <QByteArray>
#include <functional>

// What one read of a clip met.
struct tagMAKERGPSSTATS {
    int nRecords = 0; // records (cues, samples, box entries) of the reader's layout
    int nDecoded = 0; // records that gave a fix or a G-sensor sample
    int nNoFix = 0;   // records of the layout without a position (no lock)
    int nDamaged = 0; // records skipped as damaged: cut, or values no receiver gives
};

enum MakerRecordResult { MR_DECODED, MR_NOFIX, MR_OTHER, MR_DAMAGED };

// Counts one record's result (MR_OTHER: not a record of the layout, not counted).
void CountMakerRecord(tagMAKERGPSSTATS *stats, MakerRecordResult result);

// Reads the samples of the tracks that `wanted` picks, in track order, and hands each with its
// start on the track's timeline to `fn`. Every sample read comes out of *budget; when the budget
// or the telemetry is full, reading stops with bTooLarge set. A sample that cannot be read is
// handed over empty.
void ForEachTrackSample(CMp4Boxes *boxes, qint64 *budget, tagTRACKTELEMETRY *out,
                        const std::function<bool(const tagMP4TRACK &)> &wanted,
                        const std::function<void(const QByteArray &, double start)> &fn);

// The text of a text track's sample: without the 16-bit big-endian length that QuickTime text
// samples start with (when it gives the rest's size) and without a trailing 'encd' box.
QByteArray Mp4CueText(const QByteArray &sample);

// UTC milliseconds of a receiver's date and time (year 2000 to 2099); false when out of range.
bool MakerUtcMs(int year, int month, int day, int hour, int minute, double seconds, qint64 *ms);

// Degrees of a DDDMM.MMMM value, keeping its sign; false when the minutes reach 60 or the
// degrees exceed maxDegrees.
bool DdmmToDegrees(double ddmm, double maxDegrees, double *degrees);

// One RMC sentence of any talker ("GPRMC,hhmmss.ss,A,ddmm.mm,N,dddmm.mm,E,knots,course,ddmmyy,...",
// with or without its '$'). `text` is searched for the first "<two capitals>RMC,"; the sentence
// runs to the first byte below a space or ';'. A checksum "*hh" after it must match.
struct tagRMCFIX {
    qint64 nUtcMs = 0;
    double dLat = 0.0, dLon = 0.0; // degrees
    double dSpeed = 0.0;           // m/s
    double dCourse = -1.0;         // degrees, -1 when empty
};
// MR_OTHER without a sentence, MR_NOFIX for status V or an empty position, MR_DAMAGED when a field
// is unreadable or out of range or the checksum does not match.
MakerRecordResult ParseRmcText(const QByteArray &text, tagRMCFIX *fix);
