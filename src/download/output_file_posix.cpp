#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "download/output_file.h"
#include "platform/text.h"

bool COutputFile::Open(const CString& path) {
  Close();
  do {
    m_fd = ::open(ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (m_fd < 0 && errno == EINTR);
  return m_fd >= 0;
}

bool COutputFile::Write(const void* data, size_t size) {
  if (m_fd < 0) return false;
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t written = ::write(m_fd, next, size);
    if (written < 0 && errno == EINTR) continue;
    // A short write is followed by another try, which reports why the first fell short.
    if (written <= 0) return false;
    next += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

void COutputFile::Close() {
  if (m_fd < 0) return;
  ::close(m_fd);
  m_fd = -1;
}

std::optional<uint64_t> GetFileSize(const CString& path) {
  struct stat status;
  if (::stat(ToUtf8(path).c_str(), &status) != 0) return std::nullopt;
  return static_cast<uint64_t>(status.st_size);
}
