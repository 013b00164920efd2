#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

TEST(TextTest, Utf8RoundTrip) {
  struct Case {
    const char* name;
    std::u16string wide;
    std::string utf8;
  };
  const Case cases[] = {
      {"ascii", u"Install_PhotoTool_v2", "Install_PhotoTool_v2"},
      {"latin1", u"caf\u00e9", "caf\xc3\xa9"},
      {"bmp", u"\u20ac\u3000", "\xe2\x82\xac\xe3\x80\x80"},
      {"surrogate pair", u"\U0001F600", "\xf0\x9f\x98\x80"},
      {"empty", u"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToUtf8(CString(c.wide)), c.utf8) << c.name;
    EXPECT_EQ(FromUtf8(c.utf8).str(), c.wide) << c.name;
  }
}

TEST(TextTest, BytesOutsideUtf8SurviveTheRoundTrip) {
  struct Case {
    const char* name;
    std::string utf8;
    std::u16string wide;
  };
  const Case cases[] = {
      {"lone continuation", "a\x80z", u"a\xDC80z"},
      {"latin-1 byte", "caf\xe9", u"caf\xDCE9"},
      {"truncated at end", "a\xe2\x82", u"a\xDCE2\xDC82"},
      {"overlong", "\xc0\xaf", u"\xDCC0\xDCAF"},
      {"encoded surrogate", "\xed\xa0\x80", u"\xDCED\xDCA0\xDC80"},
      {"beyond U+10FFFF", "\xf4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FromUtf8(c.utf8).str(), c.wide) << c.name;
    EXPECT_EQ(ToUtf8(FromUtf8(c.utf8)), c.utf8) << c.name;
  }
  // Other lone surrogates have no bytes of their own.
  EXPECT_EQ(ToUtf8(CString(std::u16string(1, char16_t(0xD800)))), "\xef\xbf\xbd");
  EXPECT_EQ(ToUtf8(CString(std::u16string(1, char16_t(0xDC7F)))), "\xef\xbf\xbd");
}

TEST(TextTest, AnsiIsWindows1252) {
  struct Case {
    unsigned char byte;
    char16_t wide;
  };
  const Case cases[] = {
      {0x41, u'A'},   {0x80, 0x20AC}, {0x81, 0x0081}, {0x8D, 0x008D}, {0x8F, 0x008F},
      {0x90, 0x0090}, {0x9D, 0x009D}, {0x9F, 0x0178}, {0x92, 0x2019}, {0xA0, 0x00A0},
      {0xE9, 0x00E9}, {0xFF, 0x00FF}, {0x00, 0x0000},
  };
  for (const Case& c : cases) EXPECT_EQ(AnsiToWide(c.byte), c.wide) << int(c.byte);
  const unsigned char bytes[] = {'a', 0x80, 0, 'b'};
  EXPECT_EQ(DecodeAnsi(bytes, 4).str(), std::u16string(u"a\u20ac\0b", 4));
}

TEST(TextTest, WhiteSpaceSet) {
  for (char16_t ch : {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0x1680, 0x2000, 0x200A, 0x2028, 0x2029,
                      0x202F, 0x205F, 0x3000}) {
    EXPECT_TRUE(IsWhiteSpace(ch)) << std::hex << int(ch);
  }
  for (char16_t ch : {0x00, 0x08, 0x0E, 0x1F, 0x21, 0x85, 0xA0, 0x200B, 0xFEFF, 0x180E}) {
    EXPECT_FALSE(IsWhiteSpace(ch)) << std::hex << int(ch);
  }
  CString text(u"\u00a0 \r\n\u3000value\t\u0085 \r\n");
  EXPECT_EQ(text.Trim().str(), u"\u00a0 \r\n\u3000value\t\u0085");
}

TEST(CStringTest, UpperCasingTouchesAsciiOnly) {
  CString text(u"abc\u00e9\u00ff[end]z");
  EXPECT_EQ(text.MakeUpper().str(), u"ABC\u00e9\u00ff[END]Z");
  EXPECT_EQ(CString(u"\u00c9A").MakeLower().str(), u"\u00c9a");
}

TEST(CStringTest, FindAndSubstringsClipLikeTheClassLibrary) {
  CString text("[End]\nEnd");
  EXPECT_EQ(text.Find("End"), 1);
  EXPECT_EQ(text.Find("End", 2), 6);
  EXPECT_EQ(text.Find("End", 99), -1);
  EXPECT_EQ(text.Find("", 9), 9);
  EXPECT_EQ(text.Find(u'\n', -5), 5);
  EXPECT_EQ(text.Find(u'x'), -1);
  EXPECT_EQ(text.ReverseFind(u'E'), 6);
  EXPECT_EQ(text.Mid(6), "End");
  EXPECT_EQ(text.Mid(6, 100), "End");
  EXPECT_EQ(text.Mid(-3, 2), "[E");
  EXPECT_EQ(text.Mid(20, 2), "");
  EXPECT_EQ(text.Left(-1), "");
  EXPECT_EQ(text.Right(3), "End");
  EXPECT_EQ(text.Right(30), text);
}

}  // namespace
