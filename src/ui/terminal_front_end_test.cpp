#include "ui/terminal_front_end.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

using namespace std::chrono_literals;

// A clock that moves only when the test says so.
struct CTestClock {
  std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
  CTerminalFrontEnd::Clock Get() {
    return [this] { return now; };
  }
};

// A real pseudo-terminal: the front end writes to its terminal side, the test reads the other.
class CPseudoTerminal {
 public:
  CPseudoTerminal() {
    if (openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) return;
    fcntl(m_master, F_SETFL, O_NONBLOCK);
    m_stream = fdopen(m_slave, "w");
  }
  ~CPseudoTerminal() {
    if (m_stream != nullptr) fclose(m_stream);
    if (m_master >= 0) close(m_master);
  }
  FILE* Stream() const { return m_stream; }
  // Everything written since the last call, with the terminal's "\r\n" for "\n" undone.
  std::string Take() {
    std::string out;
    char buffer[4096];
    ssize_t got;
    while ((got = read(m_master, buffer, sizeof buffer)) > 0)
      out.append(buffer, static_cast<size_t>(got));
    std::string plain;
    for (size_t i = 0; i < out.size(); ++i) {
      if (out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n') continue;
      plain += out[i];
    }
    return plain;
  }

 private:
  int m_master = -1;
  int m_slave = -1;
  FILE* m_stream = nullptr;
};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(TerminalFrontEnd, WithoutATerminalOnlyMessageLinesAppear) {
  FILE* file = tmpfile();
  ASSERT_NE(nullptr, file);
  {
    CTerminalFrontEnd frontEnd(file);
    frontEnd.CreateProgressWindow();
    frontEnd.SetProgressRange(1000);
    frontEnd.AdvanceProgress(500);
    frontEnd.ShowMessageBox(CString("Install_PhotoTool_v2"), CString("Error: No Download Site."),
                            true);
    frontEnd.DestroyProgressWindow();
  }
  rewind(file);
  char buffer[256] = {};
  size_t got = fread(buffer, 1, sizeof buffer - 1, file);
  fclose(file);
  EXPECT_EQ("Install_PhotoTool_v2: Error: No Download Site.\n", std::string(buffer, got));
}

TEST(TerminalFrontEnd, DrawsPercentBytesRateAndTimeLeftAtMostTenTimesASecond) {
  CPseudoTerminal terminal;
  ASSERT_NE(nullptr, terminal.Stream());
  CTestClock clock;
  CTerminalFrontEnd frontEnd(terminal.Stream(), clock.Get());
  frontEnd.CreateProgressWindow();
  frontEnd.SetProgressRange(4 * 1024 * 1024);
  std::string start = terminal.Take();
  EXPECT_NE(std::string::npos, start.find("  0%  1 B of 4.0 MiB  --  --:-- left")) << start;

  // Within one redraw interval nothing more is drawn, however many chunks arrive.
  for (int i = 0; i < 1023; ++i) frontEnd.AdvanceProgress(1024);
  clock.now += 99ms;
  frontEnd.AdvanceProgress(1023);
  EXPECT_EQ("", terminal.Take());

  // A second after the start: 1 MiB moved, 3 MiB to go at 1 MiB/s.
  clock.now += 901ms;
  frontEnd.AdvanceProgress(1);
  std::string line = terminal.Take();
  EXPECT_EQ(1u, Count(line, "\r[")) << line;
  EXPECT_NE(std::string::npos, line.find("]  25%  1.0 MiB of 4.0 MiB  1.0 MiB/s  0:03 left"))
      << line;
  EXPECT_NE(std::string::npos, line.find("[#######-----------------------]")) << line;
}

TEST(TerminalFrontEnd, AScaledBarStillShowsBytes) {
  CPseudoTerminal terminal;
  ASSERT_NE(nullptr, terminal.Stream());
  CTestClock clock;
  CTerminalFrontEnd frontEnd(terminal.Stream(), clock.Get());
  frontEnd.CreateProgressWindow();
  // 8 GiB in units of 4 bytes, as the driver scales a total beyond the bar's range.
  frontEnd.SetProgressUnit(4);
  frontEnd.SetProgressRange(int64_t{2} * 1024 * 1024 * 1024);
  terminal.Take();
  clock.now += 1000ms;
  frontEnd.AdvanceProgress(uint64_t{1024} * 1024 * 1024 - 1);
  std::string line = terminal.Take();
  EXPECT_NE(std::string::npos, line.find("  50%  4.0 GiB of 8.0 GiB  4.0 GiB/s  0:01 left"))
      << line;
}

TEST(TerminalFrontEnd, BoxesEndTheBarLineAndTheFinalStateIsAlwaysDrawn) {
  CPseudoTerminal terminal;
  ASSERT_NE(nullptr, terminal.Stream());
  CTestClock clock;
  CTerminalFrontEnd frontEnd(terminal.Stream(), clock.Get());
  frontEnd.CreateProgressWindow();
  frontEnd.SetProgressRange(2048);
  frontEnd.ShowMessageBox(CString("Ini Parser"), CString("Tag [End] not found."), false);
  std::string out = terminal.Take();
  EXPECT_NE(std::string::npos, out.find(" left\033[K\nIni Parser: Tag [End] not found.\n")) << out;

  clock.now += 10ms;
  frontEnd.AdvanceProgress(1024);  // the bar starts a new line at once after a box
  frontEnd.AdvanceProgress(1023);  // within the interval: not drawn
  EXPECT_EQ(std::string::npos, terminal.Take().find("100%"));
  frontEnd.DestroyProgressWindow();
  std::string last = terminal.Take();
  EXPECT_NE(std::string::npos,
            last.find("[##############################] 100%  2.0 KiB of 2.0 KiB"))
      << last;
  EXPECT_EQ('\n', last.back());
  frontEnd.DestroyProgressWindow();  // no window: nothing more
  EXPECT_EQ("", terminal.Take());
}

}  // namespace
