// The transfer of one URL into one local file, with its retries and its checks.
#pragma once

#include <cstdint>

#include "platform/cstring.h"

class CProgressSink;
class CHttpRequest;

// Downloads url into localPath (whose folder must exist) in up to four attempts. A file already
// at localPath is set aside as localPath + " Before Download" and put back when an attempt
// fails. Each written chunk is reported to progressWindow (when given) as WM_DOWNLOAD_PROGRESS.
// True when an attempt stored a body of exactly the announced Content-Length.
bool DownloadFile(CString url, CString localPath, CProgressSink* progressWindow);

// The Content-Length of an open response, 0 when there is none or no response.
uint64_t GetContentLength(const CHttpRequest* request);

// The text between the only "<TAG>" and the only "</TAG>" of text, upper-cased; empty in every
// other case.
CString GetTagText(CString text, CString tag);

// Milliseconds since start on the 32-bit tick counter, right across its wrap.
uint32_t GetElapsedTicks(uint32_t start);
uint32_t GetTickCount();
