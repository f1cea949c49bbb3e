// The G-sensor graph pane.
#include "telemetry/accelsensorgraphview.h"

#include "catalogue/corvanadoc.h"
#include "playback/mediagraph.h"
#include "playback/controlbarkeys.h"
#include "playback/playbacksession.h"
#include "telemetry/telemetryconst.h"

#include <QCursor>
#include <QFontMetrics>
#include <QHash>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace {

const QRgb kAxisColours[3] = {kColourAxisX, kColourAxisY, kColourAxisZ};
const char *const kRowLabels[] = {
    "Cur.  :", "Max.  :", "Min.  :", "Spd.  :", "Dir.  :", "Time  :", "Frame :"};

// Arial whose character cell (ascent + descent) is cellHeight pixels, as the panel's layout
// assumes; a fallback font of other proportions is sized down until its cell fits.
QFont GraphFont(int cellHeight)
{
    static QHash<int, QFont> cache;
    const auto found = cache.constFind(cellHeight);
    if (found != cache.constEnd())
        return *found;
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    int px = cellHeight;
    for (; px > 4; --px) {
        f.setPixelSize(px);
        if (QFontMetrics(f).height() <= cellHeight)
            break;
    }
    cache.insert(cellHeight, f);
    return f;
}

// GDI draws text from its top-left corner; so do we.
void TextAt(QPainter &p, int x, int y, const QString &text)
{
    p.drawText(QRect(x, y, 10000, 1000), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

void AxisValuesRow(QPainter &p, int row, const float values[3])
{
    for (int a = 0; a < 3; ++a) {
        p.setPen(QColor(kAxisColours[a]));
        TextAt(p, kGraphValueX[a], CGraphGeometry::PanelRowY(row), GraphValueText(values[a]));
    }
}

} // namespace

CAccelSensorGraphView::CAccelSensorGraphView(CCorvanaDoc *doc, QWidget *parent) : QWidget(parent), m_doc(doc)
{
    setAttribute(Qt::WA_OpaquePaintEvent); // nothing is erased: repaints during playback must not flash
    setFocusPolicy(Qt::ClickFocus);
    connect(m_doc, &CCorvanaDoc::ViewsUpdated, this, &CAccelSensorGraphView::OnUpdate);
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

    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0.0, QColor(kColourBackgroundTop));
    gradient.setColorAt(1.0, QColor(kColourBackgroundBottom));
    p.fillRect(m_surface.rect(), gradient);

    const int left = m_geo.PlotLeft();
    const int top = m_geo.PlotTop();
    const int right = m_geo.PlotRight();
    const int bottom = m_geo.PlotBottom();
    const int mid = m_geo.MidY();
    const QPen axisPen(Qt::black, 1);
    const QPen gridPen(QColor(kColourGrid), 1, Qt::DotLine);

    p.setPen(axisPen);
    p.drawLine(left, mid, right, mid);
    p.drawLine(left, top, left, bottom);
    for (int i = 1; i <= kGraphVerticalGridLines; ++i) {
        const int x = m_geo.VerticalGridX(i);
        p.setPen(gridPen);
        p.drawLine(x, top, x, bottom);
        p.setPen(axisPen);
        p.drawLine(x, mid + kGraphTickHalfLength, x, mid - kGraphTickHalfLength);
    }
    for (int j = 1; j <= kGraphHorizontalGridLines; ++j) {
        const int d = m_geo.HorizontalGridOffset(j);
        for (const int y : {mid - d, mid + d}) {
            p.setPen(gridPen);
            p.drawLine(left, y, right, y);
            p.setPen(axisPen);
            p.drawLine(left - kGraphTickHalfLength, y, left + kGraphTickHalfLength, y);
        }
    }

    p.setFont(GraphFont(kGraphPanelFontPx));
    const char *heads[3] = {"X", "Y", "Z"};
    for (int a = 0; a < 3; ++a) {
        p.setPen(QColor(kAxisColours[a]));
        TextAt(p, kGraphHeadX[a], CGraphGeometry::PanelRowY(GRAPH_ROW_HEADS), QLatin1String(heads[a]));
    }
    p.setPen(Qt::black);
    for (int row = GRAPH_ROW_CURRENT; row <= GRAPH_ROW_FRAME; ++row)
        TextAt(p, kGraphLabelX, CGraphGeometry::PanelRowY(row), QLatin1String(kRowLabels[row - 1]));

    p.setFont(GraphFont(kGraphAxisFontPx));
    TextAt(p, kGraphZeroLabelX, mid - 5, QStringLiteral("0"));
    for (int k = 1; k <= kGraphHorizontalGridLines; ++k) {
        TextAt(p, kGraphAxisLabelX, m_geo.AxisLabelY(k, false), GraphAxisLabel(k, nZoom, false));
        TextAt(p, kGraphAxisLabelX, m_geo.AxisLabelY(k, true), GraphAxisLabel(k, nZoom, true));
    }
}

void CAccelSensorGraphView::RebuildGraph()
{
    DrawGraphBackground();
    const int current = m_doc->CurrentIndex();
    if (current < 0) {
        update();
        return;
    }
    const tagDATAFILEINFO &rec = m_doc->RecordRef(current);
    mapFrameToSample.Clear();
    bHasData = 0;
    int64_t startMs = 0;
    if (rec.bValid == 1 && !rec.vecAccel.isEmpty() && TimeKey(rec.stSyncTime, &startMs)) {
        bHasData = 1;
        for (int a = 0; a < 3; ++a) {
            fMax[a] = kGraphMaxStart;
            fMin[a] = kGraphMinStart;
        }
        const int64_t durationMs = m_doc->Duration() / 10000;
        QPainter p(&m_surface);
        p.setRenderHint(QPainter::Antialiasing, false);
        QPoint previous[3];
        bool started = false;
        const std::vector<int64_t> keys = SampleTimeKeys(rec);
        for (int i = 0; i < rec.vecAccel.size(); ++i) {
            if (keys[static_cast<size_t>(i)] == kNoTimeKey)
                continue;
            const int64_t rel = keys[static_cast<size_t>(i)] - startMs;
            if (!CGraphGeometry::SampleInClip(rel, durationMs))
                continue;
            const tagACCELINFO &s = rec.vecAccel[i];
            const float values[3] = {s.fX, s.fY, s.fZ};
            const int x = m_geo.SampleX(rel, durationMs);
            for (int a = 0; a < 3; ++a) {
                const QPoint pt(x, m_geo.SampleY(values[a], nZoom));
                if (started) {
                    p.setPen(QPen(QColor(kAxisColours[a]), 1));
                    p.drawLine(previous[a], pt);
                }
                previous[a] = pt;
                if (values[a] > fMax[a])
                    fMax[a] = values[a];
                if (values[a] < fMin[a])
                    fMin[a] = values[a];
            }
            started = true;
        }
        p.setFont(GraphFont(kGraphPanelFontPx));
        AxisValuesRow(p, GRAPH_ROW_MAX, fMax);
        AxisValuesRow(p, GRAPH_ROW_MIN, fMin);
        mapFrameToSample = BuildFrameToSample(keys, startMs, m_doc->FrameTime(), m_doc->LastPosition());
    }
    update();
}

void CAccelSensorGraphView::ResetGraph()
{
    mapFrameToSample.Clear();
    nZoom = kGraphZoomMin;
    nMarkerX = -1;
    bHasData = 0;
    DrawGraphBackground();
    update();
}

int64_t CAccelSensorGraphView::ClockTimeMs(int64_t startMs) const
{
    // The clock of the picture on screen: the first pane's media position. Without a graph to
    // ask, the document's frame position stands in for it.
    int64_t position = m_doc->CurrentPosition() * m_doc->FrameTime();
    if (m_session && m_session->Graph()) {
        int64_t t = 0;
        if (SUCCEEDED(m_session->Graph()->CurrentTime(&t)))
            position = t;
    }
    return startMs + position / 10000;
}

void CAccelSensorGraphView::UpdateMarker(bool evenWithoutRecording)
{
    if (m_doc->CurrentIndex() < 0 && !evenWithoutRecording)
        return;
    nMarkerX = m_geo.MarkerX(m_doc->CurrentPosition(), m_doc->FrameTime(), m_doc->Duration());
}

void CAccelSensorGraphView::DrawFrameParts(QImage *frame, bool snapshot) const
{
    QPainter p(frame);
    p.setFont(GraphFont(kGraphPanelFontPx));
    const int64_t current = m_doc->CurrentPosition();
    const int index = m_doc->CurrentIndex();
    const tagDATAFILEINFO &rec = m_doc->RecordRef(index);

    const int s = mapFrameToSample.Find(current);
    if (bHasData && s != -1 && s < rec.vecAccel.size()) {
        const tagACCELINFO &a = rec.vecAccel[s];
        const float values[3] = {a.fX, a.fY, a.fZ};
        AxisValuesRow(p, GRAPH_ROW_CURRENT, values);
    }

    if (index >= 0 || snapshot) {
        p.setPen(Qt::black);
        TextAt(p, kGraphFrameTextX, CGraphGeometry::PanelRowY(GRAPH_ROW_FRAME),
               GraphFrameText(current, m_doc->LastPosition()));
        const bool recordRows = snapshot ? bHasData == 1 : index >= 0;
        if (recordRows && rec.bValid == 1) {
            const int fix = m_frameToFix ? m_frameToFix->Find(current) : -1;
            if (fix != -1 && fix < rec.vecGps.size()) {
                const tagGPSINFO &g = rec.vecGps[fix];
                TextAt(p, kGraphTextX, CGraphGeometry::PanelRowY(GRAPH_ROW_SPEED), g.strSpeed);
                TextAt(p, kGraphTextX, CGraphGeometry::PanelRowY(GRAPH_ROW_DIRECTION),
                       GraphDirectionText(g.strDirection, g.dCourse));
            }
            int64_t startMs = 0;
            if (TimeKey(rec.stSyncTime, &startMs))
                TextAt(p, kGraphTextX, CGraphGeometry::PanelRowY(GRAPH_ROW_TIME),
                       GraphClockText(ClockTimeMs(startMs)));
        }
    }

    if (nMarkerX > 0) {
        p.setPen(QPen(QColor(kColourMarker), 2, Qt::DashLine));
        const int l = nMarkerX - kGraphMarkerHalfWidth;
        const int r = nMarkerX + kGraphMarkerHalfWidth;
        const QPoint outline[5] = {{l, m_geo.PlotTop()},
                                   {l, m_geo.PlotBottom()},
                                   {r, m_geo.PlotBottom()},
                                   {r, m_geo.PlotTop()},
                                   {l, m_geo.PlotTop()}};
        p.drawPolyline(outline, 5);
    }
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
    m_doc->SetCurrentPosition(frame);
    update();
    m_doc->UpdateAllViews(this);
}

void CAccelSensorGraphView::mousePressEvent(QMouseEvent *event)
{
    // Qt holds the mouse for this widget from a press to its release, as the capture did.
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        int64_t frame = 0;
        if (m_geo.FrameAt(pos.x(), pos.y(), m_doc->LastPosition(), &frame)) {
            SeekTo(frame);
            bDragging = 1;
        }
    } else if (event->button() == Qt::RightButton) {
        bMagnifier = 1;
        repaint();
    }
}

void CAccelSensorGraphView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    int64_t frame = 0;
    if (bDragging && m_geo.FrameAt(pos.x(), pos.y(), m_doc->LastPosition(), &frame))
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
    ChangeZoom(event->angleDelta().y() > 0);
    event->accept();
}

void CAccelSensorGraphView::ChangeZoom(bool in)
{
    nZoom = in ? GraphZoomIn(nZoom) : GraphZoomOut(nZoom);
    RebuildGraph();
}

void CAccelSensorGraphView::keyPressEvent(QKeyEvent *event)
{
    KeyDown(event);
}

void CAccelSensorGraphView::KeyDown(QKeyEvent *event)
{
    const GraphKeyAction action =
        GraphKeyActionFor(event->key(), (event->modifiers() & Qt::KeypadModifier) != 0);
    switch (action) {
    case GraphKeyAction::PlayPause:
        if (m_session && !m_session->IsMulti()) {
            const PlayState state = m_session->GetPlayState();
            if (state == PlayState::Running)
                m_session->Pause();
            else if (state == PlayState::Paused || state == PlayState::Stopped)
                m_session->Play();
        }
        break;
    case GraphKeyAction::ZoomIn:
    case GraphKeyAction::ZoomOut: ChangeZoom(action == GraphKeyAction::ZoomIn); break;
    case GraphKeyAction::Volume:
        if (m_controlBar)
            m_controlBar->HandleKey(event->key());
        break;
    case GraphKeyAction::SoundToggle:
        if (m_controlBar)
            m_controlBar->ToggleSound();
        break;
    default:
        if (GraphKeyMovesFrame(action))
            SeekTo(FrameAfterGraphKey(action, m_doc->CurrentPosition(), m_doc->LastPosition()));
        break;
    }
}

void CAccelSensorGraphView::OnUpdate(QObject *sender, qint64)
{
    if (sender != this)
        update();
}
