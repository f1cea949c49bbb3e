// The clocked null sound device.
#include "nullaudiooutput.h"

#include <algorithm>

namespace {
// As much as a sound card's buffer holds ahead of what it plays.
constexpr int64_t BUFFER_MS = 200;
} // namespace

bool CNullAudioOutput::Start(int nSampleRate, int nChannels)
{
    if (nSampleRate <= 0 || nChannels <= 0)
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_llBytesPerSecond = int64_t(nSampleRate) * nChannels * 2;
    m_llWritten = 0;
    m_start = std::chrono::steady_clock::now();
    m_bStarted = true;
    return true;
}

void CNullAudioOutput::Stop()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStarted = false;
}

int64_t CNullAudioOutput::PlayedBytesLocked() const
{
    if (!m_bStarted)
        return 0;
    const auto elapsedUs =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - m_start)
            .count();
    // Like a sound card, it cannot play what it was not given (an underrun holds the clock).
    return std::min(m_llWritten, elapsedUs * m_llBytesPerSecond / 1000000);
}

int64_t CNullAudioOutput::Write(const char *, int64_t llBytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bStarted)
        return 0;
    const int64_t llFree =
        std::max<int64_t>(0, PlayedBytesLocked() + m_llBytesPerSecond * BUFFER_MS / 1000 - m_llWritten);
    const int64_t llTaken = std::min(llFree, llBytes) & ~int64_t(3);
    m_llWritten += llTaken;
    return llTaken;
}

int64_t CNullAudioOutput::FreeBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bStarted)
        return 0;
    return std::max<int64_t>(0, PlayedBytesLocked() + m_llBytesPerSecond * BUFFER_MS / 1000 - m_llWritten);
}

int64_t CNullAudioOutput::PlayedUSecs() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bStarted || m_llBytesPerSecond == 0)
        return 0;
    return PlayedBytesLocked() * 1000000 / m_llBytesPerSecond;
}

void CNullAudioOutput::SetVolume(double dGain)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dGain = dGain;
}

double CNullAudioOutput::Volume() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dGain;
}
