#include "child_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::vector<char *> cStrings(const std::vector<std::string> &strings)
{
    std::vector<char *> pointers;
    for (const auto &s : strings) {
        pointers.push_back(const_cast<char *>(s.c_str()));
    }
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

ChildResult runChild(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                     int timeoutSeconds)
{
    ChildResult result;
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        return result;
    }
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return result;
    }
    // Prepared before fork: the child only calls async-signal-safe functions.
    std::vector<char *> args = cStrings(argv);
    std::vector<char *> envp = cStrings(env);

    const pid_t pid = fork();
    if (pid == 0) {
        int devNull = open("/dev/null", O_RDONLY);
        if (devNull < 0 || dup2(devNull, 0) < 0 || dup2(outPipe[1], 1) < 0 || dup2(errPipe[1], 2) < 0) {
            _exit(126);
        }
        execve(args[0], args.data(), envp.data());
        const char msg[] = "runChild: cannot execute the program\n";
        ssize_t ignored = write(2, msg, sizeof msg - 1);
        (void)ignored;
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    if (pid < 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return result;
    }
    result.started = true;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    auto msLeft = [&] {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        return static_cast<int>(left.count() > 0 ? left.count() : 0);
    };

    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    int openPipes = 2;
    while (openPipes > 0 && !result.timedOut) {
        int ready = poll(fds, 2, msLeft());
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            result.timedOut = true;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --openPipes;
            }
        }
    }
    for (auto &fd : fds) {
        if (fd.fd >= 0) {
            close(fd.fd);
        }
    }

    // The pipes may close before the program ends (it could close its own output), so the wait
    // has the same deadline.
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            return result;
        }
        if (result.timedOut || msLeft() == 0) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        usleep(2000);
    }
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.exitCode = 128 + WTERMSIG(status);
    }
    return result;
}
