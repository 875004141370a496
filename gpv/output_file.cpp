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
        if (access(name.c_str(), W_OK) != 0) return false;
    }
    out.name = name;
    out.temp = temporary_name(name);
    partial.store(out.temp.c_str());
    int fd = -1;
    for (int attempt = 0; attempt < 2 && fd < 0; ++attempt) {
        fd = ::open(out.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        // A leftover of a killed process that had our process number.
        if (fd < 0 && errno == EEXIST) ::unlink(out.temp.c_str());
    }
    if (fd >= 0) out.stream = fdopen(fd, mode);
    if (!out.stream) {
        int err = errno;
        if (fd >= 0) ::close(fd);
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

int append_line(std::FILE* log, const char* line, std::size_t n) {
    int fd = fileno(log);
    if (fd < 0) return 0;
    // One writer at a time: the check of the last line and the append belong
    // together when several processes share the log.
    flock(fd, LOCK_EX);
    int result = 1;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        result = 0;
    } else if (st.st_size > 0) {
        // A line cut short by an earlier run (disk full, killed) is dropped,
        // so that this line does not continue it.
        char last = '\n';
        off_t end = st.st_size;
        if (pread(fd, &last, 1, end - 1) == 1 && last != '\n') {
            char buf[512];
            off_t keep = 0;
            for (off_t pos = end; pos > 0 && keep == 0;) {
                off_t from = pos > static_cast<off_t>(sizeof buf) ? pos - sizeof buf : 0;
                ssize_t got = pread(fd, buf, static_cast<std::size_t>(pos - from), from);
                if (got <= 0) break;
                for (ssize_t k = got; k-- > 0;)
                    if (buf[k] == '\n') {
                        keep = from + k + 1;
                        break;
                    }
                pos = from;
            }
            if (ftruncate(fd, keep) != 0) result = 0;
        }
    }
    if (result) {
        off_t start = lseek(fd, 0, SEEK_END);
        std::size_t done = 0;
        int err = ENOSPC; // a write of no bytes without an error: the disk is full
        while (done < n) {
            ssize_t w = ::write(fd, line + done, n - done);
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) err = errno;
            if (w <= 0) break;
            done += static_cast<std::size_t>(w);
        }
        if (done < n) {
            // Whole or not at all: the part that reached the file goes again.
            if (done > 0 && start >= 0 && ftruncate(fd, start) != 0) err = errno;
            errno = err;
            result = 0;
        }
    }
    int err = errno;
    flock(fd, LOCK_UN);
    errno = err;
    return result;
}

} // namespace gpv
