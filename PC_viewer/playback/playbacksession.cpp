// Playback of the current recording: the step clock, rates, end of clip and continuous play, and
// position publishing.
#include "playback/playbacksession.h"

#include "catalogue/corvanadoc.h"
#include "media/mediagraph.h"
#include "playback/playbackpane.h"
#include "playback/playcontroltarget.h"
#include "playback/stepclock.h"

#include <QScopedValueRollback>

#include <algorithm>

CPlaybackSession::CPlaybackSession(CCorvanaDoc *doc, IPlaybackHost *host, QObject *publisher, QObject *parent)
    : QObject(parent), m_doc(doc), m_host(host), m_publisher(publisher ? publisher : this)
{
    m_graph = new CMediaGraph(this);
    m_graph->SetEventTarget(this);
    connect(m_graph, &CMediaGraph::MediaEvent, this, &CPlaybackSession::OnMediaEvent);

    m_systemClock = std::make_unique<CSystemStepClock>();
    SetStepClock(nullptr);
    connect(m_doc, &CCorvanaDoc::PositionChanged, this, &CPlaybackSession::OnUpdate);
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
    m_doc->SetCurrentPosition(frame);
    m_doc->UpdateAllViews(m_publisher);
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
    if (frame >= 0 && frame != m_doc->CurrentPosition())
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
HRESULT CPlaybackSession::OpenCurrentRecording()
{
    if (m_multi)
        SetLayout(0, 1, true);
    KillTimer();
    m_doc->SetPlayingFlag(0);

    const HRESULT hr = m_graph->OpenMedia(m_doc->CurrentMediaPath());
    if (FAILED(hr)) {
        // The graph released itself; a view without a clip has nothing left to play.
        if (m_graph->State() == GraphState::NoGraph)
            m_playState = PlayState::Empty;
        DropShownPicture();
        TakeGraphPicture();
        emit RecordingClosed();
        return hr;
    }

    m_doc->SetCurrentPosition(0);
    m_doc->SetLastPosition(m_graph->FrameCount());
    m_doc->SetDuration(m_graph->Duration());
    m_doc->SetFrameTime(m_graph->FrameTime());
    m_graph->PlaceVideo();

    Pause();
    if (m_host)
        m_host->ApplyVolumeSetting();
    TakeGraphPicture();
    emit RecordingOpened();
    m_doc->UpdateAllViews(m_publisher);
    m_playState = PlayState::Paused;
    m_timerPeriodMs = std::max<int>(1, static_cast<int>(m_graph->FrameTime() / 10000));
    return hr;
}
void CPlaybackSession::CloseRecording(bool showProgress)
{
    m_multi = 0;
    m_paneCount = 1;
    SetLayout(0, 1, showProgress);
    KillTimer();
    m_doc->SetPlayingFlag(0);
    m_playState = PlayState::Empty;
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
        m_playState = PlayState::Running;
        const int64_t first = m_panes.front()->CurrentFrame();
        AnchorStepping(first >= 0 ? first : m_doc->CurrentPosition());
        return GridStep();
    }
    if (!m_timerRunning)
        StartTimer();
    m_playState = PlayState::Running;

    // Every Play (a new start, a new speed, a new direction) counts the rate from the picture shown.
    int64_t shown = 0;
    if (FAILED(m_graph->CurrentFrame(&shown)))
        shown = m_doc->CurrentPosition();
    AnchorStepping(shown);

    if (m_rate < 0.0 || m_rate > 1.0) {
        if (!(m_graph->SeekCapabilities() & AM_SEEKING_CanPlayBackwards))
            return TimedStep();
    }
    if (m_rate >= 0.0 && m_rate <= 1.0)
        m_doc->SetPlayingFlag(0);
    m_graph->SetPlaybackRate(m_rate);
    return m_graph->Run();
}
HRESULT CPlaybackSession::TimedStep()
{
    HRESULT hr = S_OK;
    if (m_doc->PlayingFlag() == 0) {
        hr = m_graph->Pause();
        if (FAILED(hr))
            return hr;
        StartTimer();
    }

    // The frame the rate has reached: one step at once, then one per frame time of the clock.
    int64_t target = std::max<int64_t>(0, CurrentStepTarget());
    const int64_t last = m_doc->LastPosition();
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
        m_doc->SetPlayingFlag(1);
        m_playState = PlayState::Running;
        if (hr == S_FALSE) // the picture was at hand: it is the graph's already
            PublishShownFrame();
        return S_OK;
    }

    // An end is reached (or passed): show exactly the end and stop stepping there.
    const int64_t end = m_rate > 0.0 ? last : 0;
    hr = m_graph->SeekToFrame(end);
    KillTimer();
    m_doc->SetPlayingFlag(0);
    m_doc->SetCurrentPosition(end);
    TakeGraphPicture();
    m_doc->UpdateAllViews(m_publisher);
    m_playState = PlayState::Paused;
    EndOfClip();
    return hr;
}
HRESULT CPlaybackSession::Pause()
{
    KillTimer();
    m_doc->SetPlayingFlag(0);
    if (m_multi) {
        HRESULT hr = S_OK;
        for (const auto &pane : m_panes) {
            // A pane whose open failed has nothing to pause.
            const HRESULT paused = pane->Pause();
            if (FAILED(paused) && pane->Graph()->State() != GraphState::NoGraph)
                hr = paused;
        }
        if (SUCCEEDED(hr))
            m_playState = PlayState::Paused;
        return hr;
    }
    const HRESULT hr = m_graph->Pause();
    if (SUCCEEDED(hr))
        m_playState = PlayState::Paused;
    return hr;
}
HRESULT CPlaybackSession::Stop()
{
    m_doc->SetPlayingFlag(0);
    KillTimer();
    if (m_multi) {
        HRESULT hr = S_OK;
        for (const auto &pane : m_panes) {
            const HRESULT stopped = pane->Stop();
            if (FAILED(stopped))
                hr = stopped;
        }
        ShowPanePictures();
        if (SUCCEEDED(hr))
            m_playState = PlayState::Stopped;
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
        m_playState = PlayState::Stopped;
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
    m_doc->SetPlayingFlag(0);
    emit LayoutAboutToChange();

    int64_t p = 0;
    if (m_panes.empty()) {
        if (m_graph->State() != GraphState::NoGraph)
            m_graph->Pause();
        if (m_playState != PlayState::Empty)
            m_playState = PlayState::Paused;
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
        m_doc->SetCurrentPosition(p);
        LayoutProgress(showProgress, 60);
        if (m_graph->State() != GraphState::NoGraph) {
            m_graph->SeekToFrame(p);
            m_playState = PlayState::Paused;
        }
        TakeGraphPicture();
        LayoutProgress(showProgress, 80);
    } else {
        for (int i = 0; i < count; ++i) {
            LayoutProgress(showProgress, i * 60 / count + 20);
            auto pane = std::make_unique<CPlaybackPane>(m_doc, i, count);
            pane->SetRate(m_rate);
            CPlaybackPane *created = pane.get();
            connect(created, &CPlaybackPane::PictureArrived, this, &CPlaybackSession::OnPanePicture);
            connect(created, &CPlaybackPane::Aborted, this, &CPlaybackSession::OnPaneAborted);
            m_panes.push_back(std::move(pane));
            created->Open();
            if (oldPanes == 0) {
                if (m_graph->State() == GraphState::NoGraph)
                    continue; // the pane stays on its own frame, where its open put it
                int64_t current = 0;
                if (FAILED(m_graph->CurrentFrame(&current)))
                    current = 0;
                p = ClampGridStart(current, count, m_graph->FrameCount());
            }
            if (i == 0)
                m_doc->SetCurrentPosition(p);
            created->SeekTo(p + i);
        }
        if (m_playState != PlayState::Empty)
            m_playState = PlayState::Paused;
        ShowPanePictures();
    }

    if (m_host)
        m_host->EnableSingleViewButtons(multi);
    emit LayoutChanged();
    if (!multi)
        emit PictureChanged();
    m_doc->UpdateAllViews(m_publisher);
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
    m_doc->SetPlayingFlag(1);
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
        frame = std::min<int64_t>(frame + m_paneCount, m_doc->LastPosition());
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
        if (frame >= 0 && frame != m_doc->CurrentPosition())
            Publish(frame);
        if (m_playState == PlayState::Running && m_doc->PlayingFlag() == 1 && !m_inGridStep)
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
        Publish(m_rate > 0.0 ? m_doc->LastPosition() : 0);
        return;
    }
    const int index = m_doc->CurrentIndex();
    const int count = m_paneCount;
    const int other = m_rate > 0.0 ? index + 1 : index - 1;
    // At the first or the last recording the grid stays where it ended.
    if (index < 0 || other < 0 || other >= m_doc->Count())
        return;
    m_host->OpenRecordingFromList(other);
    if (m_doc->CurrentIndex() != other)
        return;
    SetLayout(1, count, true);
    if (m_rate <= 0.0) {
        // Reverse goes on from the end of the previous clip.
        const int64_t last = m_doc->LastPosition();
        m_doc->SetCurrentPosition(last);
        m_doc->UpdateAllViews(m_publisher);
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
    const int index = m_doc->CurrentIndex();
    const bool continuous = m_host && m_host->ContinuousPlay() != 0;

    if (!continuous) {
        Publish(m_rate > 0.0 ? m_doc->LastPosition() : 0);
        return;
    }

    if (m_rate > 0.0) {
        const int next = index + 1;
        if (index >= 0 && next < m_doc->Count()) {
            m_host->OpenRecordingFromList(next);
            if (m_doc->CurrentIndex() == next)
                Play();
            else
                Pause();
        } else {
            Publish(m_doc->LastPosition());
        }
        return;
    }

    if (index <= 0) {
        m_doc->SetCurrentPosition(0);
        m_graph->SeekToFrame(0);
        TakeGraphPicture();
        m_doc->UpdateAllViews(m_publisher);
        Stop();
        return;
    }
    const int previous = index - 1;
    m_host->OpenRecordingFromList(previous);
    if (m_doc->CurrentIndex() != previous) {
        Pause();
        return;
    }
    // Reverse play goes on from the end of the previous clip.
    const int64_t last = m_doc->LastPosition();
    m_doc->SetCurrentPosition(last);
    m_graph->SeekToFrame(last);
    TakeGraphPicture();
    m_doc->UpdateAllViews(m_publisher);
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
    if (m_playState == PlayState::Running && m_doc->PlayingFlag() == 1)
        TimedStep();
}
void CPlaybackSession::OnUpdate(QObject *sender)
{
    if (m_multi) {
        // Every pane follows the position, but not a broadcast of its own.
        for (const auto &pane : m_panes)
            if (sender != pane.get())
                pane->Follow();
        if (sender != m_publisher && m_playState == PlayState::Running)
            AnchorStepping(m_doc->CurrentPosition());
        ShowPanePictures();
        return;
    }
    if (sender == m_publisher || m_graph->State() == GraphState::NoGraph)
        return;
    const GraphState saved = m_graph->State();
    m_graph->Pause();
    m_graph->SeekToTime(m_doc->CurrentPosition() * m_doc->FrameTime());
    if (saved == GraphState::Stopped)
        m_graph->Stop();
    else if (saved == GraphState::Running)
        m_graph->Run();
    // Stepping goes on from where the other view put the position.
    if (m_playState == PlayState::Running && m_doc->PlayingFlag() == 1)
        AnchorStepping(m_doc->CurrentPosition());
    TakeGraphPicture();
}
