// CMai70Gps reads the 'GPS ' box that 70mai dash cams write into their MP4 clips (at the top of
// the file, or in 'moov'), into the same fixes as the other in-clip readers. (Their "freeGPS "
// blocks, where a clip has them, are CNovatekGps's.)
//
// The box holds records of 36 bytes up to its end or an all-zero record (fields little-endian):
// two 32-bit values (1 and 1), the record's second on the clip (32 bits) at 8, speed in km/h x
// 1000 (32 bits) at 12, 'N' or 'S' at 16, the latitude as DDMM.MMM x 1000 (32 bits) at 17, 'E' or
// 'W' at 21, the longitude likewise at 22; the other bytes are not known.
//
// A record at exactly 0, 0 is one without a lock (no fix). One with a hemisphere that is no
// letter of one, minutes of 60 or more, a position off the globe, or a second past the clip's end
// (when the movie gives its duration) is counted as damaged. The box is read up to
// kMaxMp4TableBytes out of the caller's budget; kMaxFixesPerFile fixes.
#pragma once

#include "catalogue/makergps.h"

#include <QString>

inline constexpr int kMai70RecordBytes = 36;

class CMai70Gps
{
public:
    // The box's payload; fixes go to *out (its dDuration, when known, bounds the seconds).
    static void AddBox(const QByteArray &payload, tagTRACKTELEMETRY *out, tagMAKERGPSSTATS *stats);

    // Reads the 'GPS ' box of the MP4 file at path. True when there is one, even when it gave
    // nothing.
    static bool Read(const QString &path, tagTRACKTELEMETRY *out, qint64 *budget, tagMAKERGPSSTATS *stats = nullptr);
};
