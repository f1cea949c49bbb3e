// CPlaybackPane: one pane of the grid of consecutive frames, without any widget. Pane i shows frame
// p + i, where p is the frame of pane 0; each pane has a CMediaGraph of its own on the clip, and
// all of them share the clip's source and picture cache, so a picture decoded once serves every
// pane that shows it. The playback session creates, steps and destroys the panes; the grid's pane
// widgets only paint them and take the user's marks.
//
// Also here: the grid's arithmetic (cells, the first frame of a grid, the frames a pane may show).
#pragma once

#include "media/grapheventcallback.h"
#include "media/mediaresult.h"
#include "playback/playbacksession.h"

#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>

#include <cstdint>

class CMediaGraph;

// Results of a pane step that reached an end of the clip.
constexpr HRESULT PANE_START_REACHED = -1;
constexpr HRESULT PANE_END_REACHED = -2;

// Panes per side of a grid of `count` panes (4, 9, 16, 25 give 2, 3, 4, 5).
int GridSide(int count);

// Cell `index` (row by row) of an n x n grid over a client area of `size`. With stretchLast the
// last row and column reach the area's right and bottom edges (the layout's own placement);
// without it every cell is (W / n) x (H / n) (a resize of a shown grid).
QRect GridCell(int index, int side, const QSize &size, bool stretchLast);

// The first frame of a grid of `count` panes wanted at frame p: moved back so that the last pane
// still shows a frame of the clip, and never before the first frame (a clip with fewer frames
// than panes starts at 0).
int64_t ClampGridStart(int64_t p, int count, int64_t frameCount);

// The frames pane `index` of a grid of `count` panes may show: index to frameCount - (count -
// index), and only its own frame when the clip is shorter than the grid.
int64_t PaneFirstFrame(int index);
int64_t PaneLastFrame(int index, int count, int64_t frameCount);

class CPlaybackPane : public QObject, public GraphEventCallback
{
    Q_OBJECT
public:
    CPlaybackPane(int index, int count, QObject *parent = nullptr);
    ~CPlaybackPane() override;

    // Opens the clip and shows the pane's own frame; play state Paused.
    HRESULT Open(const QString &mediaPath);
    HRESULT Pause();
    // Back to the pane's own frame; play state Stopped.
    HRESULT Stop();
    // One step of the grid to frame q (the pane's frame plus the rate's whole frames, or the
    // frame the rate clock reached plus the pane index): below the pane's first frame it shows
    // that and returns PANE_START_REACHED, at or past its last it shows that and returns
    // PANE_END_REACHED; otherwise it seeks to q, in the background when `background` (the
    // picture follows with a repaint event). A failed seek returns its code; a result that is
    // not negative sets the play state Running.
    HRESULT Step(int64_t q, bool background);
    // Follows the grid's position: frame position + index, held to the pane's frames.
    HRESULT Follow(int64_t position);
    // Seeks to frame f; from the frame count on the pane is left empty (a grid longer than the
    // clip), before frame 0 it refuses with E_UNEXPECTED.
    HRESULT SeekTo(int64_t frame);

    // Takes the graph's picture as the one to show; true when it is another one.
    bool TakePicture();
    // Whether the picture to show changed since the last call (a seek takes the new one).
    bool ConsumeNewPicture();

    int Index() const { return m_index; }
    int Count() const { return m_count; }
    int IsMarked() const { return m_marked; }
    void SetMarked(int marked) { m_marked = marked ? 1 : 0; }
    void ToggleMarked() { m_marked = m_marked ? 0 : 1; }
    PlayState GetPlayState() const { return m_playState; }
    void SetRate(double rate) { m_rate = rate; }
    double GetRate() const { return m_rate; }
    CMediaGraph *Graph() const { return m_graph; }
    // The frame the pane shows now (the graph's), or -1 without one.
    int64_t CurrentFrame() const;
    // The picture to paint (at the size of the pane's picture rectangle) and the frame it is:
    // null and -1 while the pane has none (no clip, a failed open, a frame past a short clip's
    // end).
    QImage ShownImage() const { return m_shownImage; }
    int64_t ShownFrame() const { return m_shownFrame; }
    // The shown frame at native size, for snapshots, the image viewer and the report (null
    // without one).
    QImage NativeImage() const;
    bool IsSeekPending() const;

    // --- GraphEventCallback -------------------------------------------------------------------
    void NotifyGraphEvent(long eventCode, intptr_t param1, intptr_t param2) override;

signals:
    // The graph has a new picture (event 24); the session decides when the grid shows it.
    void PictureArrived();
    // The clip failed under the pane (event 2: deleted, cut, unreadable); the pane has stopped.
    void Aborted();

private slots:
    void OnMediaEvent();

private:
    int64_t FrameCount() const;

    CMediaGraph *m_graph = nullptr; // owned (child QObject)
    int m_index;
    int m_count;
    int m_marked = 0;
    double m_rate = 1.0;
    PlayState m_playState = PlayState::Empty;
    // Set while the pane's frame lies past the end of a clip shorter than the grid.
    bool m_pastEnd = false;
    bool m_newPicture = false;
    QImage m_shownImage;
    int64_t m_shownFrame = -1;
};
