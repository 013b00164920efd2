#include "ui/xvfb_server.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

namespace {

constexpr auto kStartLimit = std::chrono::seconds(10);

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

void StopChild(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  pid = -1;
}

// In a child just forked: it gets SIGTERM when the test process ends, however that ends, so
// that no server outlives a test that crashed.
void EndWithParent(pid_t parent) {
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(1);
}

void SilenceStandardStreams() {
  int null = open("/dev/null", O_RDWR);
  if (null < 0) return;
  dup2(null, STDIN_FILENO);
  dup2(null, STDOUT_FILENO);
  dup2(null, STDERR_FILENO);
}

bool WindowManagerAnnounced(Display* display) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool found =
      XGetWindowProperty(display, DefaultRootWindow(display),
                         XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False), 0, 1, False,
                         AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
      count == 1;
  if (data != nullptr) XFree(data);
  return found;
}

bool WindowManagerFramesWindows(Display* display, std::chrono::steady_clock::time_point deadline) {
  Window root = DefaultRootWindow(display);
  Window probe = XCreateSimpleWindow(display, root, 0, 0, 10, 10, 0, 0, 0);
  bool framed = false;
  // A window mapped while the manager is still starting may stay unframed: map it anew
  // until one of the requests reaches the manager.
  for (int attempt = 0; !framed && std::chrono::steady_clock::now() < deadline; ++attempt) {
    if (attempt % 10 == 0) {
      XUnmapWindow(display, probe);
      XMapWindow(display, probe);
      XSync(display, False);
    }
    Window up = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, probe, &up, &parent, &children, &count)) framed = parent != root;
    if (children != nullptr) XFree(children);
    if (!framed) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  XDestroyWindow(display, probe);
  XSync(display, False);
  return framed;
}

}  // namespace

// Xlib and the toolkit keep caches for the life of a connection, which in the tests and the
// benchmark is the life of the process.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libX11\nleak:libfontconfig\nleak:libXft\nleak:libfltk\nleak:libxcb\n";
}

CXvfbServer::~CXvfbServer() { Stop(); }

bool CXvfbServer::IsInstalled() { return OnPath("Xvfb"); }

bool CXvfbServer::IsWindowManagerInstalled() { return OnPath("openbox"); }

bool CXvfbServer::Start(int width, int height) {
  Stop();
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  std::string fd = std::to_string(fds[1]);
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (pid == 0) {
    EndWithParent(parent);
    close(fds[0]);
    SilenceStandardStreams();
    // The server writes the display number it chose to the pipe once it takes connections.
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten",
           "tcp", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  m_pid = pid;

  std::string number;
  auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd wait{fds[0], POLLIN, 0};
    if (poll(&wait, 1, 100) <= 0) continue;
    char buffer[16];
    ssize_t got = read(fds[0], buffer, sizeof buffer);
    if (got <= 0) break;  // the server ended
    number.append(buffer, static_cast<size_t>(got));
    if (number.find('\n') != std::string::npos) break;
  }
  close(fds[0]);
  while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
  if (number.empty()) {
    Stop();
    return false;
  }
  m_name = ":" + number;
  Display* display = XOpenDisplay(m_name.c_str());
  if (display == nullptr) {
    Stop();
    return false;
  }
  XCloseDisplay(display);
  return true;
}

bool CXvfbServer::StartWindowManager() {
  if (m_pid <= 0 || m_windowManager > 0 || !IsWindowManagerInstalled()) return false;
  Display* display = XOpenDisplay(m_name.c_str());
  if (display == nullptr) return false;
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    EndWithParent(parent);
    SilenceStandardStreams();
    setenv("DISPLAY", m_name.c_str(), 1);
    execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
    _exit(127);
  }
  m_windowManager = pid;
  bool running = false;
  auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (pid > 0 && !running && std::chrono::steady_clock::now() < deadline) {
    running = WindowManagerAnnounced(display);
    if (!running) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (running) running = WindowManagerFramesWindows(display, deadline);
  if (running) running = WindowManagerFramesWindows(display, deadline);
  XCloseDisplay(display);
  if (!running) StopChild(m_windowManager);
  return running;
}

void CXvfbServer::Kill() {
  StopChild(m_windowManager);
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
  }
}

void CXvfbServer::Stop() {
  StopChild(m_windowManager);
  StopChild(m_pid);
  m_name.clear();
}
