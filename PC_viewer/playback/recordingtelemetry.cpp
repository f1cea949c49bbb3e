// The open recording's telemetry tables.
#include "playback/recordingtelemetry.h"

void CRecordingTelemetry::Rebuild(const tagDATAFILEINFO &record, int recording, int64_t frameTime, int64_t frameCount)
{
    m_recording = recording;
    m_frameToSample = BuildFrameToSample(record, frameTime, frameCount);
    m_fix = BuildFrameToFix(record, frameTime, frameCount);
    m_frameToVehicle = BuildFrameToVehicle(record, frameTime, frameCount);
    emit Changed();
}

void CRecordingTelemetry::Clear()
{
    m_recording = -1;
    m_frameToSample.Clear();
    m_fix = FrameFixTables();
    m_frameToVehicle.Clear();
    emit Changed();
}
