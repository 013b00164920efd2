// The choice without a usable display. Kept in a program of its own: once a process has opened
// its display the toolkit keeps it, so these cases must run before any window ever opened.
#include "ui/front_end_select.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>

#include "support/temp_folder.h"
#include "ui/fltk_front_end.h"
#include "ui/terminal_front_end.h"

namespace {

bool IsTerminalFrontEnd(const std::unique_ptr<CFrontEnd>& frontEnd) {
  return dynamic_cast<CTerminalFrontEnd*>(frontEnd.get()) != nullptr;
}

TEST(CreateFrontEndForThisSession, TakesTheTerminalWhenNoDisplayCanBeUsed) {
  struct stat info;
  ASSERT_NE(0, stat("/tmp/.X11-unix/X4711", &info)) << "display :4711 exists on this machine";
  const struct {
    const char* name;
    std::optional<std::string> display;
    std::optional<std::string> wayland;
  } cases[] = {
      {"neither set", std::nullopt, std::nullopt},
      {"both empty", "", ""},
      {"display without a server", ":4711", std::nullopt},
      {"only a Wayland display, no X for the toolkit", std::nullopt, "wayland-4711"},
  };
  for (const auto& c : cases) {
    CScopedEnv display("DISPLAY", c.display);
    CScopedEnv wayland("WAYLAND_DISPLAY", c.wayland);
    std::unique_ptr<CFrontEnd> chosen = CreateFrontEndForThisSession();
    ASSERT_NE(nullptr, chosen) << c.name;
    EXPECT_TRUE(IsTerminalFrontEnd(chosen)) << c.name;
  }
}

}  // namespace
