// A stand-in for the viewer in the hand-over tests: it runs the viewer's start-up hand-over and,
// when that lets it go on, says so with an empty file named after its process id in
// $HANDOVER_PROBE_READY and stays running (as the viewer would) for at most a minute, so that a
// failed test leaves no process behind for long. With $HANDOVER_PROBE_TERM set it answers
// SIGTERM by writing "term-<pid>" beside that file, then ends ("exit") or runs on ("ignore").
#include "update/handover.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

char g_termMarker[4096];
bool g_exitOnTerm = false;

extern "C" void OnTerm(int)
{
    const int fd = ::open(g_termMarker, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd >= 0)
        ::close(fd);
    if (g_exitOnTerm)
        ::_exit(0);
}

void AnswerTerm(const QString &readyFolder)
{
    const QByteArray mode = qgetenv("HANDOVER_PROBE_TERM");
    if (mode.isEmpty())
        return;
    const QByteArray marker =
        QFile::encodeName(QDir(readyFolder).filePath(QStringLiteral("term-%1").arg(QCoreApplication::applicationPid())));
    if (marker.size() >= qsizetype(sizeof(g_termMarker)))
        return;
    std::memcpy(g_termMarker, marker.constData(), size_t(marker.size()) + 1);
    g_exitOnTerm = mode == "exit";
    struct sigaction action {};
    action.sa_handler = OnTerm;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (RunStartupHandOver(QCoreApplication::applicationFilePath()) == HandOverResult::EndInstance)
        return 0;
    const QString ready = qEnvironmentVariable("HANDOVER_PROBE_READY");
    if (!ready.isEmpty()) {
        AnswerTerm(ready);
        QFile marker(QDir(ready).filePath(QString::number(QCoreApplication::applicationPid())));
        marker.open(QIODevice::WriteOnly);
    }
    for (int i = 0; i < 600; ++i)
        QThread::msleep(100);
    return 0;
}
