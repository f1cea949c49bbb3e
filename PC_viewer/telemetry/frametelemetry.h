// What belongs to one frame of the open recording: its G-sensor sample, its GPS fix, its clock and
// (for a car that records it) the car's own state,
// by the rules of the graph pane's text panel. The panel, the report, the CSV and the exported
// band all read a frame through here.
#pragma once

#include "catalogue/recordinfo.h"
#include "playback/frameindextable.h"

#include <cstdint>

// Which sample, fix and clock belong to a frame, by the rules of the graph pane's text panel: the
// frame's sample when the record is valid and has samples; its fix when the record is valid; its
// clock (sync time + position) when the record is valid and its sync time has a key.
struct tagFRAMETELEMETRY {
    int nSample = -1;
    int nFix = -1;
    int nVehicle = -1; // index into vecVehicle: the frame's entry by the samples' rule
    bool bClock = false;
    int64_t llClockMs = 0;
};
// frameToVehicle may be left out: no vehicle entry then.
tagFRAMETELEMETRY FrameTelemetry(const tagDATAFILEINFO &rec, const CFrameIndexTable &frameToSample,
                                 const CFrameIndexTable &frameToFix, int64_t frame, int64_t position100ns,
                                 const CFrameIndexTable *frameToVehicle = nullptr);
