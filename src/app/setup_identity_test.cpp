#include "app/setup_identity.h"

#include <gtest/gtest.h>

namespace {

TEST(SetupIdentityTest, ApplicationNameFromTheFileName) {
  struct Case {
    const char16_t* fileName;
    const char16_t* name;
  };
  const Case cases[] = {
      {u"Install_PhotoTool_v2.exe", u"PhotoTool"},
      {u"Install_PhotoTool_v2", u"PhotoTool"},
      {u"Install_PhotoTool_.exe", u"PhotoTool"},
      {u"_PhotoTool_x.exe", u"PhotoTool"},
      {u"Install_Photo Tool_x.exe", u"Photo Tool"},
      {u"Get_Photo.Tool_1_2.exe", u"Photo.Tool"},
      {u"Install_ Photo\u00e9 _x", u" Photo\u00e9 "},
      {u"Install_PhotoTool.exe", u"Local"},
      {u"PhotoTool.exe", u"Local"},
      {u"Install__x.exe", u"Local"},
      {u"__", u"Local"},
      {u"", u"Local"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseApplicationName(c.fileName), CString(c.name))
        << ::testing::PrintToString(CString(c.fileName));
  }
}

TEST(SetupIdentityTest, WorkingFolder) {
  EXPECT_EQ(ComposeWorkingFolder("/tmp", "PhotoTool"), "/tmp/Corvanel/PhotoToolSetup");
  EXPECT_EQ(ComposeWorkingFolder("", "Local"), "/Corvanel/LocalSetup");
}

TEST(SetupIdentityTest, CaptionDropsTheExtension) {
  struct Case {
    const char* fileName;
    const char* caption;
  };
  const Case cases[] = {
      {"Install_PhotoTool_v2", "Install_PhotoTool_v2"},
      {"Install_PhotoTool_v2.exe", "Install_PhotoTool_v2"},
      {"Install_PhotoTool_v2.5.bin", "Install_PhotoTool_v2.5"},
      {"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GetCaptionFromFileName(c.fileName), c.caption) << c.fileName;
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
