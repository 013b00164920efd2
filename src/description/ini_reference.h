// A plain reference of the reader's text passes, written step by step as the format is
// described: every lookup upper-cases and searches the whole text, every comment and every
// variable rebuilds it. Slow on purpose; the tests and the benchmark compare the reader with it.
#pragma once

#include <vector>

#include "description/ini_parser.h"
#include "platform/cstring.h"

namespace reference {

// Position just after "[name]" (ASCII case ignored) in text, or -1.
int FindTagEnd(const CString& text, const CString& name);
// Line n of the tag's value; a missing tag shows the reader's warning box.
CString GetValueLine(const CString& text, const CString& name, int n);
void RemoveComments(CString& text);
// Expands variables with the reader's bounds; false when they stopped it.
bool ExpandVariables(CString& text);

// Decode, RemoveComments, ExpandVariables and the "End" test on bytes already read.
struct CLoaded {
  CString text;
  bool overflow = false;
  bool endOk = false;
};
CLoaded LoadBytes(const std::vector<unsigned char>& bytes);

// The list walks: each entry as "remote -> local" or the site, in order, until the list ends.
std::vector<CString> WalkFiles(const CString& text);
std::vector<CString> WalkSites(const CString& text);

// The same walks made with the reader's own list functions, in the same form, for comparison.
std::vector<CString> WalkReaderFiles(CIniParser& parser);
std::vector<CString> WalkReaderSites(CIniParser& parser);

}  // namespace reference
