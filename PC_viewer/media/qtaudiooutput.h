// The sound card through Qt Multimedia: a QAudioSink on a thread of its own pulls samples from a
// ring buffer that the player fills.
#pragma once

#include "audiooutput.h"

#include <QAudioDevice>
#include <QByteArray>
#include <QIODevice>
#include <QMutex>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

class QAudioSink;
class QThread;

class CQtAudioOutput : public CAudioOutput
{
public:
    CQtAudioOutput();
    ~CQtAudioOutput() override;

    bool Start(int nSampleRate, int nChannels) override;
    void Stop() override;
    int64_t Write(const char *pData, int64_t llBytes) override;
    int64_t FreeBytes() const override;
    int64_t PlayedUSecs() const override;
    void SetVolume(double dGain) override;

    // True when the system has a sound output device.
    static bool DeviceAvailable();

private:
    class CRingDevice;

    QAudioDevice m_device; // chosen on the owner's thread, where Qt's device list lives

    std::unique_ptr<QThread> m_pThread;
    QAudioSink *m_pSink = nullptr; // lives on m_pThread
    CRingDevice *m_pDevice = nullptr;
    std::atomic<int64_t> m_llBytesPerSecond{0};
    std::atomic<int64_t> m_llSinkBufferBytes{0};

    // Played time as last reported (it never goes back) and when it was asked for.
    mutable std::mutex m_clockMutex;
    mutable int64_t m_llClockUSecs = 0;
    mutable std::chrono::steady_clock::time_point m_lastRead;
};
