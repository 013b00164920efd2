// The desktop front end when its X server goes away during a run: the probe program runs the
// front end on a private Xvfb, the test kills the server at a chosen moment, and the probe must
// go on without the window, write its boxes as lines and end normally.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "ui/xvfb_server.h"
// After GoogleTest: Xlib defines None, Bool and Status as macros.
#include "ui/x_screen.h"

extern char** environ;

namespace {

constexpr auto kLimit = std::chrono::seconds(60);  // only ever reached when the probe hangs

// One run of the probe program with its standard streams on pipes.
class CProbe {
 public:
  CProbe() = default;
  CProbe(const CProbe&) = delete;
  CProbe& operator=(const CProbe&) = delete;
  ~CProbe() {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    for (int fd : {m_in, m_out, m_err})
      if (fd >= 0) close(fd);
  }

  // Starts the probe with the scenario on the display; false when it could not be started.
  bool Start(const std::string& display, const std::string& scenario) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
      return false;
    std::vector<std::string> settings;
    for (char** entry = environ; *entry != nullptr; ++entry)
      if (strncmp(*entry, "DISPLAY=", 8) != 0 && strncmp(*entry, "WAYLAND_DISPLAY=", 16) != 0)
        settings.emplace_back(*entry);
    settings.push_back("DISPLAY=" + display);
    std::vector<char*> envp;
    for (std::string& setting : settings) envp.push_back(setting.data());
    envp.push_back(nullptr);
    std::string program = LOST_DISPLAY_PROBE;
    std::vector<char*> argv = {program.data(), const_cast<char*>(scenario.c_str()), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    int failed = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    m_in = in[1];
    m_out = out[0];
    m_err = err[0];
    if (failed != 0) m_pid = -1;
    return failed == 0;
  }

  // The next line the probe writes to standard output, or nullopt when it ends first.
  std::optional<std::string> ReadLine() {
    auto deadline = std::chrono::steady_clock::now() + kLimit;
    for (;;) {
      size_t end = m_outText.find('\n', m_lineStart);
      if (end != std::string::npos) {
        std::string line = m_outText.substr(m_lineStart, end - m_lineStart);
        m_lineStart = end + 1;
        return line;
      }
      if (!ReadSome(deadline)) return std::nullopt;
    }
  }

  void Send(const std::string& line) {
    // A probe that has ended already must fail the test, not end the test program.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    ssize_t written = write(m_in, (line + "\n").data(), line.size() + 1);
    sigaction(SIGPIPE, &previous, nullptr);
    EXPECT_EQ(static_cast<ssize_t>(line.size() + 1), written);
  }

  // Waits for the probe to end and reads the rest of what it wrote. False when it does not end
  // within the limit; it is killed then.
  bool Finish() {
    close(m_in);
    m_in = -1;
    auto deadline = std::chrono::steady_clock::now() + kLimit;
    while (ReadSome(deadline)) {
    }
    if (m_out >= 0 || m_err >= 0) return false;
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    m_status = status;
    return true;
  }

  // What waitpid gave for it, and everything it wrote.
  int WaitStatus() const { return m_status; }
  const std::string& Out() const { return m_outText; }
  const std::string& Err() const { return m_errText; }

 private:
  // Reads what is there from either stream; false once both have ended or at the deadline.
  bool ReadSome(std::chrono::steady_clock::time_point deadline) {
    std::vector<pollfd> watched;
    for (int fd : {m_out, m_err})
      if (fd >= 0) watched.push_back({fd, POLLIN, 0});
    if (watched.empty()) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    int ready = poll(watched.data(), watched.size(), static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) return true;
    if (ready <= 0) return false;
    for (const pollfd& one : watched) {
      if (one.revents == 0) continue;
      int& fd = one.fd == m_out ? m_out : m_err;
      std::string& text = one.fd == m_out ? m_outText : m_errText;
      char buffer[4096];
      ssize_t got = read(fd, buffer, sizeof buffer);
      if (got > 0) {
        text.append(buffer, static_cast<size_t>(got));
      } else {
        close(fd);
        fd = -1;
      }
    }
    return true;
  }

  pid_t m_pid = -1;
  int m_in = -1, m_out = -1, m_err = -1;
  std::string m_outText, m_errText;
  size_t m_lineStart = 0;
  int m_status = -1;
};

class LostDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CXvfbServer::IsInstalled()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(m_server.Start(1024, 768)) << "Xvfb did not start";
    IgnoreVanishedWindows();
  }

  // Waits until a window of that name is on the screen, looking through a connection that is
  // closed again before the server is killed (Xlib would end this process otherwise).
  bool WindowShows(const std::string& name) {
    Display* view = XOpenDisplay(m_server.DisplayName().c_str());
    if (view == nullptr) return false;
    bool shown = WaitForWindow(view, name) != None;
    XCloseDisplay(view);
    return shown;
  }

  CXvfbServer m_server;
};

// The lines the probe writes for its boxes once the display is gone.
constexpr char kOpenBoxLine[] = "Install_X_v1: Error: Download site not found.\n";
constexpr char kLaterBoxLine[] = "Ini Parser: Tag [Program to run] not found.\n";

// Checks that the probe ended normally, noticed the loss, and made no X request after the call
// that noticed it. firstLines: what it wrote before the report on the requests.
void ExpectProbeWentOnWithoutDisplay(CProbe& probe, const std::string& firstLines) {
  ASSERT_TRUE(probe.Finish()) << "the probe hung after the display was lost";
  ASSERT_TRUE(WIFEXITED(probe.WaitStatus()))
      << "ended by signal " << WTERMSIG(probe.WaitStatus()) << "\n"
      << probe.Err();
  EXPECT_EQ(0, WEXITSTATUS(probe.WaitStatus())) << probe.Err();
  const std::string& out = probe.Out();
  ASSERT_EQ(firstLines + "lost\nno new front end\n", out.substr(0, out.find("requests")));
  unsigned long whileNoticing = 0, afterNoticing = 0;
  ASSERT_EQ(2, sscanf(out.c_str() + out.find("requests"),
                      "requests while noticing the loss: %lu\n"
                      "requests after noticing the loss: %lu\n",
                      &whileNoticing, &afterNoticing))
      << out;
  // The toolkit may finish handling the event during which the loss showed, with a request or
  // two that Xlib drops; were it to go on drawing, hundreds would follow and overflow Xlib's
  // buffer.
  EXPECT_LE(whileNoticing, 10u);
  EXPECT_EQ(0u, afterNoticing);
}

TEST_F(LostDisplayTest, RunGoesOnWithoutTheWindowWhenTheServerGoesDuringProgress) {
  CProbe probe;
  ASSERT_TRUE(probe.Start(m_server.DisplayName(), "window"));
  ASSERT_EQ("ready", probe.ReadLine().value_or("(ended) " + probe.Err()));
  ASSERT_TRUE(WindowShows("Corvanel"));
  m_server.Kill();
  probe.Send("go");

  ExpectProbeWentOnWithoutDisplay(probe, "ready\n");
  // The box opened after the loss is a line, and the run did not wait for anyone to close it.
  EXPECT_EQ(kLaterBoxLine, probe.Err());
}

TEST_F(LostDisplayTest, OpenBoxReturnsAndBecomesALineWhenTheServerGoes) {
  CProbe probe;
  ASSERT_TRUE(probe.Start(m_server.DisplayName(), "box"));
  ASSERT_TRUE(WindowShows("Install_X_v1")) << "the box did not appear\n" << probe.Err();
  m_server.Kill();

  ExpectProbeWentOnWithoutDisplay(probe, "");
  // Nobody may have read the box that vanished: it is written out, then the later one.
  EXPECT_EQ(std::string(kOpenBoxLine) + kLaterBoxLine, probe.Err());
}

}  // namespace
