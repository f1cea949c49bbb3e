// One clip as shared by every graph open on it: its frame table, a small pool of decoders and
// background workers that decode ahead (forward) or the previous group (backward) into the
// process-wide picture cache. Thread-safe.
#pragma once

#include "frametable.h"
#include "mediaresult.h"
#include "videoorientation.h"

#include <QDateTime>
#include <QSize>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CFrameDecoder;
class CPicture;

class CMediaSource
{
public:
    using PictureDone = std::function<void(HRESULT, std::shared_ptr<CPicture>, int64_t)>;

    ~CMediaSource();
    CMediaSource(const CMediaSource &) = delete;
    CMediaSource &operator=(const CMediaSource &) = delete;

    // The source of a file, shared with every other graph that has it open; opened and measured
    // when nobody has it yet (or the file changed since).
    static HRESULT Acquire(const QString &strPath, std::shared_ptr<CMediaSource> *ppSource);

    uint64_t Id() const { return m_llId; }
    QString Path() const { return m_strPath; }
    const CFrameTable &Table() const { return *m_pTable; }
    int64_t FrameCount() const { return m_pTable->FrameCount(); }
    int64_t FrameTime() const { return m_pTable->FrameTime(); }
    int64_t Duration() const { return m_pTable->Duration(); }
    // Size on screen: the display matrix applied.
    QSize VideoSize() const { return m_szVideo; }
    tagVIDEOORIENTATION Orientation() const { return m_orientation; }
    bool HasAudioStream() const { return m_bHasAudioStream; }

    // Picture n, from the cache or decoded now on the calling thread (or by a worker already on
    // its way to it). Blocks at most timeLimit. bWithFrame: a cached picture that kept only its
    // shown image does not do; the picture is decoded again.
    HRESULT GetPicture(int64_t llFrame, std::chrono::milliseconds timeLimit,
                       std::shared_ptr<CPicture> *ppPicture, bool bWithFrame = false);
    // The cached picture n, or null; never decodes.
    std::shared_ptr<CPicture> CachedPicture(int64_t llFrame) const;

    // The size the clip's pictures are shown at (a pane's picture rectangle; empty: native).
    // Pictures decoded ahead are converted to it on the worker, so that the pane has only to
    // draw them.
    void SetShownSize(QSize size);

    // Tells the workers where a graph is going: +1 forward, -1 backward, 0 no direction.
    void Hint(int64_t llFrame, int nDirection);
    // A graph stepped by llStep pictures to llFrame: decodes ahead in whatever way pays off for
    // that step (whole groups ahead or behind for short steps, one stride on for long ones
    // when bAlone: the only graph on the clip).
    void HintStep(int64_t llFrame, int64_t llStep, bool bAlone);
    // Tells the workers that a graph jumps by a steady stride (fast rates): the picture one
    // stride on is decoded meanwhile, on a second decoder.
    // bKeepOthers: several graphs guess at once (a grid), keep their guesses side by side.
    void HintStride(int64_t llFrame, int64_t llStride, bool bKeepOthers);

    // Decodes picture n on a worker and calls done (on the worker thread) with it. A newer
    // request with the same owner replaces one not yet started.
    void RequestPicture(const void *pOwner, int64_t llFrame, PictureDone done);
    void CancelRequests(const void *pOwner);

    // Pictures decoded by all decoders of this source so far (benchmarks).
    int64_t DecodedCount() const;
    // Decoder threads for each new decoder (a setting; 0 lets FFmpeg choose).
    static void SetDecoderThreads(int nThreads);
    // Most range workers per source (0 turns decoding ahead off).
    static void SetWorkerCount(int nWorkers);

private:
    CMediaSource() = default;
    HRESULT Open(const QString &strPath);

    struct Flight {
        int64_t llFirst; // first frame the job will deliver
        int64_t llLast;  // last frame the job will deliver
        int64_t llNext;  // next frame it delivers (progress)
    };
    struct Job {
        int64_t llFirst = 0;
        int64_t llLast = 0;
        const void *pOwner = nullptr; // set for requests
        PictureDone done;
    };

    std::unique_ptr<CFrameDecoder> TakeDecoder(int64_t llFrame, std::unique_lock<std::mutex> &lock,
                                               std::chrono::steady_clock::time_point deadline,
                                               HRESULT *pResult);
    void ReturnDecoder(std::unique_ptr<CFrameDecoder> pDecoder, bool bKeep);
    bool WaitWorthwhileLocked(int64_t llFrame) const;
    void ChunkOf(int64_t llFrame, int64_t *pFirst, int64_t *pLast) const;
    bool ChunkWantedLocked(int64_t llFirst, int64_t llLast) const;
    void QueueLocked(Job job, bool bFront);
    void StartWorkersLocked();
    void WorkerMain(bool bRequests);
    void RunRange(int64_t llFirst, int64_t llLast);

    uint64_t m_llId = 0;
    QString m_strPath;
    std::shared_ptr<const CFrameTable> m_pTable;
    QSize m_szVideo;
    tagVIDEOORIENTATION m_orientation;
    bool m_bHasAudioStream = false;
    int m_nRangeWorkers = 1;

    mutable std::mutex m_mutex;
    std::condition_variable m_cvPictures; // a picture arrived or a decoder came back
    std::condition_variable m_cvJobs;
    std::vector<std::unique_ptr<CFrameDecoder>> m_idle;
    int m_nDecoders = 0;
    int64_t m_llRetiredDecoded = 0;
    std::vector<Flight *> m_flights;
    std::deque<Job> m_jobs;
    std::vector<std::thread> m_workers; // decode ahead or behind (range jobs)
    std::thread m_requestWorker;        // asynchronous seeks, never queued behind a range
    std::deque<Job> m_requests;
    std::vector<CFrameDecoder *> m_busy; // decoders working, aborted on shutdown
    int64_t m_llAheadLimit = -1;         // furthest chunk start queued forward
    QSize m_szShown;                     // size pictures decoded ahead are converted to
    bool m_bStop = false;
};
