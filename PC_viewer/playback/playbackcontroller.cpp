// The playback controller: the open recording, its sessions, the position and its notices.
#include "playback/playbackcontroller.h"

#include "catalogue/corvanadoc.h"
#include "media/mediagraph.h"
#include "playback/recordingnavigator.h"

CPlaybackController::CPlaybackController(const CCorvanaDoc *doc, QObject *parent)
    : QObject(parent), m_doc(doc), m_navigator(std::make_unique<CRecordingNavigator>(this))
{
    m_sessions.push_back(std::make_unique<CPlaybackSession>(static_cast<IPlaybackHost *>(this)));
    CPlaybackSession *main = MainSession();
    connect(main, &CPlaybackSession::Published, this, &CPlaybackController::OnPublished);
    connect(main, &CPlaybackSession::RecordingOpened, this, &CPlaybackController::OnSessionOpened);
    connect(main, &CPlaybackSession::RecordingClosed, this, &CPlaybackController::OnSessionClosed);
    connect(main, &CPlaybackSession::PlayStateChanged, this, &CPlaybackController::PlayStateChanged);
    connect(main, &CPlaybackSession::PictureChanged, this, &CPlaybackController::PicturesChanged);
    connect(main, &CPlaybackSession::PanePicturesChanged, this, &CPlaybackController::PicturesChanged);
    connect(main, &CPlaybackSession::LayoutAboutToChange, this, &CPlaybackController::LayoutAboutToChange);
    connect(main, &CPlaybackSession::LayoutChanged, this,
            [this] { emit LayoutChanged(IsMulti(), PaneCount()); });
    // Catalogue indexes mean nothing after the folder is read again.
    connect(doc, &CCorvanaDoc::CatalogueReset, &m_marks, &CExportMarks::Clear);
}

CPlaybackController::~CPlaybackController()
{
    // The sessions go first, so that none of their last notices reaches a half-destroyed controller.
    for (auto &session : m_sessions)
        disconnect(session.get(), nullptr, this, nullptr);
    m_sessions.clear();
}

CPlaybackSession *CPlaybackController::Session(int channel) const
{
    if (channel < 0 || channel >= static_cast<int>(m_sessions.size()))
        return nullptr;
    return m_sessions[static_cast<size_t>(channel)].get();
}

// --- Which recording --------------------------------------------------------------------------

bool CPlaybackController::Open(int index)
{
    return m_navigator->Open(index);
}

bool CPlaybackController::OpenAt(int index, qint64 offsetMs)
{
    return m_navigator->OpenAt(index, offsetMs);
}

bool CPlaybackController::Reopen(const QString &mediaPath, qint64 position)
{
    return m_navigator->Reopen(mediaPath, position);
}

HRESULT CPlaybackController::OpenFile(const QString &mediaPath)
{
    m_index = -1;
    m_mediaPath = mediaPath;
    return OpenCurrent();
}

void CPlaybackController::Close(bool showProgress)
{
    m_navigator->CloseCurrent(showProgress);
}

void CPlaybackController::SetCurrent(int index)
{
    m_index = index;
    m_mediaPath = index >= 0 && index < m_doc->Count() ? m_doc->MediaPathAt(index) : QString();
}

HRESULT CPlaybackController::OpenCurrent()
{
    m_lastOpen = MainSession()->Open(m_mediaPath);
    return m_lastOpen;
}

void CPlaybackController::OnSessionOpened()
{
    const CMediaGraph *graph = MainSession()->Graph();
    tagOPENEDRECORDING opened;
    opened.nIndex = m_index;
    const tagRECORDINGCLIPS clips = m_index >= 0 && m_index < m_doc->Count()
                                        ? m_doc->ClipsAt(m_index)
                                        : CCorvanaDoc::RecordingOfClip(m_mediaPath);
    for (const tagCHANNELCLIP &c : clips.channels)
        opened.channels.append({c.strName, c.strMediaPath});
    if (opened.channels.isEmpty() || opened.channels.first().strMediaPath != m_mediaPath)
        opened.channels = {{QString::fromLatin1(kChannelFront), m_mediaPath}};
    opened.llFrameCount = graph->FrameCount();
    opened.llFrameTime = graph->FrameTime();
    opened.llDuration = graph->Duration();
    m_recording = opened;
    m_position = 0;
    if (m_index >= 0 && m_index < m_doc->Count())
        m_telemetry.Rebuild(m_doc->RecordRef(m_index), m_index, opened.llFrameTime, opened.llFrameCount);
    else
        m_telemetry.Clear();
    emit RecordingOpened(m_recording);
}

void CPlaybackController::OnSessionClosed()
{
    m_recording = tagOPENEDRECORDING();
    m_telemetry.Clear();
    emit RecordingClosed();
}

// --- Position ---------------------------------------------------------------------------------

void CPlaybackController::Announce(int64_t frame, const QObject *origin)
{
    m_position = frame;
    tagPLAYPOSITION notice;
    notice.llFrame = frame;
    notice.llMediaTime = frame * FrameTime();
    int64_t time = 0;
    if (SUCCEEDED(MainSession()->CurrentTime(&time)))
        notice.llMediaTime = time;
    notice.pOrigin = origin;
    m_lastNotice = notice;
    emit PositionChanged(notice);
}

void CPlaybackController::OnPublished(qint64 frame)
{
    Announce(frame, MainSession());
}

void CPlaybackController::Seek(int64_t frame, const QObject *origin)
{
    for (const auto &session : m_sessions)
        if (origin != session.get())
            session->Follow(frame);
    Announce(frame, origin);
}

void CPlaybackController::StepFrames(int delta, const QObject *origin)
{
    const int64_t position = m_position;
    if (delta > 0 ? position >= FrameCount() : position <= 0)
        return;
    Seek(position + delta, origin);
}

// --- How it plays -----------------------------------------------------------------------------

HRESULT CPlaybackController::Play()
{
    return MainSession()->Play();
}

HRESULT CPlaybackController::PlayForward()
{
    if (GetRate() < 0.0)
        SetRate(-GetRate());
    return Play();
}

HRESULT CPlaybackController::PlayReverse()
{
    if (GetRate() > 0.0)
        SetRate(-GetRate());
    return Play();
}

HRESULT CPlaybackController::Pause()
{
    return MainSession()->Pause();
}

HRESULT CPlaybackController::Stop()
{
    return MainSession()->Stop();
}

void CPlaybackController::TogglePlay()
{
    if (IsMulti())
        return;
    const PlayState state = GetPlayState();
    if (state == PlayState::Running)
        Pause();
    else if (state == PlayState::Paused || state == PlayState::Stopped)
        Play();
}

HRESULT CPlaybackController::SeekToBeginning()
{
    return MainSession()->SeekToBeginning();
}

HRESULT CPlaybackController::SeekToEnd()
{
    return MainSession()->SeekToEnd();
}

HRESULT CPlaybackController::SetLayout(int multi, int count, bool showProgress)
{
    return MainSession()->SetLayout(multi, count, showProgress);
}

double CPlaybackController::GetRate() const
{
    return MainSession()->GetRate();
}

void CPlaybackController::SetRate(double rate)
{
    const double before = GetRate();
    for (const auto &session : m_sessions)
        session->SetRate(rate);
    if (rate != before)
        emit RateChanged(rate);
}

void CPlaybackController::SetStepClock(CStepClock *clock)
{
    for (const auto &session : m_sessions)
        session->SetStepClock(clock);
}

void CPlaybackController::SetVideoArea(const QRect &area)
{
    for (const auto &session : m_sessions) {
        session->Graph()->SetVideoWindowRect(area);
        session->Graph()->PlaceVideo();
    }
}

void CPlaybackController::ApplyVolumeLevel(double level)
{
    m_volumeLevel = level;
    // Only the main channel is heard.
    MainSession()->SetVolumeLevel(level);
}

// --- IPlaybackHost ----------------------------------------------------------------------------

bool CPlaybackController::HasNeighbour(int step) const
{
    if (m_index < 0)
        return false;
    const int other = m_index + step;
    return other >= 0 && other < m_doc->Count();
}

bool CPlaybackController::OpenNeighbour(int step)
{
    if (!HasNeighbour(step))
        return false;
    const int other = m_index + step;
    m_navigator->Open(other);
    return m_index == other;
}

void CPlaybackController::ApplyVolumeSetting()
{
    MainSession()->SetVolumeLevel(m_volumeLevel);
}
