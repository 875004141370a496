// The dialog's layout: every control with its text, position and size in
// dialog units, and the menu bar.
#pragma once

#include "platform/platform.h"

namespace app {

extern const platform::DialogTemplate dialog_template;

} // namespace app
