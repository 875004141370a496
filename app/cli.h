// The `kivar` command line: inventory of a GPV file, and the Execute command
// of the dialog driven through the headless backend.
#pragma once

#include <cstdio>

namespace app {

// Runs `kivar ARGS...` (argv[0] is the program). Returns the exit status:
// 0 normal end (also for --version, -V and --help), 1 when a message box was
// shown or the open failed, 2 for usage errors. A write to standard output
// that fails ends the process with status 1 (see check_standard_output).
int run_cli(int argc, char** argv);

// Prints the usage text (to standard error unless told).
void print_usage(std::FILE* to = stderr);

} // namespace app
