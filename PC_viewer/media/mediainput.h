// One opened media file (demuxer) whose every blocking call can be cut off: a deadline and an
// abort flag are checked by FFmpeg's interrupt callback, so a damaged, vanished or stalled file
// never hangs its caller.
#pragma once

#include "ffmpegptr.h"
#include "mediaresult.h"
#include "videoorientation.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>

// Time limits of the engine's blocking work.
constexpr std::chrono::milliseconds MEDIA_OPEN_TIME_LIMIT{20000};
constexpr std::chrono::milliseconds MEDIA_SEEK_TIME_LIMIT{8000};

// The demuxers a clip may be read with (AVI, and MP4 with its QuickTime family); any other file
// is not media to the viewer, whatever its name.
inline constexpr char kMediaFormatWhitelist[] = "avi,mov,mp4,m4a,3gp,3g2,mj2";

class CMediaInput
{
public:
    CMediaInput();
    ~CMediaInput();
    CMediaInput(const CMediaInput &) = delete;
    CMediaInput &operator=(const CMediaInput &) = delete;

    // Opens the file and finds its streams without decoding anything. E_UNEXPECTED when there is
    // no video stream, VFW_E_CANNOT_RENDER when the file is not media, VFW_E_NOT_FOUND when it
    // cannot be read, VFW_E_TIMEOUT when it did not open in time.
    HRESULT Open(const QString &strPath, std::chrono::milliseconds timeLimit);
    // Opens the file for its sound only: E_UNEXPECTED when it has no sound stream.
    HRESULT OpenAudio(const QString &strPath, std::chrono::milliseconds timeLimit);

    AVFormatContext *Format() const { return m_pFormat.get(); }
    AVStream *VideoStream() const;
    AVStream *AudioStream() const;
    // How the video stream's pictures are turned for display (its display-matrix side data).
    tagVIDEOORIENTATION VideoOrientation() const;
    int VideoIndex() const { return m_nVideo; }
    int AudioIndex() const { return m_nAudio; }

    // Leave only these streams' packets to the demuxer (others are skipped cheaply).
    void KeepOnly(int nStream);

    // Opens a decoder for stream nStream, the one way every part of the engine does: the
    // stream's parameters and time base, and nThreads threads (0: as many as FFmpeg likes, each
    // picture on frame and slice threads; -1: FFmpeg's defaults untouched). VFW_E_CANNOT_RENDER
    // when there is no decoder for it or it does not open, E_OUTOFMEMORY.
    HRESULT OpenDecoder(int nStream, int nThreads, AVCodecContextPtr *ppCodec,
                        const std::function<void(AVCodecContext *)> &configure = {}) const;

    void SetTimeLimit(std::chrono::milliseconds limit);
    void ClearTimeLimit();
    bool TimedOut() const;
    // Thread-safe: makes the blocking call in progress (and every later one) fail.
    void Abort() { m_bAbort.store(true); }
    bool Aborted() const { return m_bAbort.load(); }

    // Maps an FFmpeg error seen while reading to a result code, time-outs first.
    HRESULT ReadError(int nAvError) const;

private:
    HRESULT OpenFormat(const QString &strPath, std::chrono::milliseconds timeLimit);
    static int InterruptCallback(void *pOpaque);

    AVFormatContextPtr m_pFormat;
    int m_nVideo = -1;
    int m_nAudio = -1;
    std::atomic<int64_t> m_llDeadlineNs{0};
    std::atomic<bool> m_bAbort{false};
    std::atomic<bool> m_bTimedOut{false};
};

// Native path for FFmpeg (UTF-8 on every platform we build for).
QByteArray MediaPathBytes(const QString &strPath);
