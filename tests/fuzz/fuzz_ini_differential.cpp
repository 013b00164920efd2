// The reader's text passes against the plain reference on the same bytes: the text held, the
// outcome, the warning boxes in order, and both list walks must agree. Any difference aborts.
#include <cstdlib>

#include "description/ini_reference.h"
#include "fuzz_support.h"

namespace {

class CPassParser : public CIniParser {
 public:
  // The passes of Load on bytes already read.
  bool LoadBytes(const std::vector<unsigned char>& bytes, bool& overflow) {
    m_strContent = DecodeText(bytes);
    RemoveComments();
    overflow = !ExpandVariables();
    return !overflow && GetValue(CString("End")) == "End";
  }
  const CString& Content() const { return m_strContent; }
};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CQuietFrontEnd frontEnd;
  // Small bounds keep the reference quick on cycles; both sides read the same bounds.
  CIniParser::ExpansionBounds() = {50, 2, 2000, 4};
  const std::vector<unsigned char> bytes(data, data + size);

  CPassParser parser;
  bool overflow = false;
  const bool loaded = parser.LoadBytes(bytes, overflow);
  const std::vector<std::u16string> parserBoxes = frontEnd.boxes;
  frontEnd.boxes.clear();
  const reference::CLoaded expected = reference::LoadBytes(bytes);
  Check(parser.Content() == expected.text);
  Check(overflow == expected.overflow);
  Check(loaded == (expected.endOk && !expected.overflow));
  Check(parserBoxes == frontEnd.boxes);
  frontEnd.boxes.clear();

  Check(reference::WalkReaderFiles(parser) == reference::WalkFiles(expected.text));
  Check(reference::WalkReaderSites(parser) == reference::WalkSites(expected.text));
  frontEnd.boxes.clear();
  return 0;
}
