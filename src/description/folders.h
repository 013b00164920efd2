// The user's special folders, the process-wide application folder, and the folder variables
// that descriptions may use. Every function asks the system afresh; nothing is cached.
#pragma once

#include "platform/cstring.h"

// Each returns its folder without a trailing "/", or empty text when there is none or when the
// path is 260 characters or longer. "/" itself gives empty text.
CString GetProgramFilesFolder();  // /opt, when it exists
CString GetTempFolder();          // $TMPDIR when set and not empty, else /tmp
CString GetDesktopFolder();       // XDG DESKTOP, else ~/Desktop; empty when it does not exist
CString GetMyDocumentsFolder();   // XDG DOCUMENTS, else ~/Documents; empty when it does not exist
CString GetStartMenuFolder();     // the menu's applications folder, created when missing

// Stores the folder of the given program path, with its trailing "/", as the application
// folder; its case is kept. A path without "/" gives "/".
void SetApplicationFolder(CString programPath);
// The stored application folder (with its trailing "/"), empty before SetApplicationFolder.
CString GetApplicationFolder();

// The built-in folder variables of descriptions, matched with case in this order:
// "Program Files Folder", "Temp Folder", "Desktop Folder", "Startmenu Folder",
// "Application Path". Returns false for any other name, which is then a tag of the description.
bool ResolveFolderVariable(const CString& name, CString& value);
