// Real folders and environment settings for tests, put back when the test ends.
#pragma once

#include <optional>
#include <string>

#include "platform/cstring.h"
#include "platform/timing.h"

// A fresh folder under /tmp, removed with everything in it at destruction.
class CTempFolder {
 public:
  CTempFolder();
  ~CTempFolder();
  CTempFolder(const CTempFolder&) = delete;
  CTempFolder& operator=(const CTempFolder&) = delete;

  const std::string& path() const { return m_path; }
  CString Path() const;
  // path + "/" + relative
  std::string Sub(const std::string& relative) const { return m_path + "/" + relative; }

 private:
  std::string m_path;
};

// Writes bytes to a file, creating or truncating it; fails the test when it cannot.
void WriteFile(const std::string& path, const std::string& bytes);
// The bytes of a file, or nullopt when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path);
// Creates a folder (and its parents).
void MakeFolders(const std::string& path);
// Removes a path with everything below it, whatever the permissions.
void RemoveTree(const std::string& path);

// Sets (or, with nullopt, unsets) an environment variable for the scope.
class CScopedEnv {
 public:
  CScopedEnv(const char* name, std::optional<std::string> value);
  ~CScopedEnv();

 private:
  std::string m_name;
  std::optional<std::string> m_old;
};

// Changes the process's timing settings for the scope; the test sets the fields it needs.
class CScopedTimings {
 public:
  CScopedTimings() : m_saved(TimingSettings()) {}
  ~CScopedTimings() { TimingSettings() = m_saved; }

 private:
  CTimingSettings m_saved;
};
