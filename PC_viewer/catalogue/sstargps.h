// CSstarGps reads the 'ssmd' metadata track that dash cams built on SigmaStar chips (Rove R2-4K
// and others) write into their MP4 clips, into the same fixes and G-sensor samples as the other
// in-clip readers. The kind of a sample follows from its size (all fields little-endian):
//
// - 32 bytes, a GPS record: latitude and longitude as doubles of signed DDMM.MMMM at 0 and 8
//   (a latitude of 4294967295 means no lock), speed in knots (16 bits) at 20, then year - 2000,
//   month, day, hour, minute, second (bytes) at 22: the receiver's UTC.
// - 12 bytes, the G-sensor: three floats in g on the camera's axes.
// - Anything else (a JPEG preview picture, ...): not telemetry, passed over unread.
//
// Times: a sample's start on the track is its time on the clip. A GPS record at exactly 0, 0 is
// none; one off the globe, with minutes of 60 or more or a date or time out of range, and a
// G-sensor sample that is not a number, are counted as damaged.
#pragma once

#include "catalogue/makergps.h"

inline constexpr int kSstarGpsBytes = 32;
inline constexpr int kSstarAccelBytes = 12;

class CSstarGps
{
public:
    // One sample's bytes at its start on the clip. MR_OTHER for a sample of neither kind.
    static MakerRecordResult AddSample(const QByteArray &sample, double time, tagTRACKTELEMETRY *out);

    // Reads the GPS and G-sensor samples of the clip's 'ssmd' tracks out of *budget. True when
    // there was one, even one that gave nothing.
    static bool Read(CMp4Boxes *boxes, tagTRACKTELEMETRY *out, qint64 *budget, tagMAKERGPSSTATS *stats = nullptr);
};
