// Units of speed: the one conversion from knots (what GPS fixes carry) to km/h or mph, and the
// names the command line and the settings use for them.
#pragma once

#include <QString>

enum class SpeedUnit { Kmh, Mph };
// "kmh" / "mph"; false for anything else.
bool ParseSpeedUnit(const QString &text, SpeedUnit *unit);
QString SpeedUnitName(SpeedUnit unit);
// A speed over ground in knots in km/h or mph (1 knot = 1.852 km/h), unrounded.
double SpeedInUnit(double knots, SpeedUnit unit);
