// CCamm reads Camera Motion Metadata ('camm' track samples) into GPS fixes and G-sensor samples.
//
// A sample holds packets, each a reserved uint16, a type uint16 and the type's payload, all
// little-endian. Read:
//   type 3  acceleration, float[3] in m/s² on the camera's X, Y, Z, turned into g (/ 9.80665)
//   type 5  minimal GPS: latitude, longitude (degrees), altitude (m) as doubles; no status, so a
//           fix counts as valid unless it lies at 0,0
//   type 6  GPS: time (double, seconds since the GPS epoch 1980-01-06, turned into UTC with the
//           leap seconds known up to 2017), fix type (int32: 0 none, 2 2D, 3 3D; 'A' for 2 and 3),
//           latitude, longitude (double), altitude, horizontal and vertical accuracy, velocity
//           east, north and up, speed accuracy (float); the speed and course come from the east
//           and north velocities
// Types 0, 1, 2, 4 and 7 are passed over by their sizes; an unknown type or a cut packet ends the
// sample. The packets of one sample are spread evenly over its span [start, start + duration).
#pragma once

#include "catalogue/mp4boxes.h"

class CCamm
{
public:
    static void ParseSample(const char *data, qint64 size, double start, double duration,
                            tagTRACKTELEMETRY *out);
};
