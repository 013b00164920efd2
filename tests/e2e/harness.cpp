#include "e2e/harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "description/description_crypto.h"

namespace fs = std::filesystem;

std::string DescriptionText(const std::vector<CDescriptionTag>& tags) {
  // The default server's description must probe at 1000 bytes or more: a comment pads it.
  std::string text = "// A description of the end-to-end tests." + std::string(1000, '.') + "\n";
  for (const CDescriptionTag& tag : tags) {
    text += "[" + tag.tag + "]\n";
    for (const std::string& line : tag.lines) text += line + "\n";
  }
  return text + "[End]\nEnd\n";
}

std::string EncryptedDescription(const std::string& text) {
  size_t blockLength = 0, capacity = 0;
  unsigned bits = 0;
  EXPECT_TRUE(GetKeyGeometry(kDescriptionKeyText, blockLength, capacity, bits));
  std::vector<unsigned char> plain(text.begin(), text.end());
  std::vector<unsigned char> encrypted;
  std::string error;
  EXPECT_TRUE(EncryptDescription(plain, kDescriptionKeyText, capacity, encrypted, error)) << error;
  return std::string(encrypted.begin(), encrypted.end());
}

std::optional<int> DefaultHostPort() {
  const std::string host = SETUP_DEFAULT_HOST;
  const std::string prefix = "127.0.0.1:";
  if (host.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  return std::atoi(host.c_str() + prefix.size());
}

std::string DefaultHost() { return SETUP_DEFAULT_HOST; }

CBootstrapperRun::CBootstrapperRun() {
  // A desktop folder, and no documents folder: the user info file names the one and leaves the
  // other empty.
  for (const std::string& folder :
       {ProgramFolder(), TempFolder(), HomeFolder() + "/Desktop", RecordFolder()}) {
    MakeFolders(folder);
  }
  std::error_code error;
  fs::copy_file(BOOTSTRAPPER_PATH, ProgramPath(), fs::copy_options::overwrite_existing, error);
  EXPECT_FALSE(error) << "cannot copy " << BOOTSTRAPPER_PATH << ": " << error.message();
  fs::permissions(ProgramPath(), fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec);
}

std::string CBootstrapperRun::FinalSetupScript(bool shebang, int sleepSeconds) const {
  std::string script = shebang ? "#!/bin/sh\n" : "";
  script += "record='" + RecordFolder() + "'\n";
  script += "pwd > \"$record/cwd\"\n";
  script += "echo \"$#\" > \"$record/argc\"\n";
  script += "ls -A | LC_ALL=C sort > \"$record/listing\"\n";
  script += std::string("cp '") + kUserInfoName + "' \"$record/userinfo\"\n";
  // A copy of every file (sub-folders are not copied).
  script += "mkdir \"$record/seen\" && cp -- * .[!.]* \"$record/seen/\" 2>/dev/null\n";
  if (sleepSeconds > 0) script += "sleep " + std::to_string(sleepSeconds) + "\n";
  script += "date +%s.%N > \"$record/ended\"\n";
  return script;
}

std::optional<std::string> CBootstrapperRun::Recorded(const std::string& name) const {
  return ReadFile(RecordFolder() + "/" + name);
}

namespace {

const char kUnshare[] = "/usr/bin/unshare";

// Runs argv with the environment and the standard streams given; returns the wait status.
int SpawnAndWait(std::vector<std::string> args, std::vector<std::string> environment,
                 const std::string& errorsPath) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace

bool CanRunWithoutNetwork() {
  static const bool possible = [] {
    if (access(kUnshare, X_OK) != 0) return false;
    int status = SpawnAndWait({kUnshare, "-r", "-n", "--", "/bin/true"}, {}, "/dev/null");
    return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }();
  return possible;
}

CRunResult CBootstrapperRun::Run(bool withoutNetwork) const {
  CRunResult result;
  const std::string errorsPath = m_root.Sub("stderr.txt");
  // A small environment of its own: no display (the terminal front end), no proxy, and the
  // temporary and home folders of this setting.
  std::vector<std::string> environment = {
      "PATH=/usr/local/bin:/usr/bin:/bin",
      "TMPDIR=" + TempFolder(),
      "HOME=" + HomeFolder(),
      "LC_ALL=C",
  };
  if (const char* asan = getenv("ASAN_OPTIONS"))
    environment.push_back(std::string("ASAN_OPTIONS=") + asan);
  if (const char* ubsan = getenv("UBSAN_OPTIONS"))
    environment.push_back(std::string("UBSAN_OPTIONS=") + ubsan);
  std::vector<std::string> args = {ProgramPath()};
  if (withoutNetwork) args.insert(args.begin(), {kUnshare, "-r", "-n", "--"});
  result.started = std::chrono::system_clock::now();
  int status = SpawnAndWait(args, environment, errorsPath);
  EXPECT_GE(status, 0) << "cannot start " << args[0];
  if (status < 0) return result;
  result.ended = std::chrono::system_clock::now();
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.errors = ReadFile(errorsPath).value_or("");
  return result;
}

std::string MessageLine(const std::string& text) {
  return std::string(kCaption) + ": " + text + "\n";
}

std::string AsciiToUtf16LeFile(const std::string& text) {
  std::string bytes = "\xFF\xFE";
  for (char c : text) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

std::string ExpectedUserInfo(const std::string& programPath, const std::string& workingFolder,
                             const std::string& downloadSite, const std::string& startMenu,
                             const std::string& desktop, const std::string& documents,
                             const std::string& application, const std::string& time) {
  return "// User specific info.\n\n[Initial Setup Pathname]\n" + programPath +
         "\n\n[Setup Temp Folder]\n" + workingFolder + "\n\n[Download Site]\n" + downloadSite +
         "\n\n[Start Menu Folder]\n" + startMenu + "\n\n[Desktop Folder]\n" + desktop +
         "\n\n[My Documents Folder]\n" + documents + "\n\n[Application Name]\n" + application +
         "\n\n[Installed on GM Time]\n" + time + "\n\n[End]\nEnd\n";
}
