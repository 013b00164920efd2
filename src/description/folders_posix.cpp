#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "description/folders.h"
#include "fileops/file_ops.h"
#include "platform/text.h"

namespace {

constexpr int kMaxFolderLength = 260;

std::string GetEnv(const char* name) {
  const char* value = getenv(name);
  return value ? std::string(value) : std::string();
}

// $HOME, or the password database's home folder when HOME is not set.
std::string HomeFolder() {
  std::string home = GetEnv("HOME");
  if (!home.empty()) return home;
  if (const passwd* user = getpwuid(getuid())) {
    if (user->pw_dir) return user->pw_dir;
  }
  return std::string();
}

// An XDG base folder from its variable when that holds an absolute path (relative ones are
// invalid and ignored), else home + fallback.
std::string XdgBaseFolder(const char* variable, const char* fallback) {
  std::string value = GetEnv(variable);
  if (!value.empty() && value[0] == '/') {
    while (!value.empty() && value.back() == '/') value.pop_back();
    return value;
  }
  std::string home = HomeFolder();
  return home.empty() ? std::string() : home + fallback;
}

// The folder that user-dirs.dirs gives for XDG_<key>_DIR, or empty text when the file or the
// line is missing. Values are "$HOME/..." or absolute paths, in double quotes.
std::string XdgUserFolder(const std::string& key) {
  std::string config = XdgBaseFolder("XDG_CONFIG_HOME", "/.config");
  if (config.empty()) return std::string();
  std::ifstream file(config + "/user-dirs.dirs");
  const std::string prefix = "XDG_" + key + "_DIR=";
  std::string line;
  while (std::getline(file, line)) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, prefix.size(), prefix) != 0) continue;
    std::string value = line.substr(start + prefix.size());
    if (value.size() < 2 || value.front() != '"') continue;
    std::string path;
    for (size_t i = 1; i < value.size() && value[i] != '"'; ++i) {
      if (value[i] == '\\' && i + 1 < value.size()) ++i;
      path += value[i];
    }
    if (path.compare(0, 5, "$HOME") == 0 && (path.size() == 5 || path[5] == '/')) {
      std::string home = HomeFolder();
      if (home.empty()) continue;
      path = home + path.substr(5);
    }
    if (!path.empty() && path[0] == '/') return path;
  }
  return std::string();
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The shape every folder function returns: too long gives empty text, then one trailing "/"
// goes (so "/" alone becomes empty).
CString Finish(const std::string& path) {
  CString folder = FromUtf8(path);
  if (folder.GetLength() >= kMaxFolderLength) return CString();
  if (!folder.IsEmpty() && folder[folder.GetLength() - 1] == u'/') {
    folder = folder.Left(folder.GetLength() - 1);
  }
  return folder;
}

CString ExistingUserFolder(const char* key, const char* homeFallback) {
  std::string path = XdgUserFolder(key);
  if (path.empty()) {
    std::string home = HomeFolder();
    if (home.empty()) return CString();
    path = home + homeFallback;
  }
  return IsFolder(path) ? Finish(path) : CString();
}

}  // namespace

CString GetProgramFilesFolder() { return IsFolder("/opt") ? Finish("/opt") : CString(); }

CString GetTempFolder() {
  std::string temp = GetEnv("TMPDIR");
  return Finish(temp.empty() ? "/tmp" : temp);
}

CString GetDesktopFolder() { return ExistingUserFolder("DESKTOP", "/Desktop"); }

CString GetMyDocumentsFolder() { return ExistingUserFolder("DOCUMENTS", "/Documents"); }

CString GetStartMenuFolder() {
  std::string data = XdgBaseFolder("XDG_DATA_HOME", "/.local/share");
  if (data.empty()) return CString();
  CString folder = Finish(data + "/applications");
  if (folder.IsEmpty() || !CreateFolderPath(folder)) return CString();
  return folder;
}
