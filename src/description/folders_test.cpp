#include "description/folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/text.h"
#include "support/temp_folder.h"

namespace {

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A home of its own, with no XDG settings, for every test.
class FoldersTest : public ::testing::Test {
 protected:
  CTempFolder home_;
  CScopedEnv homeEnv_{"HOME", home_.path()};
  CScopedEnv configEnv_{"XDG_CONFIG_HOME", std::nullopt};
  CScopedEnv dataEnv_{"XDG_DATA_HOME", std::nullopt};
  CScopedEnv tmpEnv_{"TMPDIR", std::nullopt};
};

TEST_F(FoldersTest, TempFolderFromTmpdir) {
  struct Case {
    std::optional<std::string> tmpdir;
    std::string expected;
  };
  const std::string long259 = "/" + std::string(258, 't');
  const Case cases[] = {
      {std::nullopt, "/tmp"},
      {"", "/tmp"},
      {"/var/tmp/", "/var/tmp"},
      {"/var/tmp", "/var/tmp"},
      {"/work dir/t\xc3\xa9mp//", "/work dir/t\xc3\xa9mp/"},  // only one separator goes
      {"/", ""},
      {long259, long259},
      {long259 + "/", ""},  // 260 characters as given
      {"/" + std::string(300, 'x'), ""},
  };
  for (const Case& c : cases) {
    CScopedEnv env("TMPDIR", c.tmpdir);
    EXPECT_EQ(ToUtf8(GetTempFolder()), c.expected) << c.tmpdir.value_or("(unset)");
  }
}

TEST_F(FoldersTest, DesktopAndDocumentsFallBackToHomeAndAreNeverCreated) {
  EXPECT_EQ(GetDesktopFolder(), "");
  EXPECT_EQ(GetMyDocumentsFolder(), "");
  EXPECT_FALSE(IsFolder(home_.Sub("Desktop")));
  EXPECT_FALSE(IsFolder(home_.Sub("Documents")));

  MakeFolders(home_.Sub("Desktop"));
  MakeFolders(home_.Sub("Documents"));
  EXPECT_EQ(ToUtf8(GetDesktopFolder()), home_.Sub("Desktop"));
  EXPECT_EQ(ToUtf8(GetMyDocumentsFolder()), home_.Sub("Documents"));
}

TEST_F(FoldersTest, XdgUserDirsDecide) {
  MakeFolders(home_.Sub(".config"));
  MakeFolders(home_.Sub("Schreibtisch"));
  MakeFolders(home_.Sub("elsewhere/Docs"));
  MakeFolders(home_.Sub("Desktop"));
  WriteFile(home_.Sub(".config/user-dirs.dirs"),
            "# written by xdg-user-dirs-update\n"
            "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
            "XDG_DOCUMENTS_DIR=\"" +
                home_.Sub("elsewhere/Docs") + "/\"\n");
  EXPECT_EQ(ToUtf8(GetDesktopFolder()), home_.Sub("Schreibtisch"));
  EXPECT_EQ(ToUtf8(GetMyDocumentsFolder()), home_.Sub("elsewhere/Docs"));

  // XDG_CONFIG_HOME moves the file; a folder it names that does not exist gives empty text.
  CTempFolder config;
  WriteFile(config.Sub("user-dirs.dirs"), "XDG_DESKTOP_DIR=\"$HOME/Gone\"\n");
  CScopedEnv env("XDG_CONFIG_HOME", config.path());
  EXPECT_EQ(GetDesktopFolder(), "");
  // No DOCUMENTS line there: the home's Documents folder, which does not exist.
  EXPECT_EQ(GetMyDocumentsFolder(), "");
}

TEST_F(FoldersTest, StartMenuFolderIsCreated) {
  EXPECT_EQ(ToUtf8(GetStartMenuFolder()), home_.Sub(".local/share/applications"));
  EXPECT_TRUE(IsFolder(home_.Sub(".local/share/applications")));

  CTempFolder data;
  {
    CScopedEnv env("XDG_DATA_HOME", data.path() + "/");
    EXPECT_EQ(ToUtf8(GetStartMenuFolder()), data.Sub("applications"));
    EXPECT_TRUE(IsFolder(data.Sub("applications")));
  }
  {
    // A relative XDG_DATA_HOME is invalid and ignored.
    CScopedEnv env("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(ToUtf8(GetStartMenuFolder()), home_.Sub(".local/share/applications"));
  }
  {
    // A file where the folder should be: there is no Start menu folder.
    CScopedEnv env("XDG_DATA_HOME", data.Sub("blocked"));
    WriteFile(data.Sub("blocked"), "x");
    EXPECT_EQ(GetStartMenuFolder(), "");
  }
}

TEST_F(FoldersTest, ApplicationFolderKeepsCaseAndItsSeparator) {
  SetApplicationFolder("/home/User/Downloads/Install_PhotoTool_v2");
  EXPECT_EQ(GetApplicationFolder(), "/home/User/Downloads/");
  CString value;
  ASSERT_TRUE(ResolveFolderVariable("Application Path", value));
  EXPECT_EQ(value, "/home/User/Downloads");

  SetApplicationFolder("/Setup_App");
  EXPECT_EQ(GetApplicationFolder(), "/");
  ASSERT_TRUE(ResolveFolderVariable("Application Path", value));
  EXPECT_EQ(value, "");
}

TEST_F(FoldersTest, FolderVariablesAreMatchedWithCase) {
  CScopedEnv env("TMPDIR", "/var/tmp/");
  MakeFolders(home_.Sub("Desktop"));
  struct Case {
    const char* name;
    bool known;
    std::string value;
  };
  const Case cases[] = {
      {"Temp Folder", true, "/var/tmp"},
      {"Desktop Folder", true, home_.Sub("Desktop")},
      {"Startmenu Folder", true, home_.Sub(".local/share/applications")},
      {"Program Files Folder", true, IsFolder("/opt") ? "/opt" : ""},
      {"temp folder", false, ""},
      {"Temp Folder ", false, ""},
      {"My Documents Folder", false, ""},
      {"", false, ""},
  };
  for (const Case& c : cases) {
    CString value("untouched");
    EXPECT_EQ(ResolveFolderVariable(c.name, value), c.known) << c.name;
    if (c.known) {
      EXPECT_EQ(ToUtf8(value), c.value) << c.name;
    }
  }
}

}  // namespace
