// A private X server for tests and benchmarks that need a display: Xvfb on a display number
// that the server picks itself, stopped when the object goes.
#pragma once

#include <sys/types.h>

#include <string>

class CXvfbServer {
 public:
  CXvfbServer() = default;
  CXvfbServer(const CXvfbServer&) = delete;
  CXvfbServer& operator=(const CXvfbServer&) = delete;
  ~CXvfbServer();

  // Whether an Xvfb program is on the PATH.
  static bool IsInstalled();
  // Whether the window manager that StartWindowManager runs (openbox) is on the PATH.
  static bool IsWindowManagerInstalled();
  // Starts a screen of width x height at 24 bits per pixel and waits until it takes
  // connections. False when it does not come up within ten seconds.
  bool Start(int width, int height);
  // Runs a window manager (openbox) on the server and waits until it has taken over the screen.
  // False when none is installed or it does not come up within ten seconds.
  bool StartWindowManager();
  // ":N", the value for DISPLAY.
  const std::string& DisplayName() const { return m_name; }
  // Ends the server at once (SIGKILL), the way a crash or an ended session takes a display away:
  // every connection to it breaks.
  void Kill();

 private:
  void Stop();

  pid_t m_pid = -1;
  pid_t m_windowManager = -1;
  std::string m_name;
};
