// The vendor's tool, run as a real program on real files.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "description/description_crypto.h"
#include "description/ini_parser.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace {

struct CRun {
  int exitCode;
  std::string out;
};

class EiftoolTest : public ::testing::Test {
 protected:
  // Standard output and standard error together, or standard output alone.
  CRun Run(const std::string& args, bool withStderr = true) {
    const std::string command = "cd '" + m_folder.path() + "' && '" EIFTOOL_PATH "' " + args +
                                (withStderr ? " 2>&1" : " 2>/dev/null");
    CRun run{-1, std::string()};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }
  std::string Sub(const std::string& name) const { return m_folder.Sub(name); }

  CTempFolder m_folder;
  CRecordingFrontEnd m_recorder;
};

std::string Utf16Le(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

const char kDescription[] =
    "// a description\n[Program to run]\nsetup.exe\n\n[User Info Filename]\ninfo.txt\n\n"
    "[Download Sites]\nhost.example/a\n\n[Files to download]\n/a.cab -> a.cab\n\n"
    "[End]\nEnd\n";

TEST_F(EiftoolTest, HelpNamesEveryCommand) {
  CRun run = Run("--help");
  EXPECT_EQ(run.exitCode, 0);
  for (const char* name : {"keygen", "encrypt", "decrypt", "check", "dump", "--key"}) {
    EXPECT_NE(run.out.find(name), std::string::npos) << name;
  }
}

TEST_F(EiftoolTest, UsageAndInputErrorsExitWithTwo) {
  WriteFile(Sub("plain.ini"), kDescription);
  WriteFile(Sub("taken.hex"), "x");
  const char* cases[] = {
      "",
      "bogus",
      "encrypt plain.ini",
      "encrypt plain.ini out.eif --chunk 0",
      "encrypt plain.ini out.eif --chunk 87",
      "encrypt plain.ini out.eif --chunk ten",
      "encrypt plain.ini out.ini",
      "encrypt absent.ini out.eif",
      "decrypt absent.eif",
      "check",
      "check a b",
      "keygen taken.hex",
      "dump plain.ini --key absent.hex",
      "check plain.ini --frobnicate",
  };
  for (const char* args : cases) EXPECT_EQ(Run(args).exitCode, 2) << args;

  // An option that lacks its value says so, rather than calling itself unknown.
  const struct {
    const char* args;
    const char* message;
  } missing[] = {
      {"dump plain.ini --key", "--key needs a file"},
      {"encrypt plain.ini out.eif --chunk", "--chunk takes a number"},
  };
  for (const auto& c : missing) {
    CRun run = Run(c.args);
    EXPECT_EQ(run.exitCode, 2) << c.args;
    EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
  }
}

TEST_F(EiftoolTest, EncryptDecryptRoundTrips) {
  const std::string texts[] = {
      kDescription,
      Utf16Le(u"[Program to run]\nsetup.exe\n[Name] caf\u00E9 \u20AC\n[End]\nEnd\n"),
  };
  for (const std::string& text : texts) {
    WriteFile(Sub("plain.ini"), text);
    for (int chunk : {86, 10, 1}) {
      SCOPED_TRACE("chunk " + std::to_string(chunk) + ", " + std::to_string(text.size()) +
                   " bytes");
      ASSERT_EQ(Run("encrypt plain.ini d.eif --chunk " + std::to_string(chunk)).exitCode, 0);
      const size_t blocks = (text.size() + chunk - 1) / chunk;
      EXPECT_EQ(ReadFile(Sub("d.eif"))->size(), kDescriptionMarkerLength + 1 + blocks * 128);

      ASSERT_EQ(Run("decrypt d.eif back.ini").exitCode, 0);
      EXPECT_EQ(ReadFile(Sub("back.ini")), text);
      CRun toStdout = Run("decrypt d.eif");
      EXPECT_EQ(toStdout.exitCode, 0);
      EXPECT_EQ(toStdout.out, text);

      CIniParser parser;
      ASSERT_TRUE(parser.Load(CString(Sub("d.eif"))));
      EXPECT_EQ(parser.GetValue(CString("Program to run")), CString("setup.exe"));
    }
  }
  EXPECT_TRUE(m_recorder.boxes.empty());
}

TEST_F(EiftoolTest, KeyOptionOnEveryCommand) {
  WriteFile(Sub("plain.ini"), kDescription);
  ASSERT_EQ(Run("keygen own.hex").exitCode, 0);
  ASSERT_EQ(Run("encrypt plain.ini own.eif --key own.hex").exitCode, 0);
  EXPECT_EQ(Run("decrypt own.eif --key own.hex").out, kDescription);
  EXPECT_EQ(Run("check own.eif --key own.hex").exitCode, 0);
  EXPECT_EQ(Run("dump own.eif --key own.hex").exitCode, 0);

  CRun wrongKey = Run("decrypt own.eif");
  EXPECT_EQ(wrongKey.exitCode, 1);
  // Under the wrong key a block fails OAEP decoding, or, when the new key's modulus is the
  // larger and the block's value is not below the built-in one, its private-key operation fails.
  EXPECT_TRUE(wrongKey.out.find("OAEP") != std::string::npos ||
              wrongKey.out.find("modulus") != std::string::npos)
      << wrongKey.out;
  EXPECT_EQ(Run("check own.eif").exitCode, 1);

  // The public half of the built-in key encrypts for the downloader.
  ASSERT_EQ(Run("encrypt plain.ini pub.eif --key '" PUBLIC_KEY_FILE "'").exitCode, 0);
  CIniParser parser;
  EXPECT_TRUE(parser.Load(CString(Sub("pub.eif"))));
}

TEST_F(EiftoolTest, DecryptNamesWhyAFileDoesNotDecode) {
  WriteFile(Sub("plain.ini"), kDescription);
  ASSERT_EQ(Run("encrypt plain.ini good.eif").exitCode, 0);
  const std::string good = *ReadFile(Sub("good.eif"));
  struct Case {
    std::string bytes;
    const char* reason;
  };
  std::string damaged = good;
  damaged[good.size() - 1] ^= 0x01;
  const Case cases[] = {
      {"", "empty"},
      {"[End]\nEnd\n", "marker"},
      {good.substr(0, good.size() - 1), "whole number of blocks"},
      {damaged, "OAEP"},
      {good.substr(0, kDescriptionMarkerLength + 1) + std::string(128, '\xFF'), "modulus"},
  };
  for (const Case& c : cases) {
    WriteFile(Sub("bad.eif"), c.bytes);
    CRun run = Run("decrypt bad.eif");
    EXPECT_EQ(run.exitCode, 1) << c.reason;
    EXPECT_NE(run.out.find(c.reason), std::string::npos) << run.out;
    // Standard output carries decoded bytes only: the reason goes to standard error.
    EXPECT_EQ(Run("decrypt bad.eif", /*withStderr=*/false).out, "") << c.reason;
  }
}

TEST_F(EiftoolTest, CheckReportsEachProblemOnItsLine) {
  WriteFile(Sub("clean.ini"), kDescription);
  CRun clean = Run("check clean.ini");
  EXPECT_EQ(clean.exitCode, 0) << clean.out;

  struct Case {
    const char* text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"[Program to run] a\n[User Info Filename] b\n[Download Sites]\nh\n[Files to download]\n"
       "x -> y\n",
       {"no [End] tag"}},
      {"[Program to run] a\n[End]\nend\n",
       {"line 3: [End] holds \"end\" instead of \"End\"", "missing tag [Download Sites]",
        "missing tag [Files to download]", "missing tag [User Info Filename]"}},
      {"[Program to run] a\n[User Info Filename] b\n[Download Sites]\nhttp://h\n"
       "[Files to download]\nx -> C:\\Data[old]\n[End]\nEnd\n",
       {"line 4: \"//\" inside a value", "line 6: a \"[\" cuts the value short"}},
      {"[Program to run] $Nope$\n[User Info Filename] $Loop$\n[Loop] $Loop$.\n[Download Sites]\n"
       "h\n[Files to download]\nx -> y\n[End]\nEnd\n",
       {"line 1: unresolved variable: Ini Parser: Tag 'Nope' not found.",
        "variables do not come to an end"}},
      {"[Program to run] ../p\n[User Info Filename] /etc/info\n[Download Sites]\nh\n\nlate\n"
       "[Files to download]\nx -> y\nno arrow\nz -> w\n[End]\nEnd\n",
       {"line 1: [Program to run] \"../p\" leaves", "line 2: [User Info Filename] \"/etc/info\"",
        "line 6: entries after a blank line in [Download Sites]",
        "line 9: entry \"no arrow\" has no \"->\""}},
      {"[Program to run] p\n[User Info Filename] i\n[Download Sites]\nh\n"
       "[Files to download]\nx -> a/../../y\n -> y\n[End]\nEnd\n",
       {"line 6: local name \"a/../../y\" leaves", "line 7: entry \"-> y\" has an empty side"}},
      {"[Program to run] p\n[User Info Filename] i\n[Download Sites]\nh\n"
       "[Files to download]\nx -> y\n\nlater -> z\n[End]\nEnd\n",
       {"line 8: entries after a blank line in [Files to download]"}},
      // Lines are those of the file: a variable whose name spans lines does not take a line
      // away, and a value brought in by a variable counts on the line of its "$".
      {"[Note] costs $5\nor $6\n[Program to run] p\n[User Info Filename] i\n[Download Sites] h\n"
       "[Files to download]\na -> ../b\nc -> $Up$\n[Up] ../c\n[End]\nEnd\n",
       {"line 7: local name \"../b\" leaves", "line 8: local name \"../c\" leaves",
        // The name's line feed is shown escaped: the warning stays on one line.
        "line 1: unresolved variable: Ini Parser: Tag '5\\nor ' not found.\n"}},
  };
  for (const Case& c : cases) {
    WriteFile(Sub("d.ini"), c.text);
    CRun run = Run("check d.ini");
    EXPECT_EQ(run.exitCode, 1) << c.text;
    for (const std::string& line : c.lines) {
      EXPECT_NE(run.out.find(line), std::string::npos) << "missing: " << line << "\n" << run.out;
    }
  }
  // A missing End is one problem, reported once; an unresolved $End$ is another.
  WriteFile(Sub("d.ini"), "[Program to run] $End$\n");
  CRun run = Run("check d.ini");
  EXPECT_EQ(run.out.find("no [End] tag"), run.out.rfind("no [End] tag")) << run.out;
  EXPECT_NE(run.out.find("no [End] tag"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Tag 'End' not found"), run.out.rfind("Tag 'End' not found")) << run.out;
  EXPECT_NE(run.out.find("line 1: unresolved variable: Ini Parser: Tag 'End' not found."),
            std::string::npos)
      << run.out;
}

TEST_F(EiftoolTest, CheckOnFilesThatGiveLittleOrNoText) {
  WriteFile(Sub("plain.ini"), kDescription);
  ASSERT_EQ(Run("encrypt plain.ini good.eif --chunk 40").exitCode, 0);
  const std::string good = *ReadFile(Sub("good.eif"));
  const size_t header = kDescriptionMarkerLength + 1;
  WriteFile(Sub("marker.eif"), good.substr(0, header));
  WriteFile(Sub("partial.eif"), good.substr(0, header + 128) + std::string(128, '\xFF'));
  WriteFile(Sub("empty.ini"), "");
  WriteFile(Sub("other.eif"), "[End]\nEnd\n");
  struct Case {
    const char* args;
    int exitCode;
    const char* line;
  };
  const Case cases[] = {
      {"check marker.eif", 1, "no [End] tag"},
      {"check partial.eif", 1, "decodes only in part"},
      {"check empty.ini", 1, "the file is empty"},
      {"check other.eif", 1, "does not start with the description marker"},
      {"dump other.eif", 1, "does not start with the description marker"},
      {"check absent.eif", 2, "cannot read"},
  };
  for (const Case& c : cases) {
    CRun run = Run(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.args;
    EXPECT_NE(run.out.find(c.line), std::string::npos) << c.args << "\n" << run.out;
  }
  EXPECT_EQ(Run("dump other.eif", /*withStderr=*/false).out, "");
}

// How often a file is opened while a command runs, seen through inotify. Closes are watched too:
// the kernel merges an event with an identical one still unread, and a close between two opens
// keeps them apart.
int CountOpens(const std::string& path, const std::function<void()>& run) {
  const int fd = inotify_init1(IN_NONBLOCK);
  if (fd < 0) return -1;
  if (inotify_add_watch(fd, path.c_str(), IN_OPEN | IN_CLOSE) < 0) {
    close(fd);
    return -1;
  }
  run();
  int opens = 0;
  alignas(inotify_event) char buffer[4096];
  ssize_t got = 0;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) {
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      opens += (event->mask & IN_OPEN) != 0;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  close(fd);
  return opens;
}

// Each block of an encrypted file costs a private-key operation: check and dump read and decode
// the file once, and load what they decoded.
TEST_F(EiftoolTest, CheckAndDumpReadTheFileOnce) {
  WriteFile(Sub("d.ini"), kDescription);
  ASSERT_EQ(Run("encrypt d.ini d.eif --chunk 20").exitCode, 0);
  for (const char* args : {"check d.eif", "dump d.eif", "check d.ini", "dump d.ini"}) {
    const std::string file = Sub(std::strchr(args, ' ') + 1);
    CRun run{-1, std::string()};
    EXPECT_EQ(CountOpens(file, [&] { run = Run(args); }), 1) << args;
    EXPECT_EQ(run.exitCode, 0) << args << "\n" << run.out;
  }
}

TEST_F(EiftoolTest, DumpShowsTheTextAndEachEntry) {
  WriteFile(Sub("d.ini"),
            "[Base] v2 // base\n[Download Sites]\nh1\nh2\n[Files to download]\n"
            "/$Base$/a -> a\n/$Base$/b -> b\n[End]\nEnd\n");
  ASSERT_EQ(Run("encrypt d.ini d.eif --chunk 13").exitCode, 0);
  CRun run = Run("dump d.eif");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out,
            "[Base] v2 \n[Download Sites]\nh1\nh2\n[Files to download]\n/v2/a -> a\n/v2/b -> b\n"
            "[End]\nEnd\n--- Files to download\n/v2/a -> a\n/v2/b -> b\n--- Download Sites\n"
            "h1\nh2\n");
}

}  // namespace
