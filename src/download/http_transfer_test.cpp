#include "download/http_transfer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "platform/text.h"
#include "support/recording_sink.h"
#include "support/scripted_http_server.h"
#include "support/temp_folder.h"

namespace {

using namespace std::chrono_literals;

TEST(GetTagTextTest, FindsTheTextBetweenTheOnlyPairOfMarks) {
  struct Case {
    const char* text;
    const char* tag;
    const char* expected;
  };
  const Case cases[] = {
      {"<html><head><title>404 Not Found</title></head>", "TITLE", "404 NOT FOUND"},
      {"<TITLE>Error 404</TITLE>", "title", "ERROR 404"},
      {"<TiTlE>mixed</tItLe>", "Title", "MIXED"},
      {"<title></title>", "TITLE", ""},
      {"<title lang=\"en\">404 Not Found</title>", "TITLE", ""},
      {"<title >404</title>", "TITLE", ""},
      {"<title>404</title><title>404</title>", "TITLE", ""},
      {"<title>404</title></title>", "TITLE", ""},
      {"</title>404<title>", "TITLE", ""},
      {"<title>404 without an end", "TITLE", ""},
      {"no marks at all", "TITLE", ""},
      {"<b>bold</b>", "B", "BOLD"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetTagText(CString(c.text), CString(c.tag)), CString(c.expected)) << c.text;
  }
}

std::string PatternBody(size_t size) {
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i) body[i] = GeneratedByte(i);
  return body;
}

// An HTML error page of exactly size bytes with the given title element.
std::string ErrorPage(const std::string& titleElement, size_t size) {
  std::string page = "<html><head>" + titleElement + "</head><body>";
  std::string tail = "</body></html>\n";
  page += std::string(size - page.size() - tail.size(), 'x');
  return page + tail;
}

class DownloadFileTest : public ::testing::Test {
 protected:
  DownloadFileTest() {
    TimingSettings().downloadRetryPause = 1ms;
    TimingSettings().endOfBodyGrace = 50ms;
    TimingSettings().stallTimeout = 200ms;
    TimingSettings().connectTimeout = 2000ms;
  }

  std::string Target(const std::string& name = "file.bin") const { return m_folder.Sub(name); }
  bool Download(const std::string& path, const std::string& target, CProgressSink* sink) {
    return DownloadFile(CString(m_server.Url(path)), CString(target), sink);
  }
  bool Exists(const std::string& path) const { return ReadFile(path).has_value(); }

  // Every non-zero message reports a chunk of 1 to 1024 bytes and the running total after it;
  // each closing message repeats the running total of its attempt.
  static void ExpectWellFormed(const CRecordingSink& sink) {
    int64_t total = 0;
    for (const auto& message : sink.messages) {
      if (message.wParam == 0) {
        EXPECT_GE(message.lParam, total);
        total = 0;
        continue;
      }
      EXPECT_LE(message.wParam, 1024u);
      EXPECT_GT(message.lParam, total);
      total = message.lParam;
    }
    if (!sink.messages.empty()) {
      EXPECT_EQ(sink.messages.back().wParam, 0u);
    }
  }

  CScopedTimings m_timings;
  CScopedEnv m_noProxy{"no_proxy", std::string("127.0.0.1")};
  CTempFolder m_folder;
  CScriptedHttpServer m_server;
};

TEST_F(DownloadFileTest, StoresABodyOfTheAnnouncedLengthAndReportsEveryChunk) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{1024}, size_t{5000}, size_t{300000}}) {
    SCOPED_TRACE(size);
    std::string path = "/file" + std::to_string(size);
    std::string body = PatternBody(size);
    m_server.On(path, scripts::Body(body));
    CRecordingSink sink;
    ASSERT_TRUE(Download(path, Target(), &sink));
    EXPECT_EQ(ReadFile(Target()), body);
    EXPECT_EQ(m_server.CountRequests(path), 1);
    EXPECT_EQ(sink.SumOfChunks(), size);
    EXPECT_EQ(sink.ClosingMessages(), 1);
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(sink.messages.back().lParam, static_cast<int64_t>(size));
    ExpectWellFormed(sink);
    std::remove(Target().c_str());
    std::remove((Target() + " Before Download").c_str());
  }
}

TEST_F(DownloadFileTest, WithoutAWindowNothingIsReported) {
  m_server.On("/file", scripts::Body("content"));
  EXPECT_TRUE(Download("/file", Target(), nullptr));
  EXPECT_EQ(ReadFile(Target()), "content");
}

TEST_F(DownloadFileTest, IncompleteBodiesFailFourAttemptsAndLeaveNothing) {
  struct Case {
    const char* name;
    CScript script;
  };
  const std::string body = PatternBody(5000);
  const Case cases[] = {
      // No Content-Length: the expected size is 0, so the grace runs out every time.
      {"chunked", scripts::Chunked(body)},
      {"shorter than announced", scripts::Announce(5000, body.substr(0, 3000))},
      {"closed after the headers", scripts::Announce(5000, "")},
      {"stalls", scripts::Stall(5000, body.substr(0, 2000), 1000ms)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = std::string("/") + c.name;
    for (char& ch : path) ch = ch == ' ' ? '-' : ch;
    m_server.On(path, c.script);
    CRecordingSink sink;
    EXPECT_FALSE(Download(path, Target(), &sink));
    EXPECT_EQ(m_server.CountRequests(path), 4);
    EXPECT_FALSE(Exists(Target()));
    // Every attempt reached its read loop and closed it with a message.
    EXPECT_EQ(sink.ClosingMessages(), 4);
    ExpectWellFormed(sink);
  }
}

TEST_F(DownloadFileTest, EmptyBodyWithoutContentLengthSucceeds) {
  m_server.On("/empty", scripts::Chunked(""));
  CRecordingSink sink;
  EXPECT_TRUE(Download("/empty", Target(), &sink));
  EXPECT_EQ(ReadFile(Target()), "");
  EXPECT_EQ(m_server.CountRequests("/empty"), 1);
}

TEST_F(DownloadFileTest, ABodyLongerThanAnnouncedKeepsTheAnnouncedBytes) {
  std::string body = PatternBody(5000);
  m_server.On("/long", scripts::Announce(3000, body));
  EXPECT_TRUE(Download("/long", Target(), nullptr));
  EXPECT_EQ(ReadFile(Target()), body.substr(0, 3000));
}

TEST_F(DownloadFileTest, ErrorPagesAreToldApartByTheirTitle) {
  struct Case {
    const char* title;
    bool written;
  };
  const Case cases[] = {
      {"<title>404 Not Found</title>", false},
      {"<TITLE>404 Not Found</TITLE>", false},
      {"<Title>Error 404</tItle>", false},
      // Not caught: the page is taken for the file.
      {"<title lang=\"en\">404 Not Found</title>", true},
      {"<title>404</title><title>404</title>", true},
      {"<title>Not here</title>", true},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    std::string path = "/page" + std::to_string(index++);
    std::string page = ErrorPage(c.title, 300);
    m_server.On(path, scripts::Body(page, 404));
    CRecordingSink sink;
    EXPECT_EQ(Download(path, Target(), &sink), c.written);
    ExpectWellFormed(sink);
    if (c.written) {
      EXPECT_EQ(ReadFile(Target()), page);
      EXPECT_EQ(sink.SumOfChunks(), 300u);
      std::remove(Target().c_str());
    } else {
      EXPECT_FALSE(Exists(Target()));
      EXPECT_EQ(m_server.CountRequests(path), 4);
      // The dropped chunk is neither written nor reported, yet it counts in the running total.
      EXPECT_EQ(sink.SumOfChunks(), 0u);
      ASSERT_EQ(sink.messages.size(), 4u);
      for (const auto& message : sink.messages) EXPECT_EQ(message.lParam, 300);
    }
  }
}

TEST_F(DownloadFileTest, APlainTextAnswerWithAnErrorStatusIsWrittenAsTheFile) {
  m_server.On("/missing", scripts::Body("404 page not found\n", 404));
  EXPECT_TRUE(Download("/missing", Target(), nullptr));
  EXPECT_EQ(ReadFile(Target()), "404 page not found\n");
}

TEST_F(DownloadFileTest, OnlyChunksWithinTheFirst1024BytesTakeTheTitleTest) {
  // The first read takes the full 1024 bytes; the title in the chunk after it is file content.
  std::string late = PatternBody(1024) + ErrorPage("<title>404 Not Found</title>", 1024);
  m_server.On("/late", scripts::Body(late));
  EXPECT_TRUE(Download("/late", Target(), nullptr));
  EXPECT_EQ(ReadFile(Target()), late);
  std::remove(Target().c_str());

  // A chunk that ends within the first 1024 bytes takes the test, also when it is not the first.
  std::string first(600, 'a');
  std::string second = ErrorPage("<title>404</title>", 300);
  m_server.On("/early", scripts::Pieces({first, second}, 100ms));
  EXPECT_FALSE(Download("/early", Target(), nullptr));
  EXPECT_FALSE(Exists(Target()));
}

TEST_F(DownloadFileTest, AnEarlierFileIsSetAsideAndPutBackOnFailure) {
  const std::string setAside = Target() + " Before Download";
  m_server.On("/good", scripts::Body("new content"));
  m_server.On("/bad", scripts::Chunked("never complete"));

  // Success: the earlier file stays beside the new one.
  WriteFile(Target(), "earlier");
  EXPECT_TRUE(Download("/good", Target(), nullptr));
  EXPECT_EQ(ReadFile(Target()), "new content");
  EXPECT_EQ(ReadFile(setAside), "earlier");

  // Failure: the earlier file takes its name back.
  std::remove(setAside.c_str());
  WriteFile(Target(), "earlier");
  EXPECT_FALSE(Download("/bad", Target(), nullptr));
  EXPECT_EQ(ReadFile(Target()), "earlier");
  EXPECT_FALSE(Exists(setAside));

  // With a copy already set aside the file at the path is overwritten; a failure brings the
  // older copy back.
  WriteFile(Target(), "current");
  WriteFile(setAside, "oldest");
  EXPECT_TRUE(Download("/good", Target(), nullptr));
  EXPECT_EQ(ReadFile(Target()), "new content");
  EXPECT_EQ(ReadFile(setAside), "oldest");
  EXPECT_FALSE(Download("/bad", Target(), nullptr));
  EXPECT_EQ(ReadFile(Target()), "oldest");
  EXPECT_FALSE(Exists(setAside));
}

TEST_F(DownloadFileTest, APathWrittenWithBackslashesNamesOneFileThroughout) {
  m_server.On("/bad", scripts::Chunked("never complete"));
  m_server.On("/good", scripts::Body("new content"));
  MakeFolders(Target("sub"));
  WriteFile(Target("sub/f.bin"), "precious");
  const std::string windowsStyle = m_folder.path() + "\\sub\\f.bin";

  EXPECT_FALSE(Download("/bad", windowsStyle, nullptr));
  EXPECT_EQ(ReadFile(Target("sub/f.bin")), "precious");
  EXPECT_FALSE(Exists(windowsStyle));

  EXPECT_TRUE(Download("/good", windowsStyle, nullptr));
  EXPECT_EQ(ReadFile(Target("sub/f.bin")), "new content");
  EXPECT_EQ(ReadFile(Target("sub/f.bin Before Download")), "precious");
}

TEST_F(DownloadFileTest, AMissingFolderFailsBeforeAnyRequest) {
  m_server.On("/file", scripts::Body("content"));
  CRecordingSink sink;
  EXPECT_FALSE(Download("/file", m_folder.Sub("no/such/folder/file.bin"), &sink));
  EXPECT_TRUE(m_server.Requests().empty());
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(DownloadFileTest, NoResponseFailsEveryAttemptWithoutProgress) {
  struct Case {
    const char* name;
    std::string url;
  };
  m_server.On("/loop/a", scripts::Redirect("/loop/b"));
  m_server.On("/loop/b", scripts::Redirect("/loop/a"));
  const std::string unused =
      "http://127.0.0.1:" + std::to_string(CScriptedHttpServer::UnusedPort()) + "/file";
  m_server.On("/to-unused", scripts::Redirect(unused));
  const Case cases[] = {
      {"unused port", unused},
      {"redirect loop", m_server.Url("/loop/a")},
      {"redirect to an unused port", m_server.Url("/to-unused")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(Target(), "earlier");
    CRecordingSink sink;
    EXPECT_FALSE(DownloadFile(CString(c.url), CString(Target()), &sink));
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(ReadFile(Target()), "earlier");
    EXPECT_FALSE(Exists(Target() + " Before Download"));
  }
  EXPECT_EQ(m_server.CountRequests("/to-unused"), 4);
}

TEST_F(DownloadFileTest, FollowsARedirectToTheFile) {
  m_server.On("/old/place", scripts::Redirect("/new/place", 301));
  m_server.On("/new/place", scripts::Body("moved content"));
  CRecordingSink sink;
  EXPECT_TRUE(Download("/old/place", Target(), &sink));
  EXPECT_EQ(ReadFile(Target()), "moved content");
  EXPECT_EQ(sink.SumOfChunks(), 13u);
}

TEST_F(DownloadFileTest, ASecondAttemptStartsAfresh) {
  std::string body = PatternBody(3000);
  m_server.On("/flaky", scripts::Sequence(
                            {scripts::Announce(3000, body.substr(0, 1500)), scripts::Body(body)}));
  CRecordingSink sink;
  EXPECT_TRUE(Download("/flaky", Target(), &sink));
  EXPECT_EQ(ReadFile(Target()), body);
  EXPECT_EQ(sink.ClosingMessages(), 2);
  EXPECT_EQ(sink.messages.back().lParam, 3000);
  EXPECT_EQ(sink.SumOfChunks(), 4500u);
  ExpectWellFormed(sink);
}

// A full disk: the transfer runs in a child process whose file size limit lies inside the
// body, so that a write fails part-way.
struct CLimitedRun {
  bool result = true;
  long long sumOfChunks = 0;
  long long closingMessages = 0;
  long long lastTotal = 0;
};

CLimitedRun DownloadWithFileSizeLimit(const std::string& url, const std::string& target,
                                      rlim_t limit) {
  CLimitedRun run;
  int report[2];
  if (pipe(report) != 0) {
    ADD_FAILURE() << "pipe";
    return run;
  }
  pid_t child = fork();
  if (child == 0) {
    close(report[0]);
    signal(SIGXFSZ, SIG_IGN);
    rlimit fileSize{limit, limit};
    setrlimit(RLIMIT_FSIZE, &fileSize);
    CRecordingSink sink;
    long long values[4] = {
        DownloadFile(CString(url), CString(target), &sink) ? 1 : 0,
        static_cast<long long>(sink.SumOfChunks()),
        sink.ClosingMessages(),
        sink.messages.empty() ? -1 : sink.messages.back().lParam,
    };
    ssize_t written = write(report[1], values, sizeof values);
    _exit(written == sizeof values ? 0 : 1);
  }
  close(report[1]);
  long long values[4] = {};
  ssize_t got = child > 0 ? read(report[0], values, sizeof values) : -1;
  close(report[0]);
  if (child > 0) waitpid(child, nullptr, 0);
  EXPECT_EQ(got, static_cast<ssize_t>(sizeof values)) << "the child did not report";
  run = {values[0] != 0, values[1], values[2], values[3]};
  return run;
}

// One transfer under a file size limit: it fails, after one attempt only, reports the chunk
// whose write failed, and puts the earlier file back.
void ExpectOneAttemptEndedByAFailedWrite(const CScriptedHttpServer& server, const std::string& path,
                                         const std::string& target, rlim_t limit, size_t bodySize) {
  WriteFile(target, "earlier");
  CLimitedRun run = DownloadWithFileSizeLimit(server.Url(path), target, limit);
  EXPECT_FALSE(run.result);
  EXPECT_EQ(server.CountRequests(path), 1);
  EXPECT_EQ(run.closingMessages, 1);
  // The chunk whose write failed is reported too, so the sum passes the limit.
  EXPECT_GT(run.sumOfChunks, static_cast<long long>(limit));
  EXPECT_LE(run.sumOfChunks, static_cast<long long>(bodySize));
  EXPECT_EQ(run.lastTotal, run.sumOfChunks);
  EXPECT_EQ(ReadFile(target), "earlier");
  EXPECT_FALSE(ReadFile(target + " Before Download").has_value());
}

TEST_F(DownloadFileTest, AFailedWriteEndsTheCallAfterThatAttempt) {
  struct Case {
    const char* name;
    rlim_t limit;
    size_t bodySize;
  };
  const Case cases[] = {
      {"in the middle of the body", 100000, 400000},
      // The last bytes reach the disk only when the body has ended.
      {"at the end of the body", 10000, 50000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = "/large" + std::to_string(c.bodySize);
    m_server.On(path, scripts::Body(PatternBody(c.bodySize)));
    ExpectOneAttemptEndedByAFailedWrite(m_server, path, Target(), c.limit, c.bodySize);
  }
  // A body the server cuts short: the read fails while written bytes still wait to reach the
  // disk, and their failure ends the call all the same.
  SCOPED_TRACE("a read failure with bytes still to write");
  m_server.On("/cut", scripts::Announce(10000, PatternBody(5000)));
  ExpectOneAttemptEndedByAFailedWrite(m_server, "/cut", Target(), 2000, 5000);
}

// The grace re-reads and re-compares for its whole length, but pauses between passes instead
// of keeping a core busy: the thread's processor time stays well below the grace.
TEST_F(DownloadFileTest, TheEndOfBodyGraceDoesNotSpin) {
  TimingSettings().endOfBodyGrace = 300ms;
  m_server.On("/chunked", scripts::Chunked("no length"));
  auto cpuTime = [] {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  };
  auto before = cpuTime();
  EXPECT_FALSE(Download("/chunked", Target(), nullptr));
  auto used = std::chrono::duration_cast<std::chrono::milliseconds>(cpuTime() - before).count();
  // Four graces of 300 ms each; a busy loop would use about 1200 ms.
  EXPECT_LT(used, 400) << "ms of processor time";
  EXPECT_EQ(m_server.CountRequests("/chunked"), 4);
}

}  // namespace

// Sums the messages instead of keeping them: a large body sends millions.
class CCountingSink : public CProgressSink {
 public:
  void OnDownloadProgress(uint64_t wParam, int64_t lParam) override {
    if (wParam == 0) {
      ++closing;
      lastClosingTotal = lParam;
    }
    sum += wParam;
  }
  uint64_t sum = 0;
  int closing = 0;
  int64_t lastClosingTotal = -1;
};

// 5 GiB: past what 32-bit sizes can hold. The body is generated by the server as it goes and
// the file is checked at the places where a 32-bit size would wrap.
TEST_F(DownloadFileTest, FilesOf4GiBAndMoreComplete) {
  constexpr uint64_t kSize = uint64_t{5} << 30;
  struct statvfs disk;
  if (statvfs(m_folder.path().c_str(), &disk) == 0 &&
      static_cast<uint64_t>(disk.f_bavail) * disk.f_frsize < kSize + (uint64_t{1} << 30)) {
    GTEST_SKIP() << "less than 6 GiB free under " << m_folder.path();
  }
  m_server.On("/huge", scripts::Generated(kSize));
  CCountingSink sink;
  ASSERT_TRUE(Download("/huge", Target(), &sink));
  EXPECT_EQ(m_server.CountRequests("/huge"), 1);
  EXPECT_EQ(sink.sum, kSize);
  EXPECT_EQ(sink.closing, 1);
  EXPECT_EQ(sink.lastClosingTotal, static_cast<int64_t>(kSize));

  int fd = open(Target().c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  struct stat status;
  ASSERT_EQ(fstat(fd, &status), 0);
  EXPECT_EQ(static_cast<uint64_t>(status.st_size), kSize);
  const uint64_t k4GiB = uint64_t{1} << 32;
  for (uint64_t offset :
       {uint64_t{0}, k4GiB / 2 - 1, k4GiB - 2, k4GiB, k4GiB + 12345, kSize - 16}) {
    char bytes[16];
    ASSERT_EQ(pread(fd, bytes, sizeof bytes, static_cast<off_t>(offset)), 16) << offset;
    for (uint64_t i = 0; i < 16; ++i) {
      ASSERT_EQ(bytes[i], GeneratedByte(offset + i)) << offset + i;
    }
  }
  close(fd);
}
