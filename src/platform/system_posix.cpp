#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>

#include "platform/system.h"
#include "platform/text.h"

CString GetRunningProgramPath() {
  std::unique_ptr<char, decltype(&free)> path(realpath("/proc/self/exe", nullptr), &free);
  return path ? FromUtf8(path.get()) : CString();
}

bool SetCurrentFolder(const CString& folder) { return chdir(ToUtf8(folder).c_str()) == 0; }
