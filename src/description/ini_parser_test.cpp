#include "description/ini_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "description/folders.h"
#include "platform/text.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace {

// Loads text written to a real file; the recorder catches the reader's boxes.
class IniParserTest : public ::testing::Test {
 protected:
  bool LoadText(const std::string& bytes, const std::string& name = "desc.ini") {
    WriteFile(m_folder.Sub(name), bytes);
    return m_parser.Load(CString(m_folder.Sub(name)));
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : m_recorder.boxes) texts.push_back(box.text);
    return texts;
  }

  CTempFolder m_folder;
  CRecordingFrontEnd m_recorder;
  CIniParser m_parser;
};

std::string Utf16Le(const std::u16string& text, bool mark = true) {
  std::string bytes = mark ? std::string("\xFF\xFE") : std::string();
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

TEST_F(IniParserTest, LoadResultFollowsTheEndTag) {
  struct Case {
    const char* what;
    std::string bytes;
    const char* name;
    bool loaded;
    bool content;
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {"canonical end", "[End]\nEnd\n", "a.ini", true, true, {}},
      {"tag in lower case", "[end]\nEnd", "a.ini", true, true, {}},
      {"value compared with case", "[End]\nend", "a.ini", false, true, {}},
      {"blank inside the brackets", "[ End ]\nEnd", "a.ini", false, true, {"Tag 'End' not found."}},
      {"no end tag", "[Other]\nx", "a.ini", false, true, {"Tag 'End' not found."}},
      {"end value on the tag's line", "[End] End // done", "a.ini", true, true, {}},
      {"empty file", "", "a.ini", false, false, {}},
      {"upper-case suffix is encrypted", "[End]\nEnd", "a.INI", false, false, {}},
      {"other suffix is encrypted", "[End]\nEnd", "a.eif", false, false, {}},
  };
  for (const Case& c : cases) {
    m_recorder.boxes.clear();
    EXPECT_EQ(LoadText(c.bytes, c.name), c.loaded) << c.what;
    EXPECT_EQ(m_parser.HasContent(), c.content) << c.what;
    EXPECT_EQ(BoxTexts(), c.boxes) << c.what;
    EXPECT_FALSE(m_parser.ExpansionOverflowed()) << c.what;
    for (const auto& box : m_recorder.boxes) {
      EXPECT_EQ(box.caption, "Ini Parser");
      EXPECT_FALSE(box.ownedByProgressWindow);
    }
  }
}

TEST_F(IniParserTest, MissingFileLoadsNothing) {
  EXPECT_FALSE(m_parser.Load(CString(m_folder.Sub("absent.ini"))));
  EXPECT_FALSE(m_parser.Load(CString(m_folder.Sub("absent.eif"))));
  EXPECT_FALSE(m_parser.Load(CString(m_folder.path())));  // a folder is no file
  EXPECT_FALSE(m_parser.HasContent());
  EXPECT_TRUE(m_recorder.boxes.empty());
}

TEST_F(IniParserTest, RelativeNameIsTakenInTheApplicationFolder) {
  const CString saved = GetApplicationFolder();
  SetApplicationFolder(CString(m_folder.Sub("setup_App_x")));
  WriteFile(m_folder.Sub("local.ini"), "[End]\nEnd");
  EXPECT_TRUE(m_parser.Load(CString("local.ini")));
  SetApplicationFolder(saved + "x");
}

TEST_F(IniParserTest, ValuesFollowTheFormatRules) {
  const std::string text =
      "ignored text before the first tag\n"
      "[Program to run] setup.exe\n"
      "[Folder]\nC:\\Data[old]\n"
      "[Twice]\nfirst\n[twice]\nsecond\n"
      "[Empty][Blank]\n\n\t \n"
      "[Multi]\n  line0  \r\nline1\r\n\r\nline3\r\n"
      "[Close] a]b\n"
      "[Site]\nhttp://host.example/path\n"
      "[Comment // inside]\nx\n"
      "[Spaces]\n\xA0nbsp\xA0\n"
      "[End]\r\nEnd\r\n";
  ASSERT_TRUE(LoadText(text));
  struct Case {
    const char* tag;
    int line;
    const char* expected;
  };
  const Case cases[] = {
      {"Program to run", 0, "setup.exe"},
      {"PROGRAM TO RUN", 0, "setup.exe"},
      {"Folder", 0, "C:\\Data"},
      {"old", 0, ""},
      {"Twice", 0, "first"},
      {"Empty", 0, ""},
      {"Blank", 0, ""},
      {"Multi", 0, "line0"},
      {"Multi", 1, "line1"},
      {"Multi", 2, ""},
      {"Multi", 3, "line3"},
      {"Multi", 4, ""},
      {"Multi", -1, "line0"},
      {"Close", 0, "a]b"},
      {"Site", 0, "http:"},
      {"Spaces", 0, "\xC2\xA0nbsp\xC2\xA0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(m_parser.GetValueLine(CString(c.tag), c.line), CString(c.expected))
        << c.tag << " line " << c.line;
  }
  EXPECT_TRUE(m_recorder.boxes.empty());
  EXPECT_EQ(m_parser.GetValue(CString("Comment")), CString(""));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Tag 'Comment' not found."});
}

TEST_F(IniParserTest, FileListEndsAtABlankLineOrAMalformedEntry) {
  ASSERT_TRUE(
      LoadText("[Files to download]\n a/b.cab -> b.cab \r\nnoarrow\nc->d\n -> e\n\nafter -> blank\n"
               "[End]\nEnd"));
  CString remote("x"), local("y");
  EXPECT_TRUE(m_parser.GetFirstFile(remote, local));
  EXPECT_EQ(remote, CString("a/b.cab"));
  EXPECT_EQ(local, CString("b.cab"));
  EXPECT_FALSE(m_parser.GetNextFile(remote, local));  // no arrow: false, cursor moves on
  EXPECT_TRUE(remote.IsEmpty() && local.IsEmpty());
  EXPECT_TRUE(m_parser.GetNextFile(remote, local));
  EXPECT_EQ(remote + "|" + local, CString("c|d"));
  EXPECT_FALSE(m_parser.GetNextFile(remote, local));  // empty side
  EXPECT_FALSE(m_parser.GetNextFile(remote, local));  // the blank line: the cursor stays
  EXPECT_FALSE(m_parser.GetNextFile(remote, local));
  EXPECT_TRUE(remote.IsEmpty() && local.IsEmpty());
  EXPECT_TRUE(m_parser.GetFirstFile(remote, local));  // First restarts
  EXPECT_EQ(local, CString("b.cab"));
  EXPECT_TRUE(m_recorder.boxes.empty());
}

TEST_F(IniParserTest, SiteListAndMissingOrEmptyLists) {
  ASSERT_TRUE(LoadText("[Download Sites]\nhost.one/a \nhost.two\n\nhost.three\n[End]\nEnd"));
  CString site;
  EXPECT_TRUE(m_parser.GetFirstSite(site));
  EXPECT_EQ(site, CString("host.one/a"));
  EXPECT_TRUE(m_parser.GetNextSite(site));
  EXPECT_EQ(site, CString("host.two"));
  EXPECT_FALSE(m_parser.GetNextSite(site));
  EXPECT_TRUE(site.IsEmpty());

  // The missing "Files to download" warns on every call.
  CString remote, local;
  EXPECT_FALSE(m_parser.GetFirstFile(remote, local));
  EXPECT_FALSE(m_parser.GetNextFile(remote, local));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Tag 'Files to download' not found.",
                                                  "Tag 'Files to download' not found."}));

  m_recorder.boxes.clear();
  ASSERT_TRUE(LoadText("[Download Sites]\n[Files to download]\n\n[End]\nEnd"));
  EXPECT_FALSE(m_parser.GetFirstSite(site));
  EXPECT_FALSE(m_parser.GetFirstFile(remote, local));
  EXPECT_TRUE(m_recorder.boxes.empty());
}

TEST_F(IniParserTest, LoadAgainLeavesTheCursorsAlone) {
  const std::string text = "[Files to download]\na -> 1\nb -> 2\n[End]\nEnd";
  ASSERT_TRUE(LoadText(text));
  CString remote, local;
  ASSERT_TRUE(m_parser.GetFirstFile(remote, local));
  ASSERT_TRUE(LoadText(text));
  ASSERT_TRUE(m_parser.GetNextFile(remote, local));
  EXPECT_EQ(local, CString("2"));
}

TEST_F(IniParserTest, EncodingsDecodeAlike) {
  const std::u16string text = u"[Name] caf\u00E9 \u20AC\n[End]\nEnd";
  ASSERT_TRUE(LoadText(Utf16Le(text)));
  const CString fromUtf16 = m_parser.GetValue(CString("Name"));
  ASSERT_TRUE(LoadText("[Name] caf\xE9 \x80\n[End]\nEnd"));
  EXPECT_EQ(m_parser.GetValue(CString("Name")), fromUtf16);
  EXPECT_EQ(fromUtf16, CString(u"caf\u00E9 \u20AC"));

  // An odd final byte is ignored; a zero unit ends the text.
  ASSERT_TRUE(LoadText(Utf16Le(u"[End]\nEnd") + "X"));
  ASSERT_FALSE(LoadText(Utf16Le(std::u16string(u"[A]\0[End]\nEnd", 14))));
  ASSERT_FALSE(LoadText(std::string("[A]\0[End]\nEnd", 13)));

  // Without FF FE the second byte of "[" is zero: a text of one character.
  m_recorder.boxes.clear();
  EXPECT_FALSE(LoadText(Utf16Le(u"[End]\nEnd", false)));
  EXPECT_TRUE(m_parser.HasContent());
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Tag 'End' not found."});

  // UTF-8 with its signature is read as 8-bit text.
  ASSERT_TRUE(LoadText("\xEF\xBB\xBF[Name] \xC3\xA9\n[End]\nEnd"));
  EXPECT_EQ(m_parser.GetValue(CString("Name")), CString(u"\u00C3\u00A9"));
}

TEST_F(IniParserTest, VariablesExpand) {
  CScopedEnv temp("TMPDIR", m_folder.path());
  ASSERT_TRUE(
      LoadText("[Path] $Temp Folder$\\Sub\n"
               "[Lower] $temp folder$\n[temp folder] tagged\n"
               "[Nested] <$Inner$>\n[Inner] in $Deeper$ out\n[Deeper] deep\n"
               "[Lone] 5$\n"
               "[End]\nEnd"));
  EXPECT_EQ(m_parser.GetValue(CString("Path")), CString(m_folder.path() + "\\Sub"));
  EXPECT_EQ(m_parser.GetValue(CString("Lower")), CString("tagged"));
  EXPECT_EQ(m_parser.GetValue(CString("Nested")), CString("<in deep out>"));
  EXPECT_EQ(m_parser.GetValue(CString("Lone")), CString("5$"));
  EXPECT_TRUE(m_recorder.boxes.empty());
}

TEST_F(IniParserTest, UnpairedDollarsWarnAndVanish) {
  ASSERT_TRUE(LoadText("[A] costs 5$\n[B] costs 7$ now\n[C] x$$y\n[End]\nEnd"));
  EXPECT_EQ(m_parser.GetValue(CString("A")), CString("costs 5 now"));
  EXPECT_EQ(m_parser.GetValue(CString("C")), CString("xy"));
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{"Tag '\n[B] costs 7' not found.", "Tag '' not found."}));
}

// A variable that refers to itself must end: the expansion stops at its bound and Load fails.
TEST_F(IniParserTest, CyclicVariablesStopAndFailTheLoad) {
  const char* cases[] = {
      "[A] $A$\n[End]\nEnd",               // itself, the text never changes
      "[A] x$A$\n[End]\nEnd",              // itself, the text grows by a little
      "[A] $B$\n[B] $A$\n[End]\nEnd",      // through another tag
      "[A] $A$$A$$A$$A$\n[End]\nEnd",      // the text grows fast
      "$C$\n[C] $C$ and $C$\n[End]\nEnd",  // used before its tag
  };
  for (const char* text : cases) {
    EXPECT_FALSE(LoadText(text)) << text;
    EXPECT_TRUE(m_parser.ExpansionOverflowed()) << text;
    EXPECT_TRUE(m_parser.HasContent()) << text;
  }
  ASSERT_TRUE(LoadText("[A] fine\n[End]\nEnd"));
  EXPECT_FALSE(m_parser.ExpansionOverflowed());
}

// The trace maps each character of the expanded text to where it stood, or to the "$" of the
// variable that brought it in (the outer one for a value that holds a variable in turn).
TEST_F(IniParserTest, ExpansionTraceMapsBackToTheTextBeforeExpansion) {
  CIniParser::CExpansionTrace trace;
  m_parser.SetExpansionTrace(&trace);
  ASSERT_TRUE(LoadText("[A] x$B$y // c\n[B] 1$C$2\n[C] z\n[End]\nEnd"));
  EXPECT_EQ(trace.before, u"[A] x$B$y \n[B] 1$C$2\n[C] z\n[End]\nEnd");
  EXPECT_EQ(trace.expandingAt, -1);
  const std::vector<int> head = {0, 1, 2, 3, 4, 5, 5, 5, 8, 9, 10, 11, 12, 13, 14, 15, 16, 19, 20};
  ASSERT_GE(trace.origins.size(), head.size());
  EXPECT_EQ(std::vector<int>(trace.origins.begin(), trace.origins.begin() + head.size()), head);
  // One origin per character of the text the reader holds: "$C$" became "z".
  EXPECT_EQ(trace.origins.size(), trace.before.size() - 2);
  m_parser.SetExpansionTrace(nullptr);
}

// Many distinct variables, each with a tag of its own, some before and some after the text that
// uses them: every lookup finds its tag without searching the whole text again, so the work of
// the expansion grows with the text. (Its time is measured by the benchmark.)
TEST_F(IniParserTest, ManyDistinctVariablesExpandInLinearWork) {
  for (int count : {1000, 4000}) {
    std::string head, uses, tail;
    for (int i = 0; i < count; ++i) {
      const std::string name = "Var " + std::to_string(i);
      (i % 2 ? tail : head) += "[" + name + "] v" + std::to_string(i) + "\n";
      uses += "/$" + name + "$/f -> f" + std::to_string(i) + "\n";
    }
    const std::string text = head + "[Files to download]\n" + uses + tail + "[End]\nEnd\n";
    ASSERT_TRUE(LoadText(text));
    EXPECT_TRUE(m_recorder.boxes.empty());
    CString remote, local;
    int files = 0;
    for (bool ok = m_parser.GetFirstFile(remote, local); ok;
         ok = m_parser.GetNextFile(remote, local)) {
      EXPECT_EQ(remote, CString("/v" + std::to_string(files) + "/f"));
      ++files;
    }
    EXPECT_EQ(files, count);
    EXPECT_LE(m_parser.ExpansionWork(), 8 * text.size()) << count << " variables";
  }
}

// Many entries load and walk to the end. The time this takes is measured by the benchmark.
TEST_F(IniParserTest, LargeDescriptionWalksToTheEnd) {
  std::string text = "[Version] 1.2\n[Download Sites]\n";
  for (int i = 0; i < 1000; ++i) text += "mirror" + std::to_string(i) + ".example/x\n";
  text += "[Files to download]\n";
  for (int i = 0; i < 100000; ++i) {
    text += "/v$Version$/f" + std::to_string(i) + ".cab -> f" + std::to_string(i) + ".cab\n";
  }
  text += "[End]\nEnd\n";
  ASSERT_TRUE(LoadText(text));
  CString remote, local, site;
  int files = 0;
  for (bool ok = m_parser.GetFirstFile(remote, local); ok;
       ok = m_parser.GetNextFile(remote, local)) {
    ++files;
  }
  EXPECT_EQ(files, 100000);
  EXPECT_EQ(m_parser.GetValueLine(CString("Files to download"), 99999),
            CString("/v1.2/f99999.cab -> f99999.cab"));
  int sites = 0;
  for (bool ok = m_parser.GetFirstSite(site); ok; ok = m_parser.GetNextSite(site)) ++sites;
  EXPECT_EQ(sites, 1000);
  EXPECT_TRUE(m_recorder.boxes.empty());
}

}  // namespace
