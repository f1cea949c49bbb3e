// A clip's telemetry as CSV for spreadsheets: one row per frame with what the graph pane's text
// panel shows for that frame (its sample, its fix and its clock), as numbers.
#pragma once

#include "catalogue/recordinfo.h"
#include "export/telemetryoverlay.h"

#include <QString>

#include <cstdint>

// The first line of the file.
extern const char kTelemetryCsvHeader[]; // "frame,time,latitude,longitude,speed,heading,x,y,z"
// Added to the first line, and a cell of each to every row, for a record with the car's own state
// (vecVehicle): gear "P", "D", "R", "N"; accelerator in percent and steering in degrees, one
// decimal; blinker "left", "right", "both" or "none"; brake "on" or "off"; autopilot "none",
// "self-driving", "autosteer" or "traffic-aware cruise". Empty where the frame has no entry.
extern const char kTelemetryCsvVehicleColumns[]; // ",gear,accelerator,steering,blinker,brake,autopilot"

// The row of one frame, without its line end, from the sample, fix and clock that FrameTelemetry
// gives the frame: time "hh:mm:ss.mmm", latitude and longitude in signed degrees with six
// decimals, speed with one decimal, heading in degrees with two, x, y and z as the panel writes
// them ("%+1.2f"). A cell is empty where the panel shows nothing (no sample, no fix, no clock).
QString TelemetryCsvRow(const tagDATAFILEINFO &rec, const tagFRAMETELEMETRY &t, int64_t frame, SpeedUnit unit);

// Writes the header and the rows of frames 0 .. frameCount - 1 of a clip whose frames last
// frameTime (100-ns units, as the media engine measures them) to path. The file is written beside
// path and renamed over it once complete; on any failure nothing new is left, an earlier file at
// path stays as it was, and false comes back with the reason in *why.
bool WriteTelemetryCsv(const QString &path, const tagDATAFILEINFO &rec, int64_t frameTime, int64_t frameCount,
                       SpeedUnit unit, QString *why);
