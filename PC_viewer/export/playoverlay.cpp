// The band over the playing picture.
#include "export/playoverlay.h"

#include "catalogue/corvanadoc.h"
#include "catalogue/recordinfo.h"
#include "export/exportoptions.h"
#include "export/telemetryoverlay.h"
#include "playback/playbackcontroller.h"

void CPlayOverlay::Draw(QPainter &painter, const QRect &picture, int64_t frame) const
{
    const int index = m_playback->CurrentIndex();
    const CRecordingTelemetry &telemetry = m_playback->Telemetry();
    if (index < 0 || telemetry.Recording() != index || frame < 0)
        return;
    const tagDATAFILEINFO &rec = m_playback->Document()->RecordRef(index);
    const tagFRAMETELEMETRY t = FrameTelemetry(rec, telemetry.FrameToSample(), telemetry.FrameToFix(), frame,
                                               frame * m_playback->FrameTime(), &telemetry.FrameToVehicle());
    const tagEXPORTOPTIONS remembered = RememberedExportOptions();
    const tagOVERLAYTEXTS texts = OverlayTexts(rec, t, FileNameOfPath(m_playback->MediaPath()), frame,
                                               m_playback->FrameCount(), remembered.unit);
    const int h = qMin(picture.height(), OverlayBandHeight(picture.size()));
    DrawTelemetryOverlay(painter, QRect(picture.left(), picture.bottom() + 1 - h, picture.width(), h), texts,
                         remembered.nOverlay);
}
