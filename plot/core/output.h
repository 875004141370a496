// The page's output file: written under a temporary name in its folder
// (".NAME.PID.part") and renamed onto NAME once every byte was written,
// flushed and closed, so that a failed or interrupted page leaves no partial
// file under NAME and an earlier file of that name as it was. What became of
// the file is the page outcome (razidu::page_outcome).
#pragma once

#include "plot/razidu.h"

#include <cstdio>
#include <string>

namespace razidu {

// The file being written and the outcome of the page; part of PlotState.
struct OutputState {
    FILE* stream = nullptr; // its writes go to fd at once (see output_open)
    int fd = -1;
    std::string name, temp;
    const char* volatile partial = nullptr; // temp while it exists; read by signal handlers
    int error = 0;                          // errno of the first failed write
    int status = 0;                         // PageOutcome::status
    int warning = 0;
    std::string file, reason;
};

// Creates the temporary file of `name` for writing ("wb" or "w") as the
// page's stream, whose writes reach the file at once: the first that fails
// keeps its errno (output_failed) and later ones fail at once. Null with
// errno set when it cannot be created (also when NAME is a folder or a file
// that may not be written).
FILE* output_open(const char* name, const char* mode);
// Flushes, syncs (see razidu::file_sync) and closes the stream, renames it
// onto its name and syncs its folder. False with errno set (the reason of the
// first failed write, else that of the failed step), the temporary file
// removed and NAME untouched on any failure.
bool output_commit();
// Closes and removes the temporary file (a page given up).
void output_discard();
// Marks the file as failed with errno value err: the commit then fails.
void output_failed(int err);

// Records the outcome of the page: status, the warning printed for it (0
// when none), the file and the reason (strerror of err when err > 0).
void set_outcome(int status, int warning, const char* file, int err, const char* reason = "");
// The commit at the end of a page: a failure is warning 36 and outcome 2.
void finish_output();
// The library ends the process after the warning `warning` (already
// printed): the outcome says why, the temporary file goes, exit code 0.
[[noreturn]] void end_process(int warning, const char* file, const char* reason);

} // namespace razidu
