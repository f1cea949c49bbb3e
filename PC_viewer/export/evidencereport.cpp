// The evidence package's report of its first moment.
#include "export/evidencereport.h"

#include "playback/playbackcontroller.h"

bool CEvidenceReport::Write(const QString &pdfPath, const tagEVIDENCEFACTS &facts, int recording, int64_t frame,
                            QString *why)
{
    if (m_playback->IsMulti())
        m_playback->SetLayout(0, 1, true);
    if (m_playback->CurrentIndex() != recording && !m_playback->Open(recording)) {
        *why = QStringLiteral("the first recording of the range does not open");
        return false;
    }
    m_playback->Pause();
    // The position comes from the package, as a frame step would put it: every pane follows.
    m_playback->Seek(frame, nullptr);
    if (!m_print || !m_print(pdfPath, facts)) {
        *why = QStringLiteral("the report could not be printed");
        return false;
    }
    return true;
}
