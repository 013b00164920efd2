#include "app/setup_identity.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace {

TEST(SetupIdentityTest, ApplicationNameIsTheTextBetweenTheFirstTwoUnderscores) {
  const struct {
    const char* fileName;
    const char* expected;
  } cases[] = {
      {"Install_PhotoTool_v2.exe", "PhotoTool"},
      {"Install_PhotoTool_v2", "PhotoTool"},
      {"Install_PhotoTool_.exe", "PhotoTool"},
      {"_PhotoTool_x.exe", "PhotoTool"},
      {"Install_Photo Tool_x.exe", "Photo Tool"},
      {"Get_Photo.Tool_1_2.exe", "Photo.Tool"},
      {"Install_PhotoTool.exe", "Local"},
      {"PhotoTool.exe", "Local"},
      {"Install__x.exe", "Local"},
      {"", "Local"},
      {"Install_Ph\xC3\xB6to_", "Ph\xC3\xB6to"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToUtf8(ParseApplicationName(FromUtf8(c.fileName))), c.expected)
        << "file name \"" << c.fileName << "\"";
  }
}

TEST(SetupIdentityTest, WorkingFolderAndCaption) {
  EXPECT_EQ(ComposeWorkingFolder(CString("/tmp"), CString("PhotoTool")),
            CString("/tmp/Corvanel/PhotoToolSetup"));
  EXPECT_EQ(ComposeWorkingFolder(CString(), CString("Local")), CString("/Corvanel/LocalSetup"));

  const struct {
    const char* fileName;
    const char* expected;
  } captions[] = {
      {"Install_PhotoTool_v2.exe", "Install_PhotoTool_v2"},
      {"Install_PhotoTool_v2", "Install_PhotoTool_v2"},
      {"Install_Photo.Tool_v2.1", "Install_Photo.Tool_v2"},
      {".hidden", ""},
  };
  for (const auto& c : captions) {
    EXPECT_EQ(ToUtf8(GetCaptionFromFileName(CString(c.fileName))), c.expected)
        << "file name \"" << c.fileName << "\"";
  }
}

TEST(SetupIdentityTest, NamesFromTheDescriptionMustStayInTheWorkingFolder) {
  const struct {
    const char* name;
    bool stays;
  } cases[] = {
      {"setup.bin", true},
      {"sub/setup.bin", true},
      {"./setup.bin", true},
      {"..setup.bin", true},
      {"setup..bin", true},
      {"sub/..hidden/x", true},
      {"", true},
      {"/etc/passwd", false},
      {"\\etc\\passwd", false},
      {"..", false},
      {"../setup.bin", false},
      {"sub/../../setup.bin", false},
      {"sub/..", false},
      {"..\\setup.bin", false},
      {"sub\\..\\..\\setup.bin", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StaysInWorkingFolder(CString(c.name)), c.stays) << "name \"" << c.name << "\"";
  }
}

}  // namespace
