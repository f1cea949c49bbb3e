// CAccelSensorGraphView: the pane that plots the current recording's G-sensor samples (X, Y, Z
// in g) over the whole clip, marks the playing frame, shows the frame's values, speed, heading,
// clock time and number in a panel on its left, and seeks when clicked or dragged. It also owns
// the keys that the other panes forward to it.
//
// Everything that does not change during playback (background, grid, labels, curves, extremes)
// is drawn once per rebuild into an off-screen picture; a repaint copies it and draws the
// per-frame parts on top. The same composition serves the report's snapshot.
//
// With the speed curve switched on, the record's GPS speed is drawn over the X/Y/Z curves, on the
// screen and in the report alike. The right button over the plot is the magnifier; over the text
// panel (or by the keyboard's menu key) it opens the pane's menu, which the main frame supplies.
#pragma once

#include "playback/frameindextable.h"
#include "playback/playbackcontroller.h"
#include "telemetry/accelgraphpainter.h"
#include "telemetry/graphgeometry.h"

#include <QImage>
#include <QWidget>

class CCorvanaDoc;
class CRecordingTelemetry;
class QKeyEvent;
class QMenu;
class QPainter;

class CAccelSensorGraphView : public QWidget
{
    Q_OBJECT
public:
    // The catalogue the records come from and the open recording's telemetry tables (the
    // playback controller's), both outliving the view.
    CAccelSensorGraphView(const CCorvanaDoc *doc, const CRecordingTelemetry *telemetry, QWidget *parent = nullptr);

    // The speed curve over the X/Y/Z curves, in km/h or mph; off until switched on. A change
    // rebuilds the picture.
    void SetSpeedCurve(bool on, SpeedUnit unit);
    bool IsSpeedCurveOn() const { return m_speedCurve; }
    SpeedUnit SpeedCurveUnit() const { return m_speedUnit; }
    // The pane's context menu, owned by the caller; null: none (the right button is then the
    // magnifier everywhere).
    void SetContextMenu(QMenu *menu) { m_contextMenu = menu; }

    // Creates the off-screen picture and draws the bare background; resizes rebuild only after.
    void OnInitialUpdate();
    // Redraws the picture for the open recording.
    void RebuildGraph();
    // Empties the table, zoom 1, no marker, no data; bare background.
    void ResetGraph();
    // What a repaint shows, without the magnifier, into an image of the pane's size.
    QImage RenderGraphSnapshot();
    // The same picture drawn into any painter in the pane's client coordinates (0, 0) to
    // (width, height): the report scales the painter onto its band of the page.
    void PlotGraph(QPainter &p);

    // Zoom in or out one step (the key table's +/-).
    void ZoomStep(bool in);

    // What the text panel shows now (the report's variant with snapshot).
    tagACCELFRAMEPARTS FrameParts(bool snapshot = false) const;

    // State, for the report and for tests.
    const CFrameIndexTable &FrameToSample() const { return m_telemetry->FrameToSample(); }
    int IsInitialised() const { return bInitialised; }
    int HasData() const { return bHasData; }
    int MarkerX() const { return nMarkerX; }
    unsigned Zoom() const { return nZoom; }
    int IsMagnifierOn() const { return bMagnifier; }
    float Maximum(int axis) const { return fMax[axis]; }
    float Minimum(int axis) const { return fMin[axis]; }

    // --- What the playback controller tells (connected by the composition root) --------------
    void OnRecordingOpened(const tagOPENEDRECORDING &recording);
    void OnRecordingClosed();
    // The marker and the panel move to the position (this view's own seeks included: they come
    // back with the picture's time).
    void OnPositionChanged(const tagPLAYPOSITION &position);

signals:
    // A click or a drag on the plot asks for that frame.
    void SeekRequested(qint64 frame);
    // A key for the key table (keypad: from the number pad).
    void GraphKey(int key, bool keypad);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void DrawGraphBackground();
    // The speed curve of the current recording, when switched on and the record has a clock.
    void DrawSpeed(QPainter &p, const CGraphGeometry &geo) const;
    // Steps of a repaint after the copy of the picture; snapshot: the report's variant.
    void DrawFrameParts(QImage *frame, bool snapshot) const;
    void UpdateMarker(bool evenWithoutRecording);
    void SeekTo(int64_t frame);
    // The open recording's record (an empty one without).
    const tagDATAFILEINFO &Record() const;

    const CCorvanaDoc *m_doc;
    const CRecordingTelemetry *m_telemetry;
    tagOPENEDRECORDING m_recording;
    tagPLAYPOSITION m_position;
    int bInitialised = 0;
    int bHasData = 0;
    int bDragging = 0;
    int nMarkerX = -1;
    QImage m_surface;
    unsigned nZoom = 1;
    CGraphGeometry m_geo{0, 0};
    float fMax[3] = {-2.0f, -2.0f, -2.0f};
    float fMin[3] = {2.0f, 2.0f, 2.0f};
    int bMagnifier = 0;
    bool m_speedCurve = false;
    SpeedUnit m_speedUnit = SpeedUnit::Kmh;
    QMenu *m_contextMenu = nullptr;
};
