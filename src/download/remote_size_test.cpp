#include "download/remote_size.h"

#include <gtest/gtest.h>

#include "support/scripted_http_server.h"
#include "support/temp_folder.h"

namespace {

using namespace std::chrono_literals;

class RemoteSizeTest : public ::testing::Test {
 protected:
  RemoteSizeTest() { TimingSettings().stallTimeout = 200ms; }

  uint64_t Probe(const std::string& path) { return GetRemoteFileSize(CString(m_server.Url(path))); }

  CScopedTimings m_timings;
  CScopedEnv m_noProxy{"no_proxy", std::string("127.0.0.1")};
  CScriptedHttpServer m_server;
};

TEST_F(RemoteSizeTest, AnswersTheContentLengthOfTheFinalResponse) {
  m_server.On("/file", scripts::Body(std::string(5000, 'f')));
  m_server.On("/chunked", scripts::Chunked(std::string(5000, 'f')));
  // An error page's own length comes back as if it were the file's.
  m_server.On("/missing", scripts::Body(std::string(1500, 'e'), 404));
  m_server.On("/moved", scripts::Redirect("/file"));
  // Beyond 32 bits; the body is never read.
  m_server.On("/huge", scripts::Generated(5ull << 30));
  EXPECT_EQ(Probe("/file"), 5000u);
  EXPECT_EQ(Probe("/chunked"), 0u);
  EXPECT_EQ(Probe("/missing"), 1500u);
  EXPECT_EQ(Probe("/moved"), 5000u);
  EXPECT_EQ(Probe("/huge"), 5ull << 30);
  EXPECT_EQ(m_server.CountRequests("/huge"), 1);
}

TEST_F(RemoteSizeTest, NoResponseIsZero) {
  EXPECT_EQ(GetRemoteFileSize(CString(
                "http://127.0.0.1:" + std::to_string(CScriptedHttpServer::UnusedPort()) + "/f")),
            0u);
  m_server.On("/silent", [](CScriptedConnection& connection, const CRecordedRequest&) {
    connection.Pause(2000ms);
  });
  EXPECT_EQ(Probe("/silent"), 0u);
  EXPECT_EQ(m_server.CountRequests("/silent"), 1);
}

}  // namespace
