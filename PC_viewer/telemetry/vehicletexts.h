// The texts of a car's own state (gear, pedal, steering, blinkers, brake, autopilot: Tesla's
// clips) as the graph pane's panel, the telemetry band and the CSV write them.
#pragma once

#include "catalogue/recordinfo.h"

#include <QString>

enum VehicleRow {
    VEHICLE_ROW_GEAR = 0,
    VEHICLE_ROW_ACCELERATOR,
    VEHICLE_ROW_STEERING,
    VEHICLE_ROW_BLINKER,
    VEHICLE_ROW_BRAKE,
    VEHICLE_ROW_AUTOPILOT,
    VEHICLE_ROWS,
};
// "Gear", "Accelerator", "Steering", "Blinker", "Brake", "Autopilot".
extern const char *const kVehicleRowLabels[VEHICLE_ROWS];

QString GearText(int gear); // "P", "D", "R", "N"; another value as its number
QString AutopilotText(
    int state); // "none", "self-driving", "autosteer", "traffic-aware cruise"; another as its number
// "left", "right", "both" (hazard lights); none: `none`.
QString BlinkerText(const tagVEHICLEINFO &v, const QString &none);

// The panel's value of each row: "D", "23 %", "-12.5°", "left" / "—", "on" / "off", "autosteer".
// A pedal or steering value that is no number reads empty.
void VehicleRowTexts(const tagVEHICLEINFO &v, QString rows[VEHICLE_ROWS]);
// The band's text: "Gear D  Accel 23 %  Steer -12.5°  Blinker —  Brake off  Autopilot none".
QString VehicleBandText(const tagVEHICLEINFO &v);
