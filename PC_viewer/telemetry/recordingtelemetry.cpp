// The open recording's telemetry tables.
#include "telemetry/recordingtelemetry.h"

#include "catalogue/corvanadoc.h"

CRecordingTelemetry::CRecordingTelemetry(const CCorvanaDoc *doc, QObject *parent) : QObject(parent), m_doc(doc) {}

void CRecordingTelemetry::Rebuild()
{
    const int current = m_doc->CurrentIndex();
    if (current < 0 || current >= m_doc->Count()) {
        Clear();
        return;
    }
    const tagDATAFILEINFO &rec = m_doc->RecordRef(current);
    m_recording = current;
    m_frameToSample = BuildFrameToSample(rec, m_doc->FrameTime(), m_doc->LastPosition());
    m_fix = BuildFrameToFix(rec, m_doc->FrameTime(), m_doc->LastPosition());
    emit Changed();
}

void CRecordingTelemetry::Clear()
{
    m_recording = -1;
    m_frameToSample.Clear();
    m_fix = FrameFixTables();
    emit Changed();
}
