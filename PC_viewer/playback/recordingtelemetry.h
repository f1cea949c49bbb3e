// CRecordingTelemetry: the telemetry tables of the open recording, in the core.
//
// Design note
// - One object, owned by the playback controller, holds frame -> G-sensor sample, frame -> GPS
//   fix, fix -> frame and frame -> the car's own state for the open recording. The controller rebuilds it when a recording has
//   been opened (from its record, frame time and frame count) and clears it when none is open,
//   whatever the map page or the graph pane do. The graph, the map, the report, the overlay and
//   the CLI only look it up.
// - It lives on the UI thread and is not locked.
#pragma once

#include "catalogue/recordinfo.h"
#include "playback/frameindextable.h"

#include <QObject>

#include <cstdint>

class CRecordingTelemetry : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The tables of recording `recording` (its catalogue index; -1 for a clip of no catalogue)
    // from its record, frame time and frame count.
    void Rebuild(const tagDATAFILEINFO &record, int recording, int64_t frameTime, int64_t frameCount);
    void Clear();

    // The recording the tables belong to (-1: none, or a clip of no catalogue).
    int Recording() const { return m_recording; }
    const CFrameIndexTable &FrameToSample() const { return m_frameToSample; }
    const CFrameIndexTable &FrameToFix() const { return m_fix.frameToFix; }
    const CFrameIndexTable &FixToFrame() const { return m_fix.fixToFrame; }
    const CFrameIndexTable &FrameToVehicle() const { return m_frameToVehicle; }

signals:
    // The tables were rebuilt or cleared.
    void Changed();

private:
    int m_recording = -1;
    CFrameIndexTable m_frameToSample;
    FrameFixTables m_fix;
    CFrameIndexTable m_frameToVehicle;
};
