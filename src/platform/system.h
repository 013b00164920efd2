// What the start-up asks of the system about the running program.
#pragma once

#include "platform/cstring.h"

// The canonical full path of the running program (from /proc/self/exe), or empty text.
CString GetRunningProgramPath();

// Makes the folder the process's current directory; false when it cannot.
bool SetCurrentFolder(const CString& folder);
