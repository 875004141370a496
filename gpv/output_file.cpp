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

bool sync_output = true;

namespace {

// The temporary file being written, its folder and its name there; read by
// signal handlers.
std::atomic<const char*> partial{nullptr};
std::atomic<const char*> partial_leaf{nullptr};
std::atomic<int> partial_folder{-1};

// Longest file name the file systems here accept.
constexpr std::size_t kNameMax = 255;

// The stream's writes, straight to the file; the first failure keeps its
// errno and every later write fails at once.
ssize_t stream_write(void* cookie, const char* bytes, std::size_t n) {
    OutputFile& out = *static_cast<OutputFile*>(cookie);
    if (out.error) return -1;
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(out.fd, bytes + done, n - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            out.error = w < 0 ? errno : ENOSPC; // no byte and no error: the disk is full
            errno = out.error;
            return -1;
        }
        done += std::size_t(w);
    }
    return ssize_t(n);
}

int stream_seek(void* cookie, off64_t* offset, int whence) {
    const off_t at = ::lseek(static_cast<OutputFile*>(cookie)->fd, *offset, whence);
    if (at < 0) return -1;
    *offset = at;
    return 0;
}

int stream_close(void*) {
    return 0; // the descriptor is closed by commit_output or discard_output
}

void forget_partial() {
    partial_leaf.store(nullptr);
    partial_folder.store(-1);
    partial.store(nullptr);
}

// Closes the stream and the descriptors; errno is kept.
void release(OutputFile& out) {
    const int err = errno;
    if (out.stream) std::fclose(out.stream);
    out.stream = nullptr;
    if (out.fd >= 0) ::close(out.fd);
    out.fd = -1;
    if (out.folder >= 0) ::close(out.folder);
    out.folder = -1;
    errno = err;
}

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
    // Names inside the folder are used relative to it, so that a path
    // longer than the system takes at once still works when its folder does.
    const std::size_t slash = name.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : name.substr(0, slash + 1);
    out.leaf = name.substr(slash == std::string::npos ? 0 : slash + 1);
    out.folder = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (out.folder < 0) return false;
    // A name that could not be opened for writing is refused as before: a
    // folder, or a file the user may not write (the rename would replace it).
    struct stat st {};
    if (fstatat(out.folder, out.leaf.c_str(), &st, 0) == 0) {
        errno = EISDIR;
        const bool own_writable = st.st_uid == geteuid() && (st.st_mode & S_IWUSR);
        if (S_ISDIR(st.st_mode) ||
            (!own_writable && faccessat(out.folder, out.leaf.c_str(), W_OK, 0) != 0)) {
            release(out);
            return false;
        }
    }
    out.name = name;
    out.temp = temporary_name(name);
    out.temp_leaf = temporary_name(out.leaf);
    out.error = 0;
    partial.store(out.temp.c_str());
    partial_folder.store(out.folder);
    partial_leaf.store(out.temp_leaf.c_str());
    // Created new, closed on exec.
    for (int attempt = 0; attempt < 2 && out.fd < 0; ++attempt) {
        out.fd = ::openat(out.folder, out.temp_leaf.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        // A leftover of a killed process that had our process number.
        if (out.fd < 0 && errno == EEXIST) ::unlinkat(out.folder, out.temp_leaf.c_str(), 0);
    }
    if (out.fd >= 0) {
        out.stream = fopencookie(&out, mode, {nullptr, stream_write, stream_seek, stream_close});
        if (!out.stream) ::unlinkat(out.folder, out.temp_leaf.c_str(), 0);
    }
    if (!out.stream) {
        forget_partial();
        release(out);
        return false;
    }
    return true;
}

bool commit_output(OutputFile& out) {
    if (!out.stream) return false;
    errno = 0;
    bool ok = std::fflush(out.stream) == 0 && !std::ferror(out.stream) && !out.error;
    int err = out.error ? out.error : errno;
    // The bytes reach the disk before the name does: after a crash of the
    // machine the name holds the earlier file or this one, whole.
    if (ok && sync_output && fsync(out.fd) != 0 && errno != EINVAL) ok = false, err = errno;
    if (std::fclose(out.stream) != 0 && ok) ok = false, err = errno;
    out.stream = nullptr;
    if (::close(out.fd) != 0 && ok) ok = false, err = errno;
    out.fd = -1;
    if (ok && ::renameat(out.folder, out.temp_leaf.c_str(), out.folder, out.leaf.c_str()) != 0)
        ok = false, err = errno;
    if (!ok) ::unlinkat(out.folder, out.temp_leaf.c_str(), 0);
    forget_partial();
    // The folder's new entry too. The file is complete under its name
    // either way, so a folder that cannot be synced does not fail it.
    if (ok && sync_output) fsync(out.folder);
    release(out);
    // A stream error without errno (it was cleared since) is still an error.
    errno = ok ? 0 : (err ? err : EIO);
    return ok;
}

void discard_output(OutputFile& out) {
    const int err = errno;
    if (out.folder >= 0) ::unlinkat(out.folder, out.temp_leaf.c_str(), 0);
    forget_partial();
    release(out);
    errno = err;
}

const char* partial_file() {
    return partial.load();
}

void remove_partial_file() {
    const int folder = partial_folder.load();
    const char* leaf = partial_leaf.load();
    if (folder >= 0 && leaf) ::unlinkat(folder, leaf, 0);
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
