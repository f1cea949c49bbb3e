// Which sample, fix and clock belong to a frame.
#include "telemetry/frametelemetry.h"

tagFRAMETELEMETRY FrameTelemetry(const tagDATAFILEINFO &rec, const CFrameIndexTable &frameToSample,
                                 const CFrameIndexTable &frameToFix, int64_t frame, int64_t position100ns,
                                 const CFrameIndexTable *frameToVehicle)
{
    tagFRAMETELEMETRY t;
    if (rec.bValid != 1)
        return t;
    const int s = frameToSample.Find(frame);
    if (s != -1 && s < rec.vecAccel.size())
        t.nSample = s;
    const int f = frameToFix.Find(frame);
    if (f != -1 && f < rec.vecGps.size())
        t.nFix = f;
    const int v = frameToVehicle ? frameToVehicle->Find(frame) : -1;
    if (v != -1 && v < rec.vecVehicle.size())
        t.nVehicle = v;
    int64_t startMs = 0;
    // A recording whose clock nobody told shows no time of day.
    if (!rec.bNoClock && TimeKey(rec.stSyncTime, &startMs)) {
        t.bClock = true;
        t.llClockMs = startMs + position100ns / 10000;
    }
    return t;
}
