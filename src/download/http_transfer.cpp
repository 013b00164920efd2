#include "download/http_transfer.h"

#include <chrono>
#include <memory>

#include "download/output_file.h"
#include "fileops/file_ops.h"
#include "fileops/split_path.h"
#include "platform/http_client.h"
#include "platform/text.h"
#include "platform/timing.h"
#include "ui/download_dlg.h"

namespace {

constexpr int kAttempts = 4;
constexpr size_t kChunkSize = 1024;
constexpr const char* kSetAsideSuffix = " Before Download";
constexpr const char* kTitleTag = "TITLE";
constexpr const char* kErrorPageMark = "404";
// The grace re-reads and re-compares at this pace instead of spinning a core.
constexpr std::chrono::milliseconds kGracePollInterval{5};

// The chunk as single-byte text, ending early at a zero byte.
CString ChunkAsText(const unsigned char* bytes, size_t count) {
  size_t length = 0;
  while (length < count && bytes[length] != 0) ++length;
  return DecodeAnsi(bytes, length);
}

bool IsErrorPageChunk(const unsigned char* bytes, size_t count) {
  return GetTagText(ChunkAsText(bytes, count), kTitleTag).Find(kErrorPageMark) >= 0;
}

struct CAttemptResult {
  bool ok = false;
  // A write failed: no further attempt follows.
  bool writeFailed = false;
};

// Steps of one attempt from the open response to the end of its read loop, including the
// closing progress message.
CAttemptResult ReadBody(CHttpRequest& request, COutputFile& file, const CString& localPath,
                        CProgressSink* progressWindow) {
  CAttemptResult result;
  const uint64_t expectedSize = GetContentLength(&request);
  int64_t runningTotal = 0;
  bool graceStarted = false;
  uint32_t graceStart = 0;
  unsigned char chunk[kChunkSize] = {};

  for (;;) {
    size_t count = 0;
    if (!request.Read(chunk, kChunkSize, count)) {
      result.ok = false;
      break;
    }
    if (count == 0) {
      // The last buffered chunks reach the disk here; failing that is a failed write.
      if (!file.Close()) {
        result.ok = false;
        result.writeFailed = true;
        break;
      }
      std::optional<uint64_t> size = GetFileSize(localPath);
      if (!size) {
        result.ok = false;
        break;
      }
      if (*size == expectedSize) {
        result.ok = true;
        break;
      }
      if (!graceStarted) {
        graceStarted = true;
        graceStart = GetTickCount();
      } else if (GetElapsedTicks(graceStart) >
                 static_cast<uint64_t>(TimingSettings().endOfBodyGrace.count())) {
        result.ok = false;
        break;
      }
      SleepFor(kGracePollInterval);
      continue;
    }

    runningTotal += static_cast<int64_t>(count);
    graceStarted = false;
    if (runningTotal <= static_cast<int64_t>(kChunkSize) && IsErrorPageChunk(chunk, count)) {
      count = 0;
    }
    if (count == 0) continue;
    bool written = file.Write(chunk, count);
    if (progressWindow) progressWindow->OnDownloadProgress(count, runningTotal);
    if (!written) {
      result.ok = false;
      result.writeFailed = true;
      break;
    }
  }
  if (progressWindow) progressWindow->OnDownloadProgress(0, runningTotal);
  return result;
}

}  // namespace

bool DownloadFile(CString url, CString localPath, CProgressSink* progressWindow) {
  // A path written with "\" names the same file for every step below: the test, the open, the
  // setting aside and the deletion.
  localPath.Replace(u'\\', u'/');
  COutputFile file;
  int attemptsLeft = kAttempts;
  bool ok = false;
  while (attemptsLeft > 0) {
    ok = false;
    bool setAside = false;
    CString folder, name;
    SplitPath(localPath, folder, name);
    // A bare name lies in the current folder.
    if (folder.IsEmpty()) folder = ".";
    const CString setAsideName = name + kSetAsideSuffix;

    if (FileExists(localPath)) {
      setAside = true;
      // With an older copy already set aside, the file at the path is overwritten instead.
      if (!FileExists(localPath + kSetAsideSuffix)) RenameFileInFolder(folder, name, setAsideName);
    }

    if (file.Open(localPath)) {
      std::unique_ptr<CHttpRequest> request = CHttpRequest::Open(url);
      if (request) {
        CAttemptResult attempt = ReadBody(*request, file, localPath, progressWindow);
        request.reset();
        // Bytes still buffered after a failed read reach the disk here; failing that is a
        // failed write like any other.
        if (!file.Close()) attempt.writeFailed = true;
        ok = attempt.ok;
        if (ok) return true;
        if (attempt.writeFailed) attemptsLeft = 0;
      }
      file.Close();
    }

    DeleteFileInFolder(folder, name);
    if (setAside) RenameFileInFolder(folder, setAsideName, name);
    SleepFor(TimingSettings().downloadRetryPause);
    attemptsLeft -= 1;
  }
  return ok;
}

uint64_t GetContentLength(const CHttpRequest* request) {
  if (!request) return 0;
  return request->GetContentLength().value_or(0);
}

CString GetTagText(CString text, CString tag) {
  text.MakeUpper();
  tag.MakeUpper();
  const CString open = "<" + tag + ">";
  const CString close = "</" + tag + ">";
  int openAt = text.Find(open);
  int closeAt = text.Find(close);
  if (openAt < 0 || closeAt < 0) return CString();
  if (text.Find(open, openAt + 1) >= 0 || text.Find(close, closeAt + 1) >= 0) return CString();
  int textStart = openAt + open.GetLength();
  if (closeAt < textStart) return CString();
  return text.Mid(textStart, closeAt - textStart);
}

uint32_t GetTickCount() {
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

uint32_t GetElapsedTicks(uint32_t start) { return GetTickCount() - start; }
