// What belongs to one frame of the open recording: its G-sensor sample, its GPS fix and its clock,
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
    bool bClock = false;
    int64_t llClockMs = 0;
};
tagFRAMETELEMETRY FrameTelemetry(const tagDATAFILEINFO &rec, const CFrameIndexTable &frameToSample,
                                 const CFrameIndexTable &frameToFix, int64_t frame, int64_t position100ns);
