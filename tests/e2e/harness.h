// What the end-to-end tests share: a fresh setting for one run of the real program (its folder,
// a temporary folder, a home folder and a record folder), the final setup script that records
// what it received, encrypted descriptions, and the run itself.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_folder.h"

// One line of a description: "[Tag]" and its value lines.
struct CDescriptionTag {
  std::string tag;
  std::vector<std::string> lines;
};

// The text of a description with the given tags, closed by the End tag; long enough that its
// encrypted form has more than 1000 bytes.
std::string DescriptionText(const std::vector<CDescriptionTag>& tags);
// The description text encrypted with the built-in key, as a SetupInitial.eif holds it.
std::string EncryptedDescription(const std::string& text);

// The port of the test build's default download server when it is on 127.0.0.1, else nullopt.
std::optional<int> DefaultHostPort();
// "127.0.0.1:port" of the default download server.
std::string DefaultHost();

// The program's file name in every run: the application is PhotoTool.
constexpr char kProgramName[] = "Install_PhotoTool_v2";
constexpr char kCaption[] = "Install_PhotoTool_v2";
constexpr char kUserInfoName[] = "info.txt";

struct CRunResult {
  int exitCode = -1;
  std::string errors;  // all of standard error
  std::chrono::system_clock::time_point started;
  std::chrono::system_clock::time_point ended;
};

class CBootstrapperRun {
 public:
  CBootstrapperRun();

  // The folder the program lies in, and a file or folder beside it.
  std::string ProgramFolder() const { return m_root.Sub("download"); }
  std::string Beside(const std::string& name) const { return ProgramFolder() + "/" + name; }
  std::string ProgramPath() const { return Beside(kProgramName); }
  std::string TempFolder() const { return m_root.Sub("tmp"); }
  std::string HomeFolder() const { return m_root.Sub("home"); }
  std::string WorkingFolder() const { return TempFolder() + "/Corvanel/PhotoToolSetup"; }
  std::string RecordFolder() const { return m_root.Sub("record"); }
  std::string Outside(const std::string& name) const { return m_root.Sub(name); }

  // A final setup that records its folder, its argument count, the listing of its folder and
  // a copy of the user info file, sleeps, and records when it ended. Without shebang it is a
  // script that only the shell can run.
  std::string FinalSetupScript(bool shebang = true, int sleepSeconds = 0) const;
  // What the final setup recorded (nullopt when it did not run).
  std::optional<std::string> Recorded(const std::string& name) const;

  // Runs the program with the terminal front end, TMPDIR and HOME pointing into the setting.
  // withoutNetwork: in a network namespace of its own, where no interface is up.
  CRunResult Run(bool withoutNetwork = false) const;

 private:
  CTempFolder m_root;
};

// True when a program can be run in a network namespace of its own (unshare -r -n).
bool CanRunWithoutNetwork();

// The message line that the terminal front end prints for one of the driver's boxes.
std::string MessageLine(const std::string& text);

// Bytes of a UTF-16LE file with FF FE for ASCII text.
std::string AsciiToUtf16LeFile(const std::string& text);

// The user info file text that a run writes, with the given values.
std::string ExpectedUserInfo(const std::string& programPath, const std::string& workingFolder,
                             const std::string& downloadSite, const std::string& startMenu,
                             const std::string& desktop, const std::string& documents,
                             const std::string& application, const std::string& time);
