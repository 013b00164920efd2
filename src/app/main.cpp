// The bootstrapper takes no arguments: its own file name and the setup description decide
// what it does. The exit code is 0 on every path.
#include <csignal>
#include <memory>

#include "app/setup_app.h"
#include "ui/front_end_select.h"

int main() {
  // A message written to a standard error that nobody reads any more must not end the run.
  std::signal(SIGPIPE, SIG_IGN);
  // The front end exists before the application object, so that it outlives the progress
  // window.
  std::unique_ptr<CFrontEnd> frontEnd = CreateFrontEndForThisSession();
  SetFrontEnd(frontEnd.get());
  CSetupApp app;
  app.InitInstance();
  return 0;
}
