// The playback controller: the open recording, its sessions, the position and its notices.
#include "playback/playbackcontroller.h"

#include "base/frametime.h"
#include "catalogue/channeloffsets.h"
#include "catalogue/corvanadoc.h"
#include "media/mediagraph.h"
#include "playback/recordingnavigator.h"

#include <algorithm>

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
    connect(main, &CPlaybackSession::LayoutChanged, this, [this] {
        PlaceChannels();
        emit LayoutChanged(IsMulti(), PaneCount());
    });
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
        opened.channels.append({c.strName, c.strMediaPath, c.nOffsetFrames});
    if (opened.channels.isEmpty() || opened.channels.first().strMediaPath != m_mediaPath)
        opened.channels = {{QString::fromLatin1(kChannelFront), m_mediaPath}};
    opened.llFrameCount = graph->FrameCount();
    opened.llFrameTime = graph->FrameTime();
    opened.llDuration = graph->Duration();
    m_recording = opened;
    m_position = 0;
    OpenOtherChannels();
    if (m_index >= 0 && m_index < m_doc->Count())
        m_telemetry.Rebuild(m_doc->RecordRef(m_index), m_index, opened.llFrameTime, opened.llFrameCount);
    else
        m_telemetry.Clear();
    emit RecordingOpened(m_recording);
}

void CPlaybackController::OnSessionClosed()
{
    CloseOtherChannels();
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
    FollowOtherChannels(frame);
    Announce(frame, MainSession());
}

void CPlaybackController::Seek(int64_t frame, const QObject *origin)
{
    if (origin != MainSession())
        MainSession()->Follow(frame);
    FollowOtherChannels(frame);
    Announce(frame, origin);
}

// --- The other channels -----------------------------------------------------------------------

void CPlaybackController::OpenOtherChannels()
{
    CloseOtherChannels();
    m_lead = 0;
    m_channelShown.assign(1, true);
    for (int i = 1; i < m_recording.channels.size(); ++i) {
        // No host: the main channel alone decides continuous play; the others are not heard.
        auto session = std::make_unique<CPlaybackSession>(nullptr);
        session->SetStepClock(m_clock);
        session->SetVolumeLevel(0.0);
        connect(session.get(), &CPlaybackSession::PictureChanged, this, &CPlaybackController::PicturesChanged);
        // A channel that does not open shows no picture; the recording plays on.
        const bool opened = SUCCEEDED(session->Open(m_recording.channels[i].strMediaPath));
        m_sessions.push_back(std::move(session));
        m_channelShown.push_back(opened);
    }
    PlaceChannels();
}

void CPlaybackController::CloseOtherChannels()
{
    while (m_sessions.size() > 1) {
        disconnect(m_sessions.back().get(), nullptr, this, nullptr);
        m_sessions.pop_back();
    }
    m_channelShown.assign(1, true);
}

int64_t CPlaybackController::ChannelFrameAt(int channel, int64_t frame) const
{
    if (channel == 0)
        return frame;
    const CPlaybackSession *session = Session(channel);
    if (!session)
        return -1;
    return ChannelFrameOfMoment(frame, Duration(), FrameCount(), session->Graph()->Duration(),
                                session->Graph()->FrameCount(), ChannelOffset(channel));
}

void CPlaybackController::FollowOtherChannels(int64_t frame)
{
    for (int i = 1; i < static_cast<int>(m_sessions.size()); ++i) {
        CPlaybackSession *session = m_sessions[static_cast<size_t>(i)].get();
        if (session->GetPlayState() == PlayState::Empty)
            continue;
        const int64_t other = ChannelFrameAt(i, frame);
        const bool shown = other >= 0;
        const bool changed = shown != m_channelShown[static_cast<size_t>(i)];
        m_channelShown[static_cast<size_t>(i)] = shown;
        if (shown && other != session->Position())
            session->Follow(other);
        else if (changed)
            emit PicturesChanged();
    }
}

QImage CPlaybackController::ChannelImage(int channel) const
{
    const CPlaybackSession *session = Session(channel);
    if (!session || (channel > 0 && !m_channelShown[static_cast<size_t>(channel)]))
        return QImage();
    return session->ShownImage();
}

int64_t CPlaybackController::ChannelFrame(int channel) const
{
    const CPlaybackSession *session = Session(channel);
    if (!session || (channel > 0 && !m_channelShown[static_cast<size_t>(channel)]) || session->ShownImage().isNull())
        return -1;
    return session->ShownFrame();
}

QRect CPlaybackController::ChannelRect(int channel) const
{
    // The grid of the main channel's frames takes the whole area.
    if (IsMulti())
        return channel == 0 ? m_area : QRect();
    const QVector<QRect> rects = ChannelRects(m_channelLayout, m_pipCorner, m_area, Channels());
    // The lead channel first, the others in their order after it.
    if (channel < 0 || channel >= Channels())
        return QRect();
    return rects.value(channel == m_lead ? 0 : (channel < m_lead ? channel + 1 : channel));
}

int CPlaybackController::ChannelAt(const QPoint &point) const
{
    if (IsMulti())
        return -1;
    for (int place = Channels() - 1; place >= 0; --place) {
        const int channel = place == 0 ? m_lead : (place <= m_lead ? place - 1 : place);
        if (ChannelRect(channel).contains(point))
            return channel;
    }
    return -1;
}

void CPlaybackController::SetLeadChannel(int channel)
{
    if (channel < 0 || channel >= Channels() || channel == m_lead)
        return;
    m_lead = channel;
    PlaceChannels();
    emit PicturesChanged();
}

void CPlaybackController::SetMirrorRear(bool on)
{
    if (on == m_bMirrorRear)
        return;
    m_bMirrorRear = on;
    emit PicturesChanged();
}

void CPlaybackController::SetChannelOffset(int channel, int frames)
{
    if (channel <= 0 || channel >= m_recording.channels.size())
        return;
    frames = std::clamp(frames, -kMaxChannelOffsetFrames, kMaxChannelOffsetFrames);
    tagPLAYCHANNEL &c = m_recording.channels[channel];
    if (c.nOffsetFrames == frames)
        return;
    c.nOffsetFrames = frames;
    // At the end the last picture is on show.
    FollowOtherChannels(std::min<int64_t>(m_position, std::max<int64_t>(0, FrameCount() - 1)));
    emit ChannelOffsetChanged(c.strName, frames);
    emit PicturesChanged();
}

int CPlaybackController::ChannelOffset(int channel) const
{
    return channel > 0 && channel < m_recording.channels.size() ? m_recording.channels.at(channel).nOffsetFrames : 0;
}

bool CPlaybackController::ChannelMirrored(int channel) const
{
    return m_bMirrorRear && channel >= 0 && channel < m_recording.channels.size() &&
           m_recording.channels.at(channel).strName == QLatin1String("rear");
}

void CPlaybackController::SetChannelLayout(ChannelLayout layout, PipCorner corner)
{
    if (layout == m_channelLayout && corner == m_pipCorner)
        return;
    m_channelLayout = layout;
    m_pipCorner = corner;
    PlaceChannels();
    emit ChannelLayoutChanged(layout, corner);
}

void CPlaybackController::PlaceChannels()
{
    for (int i = 0; i < static_cast<int>(m_sessions.size()); ++i) {
        CMediaGraph *graph = m_sessions[static_cast<size_t>(i)]->Graph();
        graph->SetVideoWindowRect(ChannelRect(i));
        graph->PlaceVideo();
    }
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
    m_clock = clock;
    for (const auto &session : m_sessions)
        session->SetStepClock(clock);
}

void CPlaybackController::SetVideoArea(const QRect &area)
{
    m_area = area;
    PlaceChannels();
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

void CPlaybackController::SetPictureView(const tagPICTUREVIEW &view)
{
    if (view == m_pictureView)
        return;
    m_pictureView = view;
    emit PictureViewChanged(m_pictureView);
}
