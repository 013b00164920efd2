#include "app/user_info.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "platform/text.h"
#include "support/temp_folder.h"

namespace {

CUserInfo SampleInfo() {
  CUserInfo info;
  info.programPath = CString("/home/user/Downloads/Install_PhotoTool_v2");
  info.workingFolder = CString("/tmp/Corvanel/PhotoToolSetup");
  info.downloadSite = CString("mirror.example.test/files");
  info.startMenuFolder = CString("/home/user/.local/share/applications");
  info.desktopFolder = CString("/home/user/Desktop");
  info.myDocumentsFolder = CString("/home/user/Documents");
  info.applicationName = CString("PhotoTool");
  info.installationTime = CString("09-03-2015 17:05:42");
  return info;
}

TEST(UserInfoTextTest, HoldsEveryTagInOrderWithLineFeedsOnly) {
  EXPECT_EQ(ToUtf8(BuildUserInfoText(SampleInfo())),
            "// User specific info.\n\n"
            "[Initial Setup Pathname]\n/home/user/Downloads/Install_PhotoTool_v2\n\n"
            "[Setup Temp Folder]\n/tmp/Corvanel/PhotoToolSetup\n\n"
            "[Download Site]\nmirror.example.test/files\n\n"
            "[Start Menu Folder]\n/home/user/.local/share/applications\n\n"
            "[Desktop Folder]\n/home/user/Desktop\n\n"
            "[My Documents Folder]\n/home/user/Documents\n\n"
            "[Application Name]\nPhotoTool\n\n"
            "[Installed on GM Time]\n09-03-2015 17:05:42\n\n"
            "[End]\nEnd\n");
}

TEST(UserInfoTextTest, WritesEmptyAndSpecialValuesUnchanged) {
  CUserInfo info = SampleInfo();
  info.downloadSite.Empty();
  info.applicationName = CString("Photo [Tool] // x");
  std::string text = ToUtf8(BuildUserInfoText(info));
  EXPECT_NE(text.find("\n[Download Site]\n\n\n[Start Menu Folder]\n"), std::string::npos);
  EXPECT_NE(text.find("\n[Application Name]\nPhoto [Tool] // x\n\n"), std::string::npos);
}

TEST(UserInfoEncodingTest, IsUtf16LeWithMarkAndNoTerminatingZero) {
  // U+00F6 and a character outside the basic plane (two code units).
  CString text = FromUtf8("/\xC3\xB6\xF0\x9F\x93\xB7\n");
  EXPECT_EQ(EncodeUtf16LeWithMark(text), std::string("\xFF\xFE"
                                                     "/\0"
                                                     "\xF6\0"
                                                     "\x3D\xD8\xF7\xDC"
                                                     "\n\0",
                                                     12));
  std::string file = EncodeUtf16LeWithMark(BuildUserInfoText(SampleInfo()));
  EXPECT_EQ(file.substr(0, 4), std::string("\xFF\xFE/\0", 4));
  EXPECT_EQ(file.substr(file.size() - 2), std::string("\n\0", 2));
  EXPECT_EQ(file.find(std::string("\r\0", 2)), std::string::npos);
}

TEST(InstallationTimeTest, FormatsInUtcWhateverTheLocalZone) {
  CScopedEnv zone("TZ", "JST-9");
  tzset();
  const struct {
    std::time_t when;
    const char* expected;
  } cases[] = {
      {0, "01-01-1970 00:00:00"},
      {1425920742, "09-03-2015 17:05:42"},
      {951868799, "29-02-2000 23:59:59"},
      {4102444800, "01-01-2100 00:00:00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToUtf8(FormatInstallationTime(c.when)), c.expected) << "time " << c.when;
  }
  EXPECT_TRUE(std::regex_match(ToUtf8(GetInstallationTime()),
                               std::regex(R"(\d\d-\d\d-\d{4} \d\d:\d\d:\d\d)")));
  unsetenv("TZ");
  tzset();
}

TEST(WriteWholeFileTest, CreatesOrReplacesTheFile) {
  CTempFolder temp;
  std::string path = temp.Sub("info.txt");
  WriteFile(path, std::string(5000, 'x'));
  std::string bytes("\xFF\xFE/\0", 4);
  EXPECT_TRUE(WriteWholeFile(CString(path), bytes));
  EXPECT_EQ(ReadFile(path), bytes);
  EXPECT_TRUE(WriteWholeFile(CString(temp.Sub("new.txt")), bytes));
  EXPECT_EQ(ReadFile(temp.Sub("new.txt")), bytes);
}

TEST(WriteWholeFileTest, FailsWhenTheFileCannotBeCreatedOrWritten) {
  CTempFolder temp;
  MakeFolders(temp.Sub("folder"));
  EXPECT_FALSE(WriteWholeFile(CString(temp.Sub("missing/info.txt")), "x"));
  EXPECT_FALSE(WriteWholeFile(CString(temp.Sub("folder")), "x"));
  EXPECT_FALSE(WriteWholeFile(CString(temp.Sub("folder/")), "x"));
  // A full disk: the file opens, and the write fails.
  if (access("/dev/full", W_OK) == 0) {
    EXPECT_FALSE(WriteWholeFile(CString("/dev/full"), std::string(4096, 'x')));
  }
}

}  // namespace
