#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "description/ini_reference.h"

void CQuietFrontEnd::ShowMessageBox(const CString& caption, const CString& text, bool) {
  boxes.push_back(caption.str() + u": " + text.str());
  if (boxes.size() > 64) boxes.erase(boxes.begin(), boxes.begin() + 32);
}

std::string WriteInput(const uint8_t* data, size_t size, const char* suffix) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string path =
      std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz_ini_" + std::to_string(getpid()) + suffix;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  return path;
}

void Exercise(CIniParser& parser) {
  for (const char* tag :
       {"Download Initial Setup", "Download Path", "User Info Filename", "Program to run", "End"}) {
    parser.GetValue(CString(tag));
    parser.GetValueLine(CString(tag), 2);
  }
  reference::WalkReaderFiles(parser);
  reference::WalkReaderSites(parser);
}

int FuzzLoadFile(const uint8_t* data, size_t size, const char* suffix) {
  static CQuietFrontEnd frontEnd;
  const std::string path = WriteInput(data, size, suffix);
  CIniParser parser;
  parser.Load(CString(path));
  Exercise(parser);
  frontEnd.boxes.clear();
  return 0;
}
