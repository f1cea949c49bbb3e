// Recording the test sink's monitor with parec.
#include "sinkrecorder.h"

#include "pulseserver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int START_LIMIT_MS = 10000;
constexpr int STOP_LIMIT_MS = 3000;

void DieWithParent()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1)
        ::_exit(1);
}

} // namespace

CSinkRecorder::CSinkRecorder(const CPulseServer &server, const QString &strFile)
    : m_server(server), m_strFile(strFile)
{
}

CSinkRecorder::~CSinkRecorder()
{
    Stop();
}

bool CSinkRecorder::Start(QString *pError)
{
    QFile::remove(m_strFile);
    m_process.setProcessEnvironment(m_server.ClientEnvironment());
    m_process.setStandardOutputFile(m_strFile);
    m_process.setStandardErrorFile(m_strFile + QStringLiteral(".log"));
    m_process.setChildProcessModifier(DieWithParent);
    // A short capture latency: what the sink plays reaches the file within a few milliseconds.
    m_process.start(QStringLiteral("parec"),
                    {QStringLiteral("-d"), CPulseServer::MonitorName(), QStringLiteral("--raw"),
                     QStringLiteral("--format=s16le"), QStringLiteral("--rate=%1").arg(kRate),
                     QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=20")});
    if (!m_process.waitForStarted(START_LIMIT_MS)) {
        *pError = QStringLiteral("parec did not start: ") + m_process.errorString();
        return false;
    }
    // The null sink plays silence while nothing else plays, so a working recorder grows at once.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < START_LIMIT_MS) {
        if (Seconds() > 0.05)
            return true;
        // Waiting on the process (not sleeping) is what notices that it has ended.
        if (m_process.state() != QProcess::Running || m_process.waitForFinished(10))
            break;
    }
    QFile log(m_strFile + QStringLiteral(".log"));
    log.open(QIODevice::ReadOnly);
    *pError = QStringLiteral("parec records nothing: ") + QString::fromLocal8Bit(log.readAll());
    Stop();
    return false;
}

void CSinkRecorder::Stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(STOP_LIMIT_MS)) {
        m_process.kill();
        m_process.waitForFinished(STOP_LIMIT_MS);
    }
}

double CSinkRecorder::Seconds() const
{
    return static_cast<double>(QFileInfo(m_strFile).size()) / (2.0 * kRate);
}

std::vector<int16_t> CSinkRecorder::Samples() const
{
    QFile file(m_strFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    std::vector<int16_t> samples(static_cast<size_t>(bytes.size() / 2));
    for (size_t i = 0; i < samples.size(); ++i) {
        const auto lo = static_cast<uint8_t>(bytes[static_cast<qsizetype>(2 * i)]);
        const auto hi = static_cast<uint8_t>(bytes[static_cast<qsizetype>(2 * i + 1)]);
        samples[i] = static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
    }
    return samples;
}
