// Runs the desktop front end on DISPLAY through the loss of its X server, for the tests, which
// kill the server at the moment the scenario names and then watch how this process goes on.
//
//   lost_display_probe window  shows the progress window, writes "ready" and waits for a line
//                              on standard input (the server is killed meanwhile)
//   lost_display_probe box     shows the progress window and a box; the server is killed while
//                              the box is open
//
// Then, as a setup run would: a few hundred repaints of the bar (more requests than Xlib's
// buffer holds, were they sent to the dead connection), another box, the window's removal, a
// new window and the front end's end. Standard output gets "lost" when the front end noticed
// the loss, and at exit the number of X requests made after it.
#include <FL/x.H>
#include <X11/Xlib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "ui/download_dlg.h"
#include "ui/fltk_front_end.h"

namespace {

XIOErrorHandler g_frontEndsHandler = nullptr;
// The number the next request would have had when the connection broke; 0 while it holds.
unsigned long g_nextRequestAtLoss = 0;

int NoteLoss(Display* display) {
  if (display == fl_display && g_nextRequestAtLoss == 0)
    g_nextRequestAtLoss = XNextRequest(display);
  return g_frontEndsHandler(display);
}

// Registered first, so it runs after everything else the program and the toolkit registered.
void ReportRequestsAfterLoss() {
  if (g_nextRequestAtLoss == 0) return;
  printf("requests after the loss: %lu\n", XNextRequest(fl_display) - g_nextRequestAtLoss);
  fflush(stdout);
}

void Say(const char* line) {
  printf("%s\n", line);
  fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);  // as the program does
  std::atexit(ReportRequestsAfterLoss);
  std::string scenario = argc > 1 ? argv[1] : "";
  if (scenario != "window" && scenario != "box") return 2;

  std::unique_ptr<CFltkFrontEnd> frontEnd = CFltkFrontEnd::Open();
  if (!frontEnd) {
    Say("no display");
    return 2;
  }
  SetFrontEnd(frontEnd.get());
  g_frontEndsHandler = XSetIOErrorHandler(NoteLoss);

  {
    CDownloadDlg dlg;
    dlg.Create();
    dlg.SetTotal(1000000);
    dlg.OnDownloadProgress(100000, 100000);
    if (scenario == "window") {
      Say("ready");
      std::string line;
      std::getline(std::cin, line);
    } else {
      FrontEnd().ShowMessageBox(CString("Install_X_v1"), CString("Error: Download site not found."),
                                true);
    }
    for (int i = 0; i < 900; ++i) dlg.OnDownloadProgress(1000, 100000 + 1000 * (i + 1));
    dlg.OnDownloadProgress(0, 1000000);
    dlg.SetTotal(2000000);
    FrontEnd().ShowMessageBox(CString("Ini Parser"), CString("Tag [Program to run] not found."),
                              false);
    dlg.LeaveTopBand();
    dlg.DestroyWindow();
    dlg.Create();
    dlg.OnDownloadProgress(500, 500);
    // dlg goes with the window still there, as after a failed setup.
  }
  if (CFltkFrontEnd::DisplayLost()) Say("lost");
  if (CFltkFrontEnd::Open() == nullptr) Say("no new front end");
  SetFrontEnd(nullptr);
  frontEnd.reset();
  return 0;
}
