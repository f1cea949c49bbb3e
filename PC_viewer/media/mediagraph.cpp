// The media graph: states, frame positions, events and the current picture of one pane.
#include "mediagraph.h"

#include "audiooutput.h"
#include "mediainput.h"
#include "mediaplayer.h"
#include "mediasource.h"
#include "picture.h"
#include "picturecache.h"
#include "thumbnailer.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

// What a clip opened by the engine can do: everything but run backwards in real time, which the
// play view does by stepping.
constexpr uint32_t ENGINE_SEEK_CAPS = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                                      AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetCurrentPos |
                                      AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;
// Moves up to this far count as steps of playback (the source then decodes ahead); longer ones
// are jumps of the user, which give no hint where to go next.
constexpr int64_t DIRECTION_SPAN = 128;
// Inset of the picture inside a grid pane's frame.
constexpr int VIDEO_INSET = 2;

} // namespace

// Shared between the graph and the worker finishing an asynchronous seek, so that a graph that
// went away or moved on is never touched by a late answer.
struct CMediaGraph::AsyncSeek {
    std::mutex mutex;
    CMediaGraph *pGraph = nullptr;
    uint64_t llEpoch = 0;       // bumped when answers must be dropped (seek, stop, release)
    uint64_t llSerial = 0;      // of the latest request
    uint64_t llShownSerial = 0; // of the latest answer shown
    int64_t llPendingFrame = -1;
};

CMediaGraph::CMediaGraph(QObject *pVideoWindow)
    : QObject(pVideoWindow), m_pVideoWindow(pVideoWindow), m_pAsyncSeek(std::make_shared<AsyncSeek>())
{
    m_pAsyncSeek->pGraph = this;
}

CMediaGraph::~CMediaGraph()
{
    ReleaseGraph();
    std::lock_guard<std::mutex> lock(m_pAsyncSeek->mutex);
    m_pAsyncSeek->pGraph = nullptr;
}

HRESULT CMediaGraph::SetEventTarget(QObject *pTarget)
{
    m_pEventTarget = pTarget;
    return S_OK;
}

QRect CMediaGraph::InsetRect(const QRect &rc) const
{
    return m_bInsetVideo ? rc.adjusted(VIDEO_INSET, VIDEO_INSET, -VIDEO_INSET, -VIDEO_INSET) : rc;
}

HRESULT CMediaGraph::OpenMedia(const QString &strPath)
{
    if (strPath.isEmpty())
        return E_UNEXPECTED;
    ReleaseGraph();
    m_pActiveEventTarget = m_pEventTarget;

    std::shared_ptr<CMediaSource> pSource;
    HRESULT hr = CMediaSource::Acquire(strPath, &pSource);
    if (FAILED(hr)) {
        ReleaseGraph();
        return hr;
    }
    m_pSource = pSource;
    m_strPath = strPath;
    m_dwSeekCaps = ENGINE_SEEK_CAPS;
    m_bHasVideo = true;
    m_szVideo = pSource->VideoSize();
    m_llDuration = pSource->Duration();
    m_llFrameCount = pSource->FrameCount();
    m_llFrameTime = pSource->FrameTime();
    SetVideoRect(InsetRect(m_rcWindow));
    if (pSource->HasAudioStream()) {
        m_pAudio = CAudioOutput::Create();
        m_nHasAudio = m_pAudio ? 1 : 0;
    }
    // Stopped at its start, showing the first picture.
    hr = ShowFrame(0, 0);
    if (FAILED(hr)) {
        ReleaseGraph();
        return hr;
    }
    ApplyVolume();
    m_state = GraphState::Stopped;
    return S_OK;
}

void CMediaGraph::StopPlayer()
{
    if (!m_pPlayer)
        return;
    m_pPlayer->Stop();
    m_pPlayer.reset();
    // The end of a run that is over is no news: a completion it posted but nobody has fetched
    // yet would otherwise end the next run (or a stepped play) the moment it is fetched.
    QMutexLocker lock(&m_mutex);
    m_events.erase(std::remove_if(m_events.begin(), m_events.end(),
                                  [](const GraphEvent &e) { return e.lCode == EC_COMPLETE; }),
                   m_events.end());
}

void CMediaGraph::CancelAsyncSeek()
{
    {
        std::lock_guard<std::mutex> lock(m_pAsyncSeek->mutex);
        ++m_pAsyncSeek->llEpoch;
        m_pAsyncSeek->llPendingFrame = -1;
    }
    if (m_pSource)
        m_pSource->CancelRequests(this);
}

HRESULT CMediaGraph::ReleaseGraph()
{
    StopPlayer();
    CancelAsyncSeek();
    m_pSource.reset();
    m_pAudio.reset();
    m_pActiveEventTarget = nullptr;
    m_state = GraphState::NoGraph;
    m_dwSeekCaps = 0;
    m_nHasAudio = 0;
    m_bHasVideo = false;
    m_szVideo = QSize();
    m_strPath.clear();
    QMutexLocker lock(&m_mutex);
    m_pPicture.reset();
    m_image = QImage();
    m_llPictureFrame = -1;
    m_llPosition = 0;
    m_events.clear();
    m_bSignalPending = false;
    m_bRepaintQueued = false;
    return S_OK;
}

HRESULT CMediaGraph::Run()
{
    if (m_state != GraphState::Paused && m_state != GraphState::Stopped)
        return VFW_E_WRONG_STATE;
    CancelAsyncSeek();
    int64_t llStart = 0;
    {
        QMutexLocker lock(&m_mutex);
        llStart = m_llPictureFrame >= 0 ? m_llPictureFrame : m_llPosition / m_llFrameTime;
        // At the end position the run ends at once with EC_COMPLETE.
        if (m_llPosition >= m_llFrameCount * m_llFrameTime)
            llStart = m_llFrameCount - 1;
    }
    m_pPlayer =
        std::make_unique<CMediaPlayer>(this, m_pSource, llStart, m_nHasAudio ? m_pAudio.get() : nullptr,
                                       CAudioOutput::GainOfVolume(m_lVolume));
    m_pPlayer->Start();
    m_state = GraphState::Running;
    return S_OK;
}

HRESULT CMediaGraph::Pause()
{
    if (m_state == GraphState::NoGraph)
        return VFW_E_WRONG_STATE;
    StopPlayer();
    m_state = GraphState::Paused;
    return S_OK;
}

HRESULT CMediaGraph::Stop()
{
    if (m_state != GraphState::Running && m_state != GraphState::Paused)
        return VFW_E_WRONG_STATE;
    StopPlayer();
    CancelAsyncSeek();
    m_state = GraphState::Stopped;
    return S_OK;
}

HRESULT CMediaGraph::SetPlaybackRate(double dRate)
{
    if (m_state == GraphState::NoGraph)
        return E_UNEXPECTED;
    if (!std::isfinite(dRate) || dRate == 0.0)
        return E_INVALIDARG;
    m_dRate = dRate;
    return S_OK;
}

HRESULT CMediaGraph::SetAudioVolume(long lVolume)
{
    m_lVolume = lVolume;
    return ApplyVolume();
}

HRESULT CMediaGraph::ApplyVolume()
{
    if (m_nHasAudio != 1 || !m_pAudio)
        return S_OK;
    const double dGain = CAudioOutput::GainOfVolume(m_lVolume);
    if (m_pPlayer)
        m_pPlayer->SetGain(dGain);
    else
        m_pAudio->SetVolume(dGain);
    return S_OK;
}

HRESULT CMediaGraph::CurrentTime(int64_t *pTime) const
{
    if (!pTime)
        return E_POINTER;
    if (m_state == GraphState::NoGraph)
        return E_UNEXPECTED;
    QMutexLocker lock(&m_mutex);
    *pTime = m_llPosition;
    return S_OK;
}

HRESULT CMediaGraph::CurrentFrame(int64_t *pFrame) const
{
    if (!pFrame)
        return E_POINTER;
    if (m_state == GraphState::NoGraph)
        return E_UNEXPECTED;
    QMutexLocker lock(&m_mutex);
    *pFrame = m_llPosition / m_llFrameTime;
    return S_OK;
}

void CMediaGraph::SetCurrentPicture(const std::shared_ptr<CPicture> &pPicture, int64_t llFrame,
                                    int64_t llTime)
{
    bool bChanged = false;
    {
        QMutexLocker lock(&m_mutex);
        if (pPicture && pPicture != m_pPicture) {
            m_pPicture = pPicture;
            m_image = QImage();
            bChanged = true;
        }
        if (pPicture)
            m_llPictureFrame = llFrame;
        m_llPosition = llTime;
    }
    // Whoever changed the picture (a seek, a step served from the cache, the player, a worker),
    // the owner repaints: the picture on screen is never older than the one the graph reports.
    if (bChanged)
        PostGraphEvent(EC_OLE_EVENT);
}

HRESULT CMediaGraph::ShowFrame(int64_t llFrame, int64_t llPosition)
{
    if (!m_pSource)
        return E_UNEXPECTED;
    const int64_t llPicture = std::clamp<int64_t>(llFrame, 0, m_llFrameCount - 1);
    int64_t llPrevious = -1;
    {
        QMutexLocker lock(&m_mutex);
        llPrevious = m_llPictureFrame;
    }
    std::shared_ptr<CPicture> pPicture;
    const HRESULT hr = m_pSource->GetPicture(llPicture, MEDIA_SEEK_TIME_LIMIT, &pPicture);
    if (FAILED(hr))
        return hr;
    SetCurrentPicture(pPicture, llPicture, llPosition);
    if (llPrevious >= 0 && std::llabs(llPicture - llPrevious) <= DIRECTION_SPAN)
        m_pSource->HintStep(llPicture, llPicture - llPrevious, m_pSource.use_count() == 1);
    return S_OK;
}

HRESULT CMediaGraph::SeekToTime(int64_t llTime)
{
    if (m_state == GraphState::NoGraph || !m_pSource)
        return E_UNEXPECTED;
    if (llTime < 0)
        return E_INVALIDARG;
    CancelAsyncSeek();
    const int64_t llPosition = std::min(llTime, m_llDuration);
    const bool bWasRunning = m_state == GraphState::Running;
    StopPlayer();
    const HRESULT hr = ShowFrame(llPosition / m_llFrameTime, llPosition);
    if (bWasRunning) {
        m_state = GraphState::Paused;
        Run();
    }
    return hr;
}

HRESULT CMediaGraph::SeekToFrame(int64_t llFrame)
{
    if (m_state == GraphState::NoGraph)
        return VFW_E_WRONG_STATE;
    HRESULT hr = E_UNEXPECTED;
    if (m_state != GraphState::Paused)
        hr = Pause();
    if (!m_pSource)
        return hr;
    CancelAsyncSeek();
    if (llFrame >= 0) {
        // Past the end means the end: the last picture stays, the position is the frame count.
        const int64_t llTarget = std::min(llFrame, m_llFrameCount);
        hr = ShowFrame(llTarget, llTarget * m_llFrameTime);
    }
    return hr;
}

HRESULT CMediaGraph::SeekToFrameAsync(int64_t llFrame)
{
    if (m_state == GraphState::NoGraph)
        return VFW_E_WRONG_STATE;
    if (m_state != GraphState::Paused) {
        const HRESULT hr = Pause();
        if (FAILED(hr))
            return hr;
    }
    if (!m_pSource)
        return E_UNEXPECTED;
    if (llFrame < 0)
        return S_FALSE;
    const int64_t llTarget = std::min(llFrame, m_llFrameCount);
    const int64_t llPicture = std::min(llTarget, m_llFrameCount - 1);
    int64_t llPrevious = -1;
    {
        QMutexLocker lock(&m_mutex);
        llPrevious = m_llPictureFrame;
    }
    if (llPrevious >= 0 && std::llabs(llPicture - llPrevious) <= DIRECTION_SPAN)
        m_pSource->HintStep(llPicture, llPicture - llPrevious, m_pSource.use_count() == 1);
    if (auto pPicture = m_pSource->CachedPicture(llPicture)) {
        CancelAsyncSeek();
        SetCurrentPicture(pPicture, llPicture, llTarget * m_llFrameTime);
        return S_FALSE;
    }
    uint64_t llSerial = 0, llEpoch = 0;
    {
        std::lock_guard<std::mutex> lock(m_pAsyncSeek->mutex);
        llSerial = ++m_pAsyncSeek->llSerial;
        llEpoch = m_pAsyncSeek->llEpoch;
        m_pAsyncSeek->llPendingFrame = llTarget;
    }
    const int64_t llFrameTime = m_llFrameTime;
    const QSize shown = ShownSize();
    std::weak_ptr<AsyncSeek> pWeak = m_pAsyncSeek;
    m_pSource->RequestPicture(
        this, llPicture,
        [pWeak, llSerial, llEpoch, llTarget, llFrameTime, shown](HRESULT hr, std::shared_ptr<CPicture> pPicture,
                                                                 int64_t llGot) {
            const std::shared_ptr<AsyncSeek> pSeek = pWeak.lock();
            if (!pSeek)
                return;
            // The picture to paint is made here, on the worker, while the UI thread paints the
            // others.
            if (SUCCEEDED(hr) && pPicture)
                (void)pPicture->ShownImage(shown);
            std::lock_guard<std::mutex> lock(pSeek->mutex);
            // An answer to a request since replaced is still an exact picture, newer than the one
            // shown: it is shown (so that stepping faster than decoding still moves). Only a seek
            // or stop in between, or a newer answer already shown, drops it.
            if (!pSeek->pGraph || pSeek->llEpoch != llEpoch || llSerial <= pSeek->llShownSerial)
                return;
            pSeek->llShownSerial = llSerial;
            if (pSeek->llSerial == llSerial)
                pSeek->llPendingFrame = -1;
            if (FAILED(hr) || !pPicture) {
                pSeek->pGraph->PostGraphEvent(EC_USERABORT, hr, 0);
                return;
            }
            (void)llGot;
            pSeek->pGraph->SetCurrentPicture(pPicture, std::min(llTarget, llGot), llTarget * llFrameTime);
        });
    return S_OK;
}

bool CMediaGraph::IsSeekPending() const
{
    std::lock_guard<std::mutex> lock(m_pAsyncSeek->mutex);
    return m_pAsyncSeek->llPendingFrame >= 0;
}

HRESULT CMediaGraph::PlaceVideo(QRect *pRect)
{
    if (!m_bHasVideo)
        return E_ACCESSDENIED;
    if (pRect) {
        *pRect = InsetRect(*pRect);
        SetVideoRect(*pRect);
    } else {
        SetVideoRect(InsetRect(m_rcWindow));
    }
    return S_OK;
}

void CMediaGraph::SetVideoRect(const QRect &rc)
{
    m_rcVideo = rc;
    {
        QMutexLocker lock(&m_mutex);
        m_szShown = rc.size();
    }
    if (m_pSource)
        m_pSource->SetShownSize(rc.size());
}

QSize CMediaGraph::ShownSize() const
{
    QMutexLocker lock(&m_mutex);
    return m_szShown;
}

HRESULT CMediaGraph::PaintVideo(QPainter *pPainter)
{
    if (!pPainter)
        return E_POINTER;
    if (!m_bHasVideo)
        return S_OK;
    QImage image;
    if (FAILED(GetShownImage(&image)) || m_rcVideo.isEmpty())
        return S_OK;
    // Stretched, not letter-boxed: the pane decides the shape.
    pPainter->drawImage(m_rcVideo, image);
    return S_OK;
}

QImage CMediaGraph::NativeImageOf(const std::shared_ptr<CPicture> &pPicture, int64_t llFrame) const
{
    QImage image = pPicture->Image();
    if (!image.isNull() || pPicture->HasFrame() || !m_pSource || llFrame < 0)
        return image;
    // The cache kept only the picture's shown image: decoded again, exactly.
    std::shared_ptr<CPicture> pWhole;
    if (FAILED(m_pSource->GetPicture(llFrame, MEDIA_SEEK_TIME_LIMIT, &pWhole, true)) || !pWhole)
        return QImage();
    return pWhole->Image();
}

QImage CMediaGraph::CurrentImage() const
{
    QImage image;
    return SUCCEEDED(GetCurrentImage(&image)) ? image : QImage();
}

HRESULT CMediaGraph::GetCurrentImage(QImage *pImage, int64_t *pFrame, int64_t *pPositionFrame) const
{
    return GetImage(false, pImage, pFrame, pPositionFrame);
}

HRESULT CMediaGraph::GetShownImage(QImage *pImage, int64_t *pFrame, int64_t *pPositionFrame) const
{
    return GetImage(true, pImage, pFrame, pPositionFrame);
}

HRESULT CMediaGraph::GetImage(bool bShown, QImage *pImage, int64_t *pFrame, int64_t *pPositionFrame) const
{
    if (!pImage)
        return E_POINTER;
    if (!m_bHasVideo)
        return E_ACCESSDENIED;
    std::shared_ptr<CPicture> pPicture;
    int64_t llFrame = -1;
    int64_t llPosition = 0;
    QImage native;
    QSize shown;
    {
        // Picture, frame number and image taken together: a running player may move on.
        QMutexLocker lock(&m_mutex);
        pPicture = m_pPicture;
        llFrame = m_llPictureFrame;
        llPosition = m_llFrameTime > 0 ? m_llPosition / m_llFrameTime : 0;
        native = m_image;
        shown = m_szShown;
    }
    if (!pPicture)
        return E_UNEXPECTED;
    QImage image;
    if (bShown) {
        // Right after a resize the picture may come at the size it had (painted stretched).
        image = pPicture->ShownImage(shown);
        if (image.isNull())
            image = pPicture->AnyShownImage();
    } else {
        image = native;
    }
    if (image.isNull()) {
        // The cache may drop the picture's native image under memory pressure; the one shown
        // stays here.
        image = NativeImageOf(pPicture, llFrame);
        QMutexLocker lock(&m_mutex);
        if (pPicture == m_pPicture)
            m_image = image;
    }
    *pImage = image;
    if (pImage->isNull())
        return E_OUTOFMEMORY;
    if (pFrame)
        *pFrame = llFrame;
    if (pPositionFrame)
        *pPositionFrame = llPosition;
    return S_OK;
}

QImage CMediaGraph::FrameImage(int64_t llFrame) const
{
    if (!m_pSource || llFrame < 0 || llFrame >= m_llFrameCount)
        return QImage();
    {
        QMutexLocker lock(&m_mutex);
        if (llFrame == m_llPictureFrame && !m_image.isNull())
            return m_image;
    }
    std::shared_ptr<CPicture> pPicture;
    if (FAILED(m_pSource->GetPicture(llFrame, MEDIA_SEEK_TIME_LIMIT, &pPicture, false)) || !pPicture)
        return QImage();
    return NativeImageOf(pPicture, llFrame);
}

QImage CMediaGraph::FrameRegionImage(int64_t llFrame, const QRect &region, const QSize &size) const
{
    if (!m_pSource || llFrame < 0 || llFrame >= m_llFrameCount)
        return QImage();
    std::shared_ptr<CPicture> pPicture;
    {
        // The picture on show is at hand: the source is not asked (its decoder may hold it).
        QMutexLocker lock(&m_mutex);
        if (llFrame == m_llPictureFrame)
            pPicture = m_pPicture;
    }
    if (pPicture || (SUCCEEDED(m_pSource->GetPicture(llFrame, MEDIA_SEEK_TIME_LIMIT, &pPicture, false)) && pPicture)) {
        const QImage image = pPicture->RegionImage(region, size);
        if (!image.isNull())
            return image;
    }
    const QImage native = FrameImage(llFrame);
    return native.isNull() ? native : native.copy(region).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void CMediaGraph::PostGraphEvent(long lCode, intptr_t lParam1, intptr_t lParam2)
{
    bool bSignal = false;
    {
        QMutexLocker lock(&m_mutex);
        if (lCode == EC_OLE_EVENT) {
            if (m_bRepaintQueued)
                return;
            m_bRepaintQueued = true;
        }
        m_events.push_back({lCode, lParam1, lParam2});
        if (!m_bSignalPending && m_pActiveEventTarget) {
            m_bSignalPending = true;
            bSignal = true;
        }
    }
    // Always queued, from any thread: the owner handles events on its own thread, later.
    if (bSignal)
        QMetaObject::invokeMethod(
            this, [this] { emit MediaEvent(); }, Qt::QueuedConnection);
}

HRESULT CMediaGraph::DispatchGraphEvents(GraphEventCallback *pCallback)
{
    if (!pCallback)
        return E_POINTER;
    if (m_state == GraphState::NoGraph)
        return E_UNEXPECTED;
    for (;;) {
        GraphEvent event{};
        {
            QMutexLocker lock(&m_mutex);
            if (m_events.empty()) {
                m_bSignalPending = false;
                break;
            }
            event = m_events.front();
            m_events.pop_front();
            if (event.lCode == EC_OLE_EVENT)
                m_bRepaintQueued = false;
        }
        pCallback->NotifyGraphEvent(event.lCode, event.lParam1, event.lParam2);
        // The callback may have released the graph (a clip closed on its end).
        if (m_state == GraphState::NoGraph)
            break;
    }
    return S_OK;
}

HRESULT CMediaGraph::GetThumbnail(const QString &strPath, const QSize &size, QImage *pImage)
{
    return CThumbnailer::Get(strPath, size, pImage);
}

void CMediaGraph::SetPictureCacheLimit(int64_t llBytes)
{
    CPictureCache::Instance().SetLimit(llBytes);
}

int64_t CMediaGraph::PictureCacheLimit()
{
    return CPictureCache::Instance().Limit();
}
