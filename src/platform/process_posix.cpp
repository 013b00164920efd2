#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <string>

#include "platform/process.h"
#include "platform/text.h"
#include "platform/timing.h"

extern char** environ;

namespace {

// The child reports an exec failure through a close-on-exec pipe: the parent reads nothing
// when the exec succeeded, and the errno of the failure otherwise.
[[noreturn]] void RunChild(const char* folder, const char* path, int reportFd) {
  // The final setup starts with the signal settings of a fresh program, whatever this process
  // blocks or ignores.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGPIPE, SIG_DFL);
  int error = 0;
  if (chdir(folder) != 0) {
    error = errno;
  } else {
    char* const argv[] = {const_cast<char*>(path), nullptr};
    execve(path, argv, environ);
    error = errno;
    if (error == ENOEXEC) {
      // What execvp does for a script without "#!": hand it to the shell.
      char* const shellArgv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>(path), nullptr};
      execve("/bin/sh", shellArgv, environ);
      error = errno;
    }
  }
  ssize_t written = write(reportFd, &error, sizeof error);
  (void)written;
  _exit(127);
}

bool ReapChild(pid_t pid) {
  int status = 0;
  for (;;) {
    if (waitpid(pid, &status, 0) == pid) return true;
    if (errno != EINTR) return false;
  }
}

int SliceMilliseconds() {
  auto slice = TimingSettings().processWaitSlice.count();
  return static_cast<int>(std::clamp<decltype(slice)>(slice, 1, INT_MAX));
}

enum class WaitResult { kEnded, kRunning, kFailed };

int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  errno = ENOSYS;
  return -1;
#endif
}

WaitResult WaitSliceOnPidFd(int pidFd, int sliceMs) {
  pollfd entry{pidFd, POLLIN, 0};
  int ready = poll(&entry, 1, sliceMs);
  if (ready > 0) return WaitResult::kEnded;
  if (ready == 0 || errno == EINTR) return WaitResult::kRunning;
  return WaitResult::kFailed;
}

// Without pidfd: ask every few milliseconds whether the child has ended, leaving it unreaped.
WaitResult WaitSliceByPolling(pid_t pid, int sliceMs) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::milliseconds(sliceMs);
  for (;;) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
      if (errno == EINTR) continue;
      return WaitResult::kFailed;
    }
    if (info.si_pid != 0) return WaitResult::kEnded;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (left.count() <= 0) return WaitResult::kRunning;
    SleepFor(std::min(left, std::chrono::milliseconds(10)));
  }
}

}  // namespace

ProcessId StartProgram(const CString& path, const CString& workingFolder) {
  std::string file = ToUtf8(path);
  std::string folder = ToUtf8(workingFolder);
  if (file.empty() || folder.empty()) return 0;
  // The child changes its folder before the exec, so a relative path must be made absolute.
  if (file[0] != '/') {
    char* current = getcwd(nullptr, 0);
    if (!current) return 0;
    file = std::string(current) + "/" + file;
    free(current);
  }

  struct stat status {};
  if (stat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return 0;
  // Downloaded files arrive without an execute bit.
  if ((status.st_mode & S_IXUSR) == 0 &&
      chmod(file.c_str(), (status.st_mode & 07777) | S_IXUSR) != 0) {
    return 0;
  }

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return 0;
  pid_t pid = fork();
  if (pid < 0) {
    close(report[0]);
    close(report[1]);
    return 0;
  }
  if (pid == 0) {
    close(report[0]);
    RunChild(folder.c_str(), file.c_str(), report[1]);
  }
  close(report[1]);
  int childError = 0;
  ssize_t got;
  while ((got = read(report[0], &childError, sizeof childError)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (got != 0) {
    ReapChild(pid);
    return 0;
  }
  return pid;
}

bool WaitForProcessEnd(ProcessId process) {
  if (process <= 0) return false;
  const pid_t pid = process;
  // Only a child of this process can be waited for and reaped.
  siginfo_t info{};
  if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return false;
  const int pidFd = OpenPidFd(pid);
  WaitResult result;
  do {
    const int slice = SliceMilliseconds();
    result = pidFd >= 0 ? WaitSliceOnPidFd(pidFd, slice) : WaitSliceByPolling(pid, slice);
  } while (result == WaitResult::kRunning);
  if (pidFd >= 0) close(pidFd);
  if (result == WaitResult::kFailed) return false;
  return ReapChild(pid);
}
