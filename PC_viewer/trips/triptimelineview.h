// CTripTimelineView: the chosen trip's timeline in the Trips window, wider than the window when
// zoomed in and scrolled sideways. It paints with DrawTripTimeline (only the part asked for), marks
// the playing position it is given, and turns a click or Enter into a request to open a recording
// at a moment.
//
// Keys: Left and Right go to the event before or after the cursor, Up and Down to the clip before
// or after; Home and End to the trip's start and end; Page Up and Page Down scroll a page; + and -
// zoom around the cursor; Enter opens the recording at the cursor (the event's, on an event).
// Mouse: a click opens the recording under it (an event's when it hits a marker); the wheel
// scrolls, with Ctrl it zooms around the pointer. A note's mark tells its text in the tip.
#pragma once

#include "trips/triptimeline.h"

#include <QAbstractScrollArea>

class CTripTimelineView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    // At most this many pixels a second when zoomed in all the way.
    static constexpr double kMaxPixelsPerSecond = 40.0;

    explicit CTripTimelineView(QWidget *parent = nullptr);

    // Lays out the trip, whole in the view's width, the cursor at its start.
    void ShowTrip(const CCorvanaDoc &doc, const tagTRIP &trip, SpeedUnit unit);
    void ClearTrip();
    const CTripTimeline &Timeline() const { return m_timeline; }
    // The card's notes changed: their marks are placed again, nothing else moves.
    void RefreshNotes(const CCorvanaDoc &doc);
    // The tip at this point of the viewport: the time and text of the note whose mark is there;
    // "" when none is.
    QString NoteTipAt(const QPoint &pos) const;

    // The playing position, when it lies in this trip. When the marker leaves the view while it
    // was in sight, the view scrolls after it.
    void SetCurrent(bool inTrip, int64_t ms);
    const tagTIMELINEVIEW &View() const { return m_view; }

    // Zoom: the trip is zoom x the view's width wide (1 or more, up to kMaxPixelsPerSecond).
    void SetZoom(double zoom, int64_t anchorMs);
    double Zoom() const { return m_zoom; }
    // Scrolls so that content x `x` is the left edge (held inside the trip).
    void ScrollTo(int64_t x);
    // The content x at the view's left edge.
    int64_t ScrollX() const { return m_view.llScrollX; }
    // The view's x of a time.
    int ViewXOfTime(int64_t ms) const;

    // The cursor on an event (selected) or a time; it is scrolled into view.
    void SelectEvent(int event);
    void SetCursor(int64_t ms);
    // What a click at this point of the viewport, or Enter, would open; false when nothing.
    bool TargetAt(const QPoint &pos, int *index, int64_t *offsetMs, int *event) const;
    bool CursorTarget(int *index, int64_t *offsetMs) const;

signals:
    // Open recording `index` (catalogue) at offsetMs after its start.
    void OpenRequested(int index, qint64 offsetMs);

protected:
    bool viewportEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void ApplyWidth(int64_t anchorMs, int anchorViewX);
    void EnsureVisible(int64_t ms);
    void UpdateStrip(int64_t ms);
    int MaxContentWidth() const;

    CTripTimeline m_timeline;
    tagTIMELINEVIEW m_view;
    double m_zoom = 1.0;
};
