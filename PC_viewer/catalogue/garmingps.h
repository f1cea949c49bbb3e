// CGarminGps reads the GPS that Garmin dash cams write into their MP4 clips, in either of two
// places, into the same fixes as the other in-clip readers (all fields big-endian):
//
// - "PNDM" cues of a text track (IsMp4TextTrack), one a second. After the 16-bit length of
//   QuickTime text samples, the cue starts with "PNDM", or with a 32-bit size (its first byte 0)
//   and then "PNDM"; from that "P": speed in miles an hour (16 bits) at 8, latitude and longitude
//   (signed 32 bits, 2^31 = 180 degrees) at 12 and 16. No time: the cue's start on the track is
//   its fix's time on the clip.
// - A 'uuid' box in 'moov' whose payload starts with the UUID 9b630f8d-6374-40ec-8204-bc5ff5091728
//   (DriveAssist 51): from payload byte 33 on, records of 20 bytes: UTC in seconds since
//   1904-01-01 (32 bits), speed in miles an hour (16 bits) at 4, latitude and longitude as above
//   at 12 and 16. The first record's time is the clip's start; every later one is placed by its
//   UTC difference from it.
//
// A record at exactly 0, 0 is one without a lock (no fix); one cut short, off the globe, of a time
// before 2000 or after 2099, or (in the box) before the first record or more than a day after it
// is counted as damaged. The cues are read when there are any, else the box. Limits: the box up to
// kMaxMp4TableBytes, every byte out of the caller's budget, kMaxFixesPerFile fixes.
#pragma once

#include "catalogue/makergps.h"

#include <QString>

class CGarminGps
{
public:
    // One text sample's bytes at its start on the clip. MR_OTHER for a sample that is no PNDM cue.
    static MakerRecordResult AddCue(const QByteArray &sample, double time, tagTRACKTELEMETRY *out);
    // The payload of a 'uuid' box (from its UUID on), its records counted into *stats. False when
    // it is not Garmin's.
    static bool AddBox(const QByteArray &payload, tagTRACKTELEMETRY *out, tagMAKERGPSSTATS *stats);

    // Reads the clip at path (whose boxes are already walked). True when it holds PNDM cues or
    // Garmin's box, even when they gave nothing.
    static bool Read(const QString &path, CMp4Boxes *boxes, tagTRACKTELEMETRY *out, qint64 *budget,
                     tagMAKERGPSSTATS *stats = nullptr);
};

inline constexpr char kGarminUuid[] = "\x9b\x63\x0f\x8d\x63\x74\x40\xec\x82\x04\xbc\x5f\xf5\x09\x17\x28";
