// A stand-in for the viewer in the hand-over tests: it runs the viewer's start-up hand-over and,
// when that lets it go on, says so with an empty file named after its process id in
// $HANDOVER_PROBE_READY and stays running (as the viewer would) for at most a minute, so that a
// failed test leaves no process behind for long.
#include "update/handover.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (RunStartupHandOver(QCoreApplication::applicationFilePath()) == HandOverResult::EndInstance)
        return 0;
    const QString ready = qEnvironmentVariable("HANDOVER_PROBE_READY");
    if (!ready.isEmpty()) {
        QFile marker(QDir(ready).filePath(QString::number(QCoreApplication::applicationPid())));
        marker.open(QIODevice::WriteOnly);
    }
    for (int i = 0; i < 600; ++i)
        QThread::msleep(100);
    return 0;
}
