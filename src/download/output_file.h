// The file a transfer writes: created or cut to length 0, write access only, bytes as they come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

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
  // Writes all size bytes. False when the file is not open or not every byte was written
  // (a full disk, a file size limit, a device error).
  bool Write(const void* data, size_t size);
  void Close();

 private:
  int m_fd = -1;
};

// The size of the file at path, 64-bit; nullopt when its status is not available.
std::optional<uint64_t> GetFileSize(const CString& path);
