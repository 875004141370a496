// What the command line prints beside the dialog's messages: its standard
// output checked at every write, the version, and the line that says why a
// map was not drawn.
#pragma once

namespace app {

// Makes standard output a stream whose first failed or short write ends the
// process (see standard_output_failed). Call once, before anything is
// printed; the window keeps the standard stream.
void check_standard_output();

// Ends the command after a failed write to standard output: the workers of a
// run and the file being written are removed as on SIGTERM, then
// "kivar: standard output: REASON" (strerror of err) and exit status 1.
[[noreturn]] void standard_output_failed(int err);

// Prints "kivar VERSION" (the project's version) on standard output.
void print_version();

// The line of a map that is not drawn because the field has one value:
// "kivar: no map for LEVEL/ITEM/HOUR: the field is constant (VALUE)".
void report_no_map(int level, int item, int hour, float value);

} // namespace app
