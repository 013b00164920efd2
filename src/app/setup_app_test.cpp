#include "app/setup_app.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <numeric>
#include <string>

#include "description/description_crypto.h"
#include "description/folders.h"
#include "description/ini_parser.h"
#include "platform/network.h"
#include "platform/system.h"
#include "platform/text.h"
#include "support/recording_front_end.h"
#include "support/scripted_http_server.h"
#include "support/temp_folder.h"

namespace {

bool Exists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0;
}

// The user info file with a reader that is loaded from a plain description.
class WriteUserInfoFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeFolders(m_work);
    MakeFolders(m_temp.Sub("home/Desktop"));
  }

  bool LoadDescription(const std::string& userInfoName) {
    std::string path = m_temp.Sub("description.ini");
    WriteFile(path, "[User Info Filename]\n" + userInfoName + "\n[End]\nEnd\n");
    return m_app.GetParser().Load(CString(path));
  }

  bool Write(const std::string& target) {
    return m_app.WriteUserInfoFile(CString(target), CString("/opt/dl/Install_PhotoTool_v2"),
                                   CString(m_work), CString("mirror.test/files"),
                                   CString("PhotoTool"), CString("09-03-2015 17:05:42"));
  }

  CTempFolder m_temp;
  std::string m_work = m_temp.Sub("tmp/Corvanel/PhotoToolSetup");
  CScopedEnv m_home{"HOME", m_temp.Sub("home")};
  CScopedEnv m_config{"XDG_CONFIG_HOME", std::nullopt};
  CScopedEnv m_data{"XDG_DATA_HOME", std::nullopt};
  CRecordingFrontEnd m_recorder;
  CSetupApp m_app;
};

TEST_F(WriteUserInfoFileTest, ReplacesTheFileAndReadsBackThroughTheTagReader) {
  ASSERT_TRUE(LoadDescription("setupinfo.ini"));
  const std::string path = m_work + "/setupinfo.ini";
  WriteFile(path, std::string(10000, 'x'));
  ASSERT_TRUE(Write(m_work));

  std::string bytes = ReadFile(path).value_or("");
  EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFE/\0", 4));
  EXPECT_LT(bytes.size(), 10000u) << "the earlier file was not cut";
  // The start menu folder is created on the way.
  const std::string startMenu = m_temp.Sub("home/.local/share/applications");
  EXPECT_TRUE(Exists(startMenu));

  CIniParser reader;
  ASSERT_TRUE(reader.Load(CString(path)));
  const struct {
    const char* tag;
    std::string value;
  } expected[] = {
      {"Initial Setup Pathname", "/opt/dl/Install_PhotoTool_v2"},
      {"Setup Temp Folder", m_work},
      {"Download Site", "mirror.test/files"},
      {"Start Menu Folder", startMenu},
      {"Desktop Folder", m_temp.Sub("home/Desktop")},
      {"My Documents Folder", ""},
      {"Application Name", "PhotoTool"},
      {"Installed on GM Time", "09-03-2015 17:05:42"},
      {"End", "End"},
  };
  for (const auto& e : expected) {
    EXPECT_EQ(ToUtf8(reader.GetValue(CString(e.tag))), e.value) << e.tag;
  }
  EXPECT_TRUE(m_recorder.boxes.empty());
}

TEST_F(WriteUserInfoFileTest, FailsWhenTheFileCannotBeProducedWhole) {
  const struct {
    const char* name;
    std::string userInfoName;
    std::string target;
  } cases[] = {
      {"folder of the name missing", "nosuch/info.txt", m_work},
      {"empty name names the folder", "", m_work},
      {"name leaving the folder", "../info.txt", m_work},
      {"absolute name", m_temp.Sub("info.txt"), m_work},
      {"disk full while writing", "full", "/dev"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.target == "/dev" && !Exists("/dev/full")) continue;
    LoadDescription(c.userInfoName);
    EXPECT_FALSE(Write(c.target));
  }
  EXPECT_FALSE(Exists(m_temp.Sub("tmp/Corvanel/info.txt")));
  EXPECT_FALSE(Exists(m_temp.Sub("info.txt")));
}

// The setup flow in this process, against loopback sites, with the waits shortened and the
// connection test answered by the test.
class RunSetupFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TimingSettings().removeFolderRetryWait = std::chrono::milliseconds(0);
    TimingSettings().downloadRetryPause = std::chrono::milliseconds(0);
    MakeFolders(m_appFolder);
    SetApplicationFolder(CString(m_appFolder + "/Install_PhotoTool_v2"));
    SetCurrentFolder(CString(m_appFolder));
    SetConnectedStateOverride(true);
    ASSERT_TRUE(m_site.IsListening());
  }
  void TearDown() override {
    SetConnectedStateOverride(std::nullopt);
    SetCurrentFolder(CString("/"));
  }

  // An offline description beside the program, listing the files on m_site.
  void WriteOfflineDescription(const std::string& files, std::string sites = "") {
    if (sites.empty()) sites = m_site.Host();
    std::string text = "[Download Initial Setup]\nNo\n[Download Sites]\n" + sites +
                       "\n[Files to download]\n" + files + "\n[End]\nEnd\n";
    size_t block = 0, capacity = 0;
    unsigned bits = 0;
    ASSERT_TRUE(GetKeyGeometry(kDescriptionKeyText, block, capacity, bits));
    std::vector<unsigned char> encrypted;
    std::string error;
    ASSERT_TRUE(EncryptDescription(std::vector<unsigned char>(text.begin(), text.end()),
                                   kDescriptionKeyText, capacity, encrypted, error))
        << error;
    WriteFile(m_appFolder + "/SetupInitial.eif", std::string(encrypted.begin(), encrypted.end()));
  }

  bool RunFlow() {
    m_window.Create();
    return m_app.RunSetupFlow(CString("PhotoTool"), CString(m_work), &m_window, m_downloadSite);
  }

  // The sum of the bar's increments and the ranges it was given.
  uint64_t AdvancedBy() const {
    uint64_t sum = 0;
    for (const std::string& event : m_recorder.events) {
      if (event.rfind("advance ", 0) == 0) sum += std::stoull(event.substr(8));
    }
    return sum;
  }
  std::vector<std::string> Ranges() const {
    std::vector<std::string> ranges;
    for (const std::string& event : m_recorder.events) {
      if (event.rfind("range ", 0) == 0) ranges.push_back(event.substr(6));
    }
    return ranges;
  }

  CScopedTimings m_timings;
  CTempFolder m_temp;
  std::string m_appFolder = m_temp.Sub("download");
  std::string m_work = m_temp.Sub("tmp/Corvanel/PhotoToolSetup");
  CScriptedHttpServer m_site;
  CRecordingFrontEnd m_recorder;
  CDownloadDlg m_window;
  CSetupApp m_app;
  CString m_downloadSite;
};

TEST_F(RunSetupFlowTest, TheBarRangeIsTheSumOfTheListedSizesAndFillsOnce) {
  m_site.On("/a.bin", scripts::Body(std::string(3000, 'a')));
  m_site.On("/b.bin", scripts::Body(std::string(5000, 'b')));
  WriteOfflineDescription("/a.bin->a.bin\n/b.bin->b.bin");

  EXPECT_TRUE(RunFlow());
  EXPECT_TRUE(m_recorder.boxes.empty());
  EXPECT_EQ(ToUtf8(m_downloadSite), m_site.Host());
  EXPECT_EQ(Ranges(), std::vector<std::string>{"8000"});
  EXPECT_EQ(AdvancedBy(), 8000u);
  EXPECT_EQ(ReadFile(m_work + "/b.bin"), std::string(5000, 'b'));
}

TEST_F(RunSetupFlowTest, ATotalBeyondTheBarsRangeIsScaled) {
  // Announced at three gigabytes, the file never arrives; its copy from beside the program
  // stands in for it.
  m_site.On("/huge.bin", scripts::Announce(3000000000, ""));
  m_site.On("/a.bin", scripts::Body(std::string(3000, 'a')));
  WriteOfflineDescription("/a.bin->a.bin\n/huge.bin->huge.bin");
  WriteFile(m_appFolder + "/huge.bin", "beside");

  EXPECT_TRUE(RunFlow());
  EXPECT_TRUE(m_recorder.boxes.empty());
  // Two bytes to a unit: the range and the 3000 bytes of a.bin alike.
  EXPECT_EQ(Ranges(), std::vector<std::string>{"1500001500"});
  EXPECT_EQ(AdvancedBy(), 1500u);
  EXPECT_EQ(ReadFile(m_work + "/huge.bin"), std::string("beside"));
}

TEST_F(RunSetupFlowTest, AnnouncedSizesCannotWrapTheTotalRound) {
  // Two files announced at the largest length HTTP can carry and one of two bytes add up to
  // exactly 2^64: a plain 64-bit sum would come round to the 3000 bytes of a.bin.
  std::string entries = "/a.bin->a.bin\n/two.bin->two.bin";
  for (const char* name : {"h1.bin", "h2.bin"}) {
    m_site.On(std::string("/") + name, scripts::Announce(uint64_t{INT64_MAX}, ""));
    entries += std::string("\n/") + name + "->" + name;
    WriteFile(m_appFolder + "/" + name, "beside");
  }
  m_site.On("/a.bin", scripts::Body(std::string(3000, 'a')));
  m_site.On("/two.bin", scripts::Body("ab"));
  WriteOfflineDescription(entries);

  EXPECT_TRUE(RunFlow());
  ASSERT_EQ(Ranges().size(), 1u);
  const uint64_t range = std::stoull(Ranges()[0]);
  EXPECT_GT(range, uint64_t{1} << 30);
  EXPECT_LE(range, uint64_t{INT32_MAX});
}

TEST_F(RunSetupFlowTest, ChoosesTheFirstSiteThatServesTheFirstFileWithMoreThan1000Bytes) {
  m_site.On("/b/a.bin", scripts::Body(std::string(1000, 'b')));
  m_site.On("/c/a.bin", scripts::Body(std::string(1001, 'c')));
  m_site.On("/d/a.bin", scripts::Body(std::string(3000, 'd')));
  const std::string h = m_site.Host();
  WriteOfflineDescription("/a.bin->a.bin", h + "/a\n" + h + "/b\n" + h + "/c\n" + h + "/d");

  EXPECT_TRUE(RunFlow());
  EXPECT_EQ(ToUtf8(m_downloadSite), h + "/c");
  std::vector<std::string> requests = m_site.Targets();
  ASSERT_GE(requests.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(requests.begin(), requests.begin() + 3),
            (std::vector<std::string>{"/a/a.bin", "/b/a.bin", "/c/a.bin"}));
  EXPECT_EQ(m_site.CountRequests("/d/a.bin"), 0);
  EXPECT_EQ(ReadFile(m_work + "/a.bin"), std::string(1001, 'c'));
}

TEST_F(RunSetupFlowTest, AListedFileThatIsNotObtainedOrWouldLeaveTheFolderStopsTheFlow) {
  m_site.On("/a.bin", scripts::Body(std::string(3000, 'a')));
  m_site.On("/missing.bin", scripts::HangUp());
  m_site.On("/escape.bin", scripts::Body(std::string(3000, 'e')));
  const struct {
    const char* entry;
    const char* message;
    int requests;  // of the entry's remote path: the size probe, and the transfer attempts
  } cases[] = {
      {"/missing.bin->missing.bin", "Error: Failed to download missing.bin", 1 + 4},
      {"/escape.bin->../escape.bin", "Error: Failed to download ../escape.bin", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    m_recorder.boxes.clear();
    WriteOfflineDescription(std::string("/a.bin->a.bin\n") + c.entry);
    const std::string remote = std::string(c.entry).substr(0, std::string(c.entry).find("->"));
    const int before = m_site.CountRequests(remote);
    EXPECT_FALSE(RunFlow());
    ASSERT_EQ(m_recorder.boxes.size(), 1u);
    EXPECT_EQ(m_recorder.boxes[0].text, c.message);
    EXPECT_EQ(m_site.CountRequests(remote) - before, c.requests);
  }
  EXPECT_FALSE(Exists(m_temp.Sub("tmp/Corvanel/escape.bin")));
}

TEST_F(RunSetupFlowTest, AWorkingFolderThatOthersCouldChangeIsNotUsed) {
  m_site.On("/a.bin", scripts::Body(std::string(3000, 'a')));
  const std::string corvanel = m_temp.Sub("tmp/Corvanel");
  const std::string elsewhere = m_temp.Sub("elsewhere");
  const struct {
    const char* name;
    bool needsRoot;  // to give a folder to another user
    std::function<void()> prepare;
  } cases[] = {
      {"Corvanel of another user", true,
       [&] {
         MakeFolders(corvanel);
         ASSERT_EQ(chown(corvanel.c_str(), 65534, 65534), 0);
       }},
      {"working folder writable by everyone, kept by a sub-folder", false,
       [&] {
         MakeFolders(m_work + "/sub");
         chmod(m_work.c_str(), 0777);
       }},
      {"Corvanel a link to another folder", false,
       [&] {
         MakeFolders(elsewhere);
         MakeFolders(m_temp.Sub("tmp"));
         ASSERT_EQ(symlink(elsewhere.c_str(), corvanel.c_str()), 0);
       }},
  };
  WriteOfflineDescription("/a.bin->a.bin");
  for (const auto& c : cases) {
    if (c.needsRoot && geteuid() != 0) continue;
    SCOPED_TRACE(c.name);
    RemoveTree(m_temp.Sub("tmp"));
    RemoveTree(elsewhere);
    c.prepare();
    m_recorder.boxes.clear();
    const int before = m_site.CountRequests("/a.bin");
    EXPECT_FALSE(RunFlow());
    EXPECT_EQ(m_recorder.boxes.size(), 1u);
    if (!m_recorder.boxes.empty()) {
      EXPECT_EQ(m_recorder.boxes[0].text, "Error: Failed to create the Windows temp subfolder.");
    }
    EXPECT_EQ(m_site.CountRequests("/a.bin"), before);
  }
}

TEST_F(RunSetupFlowTest, FoldersThatOthersMayWriteToAreTightenedWhenTheyAreNew) {
  m_site.On("/a.bin", scripts::Body(std::string(3000, 'a')));
  WriteOfflineDescription("/a.bin->a.bin");
  const std::string corvanel = m_temp.Sub("tmp/Corvanel");
  MakeFolders(corvanel);
  chmod(corvanel.c_str(), 0777);
  const mode_t saved = umask(0);
  const bool ok = RunFlow();
  umask(saved);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(m_recorder.boxes.empty());
  for (const std::string& folder : {corvanel, m_work}) {
    struct stat status {};
    ASSERT_EQ(stat(folder.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & S_IWOTH, 0u) << folder;
  }
}

TEST_F(RunSetupFlowTest, ReportsNoConnectionAndAnEmptyListNeedsNone) {
  SetConnectedStateOverride(false);
  WriteOfflineDescription("/a.bin->a.bin");
  EXPECT_FALSE(RunFlow());
  ASSERT_EQ(m_recorder.boxes.size(), 1u);
  EXPECT_EQ(m_recorder.boxes[0].text, "Error: No Internet connection.");
  EXPECT_EQ(m_recorder.boxes[0].caption, "app_tests");
  EXPECT_TRUE(m_recorder.boxes[0].ownedByProgressWindow);

  m_recorder.boxes.clear();
  m_recorder.events.clear();
  WriteOfflineDescription("");
  EXPECT_TRUE(RunFlow());
  EXPECT_TRUE(m_recorder.boxes.empty());
  EXPECT_TRUE(m_downloadSite.IsEmpty());
  EXPECT_EQ(Ranges(), std::vector<std::string>{"0"});
}

}  // namespace
