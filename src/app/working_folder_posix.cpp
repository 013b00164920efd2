#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "app/working_folder.h"
#include "platform/text.h"

namespace {

// A real folder of this user; with mayTighten, permission for others to write is taken away.
bool MakePrivateFolder(const std::string& path, bool mayTighten) {
  struct stat status {};
  if (lstat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != geteuid()) {
    return false;
  }
  if ((status.st_mode & S_IWOTH) == 0) return true;
  return mayTighten && chmod(path.c_str(), (status.st_mode & 07777) & ~S_IWOTH) == 0;
}

}  // namespace

bool MakeWorkingFolderPrivate(const CString& workingFolder, bool createdNow) {
  std::string path = ToUtf8(workingFolder);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t slash = path.rfind('/');
  std::string parent = slash == std::string::npos ? std::string(".")
                       : slash == 0               ? std::string("/")
                                                  : path.substr(0, slash);
  return MakePrivateFolder(parent, true) && MakePrivateFolder(path, createdNow);
}
