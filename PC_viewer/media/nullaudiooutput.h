// A sound device that plays nothing but keeps real time: the clock of a graph that renders its
// sound nowhere (command-line tool, tests), with the same buffering as a sound card.
#pragma once

#include "audiooutput.h"

#include <chrono>
#include <mutex>

class CNullAudioOutput : public CAudioOutput
{
public:
    bool Start(int nSampleRate, int nChannels) override;
    void Stop() override;
    int64_t Write(const char *pData, int64_t llBytes) override;
    int64_t FreeBytes() const override;
    int64_t PlayedUSecs() const override;
    void SetVolume(double dGain) override;
    double Volume() const;

private:
    int64_t PlayedBytesLocked() const;

    mutable std::mutex m_mutex;
    std::chrono::steady_clock::time_point m_start;
    int64_t m_llBytesPerSecond = 0;
    int64_t m_llWritten = 0;
    double m_dGain = 1.0;
    bool m_bStarted = false;
};
