// The transfer and the probe against a real web server: Debian's nginx on loopback.
#include <gtest/gtest.h>

#include <algorithm>

#include "download/downloader.h"
#include "download/http_transfer.h"
#include "download/remote_size.h"
#include "platform/http_client.h"
#include "platform/network.h"
#include "support/nginx_fixture.h"
#include "support/recording_front_end.h"
#include "support/recording_sink.h"
#include "support/scripted_http_server.h"
#include "support/temp_folder.h"
#include "ui/download_dlg.h"

namespace {

using namespace std::chrono_literals;

int CountLines(const std::string& log, const std::string& part) {
  int count = 0;
  size_t at = 0;
  while ((at = log.find(part, at)) != std::string::npos) {
    ++count;
    at += part.size();
  }
  return count;
}

class NginxDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CNginxServer::IsInstalled()) GTEST_SKIP() << CNginxServer::kProgram << " is missing";
    m_nginx = std::make_unique<CNginxServer>("    location = /moved { return 302 /files/a.bin; }");
    ASSERT_TRUE(m_nginx->IsRunning()) << m_nginx->StartError();
    MakeFolders(m_nginx->WwwFolder() + "/files");
    m_body.resize(1500000);
    for (size_t i = 0; i < m_body.size(); ++i) m_body[i] = GeneratedByte(i);
    WriteFile(m_nginx->WwwFolder() + "/files/a.bin", m_body);
    TimingSettings().downloadRetryPause = 1ms;
    TimingSettings().endOfBodyGrace = 50ms;
  }

  CString Url(const std::string& path) const { return CString(m_nginx->Url(path)); }
  CString Target(const std::string& name) const { return CString(m_folder.Sub(name)); }

  CScopedTimings m_timings;
  CScopedEnv m_noProxy{"no_proxy", std::string("127.0.0.1")};
  CTempFolder m_folder;
  std::unique_ptr<CNginxServer> m_nginx;
  std::string m_body;
};

TEST_F(NginxDownloadTest, AStaticFileArrivesWholeAndMovesTheBarByItsSize) {
  SetConnectedStateOverride(true);
  CRecordingFrontEnd frontEnd;
  CDownloadDlg window;
  window.Create();
  const uint64_t size = GetRemoteFileSize(Url("/files/a.bin"));
  EXPECT_EQ(size, m_body.size());
  window.SetTotal(static_cast<int64_t>(size));
  CDownloader downloader;
  EXPECT_TRUE(downloader.StartDownload(Url("/files/a.bin"), Target("a.bin"), &window));
  SetConnectedStateOverride(std::nullopt);
  EXPECT_EQ(ReadFile(m_folder.Sub("a.bin")), m_body);
  // The bar starts at 1 and is held at the top of its range.
  EXPECT_EQ(frontEnd.bar.GetPosition(), static_cast<int64_t>(size));
  EXPECT_EQ(frontEnd.events.back(), "advance 0");

  const std::string log = m_nginx->AccessLog();
  EXPECT_EQ(CountLines(log, "\"GET /files/a.bin HTTP/1.1\" \"Corvanel Downloader\" 200"), 2) << log;
}

TEST_F(NginxDownloadTest, ItsOwnNotFoundPageIsNoFile) {
  CRecordingSink sink;
  EXPECT_FALSE(DownloadFile(Url("/files/missing.bin"), Target("missing.bin"), &sink));
  EXPECT_FALSE(ReadFile(m_folder.Sub("missing.bin")));
  EXPECT_EQ(sink.SumOfChunks(), 0u);
  EXPECT_EQ(sink.ClosingMessages(), 4);
  EXPECT_EQ(CountLines(m_nginx->AccessLog(), "GET /files/missing.bin"), 4);

  // The probe does not look at the status: the page's own length comes back.
  const uint64_t pageSize = GetRemoteFileSize(Url("/files/missing.bin"));
  EXPECT_GT(pageSize, 100u);
  ASSERT_FALSE(sink.messages.empty());
  EXPECT_EQ(static_cast<uint64_t>(sink.messages.back().lParam), pageSize);
}

TEST_F(NginxDownloadTest, ARedirectLeadsToTheFile) {
  EXPECT_EQ(GetRemoteFileSize(Url("/moved")), m_body.size());
  EXPECT_TRUE(DownloadFile(Url("/moved"), Target("moved.bin"), nullptr));
  EXPECT_EQ(ReadFile(m_folder.Sub("moved.bin")), m_body);
}

// A redirect to https is followed and the server's certificate checked: nginx's self-signed
// one is in no certificate store, so no response comes.
TEST(NginxTlsTest, ARedirectToHttpsChecksTheCertificate) {
  if (!CNginxServer::IsInstalled()) GTEST_SKIP() << CNginxServer::kProgram << " is missing";
  CScopedTimings timings;
  TimingSettings().downloadRetryPause = 1ms;
  CScopedEnv noProxy("no_proxy", std::string("127.0.0.1"));
  CNginxServer nginx("    location = /secure { return 302 https://127.0.0.1:@TLS_PORT@/a.bin; }",
                     true);
  ASSERT_TRUE(nginx.IsRunning()) << nginx.StartError();
  WriteFile(nginx.WwwFolder() + "/a.bin", "secret");
  CTempFolder folder;

  EXPECT_FALSE(CHttpRequest::Open(CString(nginx.Url("/secure"))));
  EXPECT_NE(GetLastOpenError().find("certificate"), std::string::npos) << GetLastOpenError();
  EXPECT_FALSE(DownloadFile(CString(nginx.Url("/secure")), CString(folder.Sub("a.bin")), nullptr));
  EXPECT_EQ(GetRemoteFileSize(CString(nginx.Url("/secure"))), 0u);
  EXPECT_EQ(CountLines(nginx.AccessLog(), "GET /a.bin"), 0);
  EXPECT_EQ(CountLines(nginx.AccessLog(), "GET /secure"), 6);
}

}  // namespace
