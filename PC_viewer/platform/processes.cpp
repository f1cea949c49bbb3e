// Processes of the viewer's program files: /proc and signals on Linux, the process snapshot on
// Windows.
#include "platform/processes.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#ifdef Q_OS_WIN
#include <iterator>
#include <windows.h>
#include <tlhelp32.h>
#else
#include <csignal>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace {

// How long a stopped process may take to leave the process list.
constexpr int kStopWaitMs = 2000;
constexpr int kStopPollMs = 10;

// The file a process must run to be a copy of `programPath`: the real folder (links resolved,
// as the system reports executables) and the file name as given, so a file that has just been
// deleted is still recognised.
QString ProgramIdentity(const QString &programPath)
{
    const QFileInfo info(programPath);
    QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        folder = info.absolutePath();
    return QDir::cleanPath(folder + QLatin1Char('/') + info.fileName());
}

#ifdef Q_OS_WIN

QString ImageOf(HANDLE process)
{
    wchar_t buffer[MAX_PATH * 4];
    DWORD size = DWORD(std::size(buffer));
    if (!QueryFullProcessImageNameW(process, 0, buffer, &size))
        return QString();
    return QDir::cleanPath(QDir::fromNativeSeparators(QString::fromWCharArray(buffer, int(size))));
}

QList<qint64> FindCopies(const QString &identity)
{
    QList<qint64> pids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return pids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self)
            continue;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        if (ImageOf(process).compare(identity, Qt::CaseInsensitive) == 0)
            pids.append(qint64(entry.th32ProcessID));
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return pids;
}

bool Terminate(qint64 pid)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return false;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    const bool ok = TerminateProcess(process, code) != 0;
    CloseHandle(process);
    return ok;
}

#else

// The executable of process `pid`, or empty when it has none (ended, a zombie, another
// user's process that may not be read).
QString ExecutableOf(const QByteArray &pid)
{
    char buffer[4096];
    const QByteArray link = "/proc/" + pid + "/exe";
    const ssize_t n = ::readlink(link.constData(), buffer, sizeof(buffer));
    if (n <= 0 || size_t(n) >= sizeof(buffer))
        return QString();
    return QString::fromLocal8Bit(buffer, int(n));
}

QList<qint64> FindCopies(const QString &identity)
{
    QList<qint64> pids;
    const qint64 self = qint64(::getpid());
    const uid_t user = ::getuid();
    // The link of a running program whose file has been deleted ends in " (deleted)".
    const QString deleted = identity + QStringLiteral(" (deleted)");
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == self)
            continue;
        struct stat st {};
        if (::stat(QByteArray("/proc/" + entry.toLatin1()).constData(), &st) != 0 || st.st_uid != user)
            continue;
        const QString exe = ExecutableOf(entry.toLatin1());
        if (exe == identity || exe == deleted)
            pids.append(pid);
    }
    return pids;
}

bool Terminate(qint64 pid)
{
    return ::kill(pid_t(pid), SIGKILL) == 0;
}

#endif

} // namespace

bool StartProcess(const QString &programPath)
{
    const QFileInfo info(programPath);
    if (!info.isFile() || !info.isExecutable())
        return false;
    return QProcess::startDetached(info.absoluteFilePath(), QStringList(), info.absolutePath());
}

QList<qint64> RunningProcessesOf(const QString &programPath)
{
    return FindCopies(ProgramIdentity(programPath));
}

int StopProcessByName(const QString &programPath)
{
    const QString identity = ProgramIdentity(programPath);
    const QList<qint64> pids = FindCopies(identity);
    if (pids.isEmpty() || !Terminate(pids.first()))
        return 0;
    // The caller deletes or replaces the file next; let the process leave first.
    const QDeadlineTimer deadline(kStopWaitMs);
    while (FindCopies(identity).contains(pids.first()) && !deadline.hasExpired())
        QThread::msleep(kStopPollMs);
    return 1;
}

int StopAllProcessesOf(const QString &programPath, int limit)
{
    int stopped = 0;
    while (stopped < limit && StopProcessByName(programPath) == 1)
        ++stopped;
    return stopped;
}
