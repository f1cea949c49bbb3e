// CMediaPlayView: the video pane of the main window and the one place where playback is driven.
// It owns the pane's CMediaGraph, opens the document's current recording, plays it at 1x through
// the graph and at 2x to 32x and backwards by timed frame steps, follows position changes made by
// other views and publishes its own position to them through the document.
//
// Timed stepping keeps its pace in frames of the clip per second of wall time: each tick of timer
// 102 aims at the frame the rate has reached since stepping started (not at the previous target
// plus the rate), and a step whose picture is still being decoded is never stacked with another.
// On a clip whose pictures take longer than a tick to decode the pane keeps showing the last exact
// picture, and the position published is always the frame of the picture shown.
//
// The view paints the picture it took from the graph together with the position it published
// (never the graph's newer one, which a worker may set at any moment), and takes a new one
// whenever the graph announces it or a seek of its own moved it: what is on screen is what the
// other views are told.
#pragma once

#include "playback/grapheventcallback.h"
#include "playback/mediaresult.h"
#include "playback/playcontroltarget.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdint>

class CCorvanaDoc;
class CMediaGraph;
class QKeyEvent;

// What the play view is doing; the values are those the other views compare against.
enum class PlayState : int { Running = 0, Paused = 1, Stopped = 2, Empty = 3 };

// Timer 102: one tick per frame time while playback advances.
constexpr int PLAY_TIMER_ID = 102;
// Timer period before a clip tells its frame time (1/30 s).
constexpr int PLAY_TIMER_DEFAULT_PERIOD_MS = 33;

// The parts of the main window the play view calls out to. The main frame implements it; tests
// can implement it with a few lines.
class IPlayViewHost
{
public:
    virtual ~IPlayViewHost() = default;
    // The main frame's "Continuous play" switch (command 32878), 0 or 1.
    virtual int ContinuousPlay() const = 0;
    // Makes recording `index` current the way the list does when the user opens it (falling back
    // to the previous recording, or to none, when it cannot be played).
    virtual void OpenRecordingFromList(int index) = 0;
    // Lets the play control bar apply its volume setting to the newly opened clip.
    virtual void ApplyVolumeSetting() = 0;
    // The control bar greys its play buttons while several panes are shown.
    virtual void EnableSingleViewButtons(int multi) = 0;
    // Keys the video pane hands on: Space, End, Home, Left, Right to the G-sensor graph;
    // Up, Down, Delete to the play control bar.
    virtual void ForwardKeyToGraph(QKeyEvent *event) = 0;
    virtual void ForwardKeyToControlBar(QKeyEvent *event) = 0;
    // The pane's context menu runs some of the main frame's commands.
    virtual void SendFrameCommand(int id) = 0;
    virtual bool IsFrameCommandEnabled(int id) const = 0;
};

class CMediaPlayView : public QWidget, public GraphEventCallback, public IPlayControlTarget
{
    Q_OBJECT
public:
    CMediaPlayView(CCorvanaDoc *doc, IPlayViewHost *host, QWidget *parent = nullptr);
    ~CMediaPlayView() override;

    // --- Operations ---------------------------------------------------------------------------
    // Opens the document's current media path, paused on frame 0, and publishes frame 0.
    HRESULT OpenCurrentRecording();
    // Back to the single view without a clip (state Empty).
    void CloseRecording(bool showProgress);
    HRESULT Play();
    HRESULT Pause();
    HRESULT Stop();
    // Stores the signed rate (magnitude 1 to 32, negative = reverse); does not restart playback.
    void SetRate(double rate) override;
    double GetRate() const override { return m_rate; }
    HRESULT SeekToBeginning();
    HRESULT SeekToEnd();
    // Single view (0, 1) or a grid of 4, 9, 16 or 25 panes. The grid panes do not exist yet: a
    // grid request is refused with E_UNEXPECTED and changes nothing.
    HRESULT SetLayout(int multi, int count, bool showProgress);
    // 0 (silent) to 1 (full), turned into hundredths of a decibel for the graph.
    void SetVolumeLevel(double level);
    void RefreshVideo();

    // --- Accessors ----------------------------------------------------------------------------
    PlayState GetPlayState() const { return m_playState; }
    int IsMulti() const { return m_multi; }
    int PaneCount() const { return m_paneCount; }
    CMediaGraph *Graph() const { return m_graph; }
    int TimerPeriod() const { return m_timerPeriodMs; }
    bool IsTimerRunning() const { return m_timerRunning != 0; }
    // What reached the screen: the frame of the picture in the last paint (-1: the idle picture)
    // and how many paints showed another picture than the paint before.
    int64_t PaintedFrame() const { return m_paintedFrame; }
    int64_t NewPicturesPainted() const { return m_newPicturesPainted; }

    // --- IPlayControlTarget (the play control bar) ---------------------------------------------
    bool IsPlaying() const override { return m_playState == PlayState::Running; }
    void StartPlay() override { Play(); }
    void PausePlay() override { Pause(); }
    void ApplyVolumeLevel(double level) override { SetVolumeLevel(level); }

    // --- GraphEventCallback -------------------------------------------------------------------
    void NotifyGraphEvent(long eventCode, intptr_t param1, intptr_t param2) override;

public slots:
    // The document's update-all-views broadcast.
    void OnUpdate(QObject *sender, qint64 hint);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private slots:
    void OnTimer();
    void OnMediaEvent();

private:
    HRESULT TimedStep();
    void EndOfClip();
    void Publish(int64_t frame);
    void StartTimer();
    void KillTimer();
    // Restarts the rate clock: stepping counts frames from `frame` from now on.
    void AnchorStepping(int64_t frame);
    // Takes the graph's picture and publishes its position when it moved on.
    void PublishShownFrame();
    // Takes the graph's current picture for painting (repaints when it is another one).
    void TakeGraphPicture(int64_t *positionFrame = nullptr);
    void DropShownPicture();
    // The pane is on screen and paints its picture (a hidden or minimised one never does).
    bool IsPainting() const;
    void PaintIdle(QPainter &painter);

    CCorvanaDoc *m_doc;
    IPlayViewHost *m_host;
    int m_timerPeriodMs = PLAY_TIMER_DEFAULT_PERIOD_MS;
    CMediaGraph *m_graph = nullptr; // owned (child QObject)
    int m_multi = 0;
    int m_paneCount = 1;
    double m_rate = 1.0;
    int m_timerRunning = 0;
    PlayState m_playState = PlayState::Empty;

    QTimer m_timer;
    // Rate clock of timed stepping.
    QElapsedTimer m_stepClock;
    int64_t m_stepAnchor = 0;
    int64_t m_lastTarget = -1;

    // The picture painted, with its frame (see the note at the top).
    QImage m_shownImage;
    int64_t m_shownFrame = -1;
    int64_t m_paintedFrame = -1;
    int64_t m_newPicturesPainted = 0;
};
