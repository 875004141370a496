// What the command line prints beside the dialog's messages.
#include "app/cli_output.h"

#include "app/app.h"
#include "gpv/gpv.h"
#include "plot/razidu.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace app {

namespace {

// Writes straight to descriptor 1. The first write that fails or writes
// nothing ends the command with the system's reason.
ssize_t write_out(void*, const char* bytes, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(STDOUT_FILENO, bytes + done, n - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) standard_output_failed(w < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(w);
    }
    return static_cast<ssize_t>(n);
}

} // namespace

void check_standard_output() {
    static bool checked = false;
    if (checked) return;
    checked = true;
    // A standard descriptor that was closed gets /dev/null for reading, so
    // that no file opened later takes its number (the inventory would go
    // into gpv.log): writes to it fail with EBADF.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            const int null = open("/dev/null", O_RDONLY);
            if (null >= 0 && null != fd) {
                dup2(null, fd);
                close(null);
            }
        }
    std::FILE* stream = fopencookie(nullptr, "w", {nullptr, write_out, nullptr, nullptr});
    if (!stream) return; // the standard stream stays, unchecked
    // Buffered as the standard stream would be: by lines on a terminal, else
    // by the descriptor's block size.
    struct stat st {};
    const std::size_t size =
        fstat(STDOUT_FILENO, &st) == 0 && st.st_blksize > 0 ? std::size_t(st.st_blksize) : BUFSIZ;
    std::setvbuf(stream, nullptr, isatty(STDOUT_FILENO) ? _IOLBF : _IOFBF, size);
    std::fflush(stdout);
    stdout = stream;
}

void standard_output_failed(int err) {
    // As on SIGTERM: the workers end and remove their files, and so does the
    // file this process is writing.
    end_workers(SIGTERM);
    gpv::remove_partial_file();
    if (const char* f = razidu::partial_file()) unlink(f);
    std::fprintf(stderr, "kivar: standard output: %s\n", std::strerror(err));
    std::fflush(stderr);
    _exit(1);
}

void print_version() {
    std::printf("kivar %s\n", KIVAR_VERSION);
}

void report_no_map(int level, int item, int hour, float value) {
    std::fprintf(stderr, "kivar: no map for %d/%d/%d: the field is constant (%g)\n", level, item,
                 hour, double(value));
}

} // namespace app
