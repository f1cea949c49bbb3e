// Real-time playback at 1x for one graph: a thread that shows picture after picture when the
// clock reaches it, the clock being the sound actually played (or the steady clock when the clip
// or the machine has no sound).
#pragma once

#include "mediaresult.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class CAudioOutput;
class CMediaGraph;
class CMediaSource;

class CMediaPlayer
{
public:
    // pAudio may be null (no sound); it is started here and stopped when the player stops.
    CMediaPlayer(CMediaGraph *pGraph, std::shared_ptr<CMediaSource> pSource, int64_t llStartFrame,
                 CAudioOutput *pAudio, double dGain);
    ~CMediaPlayer();
    CMediaPlayer(const CMediaPlayer &) = delete;
    CMediaPlayer &operator=(const CMediaPlayer &) = delete;

    void Start();
    // Returns when the thread has ended; the picture shown stays the graph's current one.
    void Stop();
    void SetGain(double dGain);

private:
    class CAudioFeeder;

    void ThreadMain();
    int64_t Clock(); // 100 ns

    CMediaGraph *m_pGraph;
    std::shared_ptr<CMediaSource> m_pSource;
    int64_t m_llStartFrame;
    CAudioOutput *m_pAudio;
    std::atomic<double> m_dGain;
    std::unique_ptr<CAudioFeeder> m_pFeeder;

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cvStop;
    bool m_bStop = false;

    // Clock state (player thread only).
    std::chrono::steady_clock::time_point m_wallStart;
    int64_t m_llLastAudioClock = -1;
    std::chrono::steady_clock::time_point m_lastAudioChange;
};
