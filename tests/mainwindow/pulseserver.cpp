// The test's PulseAudio server.
#include "pulseserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// How long the server may take to answer after it was started.
constexpr int START_LIMIT_MS = 15000;
// Limit of one question to the server (pactl).
constexpr int QUESTION_LIMIT_MS = 3000;
// How long the server may take to end after it was asked to.
constexpr int STOP_LIMIT_MS = 3000;

// Runs in the forked child before the program starts: the child is killed when the test process
// dies, so that no server outlives a crashed or killed test.
void DieWithParent()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1)
        ::_exit(1); // the test process is gone already
}

} // namespace

CPulseServer::CPulseServer() = default;

CPulseServer::~CPulseServer()
{
    Stop();
}

QString CPulseServer::RuntimeDir() const
{
    return m_dir.filePath(QStringLiteral("runtime"));
}

QString CPulseServer::Address() const
{
    return QStringLiteral("unix:") + RuntimeDir() + QStringLiteral("/pulse/native");
}

QProcessEnvironment CPulseServer::ClientEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PULSE_SERVER"), Address());
    env.insert(QStringLiteral("PULSE_SINK"), SinkName());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), RuntimeDir());
    return env;
}

void CPulseServer::ExportToThisProcess() const
{
    qputenv("PULSE_SERVER", Address().toLocal8Bit());
    qputenv("PULSE_SINK", SinkName().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", RuntimeDir().toLocal8Bit());
}

QString CPulseServer::Log()
{
    QFile file(m_dir.filePath(QStringLiteral("server.log")));
    if (file.open(QIODevice::ReadOnly))
        m_log = QString::fromLocal8Bit(file.readAll());
    return m_log.right(4000);
}

bool CPulseServer::IsRunning() const
{
    return m_process.state() == QProcess::Running;
}

bool CPulseServer::Start(QString *pError)
{
    auto fail = [pError](const QString &strWhy) {
        if (pError)
            *pError = strWhy;
        return false;
    };
    if (!m_dir.isValid())
        return fail(QStringLiteral("no temporary folder for the server"));
    const QString program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (program.isEmpty())
        return fail(QStringLiteral("the pulseaudio program is not installed"));

    // Runtime, home and configuration folders of its own: no cookie, socket or setting of the
    // machine's is read or written.
    const QString home = m_dir.filePath(QStringLiteral("home"));
    const QString config = m_dir.filePath(QStringLiteral("config"));
    for (const QString &dir : {RuntimeDir(), home, config}) {
        if (!QDir().mkpath(dir) ||
            !QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return fail(QStringLiteral("cannot make ") + dir);
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), RuntimeDir());
    for (const char *pszName : {"PULSE_SERVER", "PULSE_SINK", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH",
                                "PULSE_COOKIE", "DBUS_SESSION_BUS_ADDRESS", "DISPLAY"})
        env.remove(QString::fromLatin1(pszName));
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(m_dir.path());
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("server.log")));
    m_process.setChildProcessModifier(DieWithParent);

    const QString sink = QStringLiteral("module-null-sink sink_name=%1 rate=%2 channels=%3 format=s16le")
                             .arg(SinkName())
                             .arg(kSinkRate)
                             .arg(kSinkChannels);
    const QString protocol = QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") +
                             RuntimeDir() + QStringLiteral("/pulse/native");
    QDir().mkpath(RuntimeDir() + QStringLiteral("/pulse"));
    // No configuration script (-n, -F /dev/null): only the two modules given here. As root the
    // server runs as an ordinary per-user server (--system=no) that never exits by itself.
    m_process.start(program, {QStringLiteral("-n"), QStringLiteral("-F"), QStringLiteral("/dev/null"),
                              QStringLiteral("--daemonize=no"), QStringLiteral("--system=no"),
                              QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disallow-exit"),
                              QStringLiteral("--use-pid-file=no"), QStringLiteral("--log-target=stderr"),
                              QStringLiteral("--log-level=notice"), QStringLiteral("-L"), sink,
                              QStringLiteral("-L"), protocol});
    if (!m_process.waitForStarted(START_LIMIT_MS))
        return fail(QStringLiteral("pulseaudio did not start: ") + m_process.errorString());

    QElapsedTimer timer;
    timer.start();
    QString strWhy;
    while (timer.elapsed() < START_LIMIT_MS) {
        // Waiting on the process (not sleeping) is what notices that it has ended.
        if (m_process.state() != QProcess::Running || m_process.waitForFinished(50))
            return fail(QStringLiteral("pulseaudio ended at start (exit code %1): %2")
                            .arg(m_process.exitCode())
                            .arg(Log()));
        if (QFileInfo::exists(RuntimeDir() + QStringLiteral("/pulse/native")) && Answers(&strWhy))
            return true;
    }
    Stop();
    return fail(QStringLiteral("pulseaudio did not answer within %1 ms (%2): %3")
                    .arg(START_LIMIT_MS)
                    .arg(strWhy, Log()));
}

bool CPulseServer::Ask(const QStringList &args, QString *pOut, QString *pError) const
{
    QProcess pactl;
    pactl.setProcessEnvironment(ClientEnvironment());
    pactl.start(QStringLiteral("pactl"), args);
    if (!pactl.waitForStarted(QUESTION_LIMIT_MS)) {
        *pError = QStringLiteral("pactl: ") + pactl.errorString();
        return false;
    }
    if (!pactl.waitForFinished(QUESTION_LIMIT_MS)) {
        pactl.kill();
        pactl.waitForFinished(STOP_LIMIT_MS);
        *pError = QStringLiteral("pactl did not finish");
        return false;
    }
    *pOut = QString::fromLocal8Bit(pactl.readAllStandardOutput());
    if (pactl.exitStatus() != QProcess::NormalExit || pactl.exitCode() != 0) {
        *pError = QStringLiteral("pactl: ") + QString::fromLocal8Bit(pactl.readAllStandardError());
        return false;
    }
    return true;
}

bool CPulseServer::Answers(QString *pError) const
{
    QString out;
    if (!Ask({QStringLiteral("info")}, &out, pError))
        return false;
    if (!out.contains(QStringLiteral("Default Sink: ") + SinkName())) {
        *pError = QStringLiteral("pactl info: ") + out;
        return false;
    }
    return true;
}

int CPulseServer::PlayingStreams() const
{
    QString out;
    QString strWhy;
    if (!Ask({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sink-inputs")}, &out, &strWhy))
        return -1;
    return static_cast<int>(out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size());
}

void CPulseServer::Stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(STOP_LIMIT_MS)) {
        m_process.kill();
        m_process.waitForFinished(STOP_LIMIT_MS);
    }
}
