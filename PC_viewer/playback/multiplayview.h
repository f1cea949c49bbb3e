// CMultiPlayView: the widget of one grid pane over the video area. It paints its pane's picture
// inside a 2-pixel frame (white, or red while marked), toggles the mark on a click while the grid
// is not playing, opens the image viewer on a double click and the video area's context menu on
// a right click. Stepping, following and the pictures themselves are the pane's (CPlaybackPane)
// and the playback session's.
#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QWidget>

#include <cstdint>

class CMediaPlayView;
class CPlaybackPane;

// The pane's frame: white, or this red when the pane is marked for saving and printing.
inline const QColor kPaneFrameColor = Qt::white;
inline const QColor kPaneMarkedFrameColor = QColor(255, 20, 50);

class CMultiPlayView : public QWidget
{
    Q_OBJECT
public:
    CMultiPlayView(CMediaPlayView *playView, CPlaybackPane *pane);

    CPlaybackPane *Pane() const { return m_pane; }
    int PaneIndex() const;
    // Places the pane's picture inside its frame after the widget moved or was resized.
    void PlaceVideo();
    // What reached the screen: the frame painted last (-1: none) and how many paints showed
    // another picture than the paint before.
    int64_t PaintedFrame() const { return m_paintedFrame; }
    int64_t NewPicturesPainted() const { return m_newPicturesPainted; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // The grid is not playing: marks may change.
    bool MayMark() const;

    CMediaPlayView *m_playView;
    CPlaybackPane *m_pane;
    int64_t m_paintedFrame = -1;
    int64_t m_newPicturesPainted = 0;
    QElapsedTimer m_lastPress;
    int m_markBeforeClick = 0;
    QPoint m_dragFrom;
    bool m_bDragging = false;
    bool m_bToggled = false; // the last press toggled the mark
};
