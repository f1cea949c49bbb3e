// Playback of the current recording: the step clock, rates, end of clip and continuous play, and
// position publishing.
#include "playback/playbacksession.h"

#include "media/mediagraph.h"
#include "playback/playbackpane.h"
#include "playback/playcontroltarget.h"
#include "playback/stepclock.h"

#include <QScopedValueRollback>

#include <algorithm>

CPlaybackSession::CPlaybackSession(IPlaybackHost *host, QObject *parent) : QObject(parent), m_host(host)
{
    m_graph = new CMediaGraph(this);
    m_graph->SetEventTarget(this);
    connect(m_graph, &CMediaGraph::MediaEvent, this, &CPlaybackSession::OnMediaEvent);

    m_systemClock = std::make_unique<CSystemStepClock>();
    SetStepClock(nullptr);
}

CPlaybackSession::~CPlaybackSession()
{
    m_clock->StopTicks();
    disconnect(m_clock, nullptr, this, nullptr);
    m_panes.clear();
    // Released first, so that no late picture or event reaches a half-destroyed session.
    m_graph->ReleaseGraph();
}

void CPlaybackSession::SetStepClock(CStepClock *clock)
{
    CStepClock *next = clock ? clock : m_systemClock.get();
    if (next == m_clock)
        return;
    if (m_clock) {
        m_clock->StopTicks();
        disconnect(m_clock, nullptr, this, nullptr);
    }
    m_clock = next;
    connect(m_clock, &CStepClock::Tick, this, &CPlaybackSession::OnTimer);
    // A clock that goes first leaves the session on the system's.
    connect(m_clock, &QObject::destroyed, this, [this] {
        m_clock = nullptr;
        SetStepClock(nullptr);
    });
    // Time of one clock means nothing on another: stepping counts again from the next tick.
    if (m_anchorTime >= 0)
        m_anchorTime = m_clock->Now100ns();
    if (m_timerRunning)
        m_clock->StartTicks(m_timerPeriodMs);
}
void CPlaybackSession::StartTimer()
{
    m_clock->StartTicks(m_timerPeriodMs);
    m_timerRunning = 1;
}
void CPlaybackSession::KillTimer()
{
    m_clock->StopTicks();
    m_timerRunning = 0;
}
void CPlaybackSession::Publish(int64_t frame)
{
    m_position = frame;
    if (m_multi) {
        // The grid's panes show the position the grid publishes, held to their own frames.
        for (const auto &pane : m_panes)
            pane->Follow(frame);
        ShowPanePictures();
    }
    emit Published(frame);
}
void CPlaybackSession::SetPlayState(PlayState state)
{
    if (state == m_playState)
        return;
    m_playState = state;
    emit PlayStateChanged(state);
}
void CPlaybackSession::TakeGraphPicture(int64_t *positionFrame)
{
    QImage image;
    int64_t frame = -1;
    int64_t position = 0;
    if (FAILED(m_graph->GetShownImage(&image, &frame, &position))) {
        if (positionFrame && FAILED(m_graph->CurrentFrame(positionFrame)))
            *positionFrame = -1;
        return;
    }
    if (positionFrame)
        *positionFrame = position;
    if (frame != m_shownFrame || image.cacheKey() != m_shownImage.cacheKey()) {
        m_shownImage = image;
        m_shownFrame = frame;
        emit PictureChanged();
    }
}
QImage CPlaybackSession::NativeImage() const
{
    return m_shownFrame >= 0 ? m_graph->FrameImage(m_shownFrame) : QImage();
}
void CPlaybackSession::DropShownPicture()
{
    m_shownImage = QImage();
    m_shownFrame = -1;
    emit PictureChanged();
}
void CPlaybackSession::PublishShownFrame()
{
    // Picture and position are taken together, so what is published is what will be painted.
    int64_t frame = -1;
    TakeGraphPicture(&frame);
    if (frame >= 0 && frame != m_position)
        Publish(frame);
}
void CPlaybackSession::AnchorStepping(int64_t frame)
{
    m_stepAnchor = frame;
    m_lastTarget = -1;
    m_stepWaited = false;
    m_anchorTime = m_clock->Now100ns();
}
int64_t CPlaybackSession::CurrentStepTarget() const
{
    const int64_t elapsed = m_anchorTime >= 0 ? m_clock->Now100ns() - m_anchorTime : 0;
    return StepTarget(m_stepAnchor, m_rate, elapsed, m_graph->FrameTime());
}
HRESULT CPlaybackSession::Open(const QString &mediaPath)
{
    if (m_multi)
        SetLayout(0, 1, true);
    KillTimer();
    m_playing = 0;

    const HRESULT hr = m_graph->OpenMedia(mediaPath);
    if (FAILED(hr)) {
        // The graph released itself; a view without a clip has nothing left to play.
        if (m_graph->State() == GraphState::NoGraph)
            SetPlayState(PlayState::Empty);
        DropShownPicture();
        TakeGraphPicture();
        emit RecordingClosed();
        return hr;
    }

    m_position = 0;
    m_graph->PlaceVideo();

    Pause();
    if (m_host)
        m_host->ApplyVolumeSetting();
    TakeGraphPicture();
    m_timerPeriodMs = std::max<int>(1, static_cast<int>(m_graph->FrameTime() / 10000));
    emit RecordingOpened();
    SetPlayState(PlayState::Paused);
    emit Published(0);
    return hr;
}
void CPlaybackSession::CloseRecording(bool showProgress)
{
    m_multi = 0;
    m_paneCount = 1;
    SetLayout(0, 1, showProgress);
    KillTimer();
    m_playing = 0;
    SetPlayState(PlayState::Empty);
    m_graph->ReleaseGraph();
    DropShownPicture();
    emit RecordingClosed();
}
HRESULT CPlaybackSession::Play()
{
    // A pane without a clip has nothing to run; refuse before touching the timer or the state.
    if (m_graph->State() == GraphState::NoGraph)
        return VFW_E_WRONG_STATE;

    if (m_multi) {
        if (m_panes.empty())
            return VFW_E_WRONG_STATE;
        if (!m_timerRunning)
            StartTimer();
        SetPlayState(PlayState::Running);
        const int64_t first = m_panes.front()->CurrentFrame();
        AnchorStepping(first >= 0 ? first : m_position);
        return GridStep();
    }
    if (!m_timerRunning)
        StartTimer();
    SetPlayState(PlayState::Running);

    // Every Play (a new start, a new speed, a new direction) counts the rate from the picture shown.
    int64_t shown = 0;
    if (FAILED(m_graph->CurrentFrame(&shown)))
        shown = m_position;
    AnchorStepping(shown);

    if (m_rate < 0.0 || m_rate > 1.0) {
        if (!(m_graph->SeekCapabilities() & AM_SEEKING_CanPlayBackwards))
            return TimedStep();
    }
    if (m_rate >= 0.0 && m_rate <= 1.0)
        m_playing = 0;
    m_graph->SetPlaybackRate(m_rate);
    return m_graph->Run();
}
HRESULT CPlaybackSession::TimedStep()
{
    HRESULT hr = S_OK;
    if (m_playing == 0) {
        hr = m_graph->Pause();
        if (FAILED(hr))
            return hr;
        StartTimer();
    }

    // The frame the rate has reached: one step at once, then one per frame time of the clock.
    int64_t target = std::max<int64_t>(0, CurrentStepTarget());
    const int64_t last = m_graph->FrameCount();
    // Pictures that come slower than the rate asks (a large clip decoded slower than 4x real
    // time): aiming where the clock is would jump past what was decoded ahead, cost a whole group
    // of pictures each time and fall further behind; once stepping had to wait for a picture
    // for more than two steps' time, it goes on from that picture by the rate instead, as fast as
    // pictures come. (A late tick alone still catches up with the clock.)
    if (m_lastTarget >= 0 && std::llabs(target - m_lastTarget) > 2 * std::llabs(static_cast<int64_t>(m_rate))) {
        if (m_graph->IsSeekPending()) {
            // Not even the end is shown before the picture on its way.
            m_stepWaited = true;
            return S_OK;
        }
        if (m_stepWaited) {
            AnchorStepping(m_lastTarget);
            target = std::max<int64_t>(0, CurrentStepTarget());
        }
    }
    m_stepWaited = false;

    if (target > 0 && target < last) {
        // The rate has not reached the next frame yet, or the previous step's picture is still
        // being decoded: keep showing the last exact picture; a later tick aims further on.
        if (target == m_lastTarget || m_graph->IsSeekPending())
            return S_OK;
        hr = m_graph->SeekToFrameAsync(target);
        if (FAILED(hr))
            return hr;
        m_lastTarget = target;
        m_playing = 1;
        SetPlayState(PlayState::Running);
        if (hr == S_FALSE) // the picture was at hand: it is the graph's already
            PublishShownFrame();
        return S_OK;
    }

    // An end is reached (or passed): show exactly the end and stop stepping there.
    const int64_t end = m_rate > 0.0 ? last : 0;
    hr = m_graph->SeekToFrame(end);
    KillTimer();
    m_playing = 0;
    TakeGraphPicture();
    Publish(end);
    SetPlayState(PlayState::Paused);
    EndOfClip();
    return hr;
}
HRESULT CPlaybackSession::Pause()
{
    KillTimer();
    m_playing = 0;
    if (m_multi) {
        HRESULT hr = S_OK;
        for (const auto &pane : m_panes) {
            // A pane whose open failed has nothing to pause.
            const HRESULT paused = pane->Pause();
            if (FAILED(paused) && pane->Graph()->State() != GraphState::NoGraph)
                hr = paused;
        }
        if (SUCCEEDED(hr))
            SetPlayState(PlayState::Paused);
        return hr;
    }
    const HRESULT hr = m_graph->Pause();
    if (SUCCEEDED(hr))
        SetPlayState(PlayState::Paused);
    return hr;
}
HRESULT CPlaybackSession::Stop()
{
    m_playing = 0;
    KillTimer();
    if (m_multi) {
        HRESULT hr = S_OK;
        for (const auto &pane : m_panes) {
            const HRESULT stopped = pane->Stop();
            if (FAILED(stopped))
                hr = stopped;
        }
        ShowPanePictures();
        // Pane 0 is back on frame 0: so is the grid's position.
        if (!m_panes.empty())
            Publish(0);
        if (SUCCEEDED(hr))
            SetPlayState(PlayState::Stopped);
        return hr;
    }
    HRESULT hr = m_graph->Stop();
    if (SUCCEEDED(hr))
        hr = m_graph->SeekToTime(0);
    if (SUCCEEDED(hr))
        hr = m_graph->Pause();
    TakeGraphPicture();
    if (SUCCEEDED(hr)) {
        Publish(0);
        SetPlayState(PlayState::Stopped);
    }
    return hr;
}
HRESULT CPlaybackSession::SeekToBeginning()
{
    if (m_graph->State() == GraphState::NoGraph)
        return VFW_E_WRONG_STATE;
    HRESULT hr = S_OK;
    if (m_multi) {
        for (const auto &pane : m_panes) {
            const HRESULT seek = pane->SeekTo(PaneFirstFrame(pane->Index()));
            if (FAILED(seek))
                hr = seek;
        }
        ShowPanePictures();
    } else {
        hr = m_graph->SeekToFrame(0);
        TakeGraphPicture();
    }
    if (SUCCEEDED(hr)) {
        Pause();
        Publish(0);
    }
    return hr;
}
HRESULT CPlaybackSession::SeekToEnd()
{
    if (m_graph->State() == GraphState::NoGraph)
        return VFW_E_WRONG_STATE;
    const int64_t n = m_graph->FrameCount();
    HRESULT hr = S_OK;
    if (m_multi) {
        for (const auto &pane : m_panes) {
            const HRESULT seek = pane->SeekTo(PaneLastFrame(pane->Index(), m_paneCount, n));
            if (FAILED(seek))
                hr = seek;
        }
        ShowPanePictures();
    } else {
        hr = m_graph->SeekToFrame(n);
        TakeGraphPicture();
    }
    if (SUCCEEDED(hr)) {
        Pause();
        Publish(n);
    }
    return hr;
}
HRESULT CPlaybackSession::SetLayout(int multi, int count, bool showProgress)
{
    const bool grid = multi == 1 && (count == 4 || count == 9 || count == 16 || count == 25);
    if (!grid && !(multi == 0 && count == 1))
        return E_INVALIDARG;

    const int oldPanes = static_cast<int>(m_panes.size());
    m_multi = multi;
    m_paneCount = count;
    LayoutProgress(showProgress, 0);
    KillTimer();
    m_playing = 0;
    emit LayoutAboutToChange();

    int64_t p = 0;
    if (m_panes.empty()) {
        if (m_graph->State() != GraphState::NoGraph)
            m_graph->Pause();
        if (m_playState != PlayState::Empty)
            SetPlayState(PlayState::Paused);
    } else {
        const int64_t first = m_panes.front()->CurrentFrame();
        p = ClampGridStart(std::max<int64_t>(0, first), count, m_graph->FrameCount());
        for (int i = 0; i < oldPanes; ++i) {
            m_panes[static_cast<size_t>(i)].reset();
            if (multi)
                LayoutProgress(showProgress, (i + 1) * 20 / oldPanes);
        }
    }
    LayoutProgress(showProgress, 20);
    m_panes.clear();

    if (!multi) {
        m_graph->PlaceVideo();
        LayoutProgress(showProgress, 40);
        m_position = p;
        LayoutProgress(showProgress, 60);
        if (m_graph->State() != GraphState::NoGraph) {
            m_graph->SeekToFrame(p);
            SetPlayState(PlayState::Paused);
        }
        TakeGraphPicture();
        LayoutProgress(showProgress, 80);
    } else {
        for (int i = 0; i < count; ++i) {
            LayoutProgress(showProgress, i * 60 / count + 20);
            auto pane = std::make_unique<CPlaybackPane>(i, count);
            pane->SetRate(m_rate);
            CPlaybackPane *created = pane.get();
            connect(created, &CPlaybackPane::PictureArrived, this, &CPlaybackSession::OnPanePicture);
            connect(created, &CPlaybackPane::Aborted, this, &CPlaybackSession::OnPaneAborted);
            m_panes.push_back(std::move(pane));
            created->Open(m_graph->MediaPath());
            if (oldPanes == 0) {
                if (m_graph->State() == GraphState::NoGraph)
                    continue; // the pane stays on its own frame, where its open put it
                int64_t current = 0;
                if (FAILED(m_graph->CurrentFrame(&current)))
                    current = 0;
                p = ClampGridStart(current, count, m_graph->FrameCount());
            }
            if (i == 0)
                m_position = p;
            created->SeekTo(p + i);
        }
        if (m_playState != PlayState::Empty)
            SetPlayState(PlayState::Paused);
        ShowPanePictures();
    }

    emit LayoutChanged();
    if (!multi)
        emit PictureChanged();
    Publish(m_position);
    LayoutProgress(showProgress, 100);
    if (showProgress && m_host)
        m_host->HideLayoutProgress();
    return S_OK;
}
void CPlaybackSession::LayoutProgress(bool shown, int position)
{
    if (shown && m_host)
        m_host->ShowLayoutProgress(position);
}
HRESULT CPlaybackSession::CurrentTime(int64_t *time) const
{
    if (m_multi && !m_panes.empty())
        return m_panes.front()->Graph()->CurrentTime(time);
    return m_graph->CurrentTime(time);
}
CPlaybackPane *CPlaybackSession::Pane(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_panes.size()))
        return nullptr;
    return m_panes[static_cast<size_t>(index)].get();
}
void CPlaybackSession::SetRate(double rate)
{
    m_rate = rate;
    for (const auto &pane : m_panes)
        pane->SetRate(rate);
}
HRESULT CPlaybackSession::GridStep()
{
    // A step whose pictures were all at hand lands inside it; the next waits for the clock.
    const QScopedValueRollback<bool> stepping(m_inGridStep, true);
    // A step still being decoded is never stacked with another.
    for (const auto &pane : m_panes)
        if (pane->IsSeekPending())
            return S_OK;

    const int64_t target = CurrentStepTarget();
    if (target == m_lastTarget)
        return S_OK;
    m_lastTarget = target;

    HRESULT firstFailure = S_OK;
    HRESULT last = S_OK;
    int stepped = 0;
    for (const auto &pane : m_panes) {
        // A pane without a clip (its open failed) has nothing to step and holds no one back.
        if (pane->Graph()->State() == GraphState::NoGraph) {
            last = VFW_E_WRONG_STATE;
            continue;
        }
        ++stepped;
        last = pane->Step(target + pane->Index(), true);
        if (FAILED(last) && SUCCEEDED(firstFailure))
            firstFailure = last;
    }
    // A grid of which no pane has a clip does not run on doing nothing.
    if (stepped == 0)
        firstFailure = VFW_E_WRONG_STATE;
    if (FAILED(firstFailure)) {
        GridStepEnded(firstFailure);
        return last;
    }
    m_playing = 1;
    // Pictures that were at hand are the panes' already.
    OnPanePicture();
    return last;
}
void CPlaybackSession::GridStepEnded(HRESULT result)
{
    Pause();
    ShowPanePictures();
    int64_t frame = std::max<int64_t>(0, m_panes.front()->CurrentFrame());
    if (result == PANE_END_REACHED)
        frame = std::min<int64_t>(frame + m_paneCount, m_graph->FrameCount());
    Publish(frame);
    if (result == PANE_START_REACHED || result == PANE_END_REACHED)
        EndOfGridClip();
}
void CPlaybackSession::OnPanePicture()
{
    for (const auto &pane : m_panes)
        if (pane->IsSeekPending())
            return;
    ShowPanePictures();
    // While the grid steps, the position follows the pictures as they reach the screen, and a
    // step that took longer than a tick is followed at once by the next (not at the next tick).
    if (m_playState == PlayState::Running && !m_panes.empty()) {
        const int64_t frame = m_panes.front()->ShownFrame();
        if (frame >= 0 && frame != m_position)
            Publish(frame);
        if (m_playState == PlayState::Running && m_playing == 1 && !m_inGridStep)
            GridStep();
    }
}
void CPlaybackSession::OnPaneAborted()
{
    // A clip that fails under a pane stops the grid where it is, instead of stepping on into
    // the failure for ever.
    if (m_playState != PlayState::Running)
        return;
    Pause();
    ShowPanePictures();
    const int64_t frame = m_panes.empty() ? -1 : m_panes.front()->CurrentFrame();
    if (frame >= 0)
        Publish(frame);
}
void CPlaybackSession::ShowPanePictures()
{
    bool changed = false;
    for (const auto &pane : m_panes) {
        pane->TakePicture();
        if (pane->ConsumeNewPicture())
            changed = true;
    }
    if (changed)
        emit PanePicturesChanged();
}
void CPlaybackSession::EndOfGridClip()
{
    const bool continuous = m_host && m_host->ContinuousPlay() != 0;
    if (!continuous) {
        Publish(m_rate > 0.0 ? m_graph->FrameCount() : 0);
        return;
    }
    const int count = m_paneCount;
    const int step = m_rate > 0.0 ? 1 : -1;
    // At the first or the last recording the grid stays where it ended.
    if (!m_host->HasNeighbour(step) || !m_host->OpenNeighbour(step))
        return;
    SetLayout(1, count, true);
    if (m_rate <= 0.0) {
        // Reverse goes on from the end of the previous clip.
        const int64_t last = m_graph->FrameCount();
        Publish(last);
        m_graph->SeekToFrame(last);
    }
    Play();
}
void CPlaybackSession::SetVolumeLevel(double level)
{
    m_graph->SetAudioVolume(VolumeLevelToHundredthsDb(level));
}
void CPlaybackSession::EndOfClip()
{
    const bool continuous = m_host && m_host->ContinuousPlay() != 0;

    if (!continuous) {
        Publish(m_rate > 0.0 ? m_graph->FrameCount() : 0);
        return;
    }

    if (m_rate > 0.0) {
        if (m_host->HasNeighbour(+1)) {
            if (m_host->OpenNeighbour(+1))
                Play();
            else
                Pause();
        } else {
            Publish(m_graph->FrameCount());
        }
        return;
    }

    if (!m_host->HasNeighbour(-1)) {
        m_graph->SeekToFrame(0);
        TakeGraphPicture();
        Publish(0);
        Stop();
        return;
    }
    if (!m_host->OpenNeighbour(-1)) {
        Pause();
        return;
    }
    // Reverse play goes on from the end of the previous clip.
    const int64_t last = m_graph->FrameCount();
    m_graph->SeekToFrame(last);
    TakeGraphPicture();
    Publish(last);
    Play();
}
void CPlaybackSession::NotifyGraphEvent(long eventCode, intptr_t param1, intptr_t param2)
{
    (void)param1;
    (void)param2;
    switch (eventCode) {
    case EC_COMPLETE:
        // Only a clip that was running can complete; a late notice after the user paused or
        // moved the position must not jump to another recording.
        if (m_playState != PlayState::Running)
            break;
        Pause();
        EndOfClip();
        break;
    case EC_USERABORT: Stop(); break;
    case EC_OLE_EVENT:
        // A new picture (a stepped one, the player's, a late answer after a pause): shown, and
        // the other views are told at once which frame it is. Under the grid the graph rests
        // where the single view left it: a late notice of its own must not move the grid there.
        if (!m_multi)
            PublishShownFrame();
        break;
    default: break;
    }
}
void CPlaybackSession::OnMediaEvent()
{
    m_graph->DispatchGraphEvents(this);
}
void CPlaybackSession::OnTimer()
{
    if (m_multi) {
        OnPanePicture();
        if (m_playState == PlayState::Running)
            GridStep();
        return;
    }
    PublishShownFrame();
    if (m_playState == PlayState::Running && m_playing == 1)
        TimedStep();
}
void CPlaybackSession::Follow(int64_t frame)
{
    m_position = frame;
    if (m_multi) {
        for (const auto &pane : m_panes)
            pane->Follow(frame);
        if (m_playState == PlayState::Running)
            AnchorStepping(frame);
        ShowPanePictures();
        return;
    }
    if (m_graph->State() == GraphState::NoGraph)
        return;
    const GraphState saved = m_graph->State();
    m_graph->Pause();
    m_graph->SeekToTime(frame * m_graph->FrameTime());
    if (saved == GraphState::Stopped)
        m_graph->Stop();
    else if (saved == GraphState::Running)
        m_graph->Run();
    // Stepping goes on from where the other view put the position.
    if (m_playState == PlayState::Running && m_playing == 1)
        AnchorStepping(frame);
    TakeGraphPicture();
}
