// CIniParser::Load of a plain tag file (a name ending in ".ini"), then every question the
// downloader asks of it.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CQuietFrontEnd frontEnd;
  static const std::string path = WriteInput(nullptr, 0, ".ini");
  WriteInput(data, size, ".ini");
  CIniParser parser;
  parser.Load(CString(path));
  Exercise(parser);
  frontEnd.boxes.clear();
  return 0;
}
