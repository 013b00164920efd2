// The application object: it runs the whole program from InitInstance.
#pragma once

#include "platform/cstring.h"
#include "ui/download_dlg.h"

class CSetupApp {
 public:
  // Runs the start-up, the setup and the clean-up. Always returns false: no event loop follows.
  bool InitInstance();

 private:
  CDownloadDlg m_dlgProgress;
};
