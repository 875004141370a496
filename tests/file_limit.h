// Write failures on demand: a child process whose files may grow only so
// far, as on a full disk.
#pragma once

#include <csignal>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testfiles {

// Runs f in a child process whose files may grow to `limit` bytes (a write
// beyond fails with EFBIG instead of raising SIGXFSZ); the child's exit
// status, 100 + the signal when one ended it.
inline int with_file_limit(rlim_t limit, const std::function<int()>& f) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit r{limit, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &r);
        _exit(f());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// Lifts the limit again inside f, as when another process frees the disk.
inline void lift_file_limit() {
    const rlimit r{RLIM_INFINITY, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &r);
}

} // namespace testfiles
