#include "fileops/split_path.h"

#include <gtest/gtest.h>

namespace {

TEST(SplitPathTest, Table) {
  struct Case {
    const char* path;
    const char* folder;
    const char* name;
  };
  const Case cases[] = {
      {"/tmp/Corvanel/PhotoToolSetup/setup.dat", "/tmp/Corvanel/PhotoToolSetup/", "setup.dat"},
      {"setup.dat", "", "setup.dat"},
      {"/setup.dat", "/", "setup.dat"},
      {"/tmp/w/", "/tmp/w/", ""},
      {"C:\\w\\x", "C:/w/", "x"},
      {"/tmp/w\\sub/x", "/tmp/w/sub/", "x"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    CString folder("unchanged"), name("unchanged");
    SplitPath(c.path, folder, name);
    EXPECT_EQ(folder, c.folder) << c.path;
    EXPECT_EQ(name, c.name) << c.path;
  }
}

TEST(SplitPathTest, JoinAddsOneSeparator) {
  EXPECT_EQ(JoinFolderAndName("/w", "x"), "/w/x");
  EXPECT_EQ(JoinFolderAndName("/w/", "x"), "/w/x");
  EXPECT_EQ(JoinFolderAndName("", "x"), "/x");
}

}  // namespace
