#include "e2e/checks.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <regex>

namespace {

std::string CanonicalPath(const std::string& path) {
  std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), &free);
  return resolved ? resolved.get() : path;
}

// The ASCII text of a UTF-16LE file after its FF FE, or "" when it is not such a file.
std::string AsciiFromUtf16LeFile(const std::string& bytes) {
  if (bytes.size() < 2 || bytes.compare(0, 2, "\xFF\xFE") != 0 || bytes.size() % 2 != 0) return "";
  std::string text;
  for (size_t i = 2; i < bytes.size(); i += 2) {
    if (bytes[i + 1] != '\0') return "";
    text += bytes[i];
  }
  return text;
}

}  // namespace

void ExpectHandOver(const CBootstrapperRun& run, const CRunResult& result,
                    const std::vector<std::string>& listing, const std::string& downloadSite) {
  EXPECT_EQ(run.Recorded("cwd"), run.WorkingFolder() + "\n");
  EXPECT_EQ(run.Recorded("argc"), std::string("0\n"));
  std::vector<std::string> sorted = listing;
  std::sort(sorted.begin(), sorted.end());
  std::string expectedListing;
  for (const std::string& name : sorted) expectedListing += name + "\n";
  EXPECT_EQ(run.Recorded("listing"), expectedListing);

  std::string bytes = run.Recorded("userinfo").value_or("");
  std::string text = AsciiFromUtf16LeFile(bytes);
  ASSERT_FALSE(text.empty()) << "no UTF-16LE user info file";
  // The installation time: UTC, taken during the run.
  const std::string timeTag = "[Installed on GM Time]\n";
  size_t at = text.find(timeTag);
  ASSERT_NE(at, std::string::npos);
  std::string time = text.substr(at + timeTag.size(), 19);
  std::smatch parts;
  ASSERT_TRUE(
      std::regex_match(time, parts, std::regex(R"((\d\d)-(\d\d)-(\d{4}) (\d\d):(\d\d):(\d\d))")))
      << time;
  std::tm utc{};
  utc.tm_mday = std::stoi(parts[1]);
  utc.tm_mon = std::stoi(parts[2]) - 1;
  utc.tm_year = std::stoi(parts[3]) - 1900;
  utc.tm_hour = std::stoi(parts[4]);
  utc.tm_min = std::stoi(parts[5]);
  utc.tm_sec = std::stoi(parts[6]);
  std::time_t written = timegm(&utc);
  std::time_t started = std::chrono::system_clock::to_time_t(result.started);
  std::time_t ended = std::chrono::system_clock::to_time_t(result.ended);
  EXPECT_GE(written, started - 1);
  EXPECT_LE(written, ended + 1);

  std::string expected =
      ExpectedUserInfo(CanonicalPath(run.ProgramPath()), run.WorkingFolder(), downloadSite,
                       run.HomeFolder() + "/.local/share/applications",
                       run.HomeFolder() + "/Desktop", "", "PhotoTool", time);
  EXPECT_EQ(bytes, AsciiToUtf16LeFile(expected));
}
