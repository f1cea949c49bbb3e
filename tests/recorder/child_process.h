// Runs one program to completion with its output captured and a hard time-out, so that a hanging
// program under test (a lock never released, a stuck emulator) fails its test instead of CI.
#pragma once

#include <string>
#include <vector>

struct ChildResult {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1; // exit status, or 128 + signal number when killed by a signal
    std::string out;
    std::string err;
};

// argv[0] is a path; env replaces the environment completely; stdin is /dev/null.
ChildResult runChild(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                     int timeoutSeconds);
