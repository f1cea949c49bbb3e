// Start-up hand-over of the self-update.
#include "update/handover.h"

#include "platform/processes.h"
#include "update/updateconst.h"
#include "update/updatepackage.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace {

// The copy's name while it is written: hidden, in the program's own folder so that the rename
// stays on one file system.
constexpr char kCopySuffix[] = ".handover";

// Renames `copy` over `program`, stopping the running copies of `program` before every retry.
bool ReplaceProgramFile(const QString &copy, const QString &program)
{
    for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
        if (ReplaceFile(copy, program))
            return true;
        StopAllProcessesOf(program);
        QThread::msleep(kDeleteRetryMs);
    }
    return false;
}

} // namespace

bool DeleteProgramFile(const QString &path)
{
    for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
        if (!QFileInfo::exists(path) || QFile::remove(path))
            return true;
        StopAllProcessesOf(path);
        QThread::msleep(kDeleteRetryMs);
    }
    return !QFileInfo::exists(path);
}

HandOverResult RunStartupHandOver(const QString &programPath)
{
    const QFileInfo self(programPath);
    const QString folder = self.absolutePath() + QLatin1Char('/');
    const QString program = folder + QString::fromLatin1(kProgramFileName);
    const QString updater = folder + QString::fromLatin1(kUpdaterFileName);

    if (self.fileName().compare(QString::fromLatin1(kUpdaterFileName), Qt::CaseInsensitive) != 0) {
        StopAllProcessesOf(updater);
        DeleteProgramFile(updater);
        return HandOverResult::ContinueStart;
    }

    StopAllProcessesOf(program);
    // The new bytes first, under a temporary name and on the disk: if they cannot be written the
    // old program stays as it is, and a crash after the rename cannot leave an empty file.
    const QString copy = folder + QLatin1Char('.') + QString::fromLatin1(kProgramFileName) + QLatin1String(kCopySuffix);
    QFile::remove(copy);
    if (!QFile::copy(self.absoluteFilePath(), copy) ||
        !QFile::setPermissions(copy, QFile::permissions(self.absoluteFilePath())) || !SyncFile(copy)) {
        QFile::remove(copy);
        return HandOverResult::ContinueStart;
    }
    if (!ReplaceProgramFile(copy, program)) {
        QFile::remove(copy);
        return HandOverResult::ContinueStart;
    }
    return StartProcess(program) ? HandOverResult::EndInstance : HandOverResult::StartFailed;
}
