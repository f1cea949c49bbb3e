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

#include "telemetry/accelgraphpainter.h"
#include "telemetry/frameindextable.h"
#include "telemetry/graphgeometry.h"
#include "telemetry/graphkeycommands.h"
#include "telemetry/recordingtelemetry.h"

#include <QImage>
#include <QWidget>

class CCorvanaDoc;
class CPlaybackSession;
class IControlBarKeys;
class QKeyEvent;
class QMenu;
class QPainter;

class CAccelSensorGraphView : public QWidget
{
    Q_OBJECT
public:
    explicit CAccelSensorGraphView(CCorvanaDoc *doc, QWidget *parent = nullptr);

    // Panes the view talks to; any may be left null (its keys then do nothing).
    void SetPlaybackSession(CPlaybackSession *session);
    void SetControlBar(IControlBarKeys *controlBar);
    // The key table's command path every pane shares, owned by the caller; null: the view's own.
    void SetKeyCommands(CGraphKeyCommands *keys);
    // The open recording's telemetry tables, owned by the caller; null: the view keeps its own,
    // rebuilt with the graph.
    void SetTelemetry(const CRecordingTelemetry *telemetry);

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
    // Redraws the picture and the frame-to-sample table for the document's current recording.
    void RebuildGraph();
    // Empties the table, zoom 1, no marker, no data; bare background.
    void ResetGraph();
    // What a repaint shows, without the magnifier, into an image of the pane's size.
    QImage RenderGraphSnapshot();
    // The same picture drawn into any painter in the pane's client coordinates (0, 0) to
    // (width, height): the report scales the painter onto its band of the page.
    void PlotGraph(QPainter &p);

    // The key handler: the key goes through the key table's command path.
    void KeyDown(QKeyEvent *event);
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

public slots:
    // The document's update-all-views broadcast: repaint (unless this view sent it).
    void OnUpdate(QObject *sender);

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
    // Media time of the picture the clock row shows, 100-ns units.
    int64_t ClockPosition() const;

    CCorvanaDoc *m_doc;
    CPlaybackSession *m_session = nullptr;
    CRecordingTelemetry m_ownTelemetry;
    CGraphKeyCommands m_ownKeys;
    CGraphKeyCommands *m_keys = &m_ownKeys;
    const CRecordingTelemetry *m_telemetry = &m_ownTelemetry;
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
