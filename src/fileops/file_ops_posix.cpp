#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fileops/file_ops.h"
#include "fileops/split_path.h"
#include "platform/text.h"
#include "platform/timing.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace {

// The one place where errno becomes an answer: does this error mean "nothing is there"?
bool IsNotThereError(int error) {
  return error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG;
}

// "Set the attributes to normal": the owner may read and write. Its outcome is not needed.
void MakeOwnerReadWrite(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IRUSR | S_IWUSR)) != (S_IRUSR | S_IWUSR)) {
    chmod(path.c_str(), (st.st_mode & 07777) | S_IRUSR | S_IWUSR);
  }
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A rename that cannot replace: renameat2 where the file system has it, else a hard link and
// an unlink, which fails on an existing target just the same.
bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (link(from.c_str(), to.c_str()) != 0) return false;
  if (unlink(from.c_str()) != 0) {
    unlink(to.c_str());
    return false;
  }
  return true;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool CopyContent(int in, int out) {
  char buffer[64 * 1024];
  for (;;) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (!WriteAll(out, buffer, static_cast<size_t>(n))) return false;
  }
}

// Deletes a file; one that is not there counts as deleted. A second try follows once the owner
// has been given read and write permission.
bool DeletePath(const std::string& path) {
  if (unlink(path.c_str()) == 0) return true;
  if (IsNotThereError(errno)) return true;
  MakeOwnerReadWrite(path);
  return unlink(path.c_str()) == 0;
}

}  // namespace

bool FileExists(CString path) {
  struct stat st;
  return stat(ToUtf8(path).c_str(), &st) == 0;
}

bool RenameFileInFolder(CString folder, CString oldName, CString newName) {
  std::string from = ToUtf8(JoinFolderAndName(folder, oldName));
  std::string to = ToUtf8(JoinFolderAndName(folder, newName));
  MakeOwnerReadWrite(from);
  return RenameNoReplace(from, to);
}

bool DeleteFileInFolder(CString folder, CString name) {
  return DeletePath(ToUtf8(JoinFolderAndName(folder, name)));
}

bool CreateFolderPath(CString path) {
  int i = path.Find(u'/');
  if (i < 0) return true;
  // A relative path has no root: its first name is made like any other.
  if (i > 0) i = -1;
  for (;;) {
    i = path.Find(u'/', i + 1);
    if (i < 0) i = path.GetLength();
    std::string prefix = ToUtf8(path.Left(i));
    if (mkdir(prefix.c_str(), 0777) != 0) {
      // Something else standing at the name is no folder, and the path cannot be made.
      if (errno != EEXIST || !IsFolder(prefix)) return false;
    }
    if (i >= path.GetLength()) return true;
  }
}

bool RemoveFolder(CString path) {
  std::string folder = ToUtf8(path);
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      // The name is used as the system gave it, so that no name is lost to a conversion.
      std::string entryPath = folder + "/" + entry->d_name;
      if (!IsFolder(entryPath)) DeletePath(entryPath);
    }
    closedir(dir);
  }
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (attempt > 0) SleepFor(TimingSettings().removeFolderRetryWait);
    if (rmdir(folder.c_str()) == 0) return true;
  }
  return false;
}

bool CopyFileToFolder(CString sourcePath, CString destinationFolder) {
  CString folderPart, name;
  SplitPath(sourcePath, folderPart, name);
  std::string source = ToUtf8(sourcePath);
  std::string target = ToUtf8(destinationFolder + u'/' + name);
  MakeOwnerReadWrite(target);

  // Not blocking: opening a named pipe would otherwise wait for a writer before the type check.
  int in = open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) return false;
  struct stat from;
  struct stat to;
  // Copying a file onto itself would cut it to nothing before reading it.
  if (fstat(in, &from) != 0 || !S_ISREG(from.st_mode) ||
      (stat(target.c_str(), &to) == 0 && to.st_dev == from.st_dev && to.st_ino == from.st_ino)) {
    close(in);
    return false;
  }
  int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (out < 0) {
    close(in);
    return false;
  }
  bool ok = CopyContent(in, out);
  ok = fchmod(out, from.st_mode & 0777) == 0 && ok;
  ok = close(out) == 0 && ok;
  close(in);
  return ok;
}
