// The bootstrapper takes no arguments: its own file name and the setup description decide
// what it does.
#include "app/setup_app.h"
#include "ui/front_end_select.h"

int main() {
  std::unique_ptr<CFrontEnd> frontEnd = CreateFrontEndForThisSession();
  SetFrontEnd(frontEnd.get());
  CSetupApp app;
  app.InitInstance();
  return 0;
}
