// The start-up hand-over between the program file "Corvana" and the downloaded updater copy
// "Corvanaupdate" in the same folder (".exe" on Windows).
//
// Started as the updater (its file name compared without regard to case), the program stops the
// running copies of the old program file, deletes that file (retrying up to 100 times, 100 ms
// apart, stopping copies again before each retry), puts a copy of itself in its place and
// starts it; the caller then ends. The copy is written under a temporary name in the same
// folder first and renamed into place, so the program file is never half written. Started
// under any other name, it stops the running copies of a leftover updater file and deletes it
// with the same loop.
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
