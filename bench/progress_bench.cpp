// How long the progress window takes to take in one million progress messages of 1024 bytes
// against a range of 1 GiB, as a large download would send them. The desktop window runs on
// a private Xvfb server; the terminal bar writes to a pseudo-terminal that nobody reads
// quickly (drained after the run).
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "ui/download_dlg.h"
#include "ui/fltk_front_end.h"
#include "ui/terminal_front_end.h"
#include "ui/xvfb_server.h"

namespace {

constexpr int kMessages = 1000000;
constexpr int kChunk = 1024;
constexpr int64_t kRange = int64_t{1} << 30;

// Seconds for the whole stream of messages through the process's current front end.
double TimeMessages() {
  CDownloadDlg dlg;
  dlg.Create();
  dlg.SetTotal(kRange);
  auto start = std::chrono::steady_clock::now();
  int64_t sent = 0;
  for (int i = 0; i < kMessages; ++i) {
    sent += kChunk;
    dlg.OnDownloadProgress(kChunk, sent);
  }
  dlg.OnDownloadProgress(0, sent);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  dlg.DestroyWindow();
  return seconds;
}

}  // namespace

int main() {
  int status = 0;
  double desktopSeconds = 0;
  CXvfbServer server;
  if (!CXvfbServer::IsInstalled() || !server.Start(1024, 768)) {
    printf("desktop window: skipped (no Xvfb)\n");
  } else {
    setenv("DISPLAY", server.DisplayName().c_str(), 1);
    std::unique_ptr<CFltkFrontEnd> desktop = CFltkFrontEnd::Open();
    if (!desktop) {
      printf("desktop window: the display did not open\n");
      status = 1;
    } else {
      SetFrontEnd(desktop.get());
      double seconds = TimeMessages();
      desktopSeconds = seconds;
      printf("desktop window: %d messages of %d bytes against 1 GiB in %.3f s (%ld repaints)\n",
             kMessages, kChunk, seconds, desktop->RepaintCount());
      SetFrontEnd(nullptr);
    }
  }

  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) == 0) {
    FILE* stream = fdopen(slave, "w");
    {
      CTerminalFrontEnd terminal(stream);
      SetFrontEnd(&terminal);
      double seconds = TimeMessages();
      printf("terminal bar:   %d messages of %d bytes against 1 GiB in %.3f s\n", kMessages, kChunk,
             seconds);
      if (desktopSeconds > 0 && seconds > 0) {
        printf("ratio desktop window / terminal bar: %.2f\n", desktopSeconds / seconds);
      }
      SetFrontEnd(nullptr);
    }
    fclose(stream);
    close(master);
  }
  return status;
}
