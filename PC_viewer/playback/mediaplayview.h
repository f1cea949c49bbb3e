// CMediaPlayView: the video pane of the main window. Playback itself (opening the current
// recording, 1x through the graph, timed steps at 2x to 32x and backwards, the end of a clip,
// following other views and publishing the position) is its CPlaybackSession's; the pane keeps
// the operations the rest of the window calls, paints the session's picture, and forwards keys
// and its context menu.
//
// The pane paints the picture the session took together with the position it published (never
// the graph's newer one, which a worker may set at any moment), and paints it at once when it is
// on screen: the session announces a new picture before it tells the other views, so what they
// are told is what the user sees.
#pragma once

#include "media/grapheventcallback.h"
#include "media/mediaresult.h"
#include "playback/playbacksession.h"
#include "playback/playcontroltarget.h"

#include <QRect>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class CCorvanaDoc;
class CMediaGraph;
class CMultiPlayView;
class QKeyEvent;
class QPainter;

// The parts of the main window the play view calls out to: those playback needs, and the keys
// and commands the pane hands on. The main frame implements it; tests can implement it with a
// few lines.
class IPlayViewHost : public IPlaybackHost
{
public:
    // Keys the video pane hands on: Space, End, Home, Left, Right to the G-sensor graph;
    // Up, Down, Delete to the play control bar.
    virtual void ForwardKeyToGraph(QKeyEvent *event) = 0;
    virtual void ForwardKeyToControlBar(QKeyEvent *event) = 0;
    // The pane's context menu runs some of the main frame's commands.
    virtual void SendFrameCommand(int id) = 0;
    virtual bool IsFrameCommandEnabled(int id) const = 0;
    // "View original image" on the single view (pane -1) or on grid pane `pane`.
    virtual void OpenImageViewer(int pane) = 0;
};

class CMediaPlayView : public QWidget, public GraphEventCallback, public IPlayControlTarget
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

    CMediaPlayView(CCorvanaDoc *doc, IPlayViewHost *host, QWidget *parent = nullptr);
    ~CMediaPlayView() override;

    // --- Operations (the session's) ------------------------------------------------------------
    HRESULT OpenCurrentRecording() { return m_session->OpenCurrentRecording(); }
    void CloseRecording(bool showProgress) { m_session->CloseRecording(showProgress); }
    HRESULT Play() { return m_session->Play(); }
    HRESULT Pause() { return m_session->Pause(); }
    HRESULT Stop() { return m_session->Stop(); }
    void SetRate(double rate) override { m_session->SetRate(rate); }
    double GetRate() const override { return m_session->GetRate(); }
    HRESULT SeekToBeginning() { return m_session->SeekToBeginning(); }
    HRESULT SeekToEnd() { return m_session->SeekToEnd(); }
    HRESULT SetLayout(int multi, int count, bool showProgress)
    {
        return m_session->SetLayout(multi, count, showProgress);
    }
    void SetVolumeLevel(double level) { m_session->SetVolumeLevel(level); }
    // Places and paints the picture at once (after the frame moved or was resized); in the grid,
    // every pane's.
    void RefreshVideo();
    // The image viewer on the single view's picture (-1) or on a grid pane's.
    void OpenImageViewer(int pane = -1);
    // The video area's context menu at `globalPos`; "View original image" acts on `pane` (-1:
    // the single view).
    void ShowContextMenu(const QPoint &globalPos, int pane = -1);

    // --- Accessors ----------------------------------------------------------------------------
    CPlaybackSession *Session() const { return m_session; }
    PlayState GetPlayState() const { return m_session->GetPlayState(); }
    int IsMulti() const { return m_session->IsMulti(); }
    int PaneCount() const { return m_session->PaneCount(); }
    // The grid's pane widgets, row by row (none in the single view).
    int PaneViews() const { return static_cast<int>(m_paneViews.size()); }
    CMultiPlayView *PaneView(int index) const;
    CMediaGraph *Graph() const { return m_session->Graph(); }
    int TimerPeriod() const { return m_session->TimerPeriod(); }
    bool IsTimerRunning() const { return m_session->IsTimerRunning(); }
    // What reached the screen: the frame of the picture in the last paint (-1: the idle picture)
    // and how many paints showed another picture than the paint before.
    int64_t PaintedFrame() const { return m_paintedFrame; }
    int64_t NewPicturesPainted() const { return m_newPicturesPainted; }

    // --- IPlayControlTarget (the play control bar) ---------------------------------------------
    bool IsPlaying() const override { return GetPlayState() == PlayState::Running; }
    void StartPlay() override { Play(); }
    void PausePlay() override { Pause(); }
    void ApplyVolumeLevel(double level) override { SetVolumeLevel(level); }

    // --- GraphEventCallback (handed to the session) --------------------------------------------
    void NotifyGraphEvent(long eventCode, intptr_t param1, intptr_t param2) override
    {
        m_session->NotifyGraphEvent(eventCode, param1, param2);
    }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    // The session has a new picture: painted at once while the pane is on screen (a later step in
    // the same pass of the event loop would otherwise replace it before it reached the screen).
    void OnPictureChanged();
    // The pane is on screen and paints its picture (a hidden or minimised one never does).
    bool IsPainting() const;
    void PaintIdle(QPainter &painter);
    // The grid's widgets go before their panes and come after the new ones.
    void DestroyPaneViews();
    void CreatePaneViews();
    // Places the pane widgets over the video area (stretched: the layout's own placement).
    void PlacePaneViews(bool stretchLast);

    CCorvanaDoc *m_doc;
    IPlayViewHost *m_host;
    CPlaybackSession *m_session = nullptr; // owned (child QObject)
    int64_t m_paintedFrame = -1;
    int64_t m_newPicturesPainted = 0;
    std::vector<CMultiPlayView *> m_paneViews; // children, row by row
    OverlayFn m_overlay;
};
