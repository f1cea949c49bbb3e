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
// The N samples of one item are spread evenly over the MP4 sample's span [start, start + duration).
// A damaged item (its size beyond the bytes there, an unusable type or structure size, a zero
// divisor) is skipped, and a damaged nesting ends the reading of that level; nothing is read out of
// bounds whatever the bytes say.
#pragma once

#include "catalogue/mp4boxes.h"

class CGpmf
{
public:
    static void ParsePayload(const char *data, qint64 size, double start, double duration,
                             tagTRACKTELEMETRY *out);
};
