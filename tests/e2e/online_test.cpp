// Runs of the real program that fetch the description from the default download server, which
// the test build puts on 127.0.0.1. They share its port, so ctest runs them one at a time.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "e2e/checks.h"
#include "e2e/harness.h"
#include "platform/network.h"
#include "support/scripted_http_server.h"

namespace {

const char kDescriptionPath[] = "/downloads/Setups/PhotoTool/SetupInitial.eif";

bool Exists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0;
}

class OnlineRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!DefaultHostPort()) {
      GTEST_SKIP() << "the default download server " << DefaultHost() << " is not on 127.0.0.1";
    }
    if (!InternetGetConnectedState()) {
      GTEST_SKIP() << "the system reports no network connection";
    }
    m_server = std::make_unique<CScriptedHttpServer>(*DefaultHostPort());
    ASSERT_TRUE(m_server->IsListening()) << "cannot listen on " << DefaultHost();
  }

  std::unique_ptr<CScriptedHttpServer> m_server;
};

TEST_F(OnlineRunTest, DownloadsTheDescriptionAndTheFilesAndHandsOver) {
  CBootstrapperRun run;
  CScriptedHttpServer site;
  ASSERT_TRUE(site.IsListening());
  const std::string payload(5000, 'p');
  site.On("/files/payload.bin", scripts::Body(payload));
  site.On("/files/setup.sh", scripts::Body(run.FinalSetupScript()));
  m_server->On(
      kDescriptionPath,
      scripts::Body(EncryptedDescription(DescriptionText(
          {{"Download Sites", {site.Host()}},
           {"Files to download", {"/files/payload.bin->payload.bin", "/files/setup.sh->setup.sh"}},
           {"User Info Filename", {kUserInfoName}},
           {"Program to run", {"setup.sh"}}}))));
  WriteFile(run.Beside("beside.txt"), "stays beside the program");

  CRunResult result = run.Run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.errors, "");
  // Online, nothing beside the program is copied.
  ExpectHandOver(run, result, {"SetupInitial.eif", "payload.bin", "setup.sh", kUserInfoName},
                 site.Host());
  EXPECT_TRUE(run.Recorded("seen/payload.bin") == payload) << "payload.bin differs";
  // A probe and a transfer of the description.
  EXPECT_EQ(m_server->CountRequests(kDescriptionPath), 2);
  EXPECT_FALSE(Exists(run.WorkingFolder()));
}

TEST_F(OnlineRunTest, ALocalDescriptionMovesTheDescriptionToItsDownloadPath) {
  CBootstrapperRun run;
  // Only "No" exactly keeps the run offline.
  WriteFile(run.Beside("SetupInitial.eif"),
            EncryptedDescription(DescriptionText(
                {{"Download Initial Setup", {"no"}}, {"Download Path", {"/mirror/app"}}})));
  // An empty file list and a program that is not there.
  m_server->On(
      "/mirror/app/SetupInitial.eif",
      scripts::Body(EncryptedDescription(DescriptionText({{"Files to download", {}},
                                                          {"User Info Filename", {kUserInfoName}},
                                                          {"Program to run", {"setup.sh"}}}))));

  CRunResult result = run.Run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.errors, MessageLine("Error: Failed to start the final setup."));
  EXPECT_EQ(m_server->CountRequests("/mirror/app/SetupInitial.eif"), 2);
  EXPECT_EQ(m_server->CountRequests(kDescriptionPath), 0);
  EXPECT_FALSE(Exists(run.WorkingFolder()));
}

TEST_F(OnlineRunTest, ReportsADescriptionThatIsMissingTooSmallDamagedOrNotTransferred) {
  auto body = [](size_t size) { return scripts::Body(std::string(size, 'x')); };
  const struct {
    const char* name;
    std::vector<CScript> replies;
    const char* message;
  } cases[] = {
      {"not on the server", {}, "Error: Download site not found."},
      {"999 bytes", {body(999)}, "Error: Download site not found."},
      {"1000 bytes pass the probe", {body(1000)}, "Error opening the initial setup eif."},
      {"probed, then not transferred",
       {body(2000), scripts::HangUp()},
       "Error: Failed to download."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CBootstrapperRun run;
    m_server->On(kDescriptionPath, scripts::Sequence(c.replies));
    CRunResult result = run.Run();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.errors, MessageLine(c.message));
    EXPECT_FALSE(Exists(run.WorkingFolder()));
  }
}

}  // namespace
