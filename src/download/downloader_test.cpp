#include "download/downloader.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/network.h"
#include "support/recording_front_end.h"
#include "support/recording_sink.h"
#include "support/scripted_http_server.h"
#include "support/temp_folder.h"
#include "ui/download_dlg.h"

namespace {

using namespace std::chrono_literals;

// Puts the system's own answer back after a test.
class CScopedConnectedState {
 public:
  explicit CScopedConnectedState(bool connected) { SetConnectedStateOverride(connected); }
  ~CScopedConnectedState() { SetConnectedStateOverride(std::nullopt); }
};

class DownloaderTest : public ::testing::Test {
 protected:
  DownloaderTest() {
    TimingSettings().downloadRetryPause = 1ms;
    TimingSettings().endOfBodyGrace = 50ms;
    TimingSettings().stallTimeout = 200ms;
  }

  CScopedTimings m_timings;
  CScopedEnv m_noProxy{"no_proxy", std::string("127.0.0.1")};
  CTempFolder m_folder;
  CScriptedHttpServer m_server;
  CDownloader m_downloader;
};

TEST_F(DownloaderTest, WithoutAConnectionNothingIsTouched) {
  CScopedConnectedState offline(false);
  m_server.On("/file", scripts::Body("content"));
  const std::string target = m_folder.Sub("file.bin");
  WriteFile(target, "earlier");
  CRecordingSink sink;
  EXPECT_FALSE(m_downloader.StartDownload(CString(m_server.Url("/file")), CString(target), &sink));
  EXPECT_EQ(ReadFile(target), "earlier");
  EXPECT_FALSE(ReadFile(target + " Before Download"));
  EXPECT_TRUE(m_server.Requests().empty());
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(DownloaderTest, WithAConnectionItIsTheTransfer) {
  CScopedConnectedState online(true);
  m_server.On("/file", scripts::Body("content"));
  m_server.On("/missing", scripts::Body("<title>404 Not Found</title>", 404));
  EXPECT_TRUE(m_downloader.StartDownload(CString(m_server.Url("/file")),
                                         CString(m_folder.Sub("file.bin")), nullptr));
  EXPECT_EQ(ReadFile(m_folder.Sub("file.bin")), "content");
  EXPECT_FALSE(m_downloader.StartDownload(CString(m_server.Url("/missing")),
                                          CString(m_folder.Sub("missing.bin")), nullptr));
  EXPECT_EQ(m_server.CountRequests("/missing"), 4);
}

// The window's bar advances by every byte written, in every attempt: a file that needs three
// attempts moves it by the bytes of all three.
TEST_F(DownloaderTest, TheProgressWindowAdvancesByTheBytesOfEveryAttempt) {
  CScopedConnectedState online(true);
  CRecordingFrontEnd frontEnd;
  CDownloadDlg window;
  window.Create();
  window.SetTotal(1000000);

  std::string body(5000, 'b');
  const CScript cutShort = scripts::Announce(5000, body.substr(0, 2000));
  m_server.On("/third-time", scripts::Sequence({cutShort, cutShort, scripts::Body(body)}));
  EXPECT_TRUE(m_downloader.StartDownload(CString(m_server.Url("/third-time")),
                                         CString(m_folder.Sub("file.bin")), &window));
  EXPECT_EQ(ReadFile(m_folder.Sub("file.bin")), body);
  EXPECT_EQ(frontEnd.bar.GetPosition(), 1 + 2000 + 2000 + 5000);
  EXPECT_EQ(std::count(frontEnd.events.begin(), frontEnd.events.end(), "advance 0"), 3);

  // Without a Content-Length the file counts 0 in the range, yet each attempt moves the bar.
  m_server.On("/chunked", scripts::Chunked(std::string(1500, 'c')));
  EXPECT_FALSE(m_downloader.StartDownload(CString(m_server.Url("/chunked")),
                                          CString(m_folder.Sub("chunked.bin")), &window));
  EXPECT_EQ(frontEnd.bar.GetPosition(), 1 + 9000 + 4 * 1500);
}

TEST(ConnectedStateTest, TheOverrideReplacesTheSystemsAnswer) {
  SetConnectedStateOverride(false);
  EXPECT_FALSE(InternetGetConnectedState());
  SetConnectedStateOverride(true);
  EXPECT_TRUE(InternetGetConnectedState());
  SetConnectedStateOverride(std::nullopt);
}

}  // namespace
