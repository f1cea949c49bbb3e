// CMediaPlayView: the video pane of the main window. It shows what the playback controller's
// sessions show (the main channel's picture, or the grid's panes over it), tells the controller
// the size its pictures are made for, and hands on what the user asks for: keys, the image
// viewer, the context menu. Playback itself is the controller's; the pane never writes it.
//
// The pane paints the picture the session took together with the position it published (never
// the graph's newer one, which a worker may set at any moment), and paints it at once when it is
// on screen: the session announces a new picture before the position goes out, so what the other
// views are told is what the user sees.
#pragma once

#include "playback/playbacksession.h"

#include <QRect>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class CMediaGraph;
class CMultiPlayView;
class CPlaybackController;
class QMenu;
class QPainter;

class CMediaPlayView : public QWidget
{
    Q_OBJECT
public:
    // Drawn over the single view's picture (`picture`: where it is painted) for the frame shown,
    // such as the telemetry band; an empty function draws nothing.
    using OverlayFn = std::function<void(QPainter &painter, const QRect &picture, int64_t frame)>;
    void SetOverlay(OverlayFn overlay)
    {
        m_overlay = std::move(overlay);
        update();
    }
    bool HasOverlay() const { return bool(m_overlay); }

    explicit CMediaPlayView(QWidget *parent = nullptr);
    ~CMediaPlayView() override;

    // The playback whose pictures the pane shows; set once, before the pane is shown.
    void SetController(CPlaybackController *controller);

    // Places and paints the picture at once (after the frame moved or was resized); in the grid,
    // every pane's.
    void RefreshVideo();
    // Whether a main window command may run now: the context menu greys the others.
    void SetCommandEnabled(std::function<bool(int id)> enabled) { m_commandEnabled = std::move(enabled); }
    // The video area's context menu at `globalPos`; "View original image" acts on `pane` (-1: the
    // single view).
    // The pane's menu; for `channel` (another camera than the main one) its nudges come first.
    void ShowContextMenu(const QPoint &globalPos, int pane = -1, int channel = -1);

    // --- What the controller tells (connected by the composition root) ------------------------
    // A channel's or the grid's picture is another one: painted at once while the pane is on
    // screen (a later step in the same pass of the event loop would otherwise replace it before
    // it reached the screen).
    void OnPicturesChanged();
    // The grid's widgets go before their panes and come after the new ones.
    void OnLayoutAboutToChange();
    void OnLayoutChanged();

    // --- Zoom, pan and adjustments (the controller's picture view) ------------------------------
    // Zooms by `factor` keeping the picture's point under `at` (in this widget, or in grid pane
    // `pane`'s widget) where it is; without a point, around the middle of the picture.
    void ZoomBy(double factor, const QPoint &at = QPoint(-1, -1), int pane = -1);
    // Native pixels on the pane's pixels; the whole picture again.
    void ZoomNative();
    void ZoomWhole();
    // Moves the part shown by `delta` pixels of the single view's picture (or of a grid pane's).
    void PanBy(const QPoint &delta, int pane = -1);
    // The brightness, contrast, gamma and sharpen panel (made on first use, kept while open).
    void ShowAdjustPanel();
    QWidget *AdjustPanel() const;
    // "zoom 2.5x; brightness +0.20" while the picture is zoomed or adjusted, else empty.
    QString PictureViewIndicator() const;

    // --- Accessors ----------------------------------------------------------------------------
    CPlaybackSession *Session() const;
    CMediaGraph *Graph() const;
    PlayState GetPlayState() const;
    int IsMulti() const;
    int PaneCount() const;
    int TimerPeriod() const;
    bool IsTimerRunning() const;
    // The grid's pane widgets, row by row (none in the single view).
    int PaneViews() const { return static_cast<int>(m_paneViews.size()); }
    CMultiPlayView *PaneView(int index) const;
    // What reached the screen: the frame of the picture in the last paint (-1: the idle picture)
    // and how many paints showed another picture than the paint before.
    int64_t PaintedFrame() const { return m_paintedFrame; }
    int64_t NewPicturesPainted() const { return m_newPicturesPainted; }
    // The same for another camera of the recording: its frame in the last paint that showed it
    // (-1: "no picture" or never shown) and its new pictures painted.
    int64_t PaintedChannelFrame(int channel) const;
    int64_t NewChannelPicturesPainted(int channel) const;

signals:
    // Keys the pane hands on: Space, End, Home, Left, Right to the G-sensor graph's key table;
    // Up, Down, Delete to the play control bar.
    void GraphKey(int key, bool keypad);
    void ControlBarKey(int key);
    // "View original image" on the single view (pane -1) or on grid pane `pane`.
    void ImageViewerRequested(int pane);
    // A main window command chosen on the context menu.
    void CommandRequested(int id);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    friend class CMultiPlayView;
    // The pane is on screen and paints its picture (a hidden or minimised one never does).
    bool IsPainting() const;
    void PaintIdle(QPainter &painter);
    // The channels other than the main one in their places (ChannelRect), "no picture" where a
    // channel has none of the moment.
    // Channel `channel` other than the main one in its place ("no picture" when it has none).
    void PaintOtherChannel(QPainter &painter, int channel, bool bFramed);
    void AddOffsetItems(QMenu &menu, int channel);
    static void DrawChannelImage(QPainter &painter, const QRect &target, const QImage &image, bool bMirrored);
    void DestroyPaneViews();
    void CreatePaneViews();
    // Places the pane widgets over the video area (stretched: the layout's own placement).
    void PlacePaneViews(bool stretchLast);
    // Where the main picture is painted (the grid: pane `pane`'s picture, in its widget).
    QRect PictureTarget(int pane) const;
    // The main picture's native size (the first pane's in the grid; empty without a picture).
    QSize NativePictureSize() const;
    void PaintIndicator(QPainter &painter, const QRect &picture) const;
    // The view on show changed: every picture is painted again.
    void OnPictureViewChanged();

    CPlaybackController *m_controller = nullptr;
    int64_t m_paintedFrame = -1;
    int64_t m_newPicturesPainted = 0;
    std::vector<int64_t> m_channelPaintedFrames;
    std::vector<int64_t> m_channelNewPictures;
    std::vector<CMultiPlayView *> m_paneViews; // children, row by row
    OverlayFn m_overlay;
    std::function<bool(int)> m_commandEnabled;
    QPoint m_dragFrom;
    bool m_bDragging = false;
    QWidget *m_adjustPanel = nullptr; // child window, made on first use
};

// A drag of at least this many pixels pans the picture (less is a click).
inline constexpr int kPanDragThreshold = 4;
