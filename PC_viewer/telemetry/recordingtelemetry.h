// CRecordingTelemetry: the telemetry tables of the open recording, in the core.
//
// Design note
// - One object, owned by whoever plays the recording (the main frame, a CLI command, a test),
//   holds frame -> G-sensor sample, frame -> GPS fix and fix -> frame for the document's current
//   recording. It is rebuilt when a recording has been opened (the play view has written the
//   clip's frame time and count to the document) and cleared when none is open, whatever the map
//   page or the graph pane do. The graph, the map, the report and the CLI only look it up.
// - It lives on the thread of the document (the UI thread) and is not locked.
// - A pane used on its own (tests, tools) may keep one of its own; in the viewer all share one.
#pragma once

#include "telemetry/frameindextable.h"

#include <QObject>

#include <cstdint>

class CCorvanaDoc;

class CRecordingTelemetry : public QObject
{
    Q_OBJECT
public:
    explicit CRecordingTelemetry(const CCorvanaDoc *doc, QObject *parent = nullptr);

    // The tables of the document's current recording, from its frame time and frame count;
    // empty without a current recording or without data for them.
    void Rebuild();
    void Clear();

    // The recording the tables belong to (-1: none).
    int Recording() const { return m_recording; }
    const CFrameIndexTable &FrameToSample() const { return m_frameToSample; }
    const CFrameIndexTable &FrameToFix() const { return m_fix.frameToFix; }
    const CFrameIndexTable &FixToFrame() const { return m_fix.fixToFrame; }

signals:
    // The tables were rebuilt or cleared.
    void Changed();

private:
    const CCorvanaDoc *m_doc;
    int m_recording = -1;
    CFrameIndexTable m_frameToSample;
    FrameFixTables m_fix;
};
