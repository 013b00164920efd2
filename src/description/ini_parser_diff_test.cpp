// The reader against the plain reference on generated descriptions: the text it holds, the
// load result, every warning box in order, values, lines and both list walks must agree.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "description/ini_parser.h"
#include "description/ini_reference.h"
#include "platform/text.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace {

class CExposedParser : public CIniParser {
 public:
  const CString& Content() const { return m_strContent; }
  // The passes of Load on bytes already read, for the seeds that skip the file.
  bool LoadBytes(const std::vector<unsigned char>& bytes) {
    m_strContent = DecodeText(bytes);
    RemoveComments();
    m_bOverflow = !ExpandVariables();
    return !m_bOverflow && GetValue(CString("End")) == "End";
  }
  bool Overflowed(bool fromFile) const { return fromFile ? ExpansionOverflowed() : m_bOverflow; }

 private:
  bool m_bOverflow = false;
};

// Generates descriptions rich in the characters that matter to the passes.
class CGenerator {
 public:
  explicit CGenerator(unsigned seed) : m_random(seed) {}

  int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(m_random); }

  std::u16string Name() {
    static const char16_t* const kNames[] = {
        u"A",
        u"b",
        u"B",
        u"Files to download",
        u"Download Sites",
        u"End",
        u"end",
        u"Temp Folder",
        u"temp folder",
        u"Application Path",
        u"x y",
        u"",
        u"$",
        u"A]",
    };
    return kNames[Pick(sizeof(kNames) / sizeof(kNames[0]))];
  }

  std::u16string Piece() {
    switch (Pick(18)) {
      case 0:
        return u"[" + Name() + u"]";
      case 1:
        return u"$" + Name() + u"$";
      case 2:
        return u"$";
      case 3:
        return u"//";
      case 4:
        return u"/";
      case 5:
        return u"\n";
      case 6:
        return u"\r\n";
      case 7:
        return u" ";
      case 8:
        return u"\t";
      case 9:
        return u"->";
      case 10:
        return u"[";
      case 11:
        return u"]";
      case 12:
        return u"\u00E9";
      case 13:
        return u"\u00A0";
      case 14:
        return u"\u3000";
      case 15:
        return u"End";
      case 16:
        return u"x";
      default:
        return std::u16string(1, static_cast<char16_t>(u'a' + Pick(26)));
    }
  }

  std::u16string Text() {
    std::u16string text;
    const int pieces = 1 + Pick(60);
    for (int i = 0; i < pieces; ++i) text += Piece();
    if (Pick(2)) text += u"\n[End]\nEnd\n";
    return text;
  }

 private:
  std::mt19937 m_random;
};

std::string Encode(const std::u16string& text, bool utf16) {
  std::string bytes;
  if (utf16) {
    bytes = "\xFF\xFE";
    for (char16_t unit : text) {
      bytes.push_back(static_cast<char>(unit & 0xFF));
      bytes.push_back(static_cast<char>(unit >> 8));
    }
  } else {
    for (char16_t unit : text) bytes.push_back(static_cast<char>(unit <= 0xFF ? unit : '?'));
  }
  return bytes;
}

class CScopedBounds {
 public:
  explicit CScopedBounds(CIniParser::CExpansionBounds bounds)
      : m_saved(CIniParser::ExpansionBounds()) {
    CIniParser::ExpansionBounds() = bounds;
  }
  ~CScopedBounds() { CIniParser::ExpansionBounds() = m_saved; }

 private:
  CIniParser::CExpansionBounds m_saved;
};

std::vector<std::string> TakeBoxes(CRecordingFrontEnd& recorder) {
  std::vector<std::string> texts;
  for (const auto& box : recorder.boxes) texts.push_back(box.caption + ": " + box.text);
  recorder.boxes.clear();
  return texts;
}

TEST(IniParserDifferential, AgreesWithTheReferenceOnGeneratedDescriptions) {
  CTempFolder folder;
  CRecordingFrontEnd recorder;
  const std::string path = folder.Sub("gen.ini");
  // Folder values may hold brackets and dollars: tags and variables that appear in the text
  // only once a value is in place.
  const char* const tmpdirs[] = {"/tmp", "/tmp/$A$[A] q", "/tmp/[b]$b$"};
  // Small bounds keep the reference quick on cycles; both sides read the same bounds.
  CScopedBounds bounds({50, 2, 2000, 4});
  int loaded = 0, overflowed = 0;
  for (unsigned seed = 1; seed <= 3000; ++seed) {
    CGenerator generator(seed);
    CScopedEnv tmpdir("TMPDIR", std::string(tmpdirs[seed % 3]));
    const std::u16string text = generator.Text();
    const std::string bytes = Encode(text, seed % 2 == 0);
    // Every tenth goes through a real file and Load; the others hand the bytes over directly.
    const bool fromFile = seed % 10 == 0;
    CExposedParser parser;
    bool ok = false;
    if (fromFile) {
      WriteFile(path, bytes);
      ok = parser.Load(CString(path));
    } else {
      ok = parser.LoadBytes(std::vector<unsigned char>(bytes.begin(), bytes.end()));
    }
    const std::vector<std::string> parserBoxes = TakeBoxes(recorder);
    const reference::CLoaded expected =
        reference::LoadBytes(std::vector<unsigned char>(bytes.begin(), bytes.end()));
    const std::vector<std::string> referenceBoxes = TakeBoxes(recorder);

    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + ToUtf8(CString(text)));
    ASSERT_EQ(parser.Content(), expected.text);
    ASSERT_EQ(ok, expected.endOk && !expected.overflow);
    ASSERT_EQ(parser.Overflowed(fromFile), expected.overflow);
    ASSERT_EQ(parserBoxes, referenceBoxes);
    loaded += ok;
    overflowed += expected.overflow;

    for (int i = 0; i < 6; ++i) {
      const CString name(generator.Name());
      const int line = generator.Pick(5) - 1;
      const CString value = parser.GetValueLine(name, line);
      const std::vector<std::string> valueBoxes = TakeBoxes(recorder);
      ASSERT_EQ(value, reference::GetValueLine(expected.text, name, line))
          << ToUtf8(name) << " line " << line;
      ASSERT_EQ(valueBoxes, TakeBoxes(recorder));
    }

    const std::vector<CString> files = reference::WalkReaderFiles(parser);
    const std::vector<CString> sites = reference::WalkReaderSites(parser);
    const std::vector<std::string> walkBoxes = TakeBoxes(recorder);
    ASSERT_EQ(files, reference::WalkFiles(expected.text));
    ASSERT_EQ(sites, reference::WalkSites(expected.text));
    ASSERT_EQ(walkBoxes, TakeBoxes(recorder));
  }
  // The generator must reach both outcomes, or the comparison proves little.
  EXPECT_GT(loaded, 100);
  EXPECT_GT(overflowed, 10);
}

}  // namespace
