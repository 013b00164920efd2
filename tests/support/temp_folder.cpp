#include "support/temp_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/text.h"

namespace fs = std::filesystem;

CTempFolder::CTempFolder() {
  char pattern[] = "/tmp/corvanel-test-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (!made) ADD_FAILURE() << "mkdtemp failed";
  m_path = made ? made : "/tmp";
}

CTempFolder::~CTempFolder() { RemoveTree(m_path); }

CString CTempFolder::Path() const { return FromUtf8(m_path); }

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) ADD_FAILURE() << "cannot write " << path;
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void MakeFolders(const std::string& path) {
  std::error_code error;
  fs::create_directories(path, error);
  if (error) ADD_FAILURE() << "cannot create " << path << ": " << error.message();
}

void RemoveTree(const std::string& path) {
  std::error_code error;
  // Give back write permission first, so that read-only folders do not keep their entries.
  if (fs::is_directory(fs::symlink_status(path, error))) {
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, error);
    for (auto it = fs::recursive_directory_iterator(path, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      if (it->is_directory(error) && !it->is_symlink(error)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
      }
    }
  }
  fs::remove_all(path, error);
}

CScopedEnv::CScopedEnv(const char* name, std::optional<std::string> value) : m_name(name) {
  if (const char* old = getenv(name)) m_old = old;
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

CScopedEnv::~CScopedEnv() {
  if (m_old) {
    setenv(m_name.c_str(), m_old->c_str(), 1);
  } else {
    unsetenv(m_name.c_str());
  }
}
