// Output file names and file modes (files.cpp).
#pragma once

namespace razidu {

void open_device_file(int device);
// Applies file_mode to name (at most kNameMax characters) in place. DELE
// deletes an existing file; BREA and more than 9999 versions end the process.
void version_file_name(char* name);
// Default extension of a device, three blanks for codes without one.
const char* default_extension_of(int device);

} // namespace razidu
