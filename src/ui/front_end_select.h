// The choice of front end when the program starts.
#pragma once

#include <memory>

#include "ui/front_end.h"

// The desktop front end when DISPLAY or WAYLAND_DISPLAY is set and the display can be opened,
// else the terminal one on standard error. The caller installs it with SetFrontEnd and keeps it
// until everything that shows windows is gone.
std::unique_ptr<CFrontEnd> CreateFrontEndForThisSession();
