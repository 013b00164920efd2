#include "platform/process.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>

#include "support/temp_folder.h"

namespace {

// A script that leaves its current folder, its argument count and one environment variable in
// the record file, so that the test sees how it was started.
std::string RecordingScript(const std::string& record, const std::string& firstLine) {
  return firstLine + "pwd > '" + record + "'\necho \"$#\" >> '" + record +
         "'\necho \"$CORVANEL_PROCESS_TEST\" >> '" + record + "'\n";
}

// The process is gone from the process table: reaped, not a zombie.
bool IsReaped(ProcessId process) {
  int status = 0;
  return waitpid(process, &status, WNOHANG) < 0 && errno == ECHILD;
}

class ProcessTest : public ::testing::Test {
 protected:
  CTempFolder m_temp;
  std::string m_work = m_temp.Sub("work");
  std::string m_record = m_temp.Sub("record.txt");
  void SetUp() override { MakeFolders(m_work); }
};

TEST_F(ProcessTest, StartsInWorkingFolderWithoutArgumentsAndWithEnvironment) {
  CScopedEnv env("CORVANEL_PROCESS_TEST", "inherited");
  struct Case {
    const char* name;
    std::string firstLine;
  } cases[] = {
      {"with #! line", "#!/bin/sh\n"},
      {"without #! line, run by the shell", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string program = m_work + "/setup.sh";
    WriteFile(program, RecordingScript(m_record, c.firstLine));
    // Downloaded files have no execute bit.
    ASSERT_EQ(chmod(program.c_str(), 0644), 0);

    ProcessId process = StartProgram(CString(program), CString(m_work));
    ASSERT_NE(process, 0);
    EXPECT_TRUE(WaitForProcessEnd(process));
    EXPECT_TRUE(IsReaped(process));

    EXPECT_EQ(ReadFile(m_record), m_work + "\n0\ninherited\n");
    struct stat status {};
    ASSERT_EQ(stat(program.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0744u);
  }
}

TEST_F(ProcessTest, StartsNothingForWhatIsNotARunnableFile) {
  WriteFile(m_work + "/setup.sh", "#!/bin/sh\nexit 0\n");
  MakeFolders(m_work + "/folder");
  WriteFile(m_work + "/broken", "#!/nonexistent/interpreter\n");
  struct Case {
    const char* name;
    std::string path;
    std::string folder;
  } cases[] = {
      {"missing file", m_work + "/missing", m_work},
      {"a folder", m_work + "/folder", m_work},
      {"empty path", "", m_work},
      {"working folder missing", m_work + "/setup.sh", m_temp.Sub("gone")},
      {"interpreter missing", m_work + "/broken", m_work},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(StartProgram(CString(c.path), CString(c.folder)), 0);
  }
}

TEST_F(ProcessTest, WaitOutlastsSlicesUntilTheProcessEnds) {
  CScopedTimings timings;
  TimingSettings().processWaitSlice = std::chrono::milliseconds(20);
  std::string program = m_work + "/setup.sh";
  WriteFile(program, "sleep 0.5\necho done > '" + m_record + "'\n");

  ProcessId process = StartProgram(CString(program), CString(m_work));
  ASSERT_NE(process, 0);
  EXPECT_TRUE(WaitForProcessEnd(process));
  EXPECT_EQ(ReadFile(m_record), std::string("done\n"));
  EXPECT_TRUE(IsReaped(process));
}

TEST_F(ProcessTest, WaitReturnsWhenTheProcessEndsNotAtTheEndOfTheSlice) {
  CScopedTimings timings;
  TimingSettings().processWaitSlice = std::chrono::minutes(2);
  std::string program = m_work + "/setup.sh";
  WriteFile(program, "exit 3\n");

  ProcessId process = StartProgram(CString(program), CString(m_work));
  ASSERT_NE(process, 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(WaitForProcessEnd(process));
  // Far below the two-minute slice; the process itself ends at once.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::minutes(1));
  EXPECT_TRUE(IsReaped(process));
}

TEST_F(ProcessTest, TheProgramDoesNotInheritAnIgnoredBrokenPipeSignal) {
  struct sigaction ignore {
  }, saved{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &saved);
  std::string program = m_work + "/setup.sh";
  WriteFile(program, "grep SigIgn /proc/$$/status | cut -f2 > '" + m_record + "'\n");
  ProcessId process = StartProgram(CString(program), CString(m_work));
  sigaction(SIGPIPE, &saved, nullptr);
  ASSERT_NE(process, 0);
  EXPECT_TRUE(WaitForProcessEnd(process));
  std::string mask = ReadFile(m_record).value_or("");
  ASSERT_FALSE(mask.empty());
  EXPECT_EQ(std::stoull(mask, nullptr, 16) & (1ull << (SIGPIPE - 1)), 0u) << mask;
}

TEST(ProcessWaitTest, FailsForWhatIsNotAChild) {
  EXPECT_FALSE(WaitForProcessEnd(0));
  EXPECT_FALSE(WaitForProcessEnd(1));
}

}  // namespace
