// The G-sensor graph pane.
#include "telemetry/accelsensorgraphview.h"

#include "base/clocktime.h"
#include "telemetry/frametelemetry.h"

#include "catalogue/corvanadoc.h"
#include "playback/recordingtelemetry.h"
#include "telemetry/accelgraphpainter.h"
#include "telemetry/telemetryconst.h"
#include "telemetry/vehicletexts.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>


CAccelSensorGraphView::CAccelSensorGraphView(const CCorvanaDoc *doc, const CRecordingTelemetry *telemetry,
                                             QWidget *parent)
    : QWidget(parent), m_doc(doc), m_telemetry(telemetry)
{
    setAttribute(Qt::WA_OpaquePaintEvent); // nothing is erased: repaints during playback must not flash
    setFocusPolicy(Qt::ClickFocus);
}

const tagDATAFILEINFO &CAccelSensorGraphView::Record() const
{
    return m_doc->RecordRef(m_recording.nIndex);
}

void CAccelSensorGraphView::OnRecordingOpened(const tagOPENEDRECORDING &recording)
{
    m_recording = recording;
    m_position = tagPLAYPOSITION();
}

void CAccelSensorGraphView::OnRecordingClosed()
{
    m_recording = tagOPENEDRECORDING();
    m_position = tagPLAYPOSITION();
}

void CAccelSensorGraphView::OnPositionChanged(const tagPLAYPOSITION &position)
{
    m_position = position;
    update();
}

void CAccelSensorGraphView::SetSpeedCurve(bool on, SpeedUnit unit)
{
    if (on == m_speedCurve && unit == m_speedUnit)
        return;
    m_speedCurve = on;
    m_speedUnit = unit;
    if (bInitialised)
        RebuildGraph();
}

void CAccelSensorGraphView::DrawSpeed(QPainter &p, const CGraphGeometry &geo) const
{
    if (!m_speedCurve || m_recording.nIndex < 0)
        return;
    // The curve needs the fixes' place in the clip, not samples: a record of GPS alone has one.
    const tagDATAFILEINFO &rec = Record();
    int64_t startMs = 0;
    if (rec.bValid == 1 && TimeKey(rec.stSyncTime, &startMs))
        DrawSpeedCurve(p, geo, rec, startMs, m_recording.llDuration / 10000, m_speedUnit);
}

void CAccelSensorGraphView::OnInitialUpdate()
{
    DrawGraphBackground();
    bInitialised = 1;
}

void CAccelSensorGraphView::DrawGraphBackground()
{
    m_geo = CGraphGeometry(width(), height());
    m_surface = QImage(qMax(1, width()), qMax(1, height()), QImage::Format_RGB32);
    QPainter p(&m_surface);
    DrawAccelGraphBackground(p, m_geo, nZoom);
}

void CAccelSensorGraphView::RebuildGraph()
{
    DrawGraphBackground();
    if (m_recording.nIndex < 0) {
        update();
        return;
    }
    const tagDATAFILEINFO &rec = Record();
    bHasData = 0;
    int64_t startMs = 0;
    if (rec.bValid == 1 && !rec.vecAccel.isEmpty() && TimeKey(rec.stSyncTime, &startMs)) {
        bHasData = 1;
        QPainter p(&m_surface);
        const tagACCELEXTREMES ext =
            DrawAccelGraphCurves(p, m_geo, rec, startMs, m_recording.llDuration / 10000, nZoom);
        for (int a = 0; a < 3; ++a) {
            fMax[a] = ext.fMax[a];
            fMin[a] = ext.fMin[a];
        }
    }
    if (m_speedCurve) {
        QPainter p(&m_surface);
        DrawSpeed(p, m_geo);
    }
    update();
}

void CAccelSensorGraphView::ResetGraph()
{
    nZoom = kGraphZoomMin;
    nMarkerX = -1;
    bHasData = 0;
    DrawGraphBackground();
    update();
}

void CAccelSensorGraphView::UpdateMarker(bool evenWithoutRecording)
{
    if (m_recording.nIndex < 0 && !evenWithoutRecording)
        return;
    nMarkerX = m_geo.MarkerX(m_position.llFrame, m_recording.llFrameTime, m_recording.llDuration);
}

tagACCELFRAMEPARTS CAccelSensorGraphView::FrameParts(bool snapshot) const
{
    tagACCELFRAMEPARTS parts;
    const int64_t current = m_position.llFrame;
    const int index = m_recording.nIndex;
    const tagDATAFILEINFO &rec = Record();

    // The same lookup as the telemetry band of the play view and the exported video; the clock is
    // that of the picture on screen (the first pane's in the grid).
    const tagFRAMETELEMETRY t = FrameTelemetry(rec, m_telemetry->FrameToSample(), m_telemetry->FrameToFix(),
                                               current, m_position.llMediaTime, &m_telemetry->FrameToVehicle());
    if (bHasData && t.nSample >= 0) {
        const tagACCELINFO &a = rec.vecAccel[t.nSample];
        parts.bValues = true;
        parts.fValues[0] = a.fX;
        parts.fValues[1] = a.fY;
        parts.fValues[2] = a.fZ;
    }

    if (index >= 0 || snapshot) {
        parts.strFrame = GraphFrameText(current, m_recording.llFrameCount);
        const bool recordRows = snapshot ? bHasData == 1 : index >= 0;
        if (recordRows && t.nFix >= 0) {
            const tagGPSINFO &g = rec.vecGps[t.nFix];
            parts.strSpeed = g.strSpeed;
            parts.strDirection = GraphDirectionText(g.strDirection, g.dCourse);
        }
        if (recordRows && t.bClock)
            parts.strClock = GraphClockText(t.llClockMs);
        // The car's own state: its rows whenever the record has any, its values for this frame.
        parts.bVehicleRows = recordRows && rec.bValid == 1 && !rec.vecVehicle.isEmpty();
        if (parts.bVehicleRows && t.nVehicle >= 0)
            VehicleRowTexts(rec.vecVehicle[t.nVehicle], parts.strVehicle);
    }
    parts.nMarkerX = nMarkerX;
    return parts;
}

void CAccelSensorGraphView::DrawFrameParts(QImage *frame, bool snapshot) const
{
    QPainter p(frame);
    DrawAccelGraphFrameParts(p, m_geo, FrameParts(snapshot));
}

void CAccelSensorGraphView::PlotGraph(QPainter &p)
{
    // The report's picture, drawn afresh with the pane's own calls rather than copied from its
    // pixels, so that a scaled painter (paper) gets lines and text, not a stretched bitmap.
    UpdateMarker(true);
    const CGraphGeometry geo(width(), height());
    DrawAccelGraphBackground(p, geo, nZoom);
    const int index = m_recording.nIndex;
    const tagDATAFILEINFO &rec = Record();
    int64_t startMs = 0;
    if (bHasData && index >= 0 && TimeKey(rec.stSyncTime, &startMs))
        DrawAccelGraphCurves(p, geo, rec, startMs, m_recording.llDuration / 10000, nZoom);
    DrawSpeed(p, geo);
    DrawAccelGraphFrameParts(p, geo, FrameParts(true));
}

QImage CAccelSensorGraphView::RenderGraphSnapshot()
{
    // The report draws the marker even when no recording is current.
    UpdateMarker(true);
    QImage frame = m_surface.isNull() ? QImage(qMax(1, width()), qMax(1, height()), QImage::Format_RGB32)
                                      : m_surface.copy();
    if (m_surface.isNull())
        frame.fill(QColor(kColourBackgroundTop));
    DrawFrameParts(&frame, true);
    return frame;
}

void CAccelSensorGraphView::paintEvent(QPaintEvent *)
{
    UpdateMarker(false);
    QImage frame;
    if (m_surface.size() == size()) {
        frame = m_surface.copy();
    } else {
        // Not initialised yet, or a resize not yet rebuilt: a plain background until then.
        frame = QImage(size(), QImage::Format_RGB32);
        frame.fill(QColor(kColourBackgroundTop));
    }
    DrawFrameParts(&frame, false);

    if (bMagnifier) {
        const QPoint cursor = mapFromGlobal(QCursor::pos());
        const QImage source = frame.copy(CGraphGeometry::MagnifierSource(cursor));
        const QRect target = CGraphGeometry::MagnifierTarget(cursor);
        QPainter m(&frame);
        m.drawImage(target, source);
        m.setPen(QPen(QColor(kColourMagnifier), 2, Qt::DashLine));
        m.drawRect(target);
    }
    QPainter(this).drawImage(0, 0, frame);
}

void CAccelSensorGraphView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (bInitialised)
        RebuildGraph();
}

void CAccelSensorGraphView::SeekTo(int64_t frame)
{
    emit SeekRequested(frame);
    update();
}

void CAccelSensorGraphView::mousePressEvent(QMouseEvent *event)
{
    // Qt holds the mouse for this widget from a press to its release, as the capture did.
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        int64_t frame = 0;
        if (m_geo.FrameAt(pos.x(), pos.y(), m_recording.llFrameCount, &frame)) {
            SeekTo(frame);
            bDragging = 1;
        }
    } else if (event->button() == Qt::RightButton && (!m_contextMenu || m_geo.InPlot(pos.x(), pos.y()))) {
        bMagnifier = 1;
        repaint();
    }
}

void CAccelSensorGraphView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    int64_t frame = 0;
    if (bDragging && m_geo.FrameAt(pos.x(), pos.y(), m_recording.llFrameCount, &frame))
        SeekTo(frame);
    if (bMagnifier)
        repaint();
}

void CAccelSensorGraphView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        bDragging = 0;
    } else if (event->button() == Qt::RightButton) {
        bMagnifier = 0;
        repaint();
    }
}

void CAccelSensorGraphView::wheelEvent(QWheelEvent *event)
{
    ZoomStep(event->angleDelta().y() > 0);
    event->accept();
}

void CAccelSensorGraphView::ZoomStep(bool in)
{
    nZoom = in ? GraphZoomIn(nZoom) : GraphZoomOut(nZoom);
    RebuildGraph();
}

void CAccelSensorGraphView::keyPressEvent(QKeyEvent *event)
{
    emit GraphKey(event->key(), (event->modifiers() & Qt::KeypadModifier) != 0);
}

void CAccelSensorGraphView::contextMenuEvent(QContextMenuEvent *event)
{
    // Over the plot the right button belongs to the magnifier; the menu opens over the panel, or
    // from the keyboard.
    event->accept();
    if (!m_contextMenu ||
        (event->reason() == QContextMenuEvent::Mouse && m_geo.InPlot(event->x(), event->y())))
        return;
    m_contextMenu->popup(event->globalPos());
}
