// Starting the viewer's program files as processes of their own, and finding and stopping the
// running copies of one program file (the self-update hand-over between "Corvana" and
// "Corvanaupdate" in one folder).
//
// A running copy is a process of the current user whose executable is exactly the given file:
// on Linux the target of /proc/<pid>/exe, on Windows the process's full image path (compared
// without regard to case). A process with the same name started from another folder, or one of
// another user, is never touched; neither is the calling process.
//
// Stopping: on Linux a copy is asked to end (SIGTERM) and killed (SIGKILL) only when it has not
// ended within a grace period. A process is known by its id and its start time, so that an id
// the system has given to another process since the scan is never signalled: the signals go
// through a pidfd (Linux 5.3 and later), opened and then checked against the start time, which
// names that one process for good; on older kernels the start time is read again before each
// signal. On Windows a copy is terminated at once, through a handle checked against its
// creation time.
#pragma once

#include <QList>
#include <QString>

// How long a stopped copy may take to end by itself before it is killed.
inline constexpr int kStopGraceMs = 3000;

struct tagPROCESSID {
    qint64 pid = 0;
    // When it started: clock ticks since boot on Linux, the creation time on Windows.
    quint64 startTime = 0;
};

// Starts `programPath` with no arguments as a process of its own, which outlives the caller.
// False when it cannot be started (missing, not executable).
bool StartProcess(const QString &programPath);

// The running copies of `programPath`.
QList<tagPROCESSID> RunningCopiesOf(const QString &programPath);
// Their ids only.
QList<qint64> RunningProcessesOf(const QString &programPath);

// Stops `process` (asks it to end, kills it after `graceMs`) and waits briefly until it has
// gone. True when the process found has ended: stopped now, or gone already (a process that has
// since been given its id is left alone). False when it cannot be signalled or does not end.
bool StopProcess(const tagPROCESSID &process, int graceMs = kStopGraceMs);

// Stops the first running copy of `programPath`. 1 when a copy was stopped, 0 when none runs or
// the one found cannot be stopped.
int StopProcessByName(const QString &programPath, int graceMs = kStopGraceMs);

// StopProcessByName repeated until it returns 0, at most `limit` times; the number stopped.
int StopAllProcessesOf(const QString &programPath, int limit = 64);
