#include "ui/xvfb_server.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

namespace {

constexpr auto kStartLimit = std::chrono::seconds(10);

}  // namespace

CXvfbServer::~CXvfbServer() { Stop(); }

bool CXvfbServer::IsInstalled() {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (!folder.empty() && access((folder + "/Xvfb").c_str(), X_OK) == 0) return true;
  }
  return false;
}

bool CXvfbServer::Start(int width, int height) {
  Stop();
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  std::string fd = std::to_string(fds[1]);
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (pid == 0) {
    close(fds[0]);
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
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

void CXvfbServer::Stop() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGTERM);
  int status = 0;
  waitpid(m_pid, &status, 0);
  m_pid = -1;
  m_name.clear();
}
