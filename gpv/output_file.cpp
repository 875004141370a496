// Output files written whole or not at all, and gpv.log lines appended whole.
#include "gpv/gpv.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gpv {

namespace {

// The temporary file being written; read by signal handlers.
std::atomic<const char*> partial{nullptr};

// Longest file name the file systems here accept.
constexpr std::size_t kNameMax = 255;

} // namespace

std::string temporary_name(const std::string& name) {
    std::size_t slash = name.find_last_of('/');
    std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    std::string tail = "." + std::to_string(getpid()) + ".part";
    // A base too long for ".BASE.PID.part" keeps its first characters.
    std::string base = name.substr(start, kNameMax - 1 - tail.size());
    return name.substr(0, start) + "." + base + tail;
}

bool open_output(OutputFile& out, const std::string& name, const char* mode) {
    // A name that could not be opened for writing is refused as before: a
    // folder, or a file the user may not write (the rename would replace it).
    struct stat st {};
    if (stat(name.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return false;
        }
        const bool own_writable = st.st_uid == geteuid() && (st.st_mode & S_IWUSR);
        if (!own_writable && access(name.c_str(), W_OK) != 0) return false;
    }
    out.name = name;
    out.temp = temporary_name(name);
    partial.store(out.temp.c_str());
    // Created new ("x"), closed on exec ("e").
    const std::string how = std::string(mode) + "xe";
    for (int attempt = 0; attempt < 2 && !out.stream; ++attempt) {
        out.stream = std::fopen(out.temp.c_str(), how.c_str());
        // A leftover of a killed process that had our process number.
        if (!out.stream && errno == EEXIST) ::unlink(out.temp.c_str());
    }
    if (!out.stream) {
        int err = errno;
        ::unlink(out.temp.c_str());
        partial.store(nullptr);
        errno = err;
        return false;
    }
    return true;
}

bool commit_output(OutputFile& out) {
    if (!out.stream) return false;
    bool ok = std::fflush(out.stream) == 0 && !std::ferror(out.stream);
    int err = errno;
    if (std::fclose(out.stream) != 0 && ok) {
        ok = false;
        err = errno;
    }
    out.stream = nullptr;
    if (ok && std::rename(out.temp.c_str(), out.name.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) ::unlink(out.temp.c_str());
    partial.store(nullptr);
    // A stream error without errno (it was cleared since) is still an error.
    errno = ok ? 0 : (err ? err : EIO);
    return ok;
}

void discard_output(OutputFile& out) {
    int err = errno;
    if (out.stream) std::fclose(out.stream);
    out.stream = nullptr;
    ::unlink(out.temp.c_str());
    partial.store(nullptr);
    errno = err;
}

const char* partial_file() {
    return partial.load();
}

std::FILE* open_log(const std::string& path) {
    std::FILE* log = std::fopen(path.c_str(), "a+");
    if (!log) return nullptr;
    const int fd = fileno(log);
    // One process at a time looks at the end of the log and repairs it.
    flock(fd, LOCK_EX);
    struct stat st {};
    char last = '\n';
    if (fstat(fd, &st) == 0 && st.st_size > 0 && pread(fd, &last, 1, st.st_size - 1) == 1 &&
        last != '\n') {
        // A line cut short by an earlier run is dropped, so that the next
        // line does not continue it.
        char buf[512];
        off_t keep = 0;
        for (off_t pos = st.st_size; pos > 0 && keep == 0;) {
            const off_t from = pos > off_t(sizeof buf) ? pos - off_t(sizeof buf) : 0;
            const ssize_t got = pread(fd, buf, std::size_t(pos - from), from);
            if (got <= 0) break;
            for (ssize_t k = got; k-- > 0;)
                if (buf[k] == '\n') {
                    keep = from + k + 1;
                    break;
                }
            pos = from;
        }
        if (ftruncate(fd, keep) != 0) {
            // Not repaired: lines are not appended behind the broken one.
            const int err = errno;
            flock(fd, LOCK_UN);
            std::fclose(log);
            errno = err;
            return nullptr;
        }
    }
    flock(fd, LOCK_UN);
    return log;
}

int append_line(std::FILE* log, const char* line, std::size_t n) {
    const int fd = fileno(log);
    if (fd < 0) return 0;
    // One write of the whole line: appends of other processes never come
    // between its bytes.
    std::size_t done = 0;
    int err = ENOSPC; // a write of no bytes without an error: the disk is full
    while (done < n) {
        const ssize_t w = ::write(fd, line + done, n - done);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) err = errno;
        if (w <= 0) break;
        done += std::size_t(w);
    }
    if (done == n) return 1;
    // Whole or not at all: the part that reached the file goes again.
    if (done > 0) {
        const off_t end = lseek(fd, 0, SEEK_CUR);
        if (end < 0 || ftruncate(fd, end - off_t(done)) != 0) err = errno;
    }
    errno = err;
    return 0;
}

} // namespace gpv
