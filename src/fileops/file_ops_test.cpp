#include "fileops/file_ops.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "fileops/split_path.h"
#include "platform/text.h"
#include "support/temp_folder.h"

namespace {

using std::chrono::milliseconds;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class FileOpsTest : public ::testing::Test {
 protected:
  void SetUp() override { TimingSettings().removeFolderRetryWait = milliseconds(1); }

  CScopedTimings timings_;
  CTempFolder temp_;
};

TEST_F(FileOpsTest, FileExistsSeesFilesAndFolders) {
  WriteFile(temp_.Sub("file"), "x");
  MakeFolders(temp_.Sub("folder"));
  (void)symlink("nowhere", temp_.Sub("dangling").c_str());
  EXPECT_TRUE(FileExists(FromUtf8(temp_.Sub("file"))));
  EXPECT_TRUE(FileExists(FromUtf8(temp_.Sub("folder"))));
  EXPECT_TRUE(FileExists(FromUtf8(temp_.Sub("folder/"))));
  EXPECT_FALSE(FileExists(FromUtf8(temp_.Sub("missing"))));
  EXPECT_FALSE(FileExists(FromUtf8(temp_.Sub("missing/file"))));
  EXPECT_FALSE(FileExists(FromUtf8(temp_.Sub("dangling"))));
}

TEST_F(FileOpsTest, RenameNeverReplacesAnExistingName) {
  WriteFile(temp_.Sub("a"), "first");
  WriteFile(temp_.Sub("b"), "second");
  chmod(temp_.Sub("a").c_str(), 0400);

  EXPECT_FALSE(RenameFileInFolder(temp_.Path(), "a", "b"));
  EXPECT_EQ(ReadFile(temp_.Sub("a")), "first");
  EXPECT_EQ(ReadFile(temp_.Sub("b")), "second");
  // The source was made writable for its owner before the attempt.
  EXPECT_EQ(ModeOf(temp_.Sub("a")), 0600u);

  EXPECT_TRUE(RenameFileInFolder(temp_.Path() + "/", "a", "a Before Download"));
  EXPECT_FALSE(FileExists(FromUtf8(temp_.Sub("a"))));
  EXPECT_EQ(ReadFile(temp_.Sub("a Before Download")), "first");
  EXPECT_FALSE(RenameFileInFolder(temp_.Path(), "missing", "c"));
}

TEST_F(FileOpsTest, DeleteCountsAbsentFilesAsDeleted) {
  WriteFile(temp_.Sub("readonly"), "x");
  chmod(temp_.Sub("readonly").c_str(), 0400);
  WriteFile(temp_.Sub("file"), "x");
  WriteFile(temp_.Sub("in"), "not a folder");
  const std::string tooLong(300, 'n');
  struct Case {
    CString folder;
    const char* name;
    bool result;
  };
  const Case cases[] = {
      {temp_.Path(), "readonly", true},       {temp_.Path() + "/", "file", true},
      {temp_.Path(), "never-there", true},    {FromUtf8(temp_.Sub("no-such-folder")), "x", true},
      {FromUtf8(temp_.Sub("in")), "x", true},  // a file in the way of the folder
      {temp_.Path(), tooLong.c_str(), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DeleteFileInFolder(c.folder, c.name), c.result) << c.name;
    EXPECT_FALSE(FileExists(JoinFolderAndName(c.folder, c.name))) << c.name;
  }
  MakeFolders(temp_.Sub("folder"));
  EXPECT_FALSE(DeleteFileInFolder(temp_.Path(), "folder"));
  EXPECT_TRUE(IsFolder(temp_.Sub("folder")));
}

TEST_F(FileOpsTest, DeleteFailsWhereTheFolderForbidsIt) {
  if (geteuid() == 0) GTEST_SKIP() << "root may delete in any folder";
  MakeFolders(temp_.Sub("locked"));
  WriteFile(temp_.Sub("locked/x"), "x");
  chmod(temp_.Sub("locked").c_str(), 0500);
  EXPECT_FALSE(DeleteFileInFolder(FromUtf8(temp_.Sub("locked")), "x"));
  chmod(temp_.Sub("locked").c_str(), 0700);
}

TEST_F(FileOpsTest, CreateFolderPathMakesEveryPrefix) {
  const std::string root = temp_.path();
  struct Case {
    std::string path;
    bool result;
    std::string mustExist;
  };
  WriteFile(temp_.Sub("file"), "x");
  const Case cases[] = {
      {root + "/a/b/c", true, root + "/a/b/c"},
      {root + "/a/b/c", true, root + "/a/b/c"},  // everything there already
      {root + "/t/u/", true, root + "/t/u"},     // a trailing separator
      {root + "//d//e", true, root + "/d/e"},    // doubled separators
      {root + "/file", false, ""},               // a file stands where the folder should
      {root + "/file/sub", false, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CreateFolderPath(FromUtf8(c.path)), c.result) << c.path;
    if (!c.mustExist.empty()) {
      EXPECT_TRUE(IsFolder(c.mustExist)) << c.path;
    }
  }
  // Without any separator nothing is made, and that counts as success.
  EXPECT_TRUE(CreateFolderPath("no-separator-here"));
  EXPECT_FALSE(FileExists("no-separator-here"));
}

TEST_F(FileOpsTest, CreateFolderPathStopsAtTheFirstFailureAndKeepsWhatItMade) {
  const std::string tooLong(300, 'n');
  EXPECT_FALSE(CreateFolderPath(FromUtf8(temp_.Sub("made/also/" + tooLong + "/never"))));
  EXPECT_TRUE(IsFolder(temp_.Sub("made/also")));
}

TEST_F(FileOpsTest, CreateFolderPathMakesTheFirstNameOfARelativePath) {
  ASSERT_EQ(chdir(temp_.path().c_str()), 0);
  EXPECT_TRUE(CreateFolderPath("rel/sub"));
  EXPECT_TRUE(IsFolder(temp_.Sub("rel/sub")));
  ASSERT_EQ(chdir("/"), 0);
}

TEST_F(FileOpsTest, RemoveFolderDeletesEveryFileButLeavesSubFolders) {
  const std::string w = temp_.Sub("w");
  MakeFolders(w + "/sub/deeper");
  WriteFile(w + "/plain", "x");
  WriteFile(w + "/.hidden", "x");
  WriteFile(w + "/readonly", "x");
  chmod((w + "/readonly").c_str(), 0400);
  WriteFile(w + "/sub/kept", "x");
  WriteFile(temp_.Sub("outside"), "target of a link");
  (void)symlink(temp_.Sub("outside").c_str(), (w + "/link").c_str());

  EXPECT_FALSE(RemoveFolder(FromUtf8(w)));
  for (const char* gone : {"/plain", "/.hidden", "/readonly", "/link"}) {
    EXPECT_FALSE(FileExists(FromUtf8(w + gone))) << gone;
  }
  EXPECT_EQ(ReadFile(w + "/sub/kept"), "x");
  EXPECT_EQ(ReadFile(temp_.Sub("outside")), "target of a link");

  RemoveTree(w + "/sub");
  EXPECT_TRUE(RemoveFolder(FromUtf8(w)));
  EXPECT_FALSE(FileExists(FromUtf8(w)));
}

TEST_F(FileOpsTest, RemoveFolderOfAMissingFolderFails) {
  EXPECT_FALSE(RemoveFolder(FromUtf8(temp_.Sub("missing"))));
  MakeFolders(temp_.Sub("empty"));
  EXPECT_TRUE(RemoveFolder(FromUtf8(temp_.Sub("empty"))));
}

TEST_F(FileOpsTest, CopyOverwritesAndKeepsPermissionBits) {
  MakeFolders(temp_.Sub("src"));
  MakeFolders(temp_.Sub("dst"));
  WriteFile(temp_.Sub("src/setup.sh"), "#!/bin/sh\necho hi\n");
  chmod(temp_.Sub("src/setup.sh").c_str(), 0750);
  WriteFile(temp_.Sub("dst/setup.sh"), "an older, longer, read-only file");
  chmod(temp_.Sub("dst/setup.sh").c_str(), 0444);

  EXPECT_TRUE(CopyFileToFolder(FromUtf8(temp_.Sub("src/setup.sh")), FromUtf8(temp_.Sub("dst"))));
  EXPECT_EQ(ReadFile(temp_.Sub("dst/setup.sh")), "#!/bin/sh\necho hi\n");
  EXPECT_EQ(ModeOf(temp_.Sub("dst/setup.sh")), 0750u);

  WriteFile(temp_.Sub("src/.dotfile"), std::string(200000, 'z'));
  EXPECT_TRUE(CopyFileToFolder(FromUtf8(temp_.Sub("src/.dotfile")), FromUtf8(temp_.Sub("dst"))));
  EXPECT_EQ(ReadFile(temp_.Sub("dst/.dotfile")), std::string(200000, 'z'));
}

TEST_F(FileOpsTest, CopyFailuresLeaveTheSourceIntact) {
  WriteFile(temp_.Sub("data"), "precious");
  // Onto itself: refused instead of cutting the file to nothing.
  EXPECT_FALSE(CopyFileToFolder(FromUtf8(temp_.Sub("data")), temp_.Path()));
  EXPECT_EQ(ReadFile(temp_.Sub("data")), "precious");
  EXPECT_FALSE(CopyFileToFolder(FromUtf8(temp_.Sub("missing")), temp_.Path()));
  EXPECT_FALSE(CopyFileToFolder(FromUtf8(temp_.Sub("data")), FromUtf8(temp_.Sub("no-folder"))));
  MakeFolders(temp_.Sub("dir"));
  EXPECT_FALSE(CopyFileToFolder(FromUtf8(temp_.Sub("dir")), FromUtf8(temp_.Sub("no-folder"))));
  // A named pipe is no file to copy, and nothing waits for a writer.
  ASSERT_EQ(mkfifo(temp_.Sub("pipe").c_str(), 0600), 0);
  EXPECT_FALSE(CopyFileToFolder(FromUtf8(temp_.Sub("pipe")), FromUtf8(temp_.Sub("dir"))));
  EXPECT_FALSE(FileExists(FromUtf8(temp_.Sub("dir/pipe"))));
}

}  // namespace

namespace {

TEST(FileOpsNamesTest, PathsThatAreNotUtf8StillNameTheirFiles) {
  CTempFolder temp;
  const std::string folder = temp.Sub("caf\xe9");  // a Latin-1 folder name
  MakeFolders(folder);
  WriteFile(folder + "/setup\xff.dat", "payload");
  const CString wideFolder = FromUtf8(folder);
  EXPECT_TRUE(FileExists(wideFolder + "/" + FromUtf8("setup\xff.dat")));
  EXPECT_TRUE(CopyFileToFolder(wideFolder + "/" + FromUtf8("setup\xff.dat"), temp.Path()));
  EXPECT_EQ(ReadFile(temp.Sub("setup\xff.dat")), "payload");
  EXPECT_TRUE(RemoveFolder(wideFolder));
  EXPECT_FALSE(FileExists(wideFolder));
}

}  // namespace
