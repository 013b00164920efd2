#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "download/output_file.h"
#include "platform/text.h"

namespace {

constexpr size_t kWriteBufferSize = 64 * 1024;

}  // namespace

bool COutputFile::Open(const CString& path) {
  Close();
  do {
    m_fd = ::open(ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (m_fd < 0 && errno == EINTR);
  m_failed = false;
  m_buffer.clear();
  m_buffer.reserve(kWriteBufferSize);
  return m_fd >= 0;
}

bool COutputFile::Write(const void* data, size_t size) {
  if (m_fd < 0 || m_failed) return false;
  if (m_buffer.size() + size > kWriteBufferSize && !Flush()) return false;
  if (size >= kWriteBufferSize) return WriteAll(static_cast<const char*>(data), size);
  const char* bytes = static_cast<const char*>(data);
  m_buffer.insert(m_buffer.end(), bytes, bytes + size);
  return true;
}

bool COutputFile::Close() {
  if (m_fd < 0) return true;
  bool flushed = Flush();
  ::close(m_fd);
  m_fd = -1;
  return flushed;
}

bool COutputFile::Flush() {
  if (m_failed) return false;
  bool written = WriteAll(m_buffer.data(), m_buffer.size());
  m_buffer.clear();
  return written;
}

bool COutputFile::WriteAll(const char* next, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(m_fd, next, size);
    if (written < 0 && errno == EINTR) continue;
    // A short write is followed by another try, which reports why the first fell short.
    if (written <= 0) {
      m_failed = true;
      return false;
    }
    next += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

std::optional<uint64_t> GetFileSize(const CString& path) {
  struct stat status;
  if (::stat(ToUtf8(path).c_str(), &status) != 0) return std::nullopt;
  return static_cast<uint64_t>(status.st_size);
}
