// Shared clips: frame table, decoder pool, decoding ahead and behind.
#include "mediasource.h"

#include "framedecoder.h"
#include "mediainput.h"
#include "picture.h"
#include "picturecache.h"

#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <map>

namespace {

// Decoders kept per clip: the play view, a grid scrolling elsewhere and the workers.
constexpr int MAX_DECODERS = 4;
// All-key clips (MJPEG) are decoded ahead in blocks of this many pictures.
constexpr int64_t CHUNK_PICTURES = 8;
// Forward decoding runs this many chunks ahead of the picture shown.
constexpr int64_t CHUNKS_AHEAD = 2;

std::atomic<int> g_nDecoderThreads{2};
std::atomic<int> g_nWorkers{2};
std::atomic<uint64_t> g_llNextId{1};

struct RegistryEntry {
    std::weak_ptr<CMediaSource> pSource;
    qint64 llSize;
    QDateTime modified;
};

std::mutex &RegistryMutex()
{
    static std::mutex s_mutex;
    return s_mutex;
}

std::map<QString, RegistryEntry> &Registry()
{
    static std::map<QString, RegistryEntry> s_registry;
    return s_registry;
}

} // namespace

void CMediaSource::SetDecoderThreads(int nThreads)
{
    g_nDecoderThreads.store(std::max(0, nThreads));
}
void CMediaSource::SetWorkerCount(int nWorkers)
{
    g_nWorkers.store(std::clamp(nWorkers, 0, 4));
}

HRESULT CMediaSource::Acquire(const QString &strPath, std::shared_ptr<CMediaSource> *ppSource)
{
    *ppSource = nullptr;
    if (strPath.isEmpty())
        return E_UNEXPECTED;
    const QFileInfo info(strPath);
    const QString strKey = info.absoluteFilePath();
    std::lock_guard<std::mutex> lock(RegistryMutex());
    auto &registry = Registry();
    const auto it = registry.find(strKey);
    if (it != registry.end()) {
        std::shared_ptr<CMediaSource> pShared = it->second.pSource.lock();
        if (pShared && it->second.llSize == info.size() && it->second.modified == info.lastModified()) {
            *ppSource = std::move(pShared);
            return S_OK;
        }
        registry.erase(it);
    }
    std::shared_ptr<CMediaSource> pSource(new CMediaSource);
    const HRESULT hr = pSource->Open(strPath);
    if (FAILED(hr))
        return hr;
    registry[strKey] = RegistryEntry{pSource, info.size(), info.lastModified()};
    *ppSource = std::move(pSource);
    return S_OK;
}

HRESULT CMediaSource::Open(const QString &strPath)
{
    m_llId = g_llNextId.fetch_add(1);
    m_strPath = strPath;
    CMediaInput input;
    HRESULT hr = input.Open(strPath, MEDIA_OPEN_TIME_LIMIT);
    if (FAILED(hr))
        return hr;
    const AVCodecParameters *pPar = input.VideoStream()->codecpar;
    m_orientation = input.VideoOrientation();
    m_szVideo = OrientedSize(QSize(pPar->width, pPar->height), m_orientation);
    // A decoder that uses every core itself (frame threads) gains nothing from a second one
    // working beside it; one without (MJPEG) gains from two workers on different pictures.
    const AVCodec *pDecoder = avcodec_find_decoder(pPar->codec_id);
    m_nRangeWorkers = pDecoder && (pDecoder->capabilities & AV_CODEC_CAP_FRAME_THREADS) ? 1 : 2;
    m_bHasAudioStream = input.AudioIndex() >= 0;
    auto pTable = std::make_shared<CFrameTable>();
    hr = pTable->Build(input, strPath);
    if (FAILED(hr))
        return hr;
    m_pTable = std::move(pTable);

    // Something must decode: the first picture proves it, and is the one shown first anyway.
    std::shared_ptr<CPicture> pFirst;
    hr = GetPicture(0, MEDIA_SEEK_TIME_LIMIT, &pFirst);
    if (FAILED(hr))
        return hr == VFW_E_TIMEOUT ? hr : VFW_E_CANNOT_RENDER;
    // The decoder's size wins over the header's (turned for display, as the picture is).
    m_szVideo = QSize(pFirst->Width(), pFirst->Height());
    return S_OK;
}

CMediaSource::~CMediaSource()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
        m_jobs.clear();
        m_requests.clear();
        for (CFrameDecoder *pDecoder : m_busy)
            pDecoder->Abort();
    }
    m_cvJobs.notify_all();
    m_cvPictures.notify_all();
    for (std::thread &worker : m_workers)
        worker.join();
    if (m_requestWorker.joinable())
        m_requestWorker.join();
    CPictureCache::Instance().RemoveSource(m_llId);
}

std::shared_ptr<CPicture> CMediaSource::CachedPicture(int64_t llFrame) const
{
    return CPictureCache::Instance().Find(m_llId, llFrame);
}

int64_t CMediaSource::DecodedCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int64_t llCount = m_llRetiredDecoded;
    for (const auto &pDecoder : m_idle)
        llCount += pDecoder->DecodedCount();
    for (const CFrameDecoder *pDecoder : m_busy)
        llCount += pDecoder->DecodedCount();
    return llCount;
}

bool CMediaSource::WaitWorthwhileLocked(int64_t llFrame) const
{
    // Waiting costs the pictures a flight still has to go, and those of the ranges queued to go
    // on from where it ends (the worker takes them next, with the same decoder); decoding here
    // at least the pictures from the key frame, on a second decoder racing the first for the
    // cores and then decoding the same pictures again.
    const int64_t llOwn = llFrame - m_pTable->GroupStart(llFrame) + 2;
    for (const Flight *pFlight : m_flights) {
        if (llFrame < pFlight->llNext)
            continue;
        int64_t llCost = 0;
        int64_t llFrom = pFlight->llNext;
        int64_t llTo = pFlight->llLast;
        while (llFrame > llTo && llCost <= llOwn) {
            llCost += llTo - llFrom + 1;
            const auto itNext = std::find_if(m_jobs.begin(), m_jobs.end(),
                                             [&](const Job &job) { return !job.done && job.llFirst == llTo + 1; });
            if (itNext == m_jobs.end())
                break;
            llFrom = itNext->llFirst;
            llTo = itNext->llLast;
        }
        if (llFrame <= llTo && llCost + llFrame - llFrom + 1 <= llOwn)
            return true;
    }
    return false;
}

std::unique_ptr<CFrameDecoder> CMediaSource::TakeDecoder(int64_t llFrame, std::unique_lock<std::mutex> &lock,
                                                         std::chrono::steady_clock::time_point deadline,
                                                         HRESULT *pResult)
{
    *pResult = S_OK;
    for (;;) {
        if (m_bStop) {
            *pResult = E_FAIL;
            return nullptr;
        }
        auto itBest = m_idle.end();
        int64_t llBestCost = INT64_MAX;
        for (auto it = m_idle.begin(); it != m_idle.end(); ++it) {
            const int64_t llCost = (*it)->CostTo(llFrame);
            if (llCost < llBestCost) {
                llBestCost = llCost;
                itBest = it;
            }
        }
        const int64_t llFreshCost = llFrame - m_pTable->GroupStart(llFrame) + 2;
        // A decoder standing elsewhere is left there (another graph may go on from it) while a
        // new one is allowed.
        if (itBest != m_idle.end() && (llBestCost <= llFreshCost || m_nDecoders >= MAX_DECODERS)) {
            std::unique_ptr<CFrameDecoder> pDecoder = std::move(*itBest);
            m_idle.erase(itBest);
            return pDecoder;
        }
        if (m_nDecoders < MAX_DECODERS) {
            ++m_nDecoders;
            lock.unlock();
            auto pDecoder = std::make_unique<CFrameDecoder>(m_pTable, m_strPath, g_nDecoderThreads.load());
            const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const HRESULT hr = pDecoder->Open(std::max(remaining, std::chrono::milliseconds(1)));
            lock.lock();
            if (FAILED(hr)) {
                --m_nDecoders;
                *pResult = hr;
                return nullptr;
            }
            return pDecoder;
        }
        if (m_cvPictures.wait_until(lock, deadline) == std::cv_status::timeout) {
            *pResult = VFW_E_TIMEOUT;
            return nullptr;
        }
    }
}

void CMediaSource::ReturnDecoder(std::unique_ptr<CFrameDecoder> pDecoder, bool bKeep)
{
    if (bKeep && !m_bStop) {
        m_idle.push_back(std::move(pDecoder));
    } else {
        m_llRetiredDecoded += pDecoder->DecodedCount();
        --m_nDecoders;
    }
    m_cvPictures.notify_all();
}

void CMediaSource::SetShownSize(QSize size)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_szShown = size;
}

HRESULT CMediaSource::GetPicture(int64_t llFrame, std::chrono::milliseconds timeLimit,
                                 std::shared_ptr<CPicture> *ppPicture, bool bWithFrame)
{
    *ppPicture = nullptr;
    if (llFrame < 0 || llFrame >= FrameCount())
        return E_INVALIDARG;
    CPictureCache &cache = CPictureCache::Instance();
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    const auto usable = [bWithFrame](const std::shared_ptr<CPicture> &pPicture) {
        return pPicture && (!bWithFrame || pPicture->HasFrame());
    };
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (auto pPicture = cache.Find(m_llId, llFrame); usable(pPicture)) {
            *ppPicture = std::move(pPicture);
            return S_OK;
        }
        if (m_bStop)
            return E_FAIL;
        if (!bWithFrame && WaitWorthwhileLocked(llFrame)) {
            if (m_cvPictures.wait_until(lock, deadline) == std::cv_status::timeout)
                return VFW_E_TIMEOUT;
            continue;
        }
        HRESULT hr = S_OK;
        std::unique_ptr<CFrameDecoder> pDecoder = TakeDecoder(llFrame, lock, deadline, &hr);
        if (!pDecoder)
            return hr;
        // Someone may have delivered the picture while we waited for a decoder.
        if (auto pPicture = cache.Find(m_llId, llFrame); usable(pPicture)) {
            ReturnDecoder(std::move(pDecoder), true);
            *ppPicture = std::move(pPicture);
            return S_OK;
        }
        const int64_t llStart = pDecoder->CostTo(llFrame) == llFrame - pDecoder->NextFrame() + 1
                                    ? pDecoder->NextFrame()
                                    : m_pTable->GroupStart(llFrame);
        Flight flight{llStart, llFrame, llStart};
        m_flights.push_back(&flight);
        m_busy.push_back(pDecoder.get());
        lock.unlock();

        std::shared_ptr<CPicture> pTarget;
        const uint64_t llId = m_llId;
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        hr = pDecoder->DecodeTo(llFrame, std::max(remaining, std::chrono::milliseconds(1)),
                                [&](int64_t llGot, const AVFrame *pFrame) {
                                    auto pPicture = std::make_shared<CPicture>(pFrame, m_orientation);
                                    if (llGot == llFrame)
                                        pTarget = pPicture;
                                    if (llGot >= 0)
                                        cache.Insert(llId, llGot, std::move(pPicture));
                                    {
                                        std::lock_guard<std::mutex> progress(m_mutex);
                                        flight.llNext = std::max(flight.llNext, llGot + 1);
                                    }
                                    m_cvPictures.notify_all();
                                    return true;
                                });

        lock.lock();
        m_flights.erase(std::find(m_flights.begin(), m_flights.end(), &flight));
        m_busy.erase(std::find(m_busy.begin(), m_busy.end(), pDecoder.get()));
        // A decoder that timed out or met a vanished file is in an unknown state.
        ReturnDecoder(std::move(pDecoder), SUCCEEDED(hr));
        if (FAILED(hr))
            return hr;
        if (pTarget) {
            *ppPicture = std::move(pTarget);
            return S_OK;
        }
    }
}

void CMediaSource::ChunkOf(int64_t llFrame, int64_t *pFirst, int64_t *pLast) const
{
    const int64_t llGroupStart = m_pTable->GroupStart(llFrame);
    const int64_t llGroupEnd = m_pTable->GroupEnd(llFrame);
    if (llGroupEnd - llGroupStart >= CHUNK_PICTURES) {
        *pFirst = llGroupStart;
        *pLast = llGroupEnd - 1;
    } else {
        *pFirst = llFrame / CHUNK_PICTURES * CHUNK_PICTURES;
        *pLast = std::min(*pFirst + CHUNK_PICTURES, FrameCount()) - 1;
    }
}

bool CMediaSource::ChunkWantedLocked(int64_t llFirst, int64_t llLast) const
{
    // Pictures decoded ahead that the cache cannot keep would only be decoded again later. They
    // are kept at the size they are shown when the cache runs short, beside the few decoded
    // frames still waiting to be trimmed.
    const int64_t llDecoded = int64_t(m_szVideo.width()) * m_szVideo.height() * 3 / 2;
    const int64_t llShown = m_szShown.isEmpty() ? llDecoded : int64_t(m_szShown.width()) * m_szShown.height() * 4;
    const int64_t llChunkBytes = (llLast - llFirst + 1) * std::min(llDecoded, llShown) + 2 * llDecoded;
    if (CPictureCache::Instance().RoomBesideShown() < 2 * llChunkBytes)
        return false;
    for (const Flight *pFlight : m_flights)
        if (pFlight->llFirst <= llFirst && pFlight->llLast >= llLast)
            return false;
    for (const Job &job : m_jobs)
        if (!job.done && job.llFirst == llFirst && job.llLast == llLast)
            return false;
    CPictureCache &cache = CPictureCache::Instance();
    return !cache.Contains(m_llId, llFirst) || !cache.Contains(m_llId, llLast);
}

void CMediaSource::QueueLocked(Job job, bool bFront)
{
    if (job.done) {
        m_requests.push_back(std::move(job));
        if (!m_requestWorker.joinable())
            m_requestWorker = std::thread(&CMediaSource::WorkerMain, this, true);
    } else {
        if (bFront)
            m_jobs.push_front(std::move(job));
        else
            m_jobs.push_back(std::move(job));
        StartWorkersLocked();
    }
    m_cvJobs.notify_all();
}

void CMediaSource::StartWorkersLocked()
{
    const int nWanted = std::max(1, std::min(g_nWorkers.load(), m_nRangeWorkers));
    while (static_cast<int>(m_workers.size()) < nWanted)
        m_workers.emplace_back(&CMediaSource::WorkerMain, this, false);
}

void CMediaSource::Hint(int64_t llFrame, int nDirection)
{
    if (nDirection == 0 || g_nWorkers.load() == 0 || llFrame < 0 || llFrame >= FrameCount())
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bStop)
        return;
    // Hints for places the graph has left are dropped.
    m_jobs.erase(std::remove_if(m_jobs.begin(), m_jobs.end(),
                                [&](const Job &job) {
                                    if (job.done)
                                        return false;
                                    return nDirection > 0 ? job.llLast < llFrame : job.llFirst > llFrame;
                                }),
                 m_jobs.end());
    int64_t llFirst = 0, llLast = 0;
    ChunkOf(llFrame, &llFirst, &llLast);
    if (nDirection > 0) {
        // The rest of this chunk first: one decoder going on ahead of the graph, which then finds
        // its pictures made (or waits for the one on its way), serves it better than a second
        // decoder on the chunks after racing its own for the cores.
        if (llFrame < llLast && ChunkWantedLocked(llFrame + 1, llLast))
            QueueLocked(Job{llFrame + 1, llLast, nullptr, {}}, false);
        for (int64_t i = 0; i < CHUNKS_AHEAD; ++i) {
            if (llLast + 1 >= FrameCount())
                break;
            ChunkOf(llLast + 1, &llFirst, &llLast);
            if (ChunkWantedLocked(llFirst, llLast))
                QueueLocked(Job{llFirst, llLast, nullptr, {}}, false);
        }
    } else {
        // Going backwards, pictures passed are not wanted again: they make room for the group
        // before this one, which, decoded once, serves the next steps.
        CPictureCache::Instance().RemoveUnusedAbove(m_llId, llFrame);
        if (llFirst == 0)
            return;
        ChunkOf(llFirst - 1, &llFirst, &llLast);
        if (ChunkWantedLocked(llFirst, llLast))
            QueueLocked(Job{llFirst, llLast, nullptr, {}}, false);
    }
}

void CMediaSource::HintStep(int64_t llFrame, int64_t llStep, bool bAlone)
{
    if (llStep == 0 || llFrame < 0 || llFrame >= FrameCount())
        return;
    // Decoding every picture costs the step; decoding from the key frame about half a group.
    // All-key clips have nothing to gain from whole blocks beyond the next picture or two.
    const int64_t llGroup = m_pTable->GroupEnd(llFrame) - m_pTable->GroupStart(llFrame);
    const int64_t llAbs = std::llabs(llStep);
    const bool bEveryPicture = llGroup <= 1 ? llAbs <= 2 : llAbs <= std::max<int64_t>(2, llGroup / 2);
    if (bEveryPicture)
        Hint(llFrame, llStep > 0 ? +1 : -1);
    else if (bAlone)
        HintStride(llFrame, llStep, false);
    else if (llGroup <= 1)
        // Panes of a grid paging through an all-key clip: each pane's next picture is one stride
        // on, and costs one decode whoever makes it. (With groups of pictures the panes' own
        // decoders going on from where they stopped do better than any guess.)
        HintStride(llFrame, llStep, true);
}

void CMediaSource::HintStride(int64_t llFrame, int64_t llStride, bool bKeepOthers)
{
    const int64_t llNext = llFrame + llStride;
    if (g_nWorkers.load() == 0 || llNext < 0 || llNext >= FrameCount())
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bStop)
        return;
    // For one graph only the newest guess is worth decoding; for a grid, a page of them.
    constexpr size_t MAX_GUESSES = 32;
    size_t nGuesses = 0;
    m_jobs.erase(std::remove_if(m_jobs.begin(), m_jobs.end(),
                                [&](const Job &job) {
                                    if (job.done || job.llFirst != job.llLast)
                                        return false;
                                    return !bKeepOthers || ++nGuesses >= MAX_GUESSES;
                                }),
                 m_jobs.end());
    if (ChunkWantedLocked(llNext, llNext))
        QueueLocked(Job{llNext, llNext, nullptr, {}}, !bKeepOthers);
}

void CMediaSource::RequestPicture(const void *pOwner, int64_t llFrame, PictureDone done)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bStop)
        return;
    m_requests.erase(std::remove_if(m_requests.begin(), m_requests.end(),
                                    [&](const Job &job) { return job.pOwner == pOwner; }),
                     m_requests.end());
    QueueLocked(Job{llFrame, llFrame, pOwner, std::move(done)}, true);
}

void CMediaSource::CancelRequests(const void *pOwner)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.erase(std::remove_if(m_requests.begin(), m_requests.end(),
                                    [&](const Job &job) { return job.pOwner == pOwner; }),
                     m_requests.end());
}

void CMediaSource::WorkerMain(bool bRequests)
{
    std::deque<Job> &queue = bRequests ? m_requests : m_jobs;
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_cvJobs.wait(lock, [&] { return m_bStop || !queue.empty(); });
            if (m_bStop)
                return;
            job = std::move(queue.front());
            queue.pop_front();
        }
        if (job.done) {
            std::shared_ptr<CPicture> pPicture;
            const HRESULT hr = GetPicture(job.llFirst, MEDIA_SEEK_TIME_LIMIT, &pPicture);
            job.done(hr, std::move(pPicture), job.llFirst);
        } else {
            RunRange(job.llFirst, job.llLast);
        }
    }
}

void CMediaSource::RunRange(int64_t llFirst, int64_t llLast)
{
    CPictureCache &cache = CPictureCache::Instance();
    const auto deadline = std::chrono::steady_clock::now() + MEDIA_SEEK_TIME_LIMIT;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_bStop)
        return;
    HRESULT hr = S_OK;
    std::unique_ptr<CFrameDecoder> pDecoder = TakeDecoder(llFirst, lock, deadline, &hr);
    if (!pDecoder)
        return;
    Flight flight{llFirst, llLast, llFirst};
    m_flights.push_back(&flight);
    m_busy.push_back(pDecoder.get());
    // Pictures are converted to the size they are shown ahead of need only when the decoded
    // pictures of the ranges decoded ahead would take more than half the cache: the shown image
    // lets the cache keep a picture without its decoded frame (otherwise the pictures decoded
    // first, needed first, would be the first to go). Else only the pictures a graph shows are
    // converted, by the thread that hands them to it.
    const int64_t llDecoded = int64_t(m_szVideo.width()) * m_szVideo.height() * 3 / 2;
    const QSize shown =
        (llLast - llFirst + 1) * llDecoded * (CHUNKS_AHEAD + 1) > CPictureCache::Instance().Limit() / 2
            ? m_szShown
            : QSize();
    lock.unlock();
    const uint64_t llId = m_llId;
    for (int64_t llFrame = llFirst; llFrame <= llLast && SUCCEEDED(hr); ++llFrame) {
        // Pictures the foreground made meanwhile are not made again (unless the decoder must
        // pass through them anyway).
        if (cache.Contains(llId, llFrame) && pDecoder->NextFrame() != llFrame) {
            std::lock_guard<std::mutex> progress(m_mutex);
            flight.llNext = llFrame + 1;
            continue;
        }
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        hr = pDecoder->DecodeTo(llFrame, std::max(remaining, std::chrono::milliseconds(1)),
                                [&](int64_t llGot, const AVFrame *pFrame) {
                                    if (llGot >= llFirst && llGot <= llLast && !cache.Contains(llId, llGot)) {
                                        auto pPicture = std::make_shared<CPicture>(pFrame, m_orientation);
                                        if (!shown.isEmpty())
                                            (void)pPicture->ShownImage(shown);
                                        cache.Insert(llId, llGot, std::move(pPicture));
                                    }
                                    {
                                        std::lock_guard<std::mutex> progress(m_mutex);
                                        flight.llNext = std::max(flight.llNext, llGot + 1);
                                    }
                                    m_cvPictures.notify_all();
                                    return true;
                                });
    }
    lock.lock();
    m_flights.erase(std::find(m_flights.begin(), m_flights.end(), &flight));
    m_busy.erase(std::find(m_busy.begin(), m_busy.end(), pDecoder.get()));
    ReturnDecoder(std::move(pDecoder), SUCCEEDED(hr));
}
