#include "platform/http_client.h"

#include <gtest/gtest.h>

#include "support/scripted_http_server.h"
#include "support/temp_folder.h"

namespace {

using namespace std::chrono_literals;

class HttpClientTest : public ::testing::Test {
 protected:
  HttpClientTest() {
    TimingSettings().connectTimeout = 2000ms;
    TimingSettings().stallTimeout = 300ms;
  }

  // The whole body, or nullopt when a read failed.
  static std::optional<std::string> ReadAll(CHttpRequest& request, size_t piece = 1024) {
    std::string body;
    std::vector<char> buffer(piece);
    for (;;) {
      size_t count = 0;
      if (!request.Read(buffer.data(), buffer.size(), count)) return std::nullopt;
      if (count == 0) return body;
      body.append(buffer.data(), count);
    }
  }

  CScopedTimings m_timings;
  CScopedEnv m_noProxy{"no_proxy", std::string("127.0.0.1")};
  CScriptedHttpServer m_server;
};

TEST_F(HttpClientTest, SendsAGetWithTheUserAgentAndNoCacheHeaders) {
  m_server.On("/file.bin", scripts::Body("payload"));
  auto request = CHttpRequest::Open(CString(m_server.Url("/file.bin")));
  ASSERT_TRUE(request) << GetLastOpenError();
  EXPECT_EQ(ReadAll(*request), "payload");

  auto requests = m_server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/file.bin");
  EXPECT_EQ(requests[0].Header("User-Agent"), "Corvanel Downloader");
  EXPECT_EQ(requests[0].Header("Pragma"), "no-cache");
  EXPECT_EQ(requests[0].Header("Cache-Control"), "no-cache");
  EXPECT_EQ(requests[0].HeaderCount("Pragma"), 1);
  EXPECT_EQ(requests[0].HeaderCount("Cache-Control"), 1);
  // Bodies come as the server sent them: no compression is asked for.
  EXPECT_EQ(requests[0].HeaderCount("Accept-Encoding"), 0);
}

TEST_F(HttpClientTest, BlanksInTheUrlAreEscaped) {
  m_server.On("/setup%20files/a%20b.txt", scripts::Body("spaced"));
  auto request = CHttpRequest::Open(CString(m_server.Url("/setup files/a b.txt")));
  ASSERT_TRUE(request) << GetLastOpenError();
  EXPECT_EQ(ReadAll(*request), "spaced");
  ASSERT_EQ(m_server.Requests().size(), 1u);
  EXPECT_EQ(m_server.Requests()[0].target, "/setup%20files/a%20b.txt");
}

TEST_F(HttpClientTest, EveryStatusIsAResponse) {
  for (int status : {200, 404, 500}) {
    std::string path = "/status" + std::to_string(status);
    m_server.On(path, scripts::Body("body of " + path, status));
    auto request = CHttpRequest::Open(CString(m_server.Url(path)));
    ASSERT_TRUE(request) << status;
    EXPECT_EQ(request->GetStatusCode(), status);
    EXPECT_EQ(request->GetContentLength(), ("body of " + path).size());
    EXPECT_EQ(ReadAll(*request), "body of " + path);
  }
}

TEST_F(HttpClientTest, ContentLengthOnlyWhenTheFinalResponseCarriesANumber) {
  struct Case {
    const char* name;
    std::vector<std::string> headers;
    std::optional<uint64_t> expected;
  };
  const Case cases[] = {
      {"plain", {"Content-Length: 5"}, 5},
      {"blanks", {"Content-Length:    5  "}, 5},
      {"beyond 32 bits", {"Content-Length: 5368709120"}, 5368709120ull},
      {"none", {}, std::nullopt},
  };
  for (const Case& c : cases) {
    std::string path = std::string("/") + c.name;
    for (char& ch : path) ch = ch == ' ' ? '-' : ch;
    std::vector<std::string> headers = c.headers;
    m_server.On(path, [headers](CScriptedConnection& connection, const CRecordedRequest&) {
      if (connection.SendHead(200, headers)) connection.Send("hello");
    });
    auto request = CHttpRequest::Open(CString(m_server.Url(path)));
    ASSERT_TRUE(request) << c.name << ": " << GetLastOpenError();
    EXPECT_EQ(request->GetContentLength(), c.expected) << c.name;
  }

  // A redirect's own length is not the file's.
  m_server.On("/moved", scripts::Redirect("/none"));
  auto request = CHttpRequest::Open(CString(m_server.Url("/moved")));
  ASSERT_TRUE(request);
  EXPECT_EQ(request->GetContentLength(), std::nullopt);
  EXPECT_EQ(ReadAll(*request), "hello");
}

TEST_F(HttpClientTest, ReadsInPiecesOfTheAskedSizeAndRepeatsTheEnd) {
  std::string body(100000, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = GeneratedByte(i);
  m_server.On("/big", scripts::Body(body));
  auto request = CHttpRequest::Open(CString(m_server.Url("/big")));
  ASSERT_TRUE(request);
  std::string received;
  char buffer[1024];
  size_t count = 0;
  while (request->Read(buffer, sizeof buffer, count) && count > 0) {
    EXPECT_LE(count, sizeof buffer);
    received.append(buffer, count);
  }
  EXPECT_EQ(received, body);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(request->Read(buffer, sizeof buffer, count));
    EXPECT_EQ(count, 0u);
  }
}

TEST_F(HttpClientTest, ChunkedBodyEndsNormally) {
  std::string body(2500, 'c');
  m_server.On("/chunked", scripts::Chunked(body));
  auto request = CHttpRequest::Open(CString(m_server.Url("/chunked")));
  ASSERT_TRUE(request);
  EXPECT_EQ(request->GetContentLength(), std::nullopt);
  EXPECT_EQ(ReadAll(*request), body);
}

TEST_F(HttpClientTest, BrokenBodiesFailTheRead) {
  // Closed before the announced length.
  m_server.On("/short", scripts::Announce(5000, std::string(3000, 's')));
  auto shortBody = CHttpRequest::Open(CString(m_server.Url("/short")));
  ASSERT_TRUE(shortBody);
  EXPECT_EQ(ReadAll(*shortBody), std::nullopt);
  EXPECT_FALSE(shortBody->GetErrorText().empty());

  // Silent for longer than the stall time-out.
  m_server.On("/stall", scripts::Stall(5000, std::string(100, 's'), 3000ms));
  auto stalled = CHttpRequest::Open(CString(m_server.Url("/stall")));
  ASSERT_TRUE(stalled);
  EXPECT_EQ(ReadAll(*stalled), std::nullopt);
}

TEST_F(HttpClientTest, ABodyLongerThanAnnouncedIsCutAtTheContentLength) {
  m_server.On("/long", scripts::Announce(3000, std::string(3000, 'a') + std::string(2000, 'b')));
  auto request = CHttpRequest::Open(CString(m_server.Url("/long")));
  ASSERT_TRUE(request);
  EXPECT_EQ(ReadAll(*request), std::string(3000, 'a'));
}

TEST_F(HttpClientTest, HeadersThatNeverComeFailTheOpen) {
  m_server.On("/silent", [](CScriptedConnection& connection, const CRecordedRequest&) {
    connection.Pause(3000ms);
  });
  EXPECT_FALSE(CHttpRequest::Open(CString(m_server.Url("/silent"))));
}

TEST_F(HttpClientTest, FollowsRedirectsUpToTen) {
  // /hop/N redirects to /hop/N-1; /hop/0 is the file.
  m_server.On("/hop/0", scripts::Body("arrived"));
  for (int i = 1; i <= 11; ++i) {
    m_server.On("/hop/" + std::to_string(i), scripts::Redirect("/hop/" + std::to_string(i - 1)));
  }
  auto tenHops = CHttpRequest::Open(CString(m_server.Url("/hop/10")));
  ASSERT_TRUE(tenHops) << GetLastOpenError();
  EXPECT_EQ(tenHops->GetStatusCode(), 200);
  EXPECT_EQ(ReadAll(*tenHops), "arrived");
  for (const auto& request : m_server.Requests()) {
    EXPECT_EQ(request.Header("User-Agent"), "Corvanel Downloader") << request.target;
  }

  EXPECT_FALSE(CHttpRequest::Open(CString(m_server.Url("/hop/11"))));

  m_server.On("/loop/a", scripts::Redirect("/loop/b", 301));
  m_server.On("/loop/b", scripts::Redirect(m_server.Url("/loop/a"), 307));
  EXPECT_FALSE(CHttpRequest::Open(CString(m_server.Url("/loop/a"))));
}

TEST_F(HttpClientTest, RedirectsLeadOnlyToHttpAndHttps) {
  m_server.On("/to-file", scripts::Redirect("file:///etc/hostname"));
  m_server.On("/to-ftp", scripts::Redirect("ftp://127.0.0.1/file"));
  EXPECT_FALSE(CHttpRequest::Open(CString(m_server.Url("/to-file"))));
  EXPECT_FALSE(CHttpRequest::Open(CString(m_server.Url("/to-ftp"))));
}

TEST_F(HttpClientTest, NoResponseMeansNoRequest) {
  int port = CScriptedHttpServer::UnusedPort();
  EXPECT_FALSE(CHttpRequest::Open(CString("http://127.0.0.1:" + std::to_string(port) + "/x")));
  EXPECT_FALSE(CHttpRequest::Open(CString("http://127.0.0.1:99999/x")));
  EXPECT_FALSE(CHttpRequest::Open(CString("not a url")));
  EXPECT_FALSE(CHttpRequest::Open(CString("file:///etc/hostname")));
}

TEST_F(HttpClientTest, TakesTheProxyFromTheEnvironment) {
  m_server.On("http://files.corvanel.invalid/setup.bin", scripts::Body("through the proxy"));
  CScopedEnv proxy("http_proxy", m_server.Url(""));
  CScopedEnv noProxy("no_proxy", std::nullopt);
  auto request = CHttpRequest::Open(CString("http://files.corvanel.invalid/setup.bin"));
  ASSERT_TRUE(request) << GetLastOpenError();
  EXPECT_EQ(ReadAll(*request), "through the proxy");
  ASSERT_EQ(m_server.Requests().size(), 1u);
  EXPECT_EQ(m_server.Requests()[0].Header("Pragma"), "no-cache");
}

TEST_F(HttpClientTest, ClosingEarlyDropsTheRestOfTheBody) {
  m_server.On("/endless", scripts::Generated(uint64_t{1} << 40));
  auto request = CHttpRequest::Open(CString(m_server.Url("/endless")));
  ASSERT_TRUE(request);
  EXPECT_EQ(request->GetContentLength(), uint64_t{1} << 40);
  char buffer[1024];
  size_t count = 0;
  ASSERT_TRUE(request->Read(buffer, sizeof buffer, count));
  EXPECT_EQ(count, sizeof buffer);
  EXPECT_EQ(buffer[10], GeneratedByte(10));
  request.reset();
  // The server's destructor joins its connection threads: this test ends only if the closed
  // connection ended the endless send.
}

}  // namespace
