// CIniParser::Load of an encrypted description (any name not ending in ".ini") with the built-in
// key, then every question the downloader asks of it.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzLoadFile(data, size, ".eif");
}
