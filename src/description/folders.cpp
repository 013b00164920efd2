#include "description/folders.h"

namespace {

CString& ApplicationFolder() {
  static CString folder;
  return folder;
}

struct FolderVariable {
  const char* name;
  CString (*resolve)();
};

CString GetApplicationPath() {
  CString folder = GetApplicationFolder();
  if (!folder.IsEmpty() && folder[folder.GetLength() - 1] == u'/') {
    folder = folder.Left(folder.GetLength() - 1);
  }
  return folder;
}

const FolderVariable kFolderVariables[] = {
    {"Program Files Folder", GetProgramFilesFolder},
    {"Temp Folder", GetTempFolder},
    {"Desktop Folder", GetDesktopFolder},
    {"Startmenu Folder", GetStartMenuFolder},
    {"Application Path", GetApplicationPath},
};

}  // namespace

void SetApplicationFolder(CString programPath) {
  int slash = programPath.ReverseFind(u'/');
  ApplicationFolder() = slash < 0 ? CString("/") : programPath.Left(slash + 1);
}

CString GetApplicationFolder() { return ApplicationFolder(); }

bool ResolveFolderVariable(const CString& name, CString& value) {
  for (const FolderVariable& variable : kFolderVariables) {
    if (name == variable.name) {
      value = variable.resolve();
      return true;
    }
  }
  return false;
}
