#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "app/working_folder.h"
#include "platform/text.h"

namespace {

bool IsPrivateFolder(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         status.st_uid == geteuid() && (status.st_mode & S_IWOTH) == 0;
}

}  // namespace

bool IsWorkingFolderPrivate(const CString& workingFolder) {
  std::string path = ToUtf8(workingFolder);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t slash = path.rfind('/');
  std::string parent = slash == std::string::npos ? std::string(".")
                       : slash == 0               ? std::string("/")
                                                  : path.substr(0, slash);
  return IsPrivateFolder(path) && IsPrivateFolder(parent);
}
