// CPlaybackController: the one owner of what plays and where.
//
// Design note
// - A core object without widgets, created by the composition root (or by a CLI command or a
//   test) and living on the UI thread. It owns the open recording's channels (one
//   CPlaybackSession each, all on one step clock; a recording has one channel today), the
//   navigator that opens recordings of the catalogue, the recording's telemetry tables, the
//   export marks, the volume and the continuous-play switch. The catalogue (CCorvanaDoc)
//   outlives it; the controller only reads it.
// - Requests come in as calls: open, close, seek, step, play at a rate, pause, stop, either end,
//   layout, volume. State goes out as typed signals: the position with its origin, a recording
//   opened (with what it is) or closed, the play state, the rate, the layout. Nobody else writes
//   playback state; the panes ask (the accessors) and listen.
// - A position notice names its origin: the pane, key table or navigator that asked for the
//   seek, or the main channel's session when playback itself moved on. The sessions follow
//   every position they did not publish themselves; a pane ignores a notice whose origin is
//   itself.
// - Every signal is direct and emitted in the order of the step that caused it, so a slot sees
//   the controller as that step left it. A recording is announced (RecordingOpened) before its
//   frame 0 is published.
// - Continuous play: a session that reaches an end of its clip asks the controller (as its
//   IPlaybackHost) for the neighbouring recording; the controller opens it through the navigator
//   in the same sessions, and the session plays on. That is the last thing the session's step
//   does, so nothing of the old clip is touched after it.
#pragma once

#include "catalogue/cameranames.h"
#include "media/mediaresult.h"
#include "playback/channellayout.h"
#include "playback/exportmarks.h"
#include "playback/pictureview.h"
#include "playback/playbacksession.h"
#include "playback/playcontroltarget.h"
#include "playback/recordingtelemetry.h"

#include <QObject>
#include <QRect>
#include <QString>
#include <QVector>

#include <cstdint>
#include <memory>
#include <vector>

class CCorvanaDoc;
class CRecordingNavigator;
class CStepClock;

// One camera of a recording: its name and its clip.
struct tagPLAYCHANNEL {
    QString strName;
    QString strMediaPath;
    int nOffsetFrames = 0; // the channel starts this many of its frames after the main one
};

// What a recording that has been opened is: its place in the catalogue (-1 for a clip opened
// on its own), its channels (the main one first) and the main channel's measures.
struct tagOPENEDRECORDING {
    int nIndex = -1;
    QVector<tagPLAYCHANNEL> channels;
    int64_t llFrameCount = 0; // positions run from 0 to the frame count (one past the last picture)
    int64_t llFrameTime = 0;  // 100 ns
    int64_t llDuration = 0;   // 100 ns
    QString MainMediaPath() const { return channels.isEmpty() ? QString() : channels.first().strMediaPath; }
};

// A position of the open recording: the frame, the media time of the main channel's picture on
// show (100 ns; the frame's time when no picture tells it) and who moved it there.
struct tagPLAYPOSITION {
    int64_t llFrame = 0;
    int64_t llMediaTime = 0;
    const QObject *pOrigin = nullptr;
};

class CPlaybackController : public QObject, public IPlayControlTarget, private IPlaybackHost
{
    Q_OBJECT
    friend class CRecordingNavigator;

public:
    explicit CPlaybackController(const CCorvanaDoc *doc, QObject *parent = nullptr);
    ~CPlaybackController() override;

    const CCorvanaDoc *Document() const { return m_doc; }

    // --- Requests: which recording ------------------------------------------------------------
    // Opens recording `index` of the catalogue (falling back to the one that played before, or
    // to none, when it cannot be played); true when `index` itself became current.
    bool Open(int index);
    // Recording `index` at the frame on screen offsetMs after its start; false when it does not
    // open.
    bool OpenAt(int index, qint64 offsetMs);
    // The recording of that media path again at `position` (after the folder was loaded again).
    bool Reopen(const QString &mediaPath, qint64 position);
    // A clip of no catalogue (the command line's), as the open recording with index -1.
    HRESULT OpenFile(const QString &mediaPath);
    // No recording is current any more; back to the single view.
    void Close(bool showProgress = false);
    // What the last open of a clip gave (S_OK, or why it cannot be played).
    HRESULT LastOpenResult() const { return m_lastOpen; }

    // --- Requests: where and how it plays -----------------------------------------------------
    // The position `frame`, asked for by `origin` (a pane, a key, a command): every session
    // follows it, then everyone hears of it.
    void Seek(int64_t frame, const QObject *origin);
    // "Frame forward" / "Frame backward": one frame on, within 0 to the frame count.
    void StepFrames(int delta, const QObject *origin);
    HRESULT Play();
    // "Play" and "Reverse Play": the rate's sign made positive or negative, then Play.
    HRESULT PlayForward();
    HRESULT PlayReverse();
    HRESULT Pause();
    HRESULT Stop();
    // Space: pauses while playing, plays while paused or stopped (single view only).
    void TogglePlay();
    HRESULT SeekToBeginning();
    HRESULT SeekToEnd();
    // Single view (0, 1) or a grid of 4, 9, 16 or 25 panes of the main channel.
    HRESULT SetLayout(int multi, int count, bool showProgress);
    void SetContinuousPlay(bool on) { m_continuous = on ? 1 : 0; }
    int ContinuousPlay() const override { return m_continuous; }
    // The clock timed stepping follows (null: the system's); not owned.
    void SetStepClock(CStepClock *clock);
    // The video area the pictures are made for (the video pane's client rectangle), placed at once:
    // each channel's picture is made for its place in it (ChannelRects).
    void SetVideoArea(const QRect &area);
    // The channels' layout and the small pictures' corner; the pictures are placed again.
    void SetChannelLayout(ChannelLayout layout, PipCorner corner);
    ChannelLayout GetChannelLayout() const { return m_channelLayout; }
    PipCorner GetPipCorner() const { return m_pipCorner; }
    // The channel that takes the first place of the layout (the big picture of picture in
    // picture); the recording's frames stay the main channel's. The main channel again whenever
    // a recording opens.
    void SetLeadChannel(int channel);
    int LeadChannel() const { return m_lead; }
    // The rear camera shown as in a rear-view mirror: on screen only, never in what is saved.
    void SetMirrorRear(bool on);
    bool MirrorRear() const { return m_bMirrorRear; }
    bool ChannelMirrored(int channel) const;
    // Nudges a channel after the main one: it starts `frames` of its own frames after the main
    // channel (below 0: before it), clamped to the bound the card keeps; its picture follows at
    // once and ChannelOffsetChanged tells the card's keeper.
    void SetChannelOffset(int channel, int frames);
    int ChannelOffset(int channel) const;

    // --- IPlayControlTarget (the play control bar) ---------------------------------------------
    double GetRate() const override;
    void SetRate(double rate) override;
    bool IsPlaying() const override { return GetPlayState() == PlayState::Running; }
    void StartPlay() override { Play(); }
    void PausePlay() override { Pause(); }
    // 0 (silent) to 1 (full): kept, and given to every clip opened from now on.
    void ApplyVolumeLevel(double level) override;
    double VolumeLevel() const { return m_volumeLevel; }

    // --- State --------------------------------------------------------------------------------
    // The current recording of the catalogue (-1: none) and its media path.
    int CurrentIndex() const { return m_index; }
    QString MediaPath() const { return m_mediaPath; }
    // What is open (no channels: nothing).
    const tagOPENEDRECORDING &Recording() const { return m_recording; }
    bool HasRecording() const { return !m_recording.channels.isEmpty(); }
    int64_t Position() const { return m_position; }
    // The last position's notice, as PositionChanged told it.
    const tagPLAYPOSITION &LastPosition() const { return m_lastNotice; }
    int64_t FrameCount() const { return m_recording.llFrameCount; }
    int64_t FrameTime() const { return m_recording.llFrameTime; }
    int64_t Duration() const { return m_recording.llDuration; }
    PlayState GetPlayState() const { return MainSession()->GetPlayState(); }
    int IsMulti() const { return MainSession()->IsMulti(); }
    int PaneCount() const { return MainSession()->PaneCount(); }
    int Channels() const { return static_cast<int>(m_sessions.size()); }
    CPlaybackSession *Session(int channel = 0) const;
    CPlaybackSession *MainSession() const { return m_sessions.front().get(); }
    // Channel `channel`'s picture of the moment on show, and the frame it is: null and -1 when the
    // channel has no picture of that moment (it is shorter, starts later, or did not open).
    QImage ChannelImage(int channel) const;
    int64_t ChannelFrame(int channel) const;
    // Where channel `channel` is painted in the video area (empty: not at all).
    QRect ChannelRect(int channel) const;
    // The channel painted at `point` of the video area, small pictures before the big one (-1:
    // none, or the grid of frames is shown).
    int ChannelAt(const QPoint &point) const;
    // The frame of channel `channel` whose time span holds the moment of the main channel's
    // `frame` (-1: none).
    int64_t ChannelFrameAt(int channel, int64_t frame) const;
    const CRecordingTelemetry &Telemetry() const { return m_telemetry; }
    CExportMarks &ExportMarks() { return m_marks; }
    const CExportMarks &ExportMarks() const { return m_marks; }
    CRecordingNavigator *Navigator() const { return m_navigator.get(); }
    // How the picture is looked at (zoom, pan, adjustments): the same for the single view and
    // every pane of the grid, and what snapshots and the report take as the view on show. It
    // lasts across steps, rates and recordings until the user changes it.
    const tagPICTUREVIEW &PictureView() const { return m_pictureView; }
    void SetPictureView(const tagPICTUREVIEW &view);

signals:
    // A channel of the open recording was nudged to start `frames` of its frames late.
    void ChannelOffsetChanged(const QString &channel, int frames);
    void PositionChanged(const tagPLAYPOSITION &position);
    void RecordingOpened(const tagOPENEDRECORDING &recording);
    void RecordingClosed();
    void PlayStateChanged(PlayState state);
    void RateChanged(double rate);
    // Around a change of the layout (the widgets over the grid's panes go before their panes and
    // come after the new ones).
    void LayoutAboutToChange();
    void LayoutChanged(int multi, int count);
    // The channels are laid out anew (SetChannelLayout).
    void ChannelLayoutChanged(ChannelLayout layout, PipCorner corner);
    // A channel's picture, or the grid's, is another one (emitted before its position).
    void PicturesChanged();
    // The zoom, pan or adjustments changed.
    void PictureViewChanged(const tagPICTUREVIEW &view);
    // The "Processing..." window of a layout change: at `percent`, then hidden.
    void LayoutProgress(int percent);
    void LayoutProgressHidden();

private:
    // --- IPlaybackHost (the sessions) ---------------------------------------------------------
    bool HasNeighbour(int step) const override;
    bool OpenNeighbour(int step) override;
    void ApplyVolumeSetting() override;
    void ShowLayoutProgress(int position) override { emit LayoutProgress(position); }
    void HideLayoutProgress() override { emit LayoutProgressHidden(); }

    // The navigator's steps: recording `index` becomes current, is opened, or none is.
    void SetCurrent(int index);
    HRESULT OpenCurrent();

    void OnSessionOpened();
    void OnSessionClosed();
    void OnPublished(qint64 frame);
    // The other channels' sessions: opened with the main one, closed with it; each shows its
    // picture of the main channel's moment.
    void OpenOtherChannels();
    void CloseOtherChannels();
    void FollowOtherChannels(int64_t frame);
    void PlaceChannels();
    void Announce(int64_t frame, const QObject *origin);

    const CCorvanaDoc *m_doc;
    std::vector<std::unique_ptr<CPlaybackSession>> m_sessions; // the main channel first
    std::unique_ptr<CRecordingNavigator> m_navigator;
    CRecordingTelemetry m_telemetry;
    CExportMarks m_marks;
    tagPICTUREVIEW m_pictureView;
    int m_index = -1;
    QString m_mediaPath;
    tagOPENEDRECORDING m_recording;
    int64_t m_position = 0;
    tagPLAYPOSITION m_lastNotice;
    HRESULT m_lastOpen = S_OK;
    double m_volumeLevel = 1.0;
    int m_continuous = 0;
    CStepClock *m_clock = nullptr;
    QRect m_area;
    ChannelLayout m_channelLayout = ChannelLayout::PictureInPicture;
    PipCorner m_pipCorner = PipCorner::BottomRight;
    int m_lead = 0;
    bool m_bMirrorRear = false;
    std::vector<bool> m_channelShown; // per channel: it has a picture of the moment
};
