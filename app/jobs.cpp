// "All items" runs in worker processes. Every worker walks the whole run as
// one process would: it extracts every field (so that its library and decoder
// state, its stops and its messages follow the same sequence), but writes
// only the fields it owns, every jobs-th one. What a field prints, the boxes
// it shows and the gpv.log line it asks for go back to the parent as one
// record; the parent prints, shows and logs the records in field order, so
// that files, log lines and messages come out as a run with one job leaves
// them.
#include "app/app.h"

#include "app/control_ids.h"
#include "gpv/gpv.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace app {

namespace {

// One field of a run as a worker reports it.
struct RecordHead {
    std::int32_t field;     // position in the run, from 0
    std::int32_t last;      // the run ends with this field
    std::int32_t result;    // the command's result when last
    std::int32_t delivered; // a field was extracted
    std::int32_t level, item, hour;
    std::int32_t log_wanted; // a data run asks for its gpv.log line
    std::int32_t messages;
    std::uint32_t out_bytes, err_bytes;
};

struct Worker {
    pid_t pid = -1;
    int records = -1;       // read end in the parent, write end in the worker
    int out = -1, err = -1; // what the worker prints, kept in memory files
};

struct WorkerState {
    bool active = false;
    int index = 0, count = 1;
    int records = -1, out = -1, err = -1;
    std::size_t messages_sent = 0;
    int log_level = 0, log_hour = 0, log_item = 0;
    bool log_wanted = false;
};
WorkerState worker;

// The workers running, for end_workers in a signal handler.
constexpr int kMaxWorkers = 256;
volatile pid_t running_pids[kMaxWorkers];
volatile int running_records[kMaxWorkers];
volatile std::sig_atomic_t running_count = 0;

bool write_all(int fd, const void* p, std::size_t n) {
    const char* c = static_cast<const char*>(p);
    while (n > 0) {
        ssize_t w = ::write(fd, c, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        c += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

bool read_all(int fd, void* p, std::size_t n) {
    char* c = static_cast<char*>(p);
    while (n > 0) {
        ssize_t r = ::read(fd, c, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        c += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

// What a memory file holds, which is then emptied.
std::string take(int fd) {
    std::string s;
    struct stat st {};
    if (fstat(fd, &st) == 0 && st.st_size > 0) {
        s.resize(static_cast<std::size_t>(st.st_size));
        if (pread(fd, s.data(), s.size(), 0) != static_cast<ssize_t>(s.size())) s.clear();
    }
    if (ftruncate(fd, 0) != 0) s.clear();
    lseek(fd, 0, SEEK_SET);
    return s;
}

void put_text(std::string& buf, const std::string& s) {
    std::uint32_t n = static_cast<std::uint32_t>(s.size());
    buf.append(reinterpret_cast<const char*>(&n), 4);
    buf += s;
}

bool get_text(int fd, std::string& s) {
    std::uint32_t n = 0;
    if (!read_all(fd, &n, 4) || n > (1u << 30)) return false;
    s.resize(n);
    return read_all(fd, s.data(), n);
}

void write_stream(std::FILE* f, const std::string& s) {
    if (!s.empty()) std::fwrite(s.data(), 1, s.size(), f);
    std::fflush(f);
}

int memory_file(const char* name) {
    return memfd_create(name, MFD_CLOEXEC);
}

void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

} // namespace

void end_workers(int sig) {
    const int n = running_count;
    running_count = 0;
    // A worker waiting for room in its record pipe ends when it closes.
    for (int k = 0; k < n; ++k) {
        ::close(running_records[k]);
        kill(running_pids[k], sig);
    }
    for (int k = 0; k < n; ++k)
        waitpid(running_pids[k], nullptr, 0);
}

bool in_worker() {
    return worker.active;
}

bool worker_owns(int field) {
    return !worker.active || field % worker.count == worker.index;
}

void worker_log(int level, int hour, int item) {
    worker.log_wanted = true;
    worker.log_level = level;
    worker.log_hour = hour;
    worker.log_item = item;
}

void worker_field_end(int field, bool last, int result, bool delivered, int level, int item,
                      int hour) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::string out = take(worker.out), err = take(worker.err);
    const auto& all = platform::headless::messages();
    std::size_t from = worker.messages_sent;
    worker.messages_sent = all.size();
    bool wanted = worker.log_wanted;
    worker.log_wanted = false;
    if (!worker_owns(field)) return;
    RecordHead h{field,
                 last,
                 result,
                 delivered,
                 level,
                 item,
                 hour,
                 wanted,
                 static_cast<std::int32_t>(all.size() - from),
                 static_cast<std::uint32_t>(out.size()),
                 static_cast<std::uint32_t>(err.size())};
    std::string buf(reinterpret_cast<const char*>(&h), sizeof h);
    buf += out;
    buf += err;
    for (std::size_t k = from; k < all.size(); ++k) {
        buf += all[k].owned ? '1' : '0';
        put_text(buf, all[k].title);
        put_text(buf, all[k].text);
    }
    // Logged as (level, hour, item) behind the messages.
    std::int32_t logged[3] = {worker.log_level, worker.log_hour, worker.log_item};
    buf.append(reinterpret_cast<const char*>(logged), sizeof logged);
    if (!write_all(worker.records, buf.data(), buf.size())) _exit(3);
}

int run_jobs(bool data, int total, int (*command)()) {
    if (worker.active) return -1;
    int jobs = std::min({state.jobs, total, kMaxWorkers});
    const pid_t parent = getpid();
    if (jobs < 2) return -1;
    std::fflush(nullptr);
    std::vector<Worker> workers(static_cast<std::size_t>(jobs));
    auto stop_all = [&](std::size_t from) {
        // A worker blocked on its full record pipe ends when the pipe closes.
        running_count = 0;
        for (std::size_t w = from; w < workers.size(); ++w) {
            close_fd(workers[w].records);
            if (workers[w].pid > 0) kill(workers[w].pid, SIGTERM);
        }
        for (std::size_t w = from; w < workers.size(); ++w) {
            if (workers[w].pid > 0) waitpid(workers[w].pid, nullptr, 0);
            workers[w].pid = -1;
            close_fd(workers[w].out);
            close_fd(workers[w].err);
        }
    };
    // SIGINT and SIGTERM wait while the workers start, so that the handler
    // (end_workers) knows every worker that may be writing a file.
    sigset_t stop, before;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop, &before);
    for (int w = 0; w < jobs; ++w) {
        Worker& wk = workers[static_cast<std::size_t>(w)];
        int pipe_fds[2];
        wk.out = memory_file("kivar-out");
        wk.err = memory_file("kivar-err");
        if (wk.out < 0 || wk.err < 0 || pipe2(pipe_fds, O_CLOEXEC) != 0) {
            // Nothing has run yet: the run goes on in this process.
            close_fd(wk.out);
            close_fd(wk.err);
            stop_all(0);
            sigprocmask(SIG_SETMASK, &before, nullptr);
            return -1;
        }
        pid_t pid = fork();
        if (pid == 0) {
            ::close(pipe_fds[0]);
            for (int other = 0; other < w; ++other)
                close_fd(workers[static_cast<std::size_t>(other)].records);
            worker = WorkerState{};
            worker.active = true;
            worker.index = w;
            worker.count = jobs;
            worker.records = pipe_fds[1];
            worker.out = wk.out;
            worker.err = wk.err;
            worker.messages_sent = platform::headless::messages().size();
            dup2(wk.out, STDOUT_FILENO);
            dup2(wk.err, STDERR_FILENO);
            // The parent writes gpv.log and shows the progress.
            state.log_file = nullptr;
            state.log_failure_reported = true;
            state.progress = nullptr;
            // A file position of its own for the decoder, when the file read
            // is the regular file of that name (input read from a pipe is
            // in this process's memory already).
            struct stat open {
            }, named{};
            if (state.gpv_file && fstat(fileno(state.gpv_file), &open) == 0 &&
                S_ISREG(open.st_mode) && stat(state.open_path.c_str(), &named) == 0 &&
                named.st_dev == open.st_dev && named.st_ino == open.st_ino)
                if (std::FILE* own = std::fopen(state.open_path.c_str(), "rb"))
                    state.gpv_file = own;
            // A worker ends on SIGINT or SIGTERM as the parent does,
            // removing the file it was writing; it is sent SIGTERM when the
            // parent ends.
            running_count = 0;
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) _exit(1);
            sigprocmask(SIG_SETMASK, &before, nullptr);
            command();
            std::fflush(nullptr);
            _exit(0);
        }
        ::close(pipe_fds[1]);
        wk.records = pipe_fds[0];
        if (pid < 0) {
            // The workers started share the fields among all of them: they
            // are stopped, and one process does the run (what they may have
            // written it writes again, the same).
            stop_all(0);
            sigprocmask(SIG_SETMASK, &before, nullptr);
            return -1;
        }
        wk.pid = pid;
        running_pids[w] = pid;
        running_records[w] = wk.records;
        running_count = w + 1;
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);

    // The records in field order, from worker field % jobs.
    int result = 1, done = 0;
    for (int field = 0;; ++field) {
        Worker& wk = workers[static_cast<std::size_t>(field % jobs)];
        RecordHead h{};
        std::string out, err;
        std::vector<platform::headless::Message> boxes;
        std::int32_t logged[3] = {};
        bool ok = read_all(wk.records, &h, sizeof h) && h.field == field;
        if (ok) {
            out.resize(h.out_bytes);
            err.resize(h.err_bytes);
            ok = read_all(wk.records, out.data(), out.size()) &&
                 read_all(wk.records, err.data(), err.size());
            for (int k = 0; ok && k < h.messages; ++k) {
                char owned = 0;
                platform::headless::Message m;
                ok = read_all(wk.records, &owned, 1) && get_text(wk.records, m.title) &&
                     get_text(wk.records, m.text);
                m.owned = owned == '1';
                boxes.push_back(m);
            }
            ok = ok && read_all(wk.records, logged, sizeof logged);
        }
        if (!ok) {
            // The worker ended inside this field (the plotting library ends
            // the process on some resource failures): what it printed, then
            // the end the single process would have had.
            int status = 0;
            waitpid(wk.pid, &status, 0);
            wk.pid = -1;
            write_stream(stdout, take(wk.out));
            write_stream(stderr, take(wk.err));
            stop_all(0);
            if (WIFEXITED(status)) std::exit(WEXITSTATUS(status));
            std::fprintf(stderr, "kivar: a worker process ended by signal %d\n",
                         WIFSIGNALED(status) ? WTERMSIG(status) : 0);
            std::exit(1);
        }
        write_stream(stdout, out);
        write_stream(stderr, err);
        for (const auto& m : boxes)
            platform::headless::record_message(m);
        if (h.log_wanted) write_log(logged[0], logged[1], logged[2]);
        if (h.delivered || data) {
            char status[64];
            std::snprintf(status, sizeof status, "P: %d   ID: %d   TM: %d", h.level, h.item,
                          h.hour);
            platform::set_text(IDC_STATUS, status);
        }
        if (h.delivered && state.progress) state.progress(++done, total, h.level, h.item, h.hour);
        if (h.last) {
            result = h.result;
            break;
        }
    }
    running_count = 0;
    for (Worker& wk : workers) {
        if (wk.pid > 0) waitpid(wk.pid, nullptr, 0);
        wk.pid = -1;
    }
    stop_all(0);
    return result;
}

} // namespace app
