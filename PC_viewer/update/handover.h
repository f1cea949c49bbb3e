// The start-up hand-over between the program file "Corvana" and the downloaded updater copy
// "Corvanaupdate" in the same folder (".exe" on Windows).
//
// Started as the updater (its file name compared without regard to case), the program stops the
// running copies of the old program file (asked to end first, killed only when they do not),
// writes a copy of itself beside it under a temporary name, syncs it to the disk and renames it
// over the program file, then syncs the folder and starts the new program file; the caller then
// ends. The program file is never deleted: at every moment it is either the old or the new one,
// whenever the machine stops. Where the system refuses to replace a running program (Windows),
// the rename is retried up to 100 times, 100 ms apart, stopping copies again before each retry.
// Started under any other name, the program stops the running copies of a leftover updater file
// and deletes it with the same loop.
#pragma once

#include <QString>

enum class HandOverResult {
    ContinueStart,     // go on starting as usual
    EndInstance,       // the new program file has been started: end this process quietly
    StartFailed,       // the new program file is in place but could not be started
};

// `programPath`: the running program's full path.
HandOverResult RunStartupHandOver(const QString &programPath);

// Deletes `path`, stopping the running copies of that file before every retry; true when the
// file is gone (or was never there).
bool DeleteProgramFile(const QString &path);
