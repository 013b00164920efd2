#include "ui/front_end_select.h"

#include <cstdlib>

#include "ui/fltk_front_end.h"
#include "ui/terminal_front_end.h"

namespace {

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

std::unique_ptr<CFrontEnd> CreateFrontEndForThisSession() {
  // FLTK speaks X only; on a Wayland desktop it reaches the display through Xwayland's DISPLAY.
  if (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY")) {
    if (std::unique_ptr<CFltkFrontEnd> desktop = CFltkFrontEnd::Open()) return desktop;
  }
  return std::make_unique<CTerminalFrontEnd>();
}
