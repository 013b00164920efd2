#include "app/user_info.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/text.h"

CString BuildUserInfoText(const CUserInfo& info) {
  const struct {
    const char* tag;
    const CString& value;
  } entries[] = {
      {"[Initial Setup Pathname]", info.programPath},
      {"[Setup Temp Folder]", info.workingFolder},
      {"[Download Site]", info.downloadSite},
      {"[Start Menu Folder]", info.startMenuFolder},
      {"[Desktop Folder]", info.desktopFolder},
      {"[My Documents Folder]", info.myDocumentsFolder},
      {"[Application Name]", info.applicationName},
      {"[Installed on GM Time]", info.installationTime},
  };
  CString text("// User specific info.\n\n");
  for (const auto& entry : entries) {
    text += CString(entry.tag) + "\n" + entry.value + "\n\n";
  }
  text += CString("[End]\nEnd\n");
  return text;
}

std::string EncodeUtf16LeWithMark(const CString& text) {
  std::string bytes("\xFF\xFE");
  bytes.reserve(2 + 2 * text.str().size());
  for (char16_t unit : text.str()) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

CString FormatInstallationTime(std::time_t when) {
  std::tm parts{};
  if (!gmtime_r(&when, &parts)) return CString();
  char buffer[128];
  size_t length = std::strftime(buffer, sizeof buffer, "%d-%m-%Y %H:%M:%S", &parts);
  return length == 0 ? CString() : CString(std::string(buffer, length));
}

CString GetInstallationTime() { return FormatInstallationTime(std::time(nullptr)); }

bool WriteWholeFile(const CString& path, const std::string& bytes) {
  int fd = open(ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      ok = false;
    }
  }
  struct stat status {};
  const bool regularFile = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  if (close(fd) != 0) ok = false;
  // A file cut short would be read by the final setup as if it were whole: it goes (a device
  // or anything else that is not a plain file stays where it is).
  if (!ok && regularFile) unlink(ToUtf8(path).c_str());
  return ok;
}
