// Texts of a car's own state.
#include "telemetry/vehicletexts.h"

#include <cmath>

const char *const kVehicleRowLabels[VEHICLE_ROWS] = {"Gear",    "Accelerator", "Steering",
                                                     "Blinker", "Brake",       "Autopilot"};

namespace {

const QChar kDash(0x2014);
const QChar kDegree(0x00b0);

QString Number(float value, int decimals)
{
    return std::isfinite(value) ? QString::asprintf("%.*f", decimals, double(value)) : QString();
}

} // namespace

QString GearText(int gear)
{
    static const char *const kGears[] = {"P", "D", "R", "N"};
    return gear >= VG_PARK && gear <= VG_NEUTRAL ? QLatin1String(kGears[gear]) : QString::number(gear);
}

QString AutopilotText(int state)
{
    static const char *const kStates[] = {"none", "self-driving", "autosteer", "traffic-aware cruise"};
    return state >= AP_NONE && state <= AP_TRAFFIC_AWARE_CRUISE ? QLatin1String(kStates[state])
                                                                : QString::number(state);
}

QString BlinkerText(const tagVEHICLEINFO &v, const QString &none)
{
    if (v.bBlinkerLeft && v.bBlinkerRight)
        return QStringLiteral("both");
    if (v.bBlinkerLeft)
        return QStringLiteral("left");
    if (v.bBlinkerRight)
        return QStringLiteral("right");
    return none;
}

void VehicleRowTexts(const tagVEHICLEINFO &v, QString rows[VEHICLE_ROWS])
{
    const QString pedal = Number(v.fAccelerator, 0);
    const QString steering = Number(v.fSteering, 1);
    rows[VEHICLE_ROW_GEAR] = GearText(v.nGear);
    rows[VEHICLE_ROW_ACCELERATOR] = pedal.isEmpty() ? pedal : pedal + QStringLiteral(" %");
    rows[VEHICLE_ROW_STEERING] = steering.isEmpty() ? steering : steering + kDegree;
    rows[VEHICLE_ROW_BLINKER] = BlinkerText(v, kDash);
    rows[VEHICLE_ROW_BRAKE] = v.bBrake ? QStringLiteral("on") : QStringLiteral("off");
    rows[VEHICLE_ROW_AUTOPILOT] = AutopilotText(v.nAutopilot);
}

QString VehicleBandText(const tagVEHICLEINFO &v)
{
    QString rows[VEHICLE_ROWS];
    VehicleRowTexts(v, rows);
    const char *const names[VEHICLE_ROWS] = {"Gear", "Accel", "Steer", "Blinker", "Brake", "Autopilot"};
    QString text;
    for (int i = 0; i < VEHICLE_ROWS; ++i) {
        if (i)
            text += QStringLiteral("  ");
        text += QLatin1String(names[i]) + QLatin1Char(' ') + (rows[i].isEmpty() ? QString(kDash) : rows[i]);
    }
    return text;
}
