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
// the loss, and at exit how many X requests were made after it: while the call that noticed it
// finished, and from its return to the end of the process.
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

// Xlib, the font libraries and the toolkit keep caches for the life of a connection, which here
// is the life of the process (as in the test programs).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libX11\nleak:libfontconfig\nleak:libXft\nleak:libfltk\nleak:libxcb\n";
}
// Standard error holds only what the front end writes.
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }

namespace {

XIOErrorHandler g_frontEndsHandler = nullptr;
// The numbers the next request would have had when the connection broke and when the front
// end's call that noticed it returned; 0 until then.
unsigned long g_nextRequestAtLoss = 0;
unsigned long g_nextRequestAfterNoticing = 0;

int NoteLoss(Display* display) {
  if (display == fl_display && g_nextRequestAtLoss == 0)
    g_nextRequestAtLoss = XNextRequest(display);
  return g_frontEndsHandler(display);
}

// Makes a front-end call, noting the request number when it is the one that noticed the loss.
template <typename Call>
void Step(Call call) {
  bool lostBefore = CFltkFrontEnd::DisplayLost();
  call();
  if (!lostBefore && CFltkFrontEnd::DisplayLost())
    g_nextRequestAfterNoticing = XNextRequest(fl_display);
}

// Registered first, so it runs after everything else the program and the toolkit registered.
void ReportRequestsAfterLoss() {
  if (g_nextRequestAtLoss == 0 || g_nextRequestAfterNoticing == 0) return;
  printf("requests while noticing the loss: %lu\n",
         g_nextRequestAfterNoticing - g_nextRequestAtLoss);
  printf("requests after noticing the loss: %lu\n",
         XNextRequest(fl_display) - g_nextRequestAfterNoticing);
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
      Step([] {
        FrontEnd().ShowMessageBox(CString("Install_X_v1"),
                                  CString("Error: Download site not found."), true);
      });
    }
    for (int i = 0; i < 900; ++i)
      Step([&] { dlg.OnDownloadProgress(1000, 100000 + 1000 * (i + 1)); });
    Step([&] { dlg.OnDownloadProgress(0, 1000000); });
    Step([&] { dlg.SetTotal(2000000); });
    Step([] {
      FrontEnd().ShowMessageBox(CString("Ini Parser"), CString("Tag [Program to run] not found."),
                                false);
    });
    Step([&] { dlg.LeaveTopBand(); });
    Step([&] { dlg.DestroyWindow(); });
    Step([&] { dlg.Create(); });
    Step([&] { dlg.OnDownloadProgress(500, 500); });
    // dlg goes with the window still there, as after a failed setup.
  }
  if (CFltkFrontEnd::DisplayLost()) Say("lost");
  if (CFltkFrontEnd::Open() == nullptr) Say("no new front end");
  SetFrontEnd(nullptr);
  frontEnd.reset();
  return 0;
}
