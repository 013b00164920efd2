// The file a transfer writes: created or cut to length 0, write access only, bytes as they come.
// Chunks pass through a small buffer so that a body read in pieces of 1024 bytes does not cost
// one system call per piece; a failure shows at the chunk that fills the buffer or at Close.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/cstring.h"

class COutputFile {
 public:
  COutputFile() = default;
  ~COutputFile() { Close(); }
  COutputFile(const COutputFile&) = delete;
  COutputFile& operator=(const COutputFile&) = delete;

  // Creates the file, or cuts an existing one to length 0. False when it cannot be opened
  // (a missing folder, no permission); a file still open is closed first.
  bool Open(const CString& path);
  bool IsOpen() const { return m_fd >= 0; }
  // Hands size bytes to the file. False when the file is not open or not every byte could be
  // written (a full disk, a file size limit, a device error); the file is unusable after that.
  bool Write(const void* data, size_t size);
  // Writes what is buffered and closes the file. False when those bytes could not be written;
  // true for a file that is not open.
  bool Close();

 private:
  bool Flush();
  bool WriteAll(const char* data, size_t size);

  int m_fd = -1;
  bool m_failed = false;
  std::vector<char> m_buffer;
};

// The size of the file at path, 64-bit; nullopt when its status is not available.
std::optional<uint64_t> GetFileSize(const CString& path);
