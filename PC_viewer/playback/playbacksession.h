// CPlaybackSession: playback of one channel of the open recording (one clip), without any widget.
// The playback controller owns and drives it; the video pane only displays what it shows.
//
// Design
// ------
// Objects and ownership:
//  - CPlaybackSession is created by the playback controller (one per channel, all on the
//    controller's step clock) and deleted with it. It owns the clip's CMediaGraph (a child
//    QObject), and holds the picture it shows together with the frame it published.
//  - It is handed an IPlaybackHost, what the recording around the clip decides: continuous play
//    (opening the next or previous recording), the volume of a newly opened clip and the
//    "Processing..." window of a layout change. The host may be null: continuous play is then off.
// Threads: everything here runs on the owner's thread (the UI thread in the viewer). The graph's
// workers never call in; they queue events in the graph, which signals MediaEvent() through a
// queued connection, and the session drains them (DispatchGraphEvents).
// Who tells whom:
//  - The session publishes a position (Published) when its picture moves on: the controller
//    tells everyone else. A position from anyone else reaches it through Follow, which seeks the
//    graph there. Position() is the one it published or followed last.
//  - Whenever the picture to show changes it emits PictureChanged() (a direct signal) before it
//    publishes the position: a pane connected to it has painted the picture by the time the
//    other views hear of it, so what they are told is what is on screen.
//  - At an end of the clip with continuous play on, it asks the host to open the neighbouring
//    recording (in this same session) as the last thing of its step, and plays on.
// Stepping: 1x runs the graph in real time; 2x to 32x and every reverse rate advance by timed
// steps, each tick aiming at the frame the rate has reached since stepping started (not at the
// previous target plus the rate: StepTarget). Ticks and time come from a CStepClock: the
// system's by default, a manual one in tests (SetStepClock). A step whose picture is still being
// decoded is never stacked with another; meanwhile the last exact picture stays shown and
// published.
// The grid: SetLayout to 4, 9, 16 or 25 panes creates that many CPlaybackPane (child QObjects,
// row by row), each with its own graph on the clip; the session's graph stays open and paused
// under them and its frame count bounds the grid. The grid steps at every rate (1x included) by
// timed steps, all panes seeking in the background at once; the grid's pictures change together,
// when the last pane's picture has arrived (PanePicturesChanged), and pane 0's frame is then
// published. LayoutAboutToChange and LayoutChanged bracket every layout change, so that the widgets
// over the panes go before their panes and come after the new ones.
#pragma once

#include "media/grapheventcallback.h"
#include "media/mediaresult.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class CMediaGraph;
class CPlaybackPane;
class CStepClock;

// What the play view is doing; the values are those the other views compare against.
enum class PlayState : int { Running = 0, Paused = 1, Stopped = 2, Empty = 3 };

// Timer 102: one tick per frame time while playback advances.
constexpr int PLAY_TIMER_ID = 102;
// Timer period before a clip tells its frame time (1/30 s).
constexpr int PLAY_TIMER_DEFAULT_PERIOD_MS = 33;

// What the recording around a clip decides for its session; the playback controller implements it.
class IPlaybackHost
{
public:
    virtual ~IPlaybackHost() = default;
    // The "Continuous play" switch (command 32878), 0 or 1.
    virtual int ContinuousPlay() const = 0;
    // Whether the catalogue has a recording `step` places after (+1) or before (-1) the open one.
    virtual bool HasNeighbour(int step) const = 0;
    // Opens that recording the way the list does (falling back to the one before, or to none,
    // when it cannot be played); true when it became the current one.
    virtual bool OpenNeighbour(int step) = 0;
    // The volume of a newly opened clip.
    virtual void ApplyVolumeSetting() = 0;
    // The "Processing..." window of a layout change: shown at 0, moved up to 100, then hidden.
    virtual void ShowLayoutProgress(int position) { (void)position; }
    virtual void HideLayoutProgress() {}
};

class CPlaybackSession : public QObject, public GraphEventCallback
{
    Q_OBJECT
public:
    explicit CPlaybackSession(IPlaybackHost *host, QObject *parent = nullptr);
    ~CPlaybackSession() override;

    // --- Operations ---------------------------------------------------------------------------
    // Opens the clip, paused on frame 0, and publishes frame 0.
    HRESULT Open(const QString &mediaPath);
    // Back to the single view without a clip (state Empty).
    void CloseRecording(bool showProgress);
    HRESULT Play();
    HRESULT Pause();
    HRESULT Stop();
    // Stores the signed rate (magnitude 1 to 32, negative = reverse); does not restart playback.
    void SetRate(double rate);
    double GetRate() const { return m_rate; }
    // Shows the position someone else published (a pane, a key, the navigator): the graph seeks
    // there, keeping its state; stepping goes on from there. In the grid every pane follows.
    void Follow(int64_t frame);
    HRESULT SeekToBeginning();
    HRESULT SeekToEnd();
    // Single view (0, 1) or a grid of 4, 9, 16 or 25 panes (any other request: E_INVALIDARG).
    // The grid starts at the frame shown before, moved back so that its last pane shows a frame of
    // the clip; back in the single view, the video shows pane 0's frame.
    HRESULT SetLayout(int multi, int count, bool showProgress);
    // 0 (silent) to 1 (full), turned into hundredths of a decibel for the graph.
    void SetVolumeLevel(double level);
    // The clock timed stepping reads and ticks by (timer 102); null: the system's. The clock is
    // not owned and must outlive its use here.
    void SetStepClock(CStepClock *clock);
    CStepClock *StepClock() const { return m_clock; }

    // --- Accessors ----------------------------------------------------------------------------
    PlayState GetPlayState() const { return m_playState; }
    // The position published or followed last (0 to the frame count).
    int64_t Position() const { return m_position; }
    // The flag of timed stepping: 1 while playback advances by timed steps.
    int PlayingFlag() const { return m_playing; }
    int IsMulti() const { return m_multi; }
    int PaneCount() const { return m_paneCount; }
    // The grid's panes, row by row (none in the single view).
    int Panes() const { return static_cast<int>(m_panes.size()); }
    CPlaybackPane *Pane(int index) const;
    CMediaGraph *Graph() const { return m_graph; }
    // The media time (100 ns units) of the picture on show: the first pane's while the grid is
    // shown (the session's own graph then rests where the single view left it).
    HRESULT CurrentTime(int64_t *time) const;
    int TimerPeriod() const { return m_timerPeriodMs; }
    bool IsTimerRunning() const { return m_timerRunning != 0; }
    // The picture to show (at the size of the video rectangle) and the frame it is (-1 and null
    // without one).
    QImage ShownImage() const { return m_shownImage; }
    int64_t ShownFrame() const { return m_shownFrame; }
    // The shown frame at native size, for snapshots, the image viewer and the report (null
    // without one).
    QImage NativeImage() const;

    // --- GraphEventCallback -------------------------------------------------------------------
    void NotifyGraphEvent(long eventCode, intptr_t param1, intptr_t param2) override;

signals:
    // The picture to show changed (ShownImage); emitted before its position is published.
    void PictureChanged();
    // Some of the grid's pictures changed (the panes' ShownImage); emitted before pane 0's frame
    // is published.
    void PanePicturesChanged();
    void LayoutAboutToChange();
    void LayoutChanged();
    // The clip was opened (its graph measured it), emitted before frame 0 is published; or none is
    // open any more (closed, or a failed open).
    void RecordingOpened();
    void RecordingClosed();
    // The session moved the position on to `frame` (its picture, a step, an end, a layout).
    void Published(qint64 frame);
    void PlayStateChanged(PlayState state);

private slots:
    void OnTimer();
    void OnMediaEvent();

private:
    HRESULT TimedStep();
    // The frame the rate has reached by now (StepTarget on the step clock).
    int64_t CurrentStepTarget() const;
    void EndOfClip();
    void Publish(int64_t frame);
    void SetPlayState(PlayState state);
    void StartTimer();
    void KillTimer();
    // Restarts the rate clock: stepping counts frames from `frame` from now on.
    void AnchorStepping(int64_t frame);
    // Takes the graph's picture and publishes its position when it moved on.
    void PublishShownFrame();
    // Takes the graph's current picture to show (PictureChanged when it is another one); the
    // position read together with it goes to positionFrame.
    void TakeGraphPicture(int64_t *positionFrame = nullptr);
    void DropShownPicture();
    // The grid: one timed step of every pane, the pictures arrived, following other views.
    HRESULT GridStep();
    void GridStepEnded(HRESULT result);
    void OnPanePicture();
    void OnPaneAborted();
    void ShowPanePictures();
    void EndOfGridClip();
    void LayoutProgress(bool shown, int position);

    IPlaybackHost *m_host;
    int64_t m_position = 0;
    int m_playing = 0;
    int m_timerPeriodMs = PLAY_TIMER_DEFAULT_PERIOD_MS;
    CMediaGraph *m_graph = nullptr; // owned (child QObject)
    int m_multi = 0;
    int m_paneCount = 1;
    double m_rate = 1.0;
    int m_timerRunning = 0;
    PlayState m_playState = PlayState::Empty;

    std::unique_ptr<CStepClock> m_systemClock;
    CStepClock *m_clock = nullptr;
    // Timed stepping counts frames from m_stepAnchor since m_anchorTime (clock time, 100 ns).
    int64_t m_anchorTime = -1;
    int64_t m_stepAnchor = 0;
    int64_t m_lastTarget = -1;
    bool m_stepWaited = false; // a step's picture kept stepping waiting for more than two steps

    QImage m_shownImage;
    int64_t m_shownFrame = -1;

    std::vector<std::unique_ptr<CPlaybackPane>> m_panes;
    bool m_inGridStep = false;
};
