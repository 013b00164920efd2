// The bootstrapper takes no arguments: its own file name and the setup description decide
// what it does.
#include "app/setup_app.h"

int main() {
  CSetupApp app;
  app.InitInstance();
  return 0;
}
