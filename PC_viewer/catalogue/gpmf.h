// CGpmf reads GoPro's GPMF telemetry (one payload per MP4 sample of a 'gpmd' track) into GPS
// fixes and G-sensor samples.
//
// GPMF is a tree of KLV items, big-endian and 32-bit aligned: a four-character key, a one-byte
// type, a one-byte structure size and a two-byte repeat count; type 0 nests further items. Devices
// ('DEVC') hold streams ('STRM'); within a stream the sticky items SCAL (divisors, one for all
// elements or one each) and TYPE (the layout of a complex '?' structure) apply to the data.
// Read from a stream:
//   GPS5  lat, lon (degrees), altitude (m), 2D speed, 3D speed (m/s), with SCAL
//   GPS9  the same plus days since 2000-01-01, seconds since midnight (UTC), DOP and fix, with SCAL
//   GPSF  fix of the stream's GPS5 samples: 0 or 1 none ('V'), 2 or 3 a fix ('A'); without one a
//         fix at 0,0 counts as none and any other as valid
//   GPSU  UTC time of the stream's first GPS5 sample ("yymmddhhmmss.sss"); later samples of the
//         payload add their time on the track
//   GPSP  dilution of precision times 100
//   ACCL  acceleration on three axes in m/s², with SCAL, turned into g (/ 9.80665). GoPro writes
//         the axes in the order Y, -X, Z of the camera (HERO6 and later); we give fX the camera's
//         X (the negated second value), fY its Y (the first) and fZ its Z (the third).
// and, from the Karma drone's flight controller, complex structures described by their stream's
// TYPE and scaled by its SCAL:
//   GPRI  the receiver's own fix (TYPE "JlllSSSSBB"): system time (s), lat, lon (degrees), altitude
//         (m), two fields not read, speed over ground (m/s), course (degrees), two fields not read
//   GLPI  the estimated position (TYPE "LllllsssS"): system time (s), lat, lon (degrees), altitude,
//         a field not read, velocity north, east and down (m/s), heading (degrees); the speed is
//         that over ground (north and east)
//   SYST  pairs of system time and UTC (seconds since 1970) that set the system clock of the
//         payload's GPRI and GLPI; between two pairs the time is interpolated, beyond them the
//         nearest two carry it on (one pair: the clocks run together). Without SYST those fixes
//         have no UTC.
// A fix at 0, 0 is none ('V'); a course beyond 360 degrees is none. A payload's positions come
// from one place: GPS5 and GPS9 when they give fixes, else GLPI, else GPRI.
// Such a structure whose TYPE does not fill its structure size exactly, whose type letters are not
// numbers, which lacks fields, or whose SCAL gives neither one divisor nor one for each field is
// skipped and counted (tagGPMFSTATS).
// The N samples of one item are spread evenly over the MP4 sample's span [start, start + duration).
// A damaged item (its size beyond the bytes there, an unusable type or structure size, a zero
// divisor) is skipped, and a damaged nesting ends the reading of that level; nothing is read out of
// bounds whatever the bytes say.
#pragma once

#include "catalogue/mp4boxes.h"

// What the reading of payloads skipped; adds up over the payloads it is given to.
struct tagGPMFSTATS {
    int nSkipped = 0; // complex structures (GPRI, GLPI, SYST) that could not be read
};

class CGpmf
{
public:
    static void ParsePayload(const char *data, qint64 size, double start, double duration,
                             tagTRACKTELEMETRY *out, tagGPMFSTATS *stats = nullptr);
};
