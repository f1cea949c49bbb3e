// Processes of the viewer's program files: /proc, pidfds and signals on Linux, the process
// snapshot on Windows.
#include "platform/processes.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#ifdef Q_OS_WIN
#include <iterator>
#include <windows.h>
#include <tlhelp32.h>
#else
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace {

// How long a killed process may take to end.
constexpr int kKillWaitMs = 2000;
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

quint64 CreationTimeOf(HANDLE process)
{
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return (quint64(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

QList<tagPROCESSID> FindCopies(const QString &identity)
{
    QList<tagPROCESSID> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
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
            found.append({qint64(entry.th32ProcessID), CreationTimeOf(process)});
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return found;
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

// The start time (field 22 of /proc/<pid>/stat, clock ticks since boot) of a process that has
// not ended, or 0 when there is none (gone, or a zombie).
quint64 StartTimeOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = file.read(4096);
    // The command name (field 2) is in parentheses and may hold spaces and parentheses itself.
    const int nameEnd = text.lastIndexOf(')');
    if (nameEnd < 0)
        return 0;
    const QList<QByteArray> fields = text.mid(nameEnd + 2).split(' ');
    if (fields.size() < 20)
        return 0;
    const QByteArray &state = fields.at(0);
    if (state == "Z" || state == "X" || state == "x")
        return 0;
    return fields.at(19).toULongLong();
}

bool IsRunningAs(const tagPROCESSID &process)
{
    return process.startTime != 0 && StartTimeOf(process.pid) == process.startTime;
}

QList<tagPROCESSID> FindCopies(const QString &identity)
{
    QList<tagPROCESSID> found;
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
        if (exe != identity && exe != deleted)
            continue;
        const quint64 started = StartTimeOf(pid);
        if (started != 0)
            found.append({pid, started});
    }
    return found;
}

// glibc has wrappers for these only from 2.36 on.
int PidfdOpen(qint64 pid)
{
    return int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
}

int PidfdSignal(int pidfd, int signal)
{
    return int(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

// A pidfd becomes readable when its process has ended.
bool WaitForExit(int pidfd, int limitMs)
{
    const QDeadlineTimer deadline(limitMs);
    for (;;) {
        pollfd item{pidfd, POLLIN, 0};
        const int n = ::poll(&item, 1, int(deadline.remainingTime()));
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

bool StopThroughPidfd(int pidfd, int graceMs)
{
    if (PidfdSignal(pidfd, SIGTERM) != 0)
        return errno == ESRCH;
    if (WaitForExit(pidfd, graceMs))
        return true;
    if (PidfdSignal(pidfd, SIGKILL) != 0)
        return errno == ESRCH;
    return WaitForExit(pidfd, kKillWaitMs);
}

bool WaitUntilGone(const tagPROCESSID &process, int limitMs)
{
    const QDeadlineTimer deadline(limitMs);
    while (IsRunningAs(process)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kStopPollMs);
    }
    return true;
}

// Kernels without pidfds: the start time is read again right before each signal, which leaves
// only the moment between that reading and the signal.
bool StopThroughPid(const tagPROCESSID &process, int graceMs)
{
    if (!IsRunningAs(process))
        return true;
    if (::kill(pid_t(process.pid), SIGTERM) != 0)
        return errno == ESRCH;
    if (WaitUntilGone(process, graceMs))
        return true;
    if (::kill(pid_t(process.pid), SIGKILL) != 0)
        return errno == ESRCH;
    return WaitUntilGone(process, kKillWaitMs);
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

QList<tagPROCESSID> RunningCopiesOf(const QString &programPath)
{
    return FindCopies(ProgramIdentity(programPath));
}

QList<qint64> RunningProcessesOf(const QString &programPath)
{
    QList<qint64> pids;
    for (const tagPROCESSID &process : RunningCopiesOf(programPath))
        pids.append(process.pid);
    return pids;
}

bool StopProcess(const tagPROCESSID &process, int graceMs)
{
#ifdef Q_OS_WIN
    Q_UNUSED(graceMs);
    HANDLE handle = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                DWORD(process.pid));
    if (!handle)
        return GetLastError() == ERROR_INVALID_PARAMETER; // no such process any more
    // The handle holds the process it was opened for; it is the one found only if it was
    // created when that one was.
    bool ok = true;
    if (CreationTimeOf(handle) == process.startTime) {
        DWORD code = 0;
        GetExitCodeProcess(handle, &code);
        ok = TerminateProcess(handle, code) != 0 && WaitForSingleObject(handle, kKillWaitMs) == WAIT_OBJECT_0;
    }
    CloseHandle(handle);
    return ok;
#else
    const int pidfd = PidfdOpen(process.pid);
    if (pidfd < 0) {
        if (errno == ESRCH)
            return true;
        return errno == ENOSYS ? StopThroughPid(process, graceMs) : false;
    }
    // The pidfd names one process for good; it is the one found only if it started when that
    // one did. Otherwise the id has been given to another process, which is left alone.
    bool ok = true;
    if (IsRunningAs(process))
        ok = StopThroughPidfd(pidfd, graceMs);
    ::close(pidfd);
    return ok;
#endif
}

int StopProcessByName(const QString &programPath, int graceMs)
{
    const QList<tagPROCESSID> copies = RunningCopiesOf(programPath);
    if (copies.isEmpty())
        return 0;
    return StopProcess(copies.first(), graceMs) ? 1 : 0;
}

int StopAllProcessesOf(const QString &programPath, int limit)
{
    int stopped = 0;
    while (stopped < limit && StopProcessByName(programPath) == 1)
        ++stopped;
    return stopped;
}
