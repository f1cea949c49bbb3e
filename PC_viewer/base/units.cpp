// Knots to km/h and mph.
#include "base/units.h"

namespace {

constexpr double kKmhPerKnot = 1.852;
constexpr double kMphPerKnot = 1.150779448; // 1.852 / 1.609344

} // namespace

bool ParseSpeedUnit(const QString &text, SpeedUnit *unit)
{
    if (text.compare(QLatin1String("kmh"), Qt::CaseInsensitive) == 0)
        *unit = SpeedUnit::Kmh;
    else if (text.compare(QLatin1String("mph"), Qt::CaseInsensitive) == 0)
        *unit = SpeedUnit::Mph;
    else
        return false;
    return true;
}

QString SpeedUnitName(SpeedUnit unit)
{
    return unit == SpeedUnit::Mph ? QStringLiteral("mph") : QStringLiteral("kmh");
}

double SpeedInUnit(double knots, SpeedUnit unit)
{
    return knots * (unit == SpeedUnit::Mph ? kMphPerKnot : kKmhPerKnot);
}
