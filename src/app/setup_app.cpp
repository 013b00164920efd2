#include "app/setup_app.h"

#include "app/setup_identity.h"
#include "description/folders.h"
#include "fileops/split_path.h"
#include "platform/system.h"

bool CSetupApp::InitInstance() {
  m_dlgProgress.Create();

  CString programPath = GetRunningProgramPath();
  SetApplicationFolder(programPath);
  SetCurrentFolder(GetApplicationFolder());

  CString folder, fileName;
  SplitPath(programPath, folder, fileName);
  CString applicationName = ParseApplicationName(fileName);
  CString workingFolder = ComposeWorkingFolder(GetTempFolder(), applicationName);

  m_dlgProgress.DestroyWindow();
  return false;
}
