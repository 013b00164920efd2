// The bootstrapper takes no arguments: its own file name and the setup description decide
// what it does. The exit code is 0 on every path.
#include <csignal>

#include "app/setup_app.h"

int main() {
  // A message written to a standard error that nobody reads any more must not end the run.
  std::signal(SIGPIPE, SIG_IGN);
  // The front end is chosen here, before the application object exists, so that it outlives
  // the progress window. Without a display the terminal front end stays in place.

  CSetupApp app;
  app.InitInstance();
  return 0;
}
