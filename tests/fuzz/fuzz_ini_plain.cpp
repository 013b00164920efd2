// CIniParser::Load of a plain tag file (a name ending in ".ini"), then every question the
// downloader asks of it.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzLoadFile(data, size, ".ini");
}
