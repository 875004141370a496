// The page's output file under a temporary name, and the page outcome.
#include "plot/core/output.h"
#include "plot/core/state.h"
#include "plot/core/messages.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace razidu {

namespace {

// Files synced before the rename, folders after it (file_sync).
bool sync_files = true;
// Called in place of ending the program (end_hook).
void (*end_process_hook)() = nullptr;

// Longest file name the file systems here accept.
constexpr std::size_t kNameLimit = 255;

std::string temporary_name(const std::string& name) {
    const std::size_t slash = name.find_last_of('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    const std::string tail = "." + std::to_string(getpid()) + ".part";
    // A base too long for ".BASE.PID.part" keeps its first characters.
    return name.substr(0, start) + "." + name.substr(start, kNameLimit - 1 - tail.size()) + tail;
}

// The stream's writes, straight to the file; the first failure keeps its
// errno (output_failed) and every later write fails at once.
ssize_t stream_write(void* cookie, const char* bytes, size_t n) {
    OutputState& o = *static_cast<OutputState*>(cookie);
    if (o.error) return -1;
    size_t done = 0;
    while (done < n) {
        const ssize_t w = write(o.fd, bytes + done, n - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            output_failed(w < 0 ? errno : ENOSPC); // no byte and no error: the disk is full
            errno = o.error;
            return -1;
        }
        done += size_t(w);
    }
    return ssize_t(n);
}

int stream_seek(void* cookie, off64_t* offset, int whence) {
    const off_t at = lseek(static_cast<OutputState*>(cookie)->fd, *offset, whence);
    if (at < 0) return -1;
    *offset = at;
    return 0;
}

int stream_close(void* cookie) {
    OutputState& o = *static_cast<OutputState*>(cookie);
    const int r = close(o.fd);
    o.fd = -1;
    return r;
}

// Syncs the folder of `name` (its new entry); a failure leaves the file as
// it is, complete under its name.
void sync_folder(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : name.substr(0, slash + 1);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

} // namespace

FILE* output_open(const char* name, const char* mode) {
    OutputState& o = g_plot.out;
    if (o.stream) output_discard();
    // A name that could not be opened for writing is refused as before: a
    // folder, or a file that may not be written (the rename would replace it).
    struct stat st {};
    if (stat(name, &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return nullptr;
        }
        const bool own_writable = st.st_uid == geteuid() && (st.st_mode & S_IWUSR);
        if (!own_writable && access(name, W_OK) != 0) return nullptr;
    }
    o.name = name;
    o.temp = temporary_name(o.name);
    o.partial = o.temp.c_str();
    o.error = 0;
    // Created new, closed on exec.
    for (int attempt = 0; attempt < 2 && o.fd < 0; ++attempt) {
        o.fd = open(o.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        // A leftover of a killed process that had our process number.
        if (o.fd < 0 && errno == EEXIST) unlink(o.temp.c_str());
    }
    if (o.fd >= 0) {
        o.stream = fopencookie(&o, mode, {nullptr, stream_write, stream_seek, stream_close});
        if (!o.stream) {
            const int err = errno;
            close(o.fd);
            o.fd = -1;
            errno = err;
        }
    }
    if (!o.stream) {
        const int err = errno;
        unlink(o.temp.c_str());
        o.partial = nullptr;
        errno = err;
    }
    return o.stream;
}

bool output_commit() {
    OutputState& o = g_plot.out;
    if (!o.stream) return false;
    errno = 0;
    bool ok = std::fflush(o.stream) == 0 && !std::ferror(o.stream) && !o.error;
    int err = o.error ? o.error : errno;
    // The bytes reach the disk before the name does: after a crash of the
    // machine the name holds the earlier file or this one, whole.
    if (ok && sync_files && fsync(o.fd) != 0 && errno != EINVAL) ok = false, err = errno;
    o.error = 0;
    if (std::fclose(o.stream) != 0 && ok) ok = false, err = errno;
    o.stream = nullptr;
    if (ok && std::rename(o.temp.c_str(), o.name.c_str()) != 0) ok = false, err = errno;
    if (!ok) unlink(o.temp.c_str());
    o.partial = nullptr;
    if (ok && sync_files) sync_folder(o.name);
    // A stream error whose errno was overwritten since is still an error.
    errno = ok ? 0 : (err ? err : EIO);
    return ok;
}

void output_failed(int err) {
    if (!g_plot.out.error) g_plot.out.error = err;
}

void output_discard() {
    OutputState& o = g_plot.out;
    o.error = 0;
    const int err = errno;
    if (o.stream) std::fclose(o.stream);
    o.stream = nullptr;
    if (o.partial) unlink(o.temp.c_str());
    o.partial = nullptr;
    errno = err;
}

void set_outcome(int status, int warning, const char* file, int err, const char* reason) {
    OutputState& o = g_plot.out;
    o.status = status;
    o.warning = warning;
    o.file = file ? file : "";
    o.reason = err > 0 ? std::strerror(err) : reason;
}

void finish_output() {
    OutputState& o = g_plot.out;
    if (!o.stream) return;
    const std::string name = o.name;
    if (!output_commit()) {
        set_outcome(2, 36, name.c_str(), errno);
        warning_plain(36);
    }
}

void end_process(int warning, const char* file, const char* reason) {
    const std::string name = file ? file : "";
    output_discard();
    set_outcome(3, warning, name.c_str(), 0, reason);
    std::fflush(nullptr);
    if (end_process_hook) {
        g_plot.level = 0;
        g_plot.plot_stream = nullptr;
        end_process_hook();
    }
    std::exit(0);
}

void end_hook(void (*hook)()) {
    end_process_hook = hook;
}

PageOutcome page_outcome() {
    const OutputState& o = g_plot.out;
    return {o.status, o.warning, o.file.c_str(), o.reason.c_str()};
}

const char* partial_file() {
    return g_plot.out.partial;
}

void file_sync(bool on) {
    sync_files = on;
}

} // namespace razidu
