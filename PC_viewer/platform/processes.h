// Starting the viewer's program files as processes of their own, and finding and stopping the
// running copies of one program file (the self-update hand-over between "Corvana" and
// "Corvanaupdate" in one folder).
//
// A running copy is a process of the current user whose executable is exactly the given file:
// on Linux the target of /proc/<pid>/exe, on Windows the process's full image path (compared
// without regard to case). A process with the same name started from another folder, or one of
// another user, is never touched; neither is the calling process.
#pragma once

#include <QList>
#include <QString>

// Starts `programPath` with no arguments as a process of its own, which outlives the caller.
// False when it cannot be started (missing, not executable).
bool StartProcess(const QString &programPath);

// The ids of the running copies of `programPath`.
QList<qint64> RunningProcessesOf(const QString &programPath);

// Stops the first running copy of `programPath` at once (as the system's terminate does) and
// waits briefly until it has gone. 1 when a copy was stopped, 0 when none runs or the one found
// cannot be stopped.
int StopProcessByName(const QString &programPath);

// StopProcessByName repeated until it returns 0, at most `limit` times; the number stopped.
int StopAllProcessesOf(const QString &programPath, int limit = 64);
