// Playback of the current recording: the step clock, rates, end of clip and continuous play, and
// position publishing.
#include "playback/playbacksession.h"

#include "catalogue/corvanadoc.h"
#include "playback/mediagraph.h"
#include "playback/playcontroltarget.h"

#include <algorithm>
#include <cmath>

CPlaybackSession::CPlaybackSession(CCorvanaDoc *doc, IPlaybackHost *host, QObject *publisher, QObject *parent)
    : QObject(parent), m_doc(doc), m_host(host), m_publisher(publisher ? publisher : this)
{
    m_graph = new CMediaGraph(this);
    m_graph->SetEventTarget(this);
    connect(m_graph, &CMediaGraph::MediaEvent, this, &CPlaybackSession::OnMediaEvent);

    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CPlaybackSession::OnTimer);
    connect(m_doc, &CCorvanaDoc::ViewsUpdated, this, &CPlaybackSession::OnUpdate);
}

CPlaybackSession::~CPlaybackSession()
{
    m_timer.stop();
    // Released first, so that no late picture or event reaches a half-destroyed session.
    m_graph->ReleaseGraph();
}

void CPlaybackSession::StartTimer()
{
    m_timer.start(m_timerPeriodMs);
    m_timerRunning = 1;
}
void CPlaybackSession::KillTimer()
{
    m_timer.stop();
    m_timerRunning = 0;
}
void CPlaybackSession::Publish(int64_t frame)
{
    m_doc->SetCurrentPosition(frame);
    m_doc->UpdateAllViews(m_publisher, 0);
}
void CPlaybackSession::TakeGraphPicture(int64_t *positionFrame)
{
    QImage image;
    int64_t frame = -1;
    int64_t position = 0;
    if (FAILED(m_graph->GetCurrentImage(&image, &frame, &position))) {
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
    m_stepClock.start();
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
    m_doc->UpdateAllViews(m_publisher, 0);
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
}
HRESULT CPlaybackSession::Play()
{
    // A pane without a clip has nothing to run; refuse before touching the timer or the state.
    if (m_graph->State() == GraphState::NoGraph)
        return VFW_E_WRONG_STATE;

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

    // The frame the rate has reached: one step at once, then one per frame time of wall clock.
    const int64_t frameTime = std::max<int64_t>(1, m_graph->FrameTime());
    const int64_t elapsed100ns = m_stepClock.isValid() ? m_stepClock.nsecsElapsed() / 100 : 0;
    const int64_t steps = elapsed100ns / frameTime + 1;
    double targetF = static_cast<double>(m_stepAnchor) + m_rate * static_cast<double>(steps);
    if (targetF < 0.0)
        targetF = 0.0;
    const int64_t target = static_cast<int64_t>(targetF);
    const int64_t last = m_doc->LastPosition();

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
    m_doc->UpdateAllViews(m_publisher, 0);
    m_playState = PlayState::Paused;
    EndOfClip();
    return hr;
}
HRESULT CPlaybackSession::Pause()
{
    KillTimer();
    m_doc->SetPlayingFlag(0);
    const HRESULT hr = m_graph->Pause();
    if (SUCCEEDED(hr))
        m_playState = PlayState::Paused;
    return hr;
}
HRESULT CPlaybackSession::Stop()
{
    m_doc->SetPlayingFlag(0);
    KillTimer();
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
    HRESULT hr = m_graph->SeekToFrame(0);
    TakeGraphPicture();
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
    HRESULT hr = m_graph->SeekToFrame(n);
    TakeGraphPicture();
    if (SUCCEEDED(hr)) {
        Pause();
        Publish(n);
    }
    return hr;
}
HRESULT CPlaybackSession::SetLayout(int multi, int count, bool showProgress)
{
    (void)showProgress; // only a grid takes long enough to show progress
    if (multi != 0 || count != 1)
        return E_UNEXPECTED;
    m_multi = 0;
    m_paneCount = 1;
    if (m_graph->State() != GraphState::NoGraph)
        Pause();
    if (m_host)
        m_host->EnableSingleViewButtons(0);
    emit PictureChanged();
    return S_OK;
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
        m_doc->UpdateAllViews(m_publisher, 0);
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
    m_doc->UpdateAllViews(m_publisher, 0);
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
        // the other views are told at once which frame it is.
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
    PublishShownFrame();
    if (m_playState == PlayState::Running && m_doc->PlayingFlag() == 1)
        TimedStep();
}
void CPlaybackSession::OnUpdate(QObject *sender, qint64 hint)
{
    (void)hint;
    if (sender == m_publisher || m_multi || m_graph->State() == GraphState::NoGraph)
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
