#include <dirent.h>
#include <sys/stat.h>

#include <string>

#include "app/folder_listing.h"
#include "platform/text.h"

std::vector<CString> ListFilesInFolder(const CString& folder) {
  std::vector<CString> names;
  std::string base = ToUtf8(folder);
  if (!base.empty() && base.back() != '/') base += '/';
  DIR* dir = opendir(base.c_str());
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    struct stat status {};
    // stat follows links, so a link to a folder is a folder and a dangling link is skipped.
    if (stat((base + name).c_str(), &status) != 0 || S_ISDIR(status.st_mode)) continue;
    names.push_back(FromUtf8(name));
  }
  closedir(dir);
  return names;
}
