// The trip timeline widget: scrolling, zoom, keys and clicks around the core timeline.
#include "trips/triptimelineview.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QHelpEvent>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

CTripTimelineView::CTripTimelineView(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(150);
}

void CTripTimelineView::ShowTrip(const CCorvanaDoc &doc, const tagTRIP &trip, SpeedUnit unit)
{
    m_timeline.Build(doc, trip, unit);
    m_view = tagTIMELINEVIEW();
    m_view.bCursor = !m_timeline.IsEmpty();
    m_view.llCursorMs = m_timeline.StartMs();
    m_zoom = 1.0;
    ApplyWidth(m_timeline.StartMs(), 0);
    viewport()->update();
}

void CTripTimelineView::ClearTrip()
{
    m_timeline.Clear();
    m_view = tagTIMELINEVIEW();
    m_zoom = 1.0;
    ApplyWidth(0, 0);
    viewport()->update();
}

void CTripTimelineView::RefreshNotes(const CCorvanaDoc &doc)
{
    m_timeline.PlaceNotes(doc);
    viewport()->update();
}

QString CTripTimelineView::NoteTipAt(const QPoint &pos) const
{
    const int n = m_timeline.NoteAt(m_view.llScrollX + pos.x(), kTimelineNoteHalfWidth + 1);
    if (n < 0)
        return QString();
    const tagTIMELINENOTE &note = m_timeline.Notes()[n];
    const QString when = m_timeline.HasTime() ? TripClockText(note.llTimeMs)
                                              : QStringLiteral("%1 s").arg(note.llTimeMs / 1000.0, 0, 'f', 3);
    return when + QStringLiteral("  ") + note.strText;
}

bool CTripTimelineView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QString tip = NoteTipAt(help->pos());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, viewport());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

int CTripTimelineView::MaxContentWidth() const
{
    const double seconds = double(m_timeline.EndMs() - m_timeline.StartMs()) / 1000.0;
    const double most = std::min<double>(CTripTimeline::kMaxContentWidth, seconds * kMaxPixelsPerSecond);
    return static_cast<int>(std::max<double>(std::max(1, viewport()->width()), most));
}

void CTripTimelineView::ApplyWidth(int64_t anchorMs, int anchorViewX)
{
    const int view = std::max(1, viewport()->width());
    m_zoom = std::clamp(m_zoom, 1.0, double(MaxContentWidth()) / view);
    const int width = static_cast<int>(std::clamp<double>(std::llround(view * m_zoom), 1, MaxContentWidth()));
    m_timeline.SetContentWidth(width);
    QScrollBar *bar = horizontalScrollBar();
    {
        const QSignalBlocker block(bar); // the scroll below sets the value once
        bar->setRange(0, std::max(0, width - view));
        bar->setPageStep(view);
        bar->setSingleStep(std::max(1, view / 10));
    }
    ScrollTo(m_timeline.XOfTime(anchorMs) - anchorViewX);
    viewport()->update();
}

void CTripTimelineView::SetZoom(double zoom, int64_t anchorMs)
{
    const int anchorX = std::clamp(ViewXOfTime(anchorMs), 0, std::max(0, viewport()->width() - 1));
    m_zoom = zoom;
    ApplyWidth(anchorMs, anchorX);
}

void CTripTimelineView::ScrollTo(int64_t x)
{
    QScrollBar *bar = horizontalScrollBar();
    const int value = static_cast<int>(std::clamp<int64_t>(x, bar->minimum(), bar->maximum()));
    if (value == bar->value() && value == m_view.llScrollX)
        return;
    bar->setValue(value);
    // A value the bar had already moves nothing there: the view follows it all the same.
    m_view.llScrollX = bar->value();
    viewport()->update();
}

void CTripTimelineView::scrollContentsBy(int, int)
{
    m_view.llScrollX = horizontalScrollBar()->value();
    viewport()->update();
}

int CTripTimelineView::ViewXOfTime(int64_t ms) const
{
    return static_cast<int>(std::clamp<int64_t>(m_timeline.XOfTime(ms) - m_view.llScrollX, -(1 << 30), 1 << 30));
}

void CTripTimelineView::UpdateStrip(int64_t ms)
{
    const int x = ViewXOfTime(ms);
    viewport()->update(QRect(x - 8, 0, 16, viewport()->height()));
}

void CTripTimelineView::SetCurrent(bool inTrip, int64_t ms)
{
    const bool was = m_view.bCurrent;
    const int64_t before = m_view.llCurrentMs;
    if (inTrip == was && (!inTrip || ms == before))
        return;
    const int view = viewport()->width();
    const int oldX = ViewXOfTime(before);
    const bool wasInSight = was && oldX >= 0 && oldX < view;
    m_view.bCurrent = inTrip;
    m_view.llCurrentMs = ms;
    const int newX = ViewXOfTime(ms);
    if (inTrip && wasInSight && (newX < 0 || newX >= view)) {
        // Playing on past the edge: the next stretch comes into view, the marker near its start
        // (forward) or near its end (backward).
        ScrollTo(m_timeline.XOfTime(ms) - (newX >= view ? view / 10 : view * 9 / 10));
        return;
    }
    if (was && inTrip && oldX == newX)
        return;
    if (was)
        UpdateStrip(before);
    if (inTrip)
        UpdateStrip(ms);
}

void CTripTimelineView::EnsureVisible(int64_t ms)
{
    const int x = ViewXOfTime(ms);
    const int view = viewport()->width();
    if (x < 10 || x >= view - 10)
        ScrollTo(m_timeline.XOfTime(ms) - view / 2);
}

void CTripTimelineView::SelectEvent(int event)
{
    if (event < 0 || event >= m_timeline.Events().size())
        return;
    m_view.nSelectedEvent = event;
    m_view.bCursor = true;
    m_view.llCursorMs = m_timeline.Events()[event].llTimeMs;
    EnsureVisible(m_view.llCursorMs);
    viewport()->update();
}

void CTripTimelineView::SetCursor(int64_t ms)
{
    if (m_timeline.IsEmpty())
        return;
    m_view.nSelectedEvent = -1;
    m_view.bCursor = true;
    m_view.llCursorMs = std::clamp(ms, m_timeline.StartMs(), m_timeline.EndMs());
    EnsureVisible(m_view.llCursorMs);
    viewport()->update();
}

bool CTripTimelineView::TargetAt(const QPoint &pos, int *index, int64_t *offsetMs, int *event) const
{
    const int64_t cx = m_view.llScrollX + pos.x();
    const int e = m_timeline.EventAt(cx, kTimelineMarkerHalfWidth);
    int clip = -1;
    int64_t at = 0;
    if (e >= 0) {
        clip = m_timeline.ClipOfEvent(e);
        at = m_timeline.Events()[e].llTimeMs;
    } else {
        const int lane = TimelineLaneAt(viewport()->rect(), pos.y());
        clip = m_timeline.ClipAt(cx, lane < 0 ? 0 : lane);
        at = m_timeline.TimeOfX(cx);
    }
    if (clip < 0)
        return false;
    const tagTIMELINECLIP &c = m_timeline.Clips()[clip];
    *index = c.nIndex;
    *offsetMs = std::clamp<int64_t>(at - c.llStartMs, 0, std::max<int64_t>(0, c.llEndMs - c.llStartMs));
    *event = e;
    return true;
}

bool CTripTimelineView::CursorTarget(int *index, int64_t *offsetMs) const
{
    if (!m_view.bCursor || m_timeline.IsEmpty())
        return false;
    int clip = -1;
    if (m_view.nSelectedEvent >= 0)
        clip = m_timeline.ClipOfEvent(m_view.nSelectedEvent);
    else
        clip = m_timeline.ClipAt(std::clamp<int64_t>(m_timeline.XOfTime(m_view.llCursorMs), 0,
                                                     m_timeline.ContentWidth() - 1),
                                 0);
    if (clip < 0)
        return false;
    const tagTIMELINECLIP &c = m_timeline.Clips()[clip];
    *index = c.nIndex;
    *offsetMs = std::clamp<int64_t>(m_view.llCursorMs - c.llStartMs, 0, std::max<int64_t>(0, c.llEndMs - c.llStartMs));
    return true;
}

void CTripTimelineView::paintEvent(QPaintEvent *event)
{
    QPainter p(viewport());
    DrawTripTimeline(p, viewport()->rect(), event->rect(), m_timeline, m_view);
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p.drawRect(viewport()->rect().adjusted(0, 0, -1, -1));
    }
}

void CTripTimelineView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    // The time at the left edge stays there.
    ApplyWidth(m_timeline.TimeOfX(m_view.llScrollX), 0);
}

void CTripTimelineView::keyPressEvent(QKeyEvent *event)
{
    const QVector<tagTRIPEVENT> &events = m_timeline.Events();
    const QVector<tagTIMELINECLIP> &clips = m_timeline.Clips();
    const int64_t cursor = m_view.llCursorMs;
    const int view = viewport()->width();
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const bool right = event->key() == Qt::Key_Right;
        int e = -1;
        if (m_view.nSelectedEvent >= 0) {
            e = m_view.nSelectedEvent + (right ? 1 : -1);
        } else {
            const auto after = std::partition_point(events.cbegin(), events.cend(),
                                                    [&](const tagTRIPEVENT &x) { return x.llTimeMs <= cursor; });
            const auto from = std::partition_point(events.cbegin(), events.cend(),
                                                   [&](const tagTRIPEVENT &x) { return x.llTimeMs < cursor; });
            e = right ? static_cast<int>(after - events.cbegin()) : static_cast<int>(from - events.cbegin()) - 1;
        }
        SelectEvent(e);
        break;
    }
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const bool down = event->key() == Qt::Key_Down;
        const auto after = std::partition_point(clips.cbegin(), clips.cend(),
                                                [&](const tagTIMELINECLIP &c) { return c.llStartMs <= cursor; });
        const auto from = std::partition_point(clips.cbegin(), clips.cend(),
                                               [&](const tagTIMELINECLIP &c) { return c.llStartMs < cursor; });
        const int c = down ? static_cast<int>(after - clips.cbegin()) : static_cast<int>(from - clips.cbegin()) - 1;
        if (c >= 0 && c < clips.size())
            SetCursor(clips[c].llStartMs);
        break;
    }
    case Qt::Key_Home: SetCursor(m_timeline.StartMs()); break;
    case Qt::Key_End: SetCursor(m_timeline.EndMs()); break;
    case Qt::Key_PageUp: ScrollTo(m_view.llScrollX - view); break;
    case Qt::Key_PageDown: ScrollTo(m_view.llScrollX + view); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: SetZoom(m_zoom * 2.0, cursor); break;
    case Qt::Key_Minus: SetZoom(m_zoom / 2.0, cursor); break;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        int index = -1;
        int64_t offset = 0;
        if (CursorTarget(&index, &offset))
            emit OpenRequested(index, offset);
        break;
    }
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    event->accept();
}

void CTripTimelineView::mousePressEvent(QMouseEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton)
        return;
    int index = -1, e = -1;
    int64_t offset = 0;
    if (!TargetAt(event->position().toPoint(), &index, &offset, &e))
        return;
    if (e >= 0)
        SelectEvent(e);
    else
        SetCursor(m_timeline.TimeOfX(m_view.llScrollX + event->position().toPoint().x()));
    emit OpenRequested(index, offset);
}

void CTripTimelineView::wheelEvent(QWheelEvent *event)
{
    const QPoint delta = event->angleDelta();
    const int steps = delta.y() != 0 ? delta.y() : delta.x();
    if (event->modifiers() & Qt::ControlModifier) {
        const int x = event->position().toPoint().x();
        const int64_t anchor = m_timeline.TimeOfX(m_view.llScrollX + x);
        m_zoom *= std::pow(2.0, steps / 120.0);
        ApplyWidth(anchor, x);
    } else {
        ScrollTo(m_view.llScrollX - static_cast<int64_t>(steps) * std::max(1, viewport()->width() / 10) / 120);
    }
    event->accept();
}

void CTripTimelineView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void CTripTimelineView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}
