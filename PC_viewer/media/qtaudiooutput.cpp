// Sound output through QAudioSink.
#include "qtaudiooutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <QSemaphore>
#include <QThread>

#include <algorithm>

namespace {
// Samples buffered ahead of the sound card.
constexpr int64_t RING_MS = 250;
// How long to wait for the sound thread to answer before giving up on sound.
constexpr int SINK_ANSWER_MS = 3000;
// Time constant with which the played time closes a gap to the sink's steps: it runs faster than
// real time by the gap over this.
constexpr int64_t CLOCK_CATCH_UP_USECS = 500000;
} // namespace

// Pull-mode source for the sink: thread-safe ring of bytes; silence is not invented, an empty
// ring simply makes the sink wait.
class CQtAudioOutput::CRingDevice : public QIODevice
{
public:
    explicit CRingDevice(int64_t llCapacity) : m_llCapacity(llCapacity) {}

    int64_t Push(const char *pData, int64_t llBytes)
    {
        QMutexLocker lock(&m_mutex);
        const int64_t llTaken = std::min<int64_t>(llBytes, m_llCapacity - m_buffer.size()) & ~int64_t(3);
        if (llTaken > 0)
            m_buffer.append(pData, static_cast<qsizetype>(llTaken));
        return std::max<int64_t>(0, llTaken);
    }
    int64_t Free() const
    {
        QMutexLocker lock(&m_mutex);
        return m_llCapacity - m_buffer.size();
    }
    int64_t Pulled() const { return m_llPulled.load(); }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        QMutexLocker lock(&m_mutex);
        return m_buffer.size() + QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char *pData, qint64 llMax) override
    {
        QMutexLocker lock(&m_mutex);
        const qint64 llCount = std::min<qint64>(llMax, m_buffer.size());
        std::copy_n(m_buffer.constData(), llCount, pData);
        m_buffer.remove(0, llCount);
        m_llPulled += llCount;
        return llCount;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    mutable QMutex m_mutex;
    QByteArray m_buffer;
    int64_t m_llCapacity;
    std::atomic<int64_t> m_llPulled{0};
};

CQtAudioOutput::CQtAudioOutput() : m_device(QMediaDevices::defaultAudioOutput()) {}

CQtAudioOutput::~CQtAudioOutput()
{
    Stop();
}

bool CQtAudioOutput::DeviceAvailable()
{
    return !QMediaDevices::defaultAudioOutput().isNull();
}

bool CQtAudioOutput::Start(int nSampleRate, int nChannels)
{
    Stop();
    const QAudioDevice device = m_device;
    if (device.isNull())
        return false;
    QAudioFormat format;
    format.setSampleRate(nSampleRate);
    format.setChannelCount(nChannels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format))
        return false;
    m_llBytesPerSecond = int64_t(nSampleRate) * nChannels * 2;
    {
        std::lock_guard<std::mutex> lock(m_clockMutex);
        m_llClockUSecs = 0;
        m_lastRead = std::chrono::steady_clock::now();
    }
    m_pThread = std::make_unique<QThread>();
    m_pThread->setObjectName(QStringLiteral("audio-output"));
    m_pThread->start();
    m_pDevice = new CRingDevice(m_llBytesPerSecond * RING_MS / 1000);
    m_pDevice->open(QIODevice::ReadOnly);
    m_pDevice->moveToThread(m_pThread.get());

    // The sink must be made and driven on its own thread.
    struct Answer {
        QSemaphore ready;
        QAudioSink *pSink = nullptr;
        bool bStarted = false;
        int64_t llBufferBytes = 0;
    };
    auto pAnswer = std::make_shared<Answer>();
    CRingDevice *pDevice = m_pDevice;
    QMetaObject::invokeMethod(
        m_pDevice,
        [pAnswer, pDevice, device, format] {
            pAnswer->pSink = new QAudioSink(device, format, pDevice);
            pAnswer->pSink->start(pDevice);
            pAnswer->bStarted = pAnswer->pSink->error() == QAudio::NoError;
            pAnswer->llBufferBytes = pAnswer->pSink->bufferSize();
            pAnswer->ready.release();
        },
        Qt::QueuedConnection);
    const bool bAnswered = pAnswer->ready.tryAcquire(1, SINK_ANSWER_MS);
    m_pSink = bAnswered ? pAnswer->pSink : nullptr;
    m_llSinkBufferBytes = pAnswer->llBufferBytes;
    const bool bStarted = bAnswered && pAnswer->bStarted;
    if (!bAnswered) {
        // The sound thread hangs: leave it (and its objects) behind rather than block the viewer.
        m_pThread->quit();
        (void)m_pThread.release();
        m_pDevice = nullptr;
        m_pSink = nullptr;
        return false;
    }
    if (!bStarted) {
        Stop();
        return false;
    }
    return true;
}

void CQtAudioOutput::Stop()
{
    if (!m_pThread)
        return;
    QAudioSink *pSink = m_pSink;
    CRingDevice *pDevice = m_pDevice;
    if (pDevice) {
        // Sink and device belong to the sound thread: they are taken down there.
        auto pDone = std::make_shared<QSemaphore>();
        QMetaObject::invokeMethod(
            pDevice,
            [pSink, pDevice, pDone] {
                if (pSink) {
                    pSink->stop();
                    delete pSink;
                }
                pDevice->deleteLater();
                pDone->release();
            },
            Qt::QueuedConnection);
        pDone->tryAcquire(1, SINK_ANSWER_MS);
    }
    m_pThread->quit();
    if (!m_pThread->wait(SINK_ANSWER_MS))
        (void)m_pThread.release(); // left behind rather than hang the viewer
    m_pThread.reset();
    m_pSink = nullptr;
    m_pDevice = nullptr;
}

int64_t CQtAudioOutput::Write(const char *pData, int64_t llBytes)
{
    return m_pDevice ? m_pDevice->Push(pData, llBytes) : 0;
}

int64_t CQtAudioOutput::FreeBytes() const
{
    return m_pDevice ? m_pDevice->Free() : 0;
}

int64_t CQtAudioOutput::PlayedUSecs() const
{
    const int64_t llRate = m_llBytesPerSecond.load();
    if (!m_pDevice || llRate == 0)
        return 0;
    // What the sink pulled, less what still sits in its own buffer. The sound server takes its
    // samples a request at a time (tens of milliseconds or more), so this moves in steps; each step
    // is ahead of what is heard by up to one request and is caught up with just before the next.
    // The clock runs on with the steady clock, never past the step: it follows the lower edge of
    // the steps, which is the sound heard. When it has fallen behind (the sound thread was held
    // up while the card played on) it runs faster in proportion to the gap, so that it is back
    // within a few tenths of a second.
    const int64_t llStep =
        std::max<int64_t>(0, m_pDevice->Pulled() - m_llSinkBufferBytes.load()) * 1000000 / llRate;
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(m_clockMutex);
    if (m_llClockUSecs > 0 || llStep > 0) {
        const int64_t llSince =
            std::chrono::duration_cast<std::chrono::microseconds>(now - m_lastRead).count();
        const int64_t llGap = std::max<int64_t>(0, llStep - m_llClockUSecs);
        const int64_t llRun = m_llClockUSecs + llSince + llSince * llGap / CLOCK_CATCH_UP_USECS;
        m_llClockUSecs = std::max(m_llClockUSecs, std::min(llStep, llRun));
    }
    m_lastRead = now;
    return m_llClockUSecs;
}

void CQtAudioOutput::SetVolume(double dGain)
{
    if (!m_pSink)
        return;
    QAudioSink *pSink = m_pSink;
    QMetaObject::invokeMethod(
        pSink, [pSink, dGain] { pSink->setVolume(dGain); }, Qt::QueuedConnection);
}
