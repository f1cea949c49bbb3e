// CNextbaseGps reads the 'gdat' box that Nextbase's software writes at the top of a Nextbase clip,
// into the same fixes as the other in-clip readers. (The "freeGPS " blocks of Nextbase cameras
// are CNovatekGps's.)
//
// The box's payload is Base64 of one JSON object: {"cameraModel": ..., "gpsData": [record, ...]},
// a record {"datetime": "YYYY-MM-DDThh:mm:ss", "lat": degrees, "lon": degrees, "speed": miles an
// hour, "bearing": degrees, "xAcc", "yAcc", "zAcc", "gpsStatus": "A" or "V"}; numbers may also be
// written as texts of numbers. The accelerations have no publicly described unit and are not read.
//
// Times: the first record with a time is the clip's start, every later one is placed by its
// difference from it. A time with a zone ('Z' or an offset) gives the fix its UTC; one without a
// zone only places it. A record of status other than "A" gives no fix; one with status "A" but
// without a readable time, position off the globe, or a time before the first record's or more
// than a day after it, is counted as damaged, and so is a box that is no Base64 of such an object.
// Limits: the box up to kMaxMp4TableBytes out of the caller's budget; kMaxFixesPerFile fixes.
#pragma once

#include "catalogue/makergps.h"

#include <QString>

class CNextbaseGps
{
public:
    // The box's payload; fixes go to *out.
    static void AddBox(const QByteArray &payload, tagTRACKTELEMETRY *out, tagMAKERGPSSTATS *stats);

    // Reads the 'gdat' box of the MP4 file at path. True when there is one, even when it gave
    // nothing.
    static bool Read(const QString &path, tagTRACKTELEMETRY *out, qint64 *budget, tagMAKERGPSSTATS *stats = nullptr);
};
