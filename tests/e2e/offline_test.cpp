// Runs of the real program that never reach the default download server: their description
// lies beside the program and says "Download Initial Setup" = "No", or they stop before, so
// these runs can go side by side.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>

#include "e2e/checks.h"
#include "e2e/harness.h"
#include "platform/network.h"
#include "support/scripted_http_server.h"

namespace {

void WriteLocalDescription(const CBootstrapperRun& run, const std::vector<CDescriptionTag>& tags) {
  WriteFile(run.Beside("SetupInitial.eif"), EncryptedDescription(DescriptionText(tags)));
}

std::vector<CDescriptionTag> OfflineDescription(std::vector<std::string> sites,
                                                std::vector<std::string> files,
                                                const std::string& userInfoName = kUserInfoName,
                                                const std::string& program = "setup.sh") {
  return {{"Download Initial Setup", {"No"}},
          {"Download Sites", sites},
          {"Files to download", files},
          {"User Info Filename", {userInfoName}},
          {"Program to run", {program}}};
}

bool Exists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0;
}

#define SKIP_WITHOUT_CONNECTION()                                                  \
  if (!InternetGetConnectedState())                                                \
  GTEST_SKIP() << "the system reports no network connection, so a run that lists " \
                  "files stops before its downloads"

TEST(OfflineRunTest, CopiesTheFilesBesideTheProgramAndHandsOver) {
  CBootstrapperRun run;
  WriteLocalDescription(run, OfflineDescription({}, {}));
  // A script without "#!" and without an execute bit, which only the shell runs.
  WriteFile(run.Beside("setup.sh"), run.FinalSetupScript(false, 2));
  chmod(run.Beside("setup.sh").c_str(), 0644);
  WriteFile(run.Beside("data.txt"), "data beside the program");
  WriteFile(run.Beside(".hidden"), "a dot file");
  MakeFolders(run.Beside("sub"));
  WriteFile(run.Beside("sub/inner.txt"), "not copied");

  CRunResult result = run.Run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.errors, "");
  ExpectHandOver(
      run, result,
      {kProgramName, "SetupInitial.eif", "setup.sh", "data.txt", ".hidden", kUserInfoName}, "");
  EXPECT_EQ(run.Recorded("seen/data.txt"), std::string("data beside the program"));
  EXPECT_FALSE(Exists(run.WorkingFolder()));
  EXPECT_TRUE(Exists(run.TempFolder() + "/Corvanel"));
  // The folder goes as soon as the final setup has ended, not at the end of a 5-second slice
  // of the wait.
  std::string ended = run.Recorded("ended").value_or("0");
  auto scriptEnded = std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::duration<double>(std::stod(ended))));
  EXPECT_LT(result.ended - scriptEnded, std::chrono::seconds(3));
}

TEST(OfflineRunTest, WhatTheFinalSetupLeavesInASubFolderKeepsTheWorkingFolder) {
  CBootstrapperRun run;
  WriteLocalDescription(run, OfflineDescription({}, {}));
  WriteFile(run.Beside("setup.sh"), run.FinalSetupScript() + "mkdir sub && echo x > sub/left\n");

  CRunResult result = run.Run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.errors, "");
  EXPECT_TRUE(run.Recorded("cwd").has_value()) << "the final setup did not run";
  // The files go; the folder stays with the sub-folder.
  EXPECT_TRUE(Exists(run.WorkingFolder() + "/sub/left"));
  EXPECT_FALSE(Exists(run.WorkingFolder() + "/setup.sh"));
}

TEST(OfflineRunTest, DownloadsTheListedFilesFromTheFirstSiteThatServesMoreThan1000Bytes) {
  SKIP_WITHOUT_CONNECTION();
  CBootstrapperRun run;
  CScriptedHttpServer site;
  ASSERT_TRUE(site.IsListening());
  const std::string payload(3000, 'p');
  site.On("/b/files/payload.bin", scripts::Body(std::string(1000, 'b')));
  site.On("/c/files/payload.bin", scripts::Body(payload));
  site.On("/c/files/setup.sh", scripts::Body(run.FinalSetupScript()));
  // extra.dat cannot be transferred, but its copy from beside the program will do.
  site.On("/c/files/extra.dat", scripts::HangUp());
  site.On("/d/files/payload.bin", scripts::Body(payload));
  WriteFile(run.Beside("extra.dat"), "extra beside the program");
  const std::string h = site.Host();
  WriteLocalDescription(
      run, OfflineDescription({h + "/a", h + "/b", h + "/c", h + "/d"},
                              {"/files/payload.bin -> payload.bin", "/files/setup.sh->setup.sh",
                               "/files/extra.dat->extra.dat"}));

  CRunResult result = run.Run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.errors, "");
  ExpectHandOver(
      run, result,
      {kProgramName, "SetupInitial.eif", "payload.bin", "setup.sh", "extra.dat", kUserInfoName},
      h + "/c");
  EXPECT_TRUE(run.Recorded("seen/payload.bin") == payload) << "payload.bin differs";
  EXPECT_EQ(run.Recorded("seen/extra.dat"), std::string("extra beside the program"));
  std::vector<std::string> requests = site.Targets();
  ASSERT_GE(requests.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(requests.begin(), requests.begin() + 3),
            (std::vector<std::string>{"/a/files/payload.bin", "/b/files/payload.bin",
                                      "/c/files/payload.bin"}));
  EXPECT_EQ(site.CountRequests("/d/files/payload.bin"), 0);
  EXPECT_FALSE(Exists(run.WorkingFolder()));
}

TEST(OfflineRunTest, StopsWhenAListedFileCanBeNeitherDownloadedNorFound) {
  SKIP_WITHOUT_CONNECTION();
  CBootstrapperRun run;
  CScriptedHttpServer site;
  ASSERT_TRUE(site.IsListening());
  site.On("/files/payload.bin", scripts::Body(std::string(3000, 'p')));
  site.On("/files/setup.sh", scripts::Body(run.FinalSetupScript()));
  site.On("/files/missing.bin", scripts::HangUp());
  WriteLocalDescription(run, OfflineDescription({site.Host()}, {"/files/payload.bin->payload.bin",
                                                                "/files/missing.bin->missing.bin",
                                                                "/files/setup.sh->setup.sh"}));

  CRunResult result = run.Run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.errors, MessageLine("Error: Failed to download missing.bin"));
  EXPECT_FALSE(run.Recorded("cwd").has_value()) << "the final setup ran";
  EXPECT_FALSE(Exists(run.WorkingFolder()));
}

TEST(OfflineRunTest, FailsWhenNoListedSiteServesTheFirstFile) {
  SKIP_WITHOUT_CONNECTION();
  CBootstrapperRun run;
  CScriptedHttpServer site;
  ASSERT_TRUE(site.IsListening());
  site.On("/b/payload.bin", scripts::Body(std::string(1000, 'b')));
  WriteLocalDescription(run, OfflineDescription({site.Host() + "/a", site.Host() + "/b"},
                                                {"/payload.bin->payload.bin"}));

  CRunResult result = run.Run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.errors, MessageLine("Error: Download site not found."));
  EXPECT_FALSE(Exists(run.WorkingFolder()));
}

TEST(OfflineRunTest, ReportsThatThereIsNoConnection) {
  // Where the system reports a connection, the runs go into a network namespace of their own.
  const bool isolate = InternetGetConnectedState();
  if (isolate && !CanRunWithoutNetwork()) {
    GTEST_SKIP() << "the system reports a connection and no network namespace can be made";
  }
  const struct {
    const char* name;
    bool localDescription;
  } cases[] = {
      {"online: the description must be downloaded", false},
      {"offline with listed files", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CBootstrapperRun run;
    if (c.localDescription) {
      WriteLocalDescription(run,
                            OfflineDescription({"127.0.0.1:9"}, {"/payload.bin->payload.bin"}));
    }
    CRunResult result = run.Run(isolate);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.errors, MessageLine("Error: No Internet connection."));
    EXPECT_FALSE(Exists(run.WorkingFolder()));
  }
}

TEST(OfflineRunTest, ReportsADescriptionThatDoesNotLoadAndAFolderThatCannotBeMade) {
  const struct {
    const char* name;
    void (*prepare)(const CBootstrapperRun&);
    const char* message;
  } cases[] = {
      {"local description damaged",
       [](const CBootstrapperRun& run) {
         WriteFile(run.Beside("SetupInitial.eif"), "not a description");
       },
       "Error opening the local initial setup eif."},
      {"a file where the Corvanel folder belongs",
       [](const CBootstrapperRun& run) {
         WriteLocalDescription(run, OfflineDescription({}, {}));
         WriteFile(run.TempFolder() + "/Corvanel", "in the way");
       },
       "Error: Failed to create the Windows temp subfolder."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CBootstrapperRun run;
    c.prepare(run);
    CRunResult result = run.Run();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.errors, MessageLine(c.message));
    EXPECT_FALSE(Exists(run.WorkingFolder()));
  }
}

TEST(OfflineRunTest, AUserInfoFileThatCannotBeWrittenLeavesTheWorkingFolder) {
  const struct {
    const char* name;
    const char* userInfoName;
  } cases[] = {
      {"folder of the name missing", "nosuch/info.txt"},
      {"name leaving the working folder", "../info.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CBootstrapperRun run;
    WriteLocalDescription(run, OfflineDescription({}, {}, c.userInfoName));
    WriteFile(run.Beside("setup.sh"), run.FinalSetupScript());
    CRunResult result = run.Run();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.errors, MessageLine("Error: Failed to create User Info File."));
    EXPECT_FALSE(run.Recorded("cwd").has_value()) << "the final setup ran";
    // Everything stays for the user to see.
    EXPECT_TRUE(Exists(run.WorkingFolder() + "/setup.sh"));
    EXPECT_FALSE(Exists(run.TempFolder() + "/Corvanel/info.txt"));
  }
}

TEST(OfflineRunTest, AProgramThatCannotBeStartedIsReportedAndTheFolderRemoved) {
  const struct {
    const char* name;
    const char* program;
  } cases[] = {
      {"no such program", "missing.sh"},
      {"program outside the working folder", "../../../outside.sh"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CBootstrapperRun run;
    // The working folder is <root>/tmp/Corvanel/PhotoToolSetup: ../../../ is <root>.
    WriteFile(run.Outside("outside.sh"), run.FinalSetupScript());
    WriteLocalDescription(run, OfflineDescription({}, {}, kUserInfoName, c.program));
    CRunResult result = run.Run();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.errors, MessageLine("Error: Failed to start the final setup."));
    EXPECT_FALSE(run.Recorded("cwd").has_value()) << "a program outside the folder ran";
    EXPECT_FALSE(Exists(run.WorkingFolder()));
  }
}

TEST(OfflineRunTest, ALocalNameOutsideTheWorkingFolderIsNeverWritten) {
  SKIP_WITHOUT_CONNECTION();
  CBootstrapperRun run;
  CScriptedHttpServer site;
  ASSERT_TRUE(site.IsListening());
  site.On("/files/payload.bin", scripts::Body(std::string(3000, 'p')));
  site.On("/files/escape.bin", scripts::Body(std::string(3000, 'e')));
  WriteLocalDescription(run,
                        OfflineDescription({site.Host()}, {"/files/payload.bin->payload.bin",
                                                           "/files/escape.bin->../escape.bin"}));
  WriteFile(run.Beside("setup.sh"), run.FinalSetupScript());

  CRunResult result = run.Run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.errors, MessageLine("Error: Failed to download ../escape.bin"));
  EXPECT_FALSE(Exists(run.TempFolder() + "/Corvanel/escape.bin"));
  // Asked for once, by the size probe of the progress range; never transferred.
  EXPECT_EQ(site.CountRequests("/files/escape.bin"), 1);
  EXPECT_FALSE(run.Recorded("cwd").has_value()) << "the final setup ran";
  EXPECT_FALSE(Exists(run.WorkingFolder()));
}

}  // namespace
