// Where a running graph's sound goes, and the clock that paces its pictures: 16-bit interleaved
// samples are written in, the time actually played comes back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class CAudioOutput
{
public:
    using Factory = std::function<std::unique_ptr<CAudioOutput>()>;

    virtual ~CAudioOutput() = default;
    // Starts output of 16-bit samples; false when the device refuses (then the clip plays
    // silently).
    virtual bool Start(int nSampleRate, int nChannels) = 0;
    virtual void Stop() = 0;
    // Queues samples without blocking; returns the bytes taken.
    virtual int64_t Write(const char *pData, int64_t llBytes) = 0;
    // Bytes that Write would take now.
    virtual int64_t FreeBytes() const = 0;
    // Microseconds of sound played since Start.
    virtual int64_t PlayedUSecs() const = 0;
    // Linear gain, 0 (silent) to 1 (full).
    virtual void SetVolume(double dGain) = 0;

    // A new output on the sound device; null when there is none (the graph then has no sound).
    static std::unique_ptr<CAudioOutput> Create();
    // Replaces the device (the command-line tool and tests use a clocked null device); an empty
    // factory restores the sound card.
    static void SetFactory(Factory factory);
    // Gain of a volume in hundredths of a decibel (-10000 silent, 0 full).
    static double GainOfVolume(long lVolume);
};
