#include "download/downloader.h"

#include "download/http_transfer.h"
#include "platform/network.h"

CDownloader::~CDownloader() = default;

bool CDownloader::StartDownload(CString url, CString localPath, CProgressSink* progressWindow) {
  if (!InternetGetConnectedState()) return false;
  return DownloadFile(url, localPath, progressWindow);
}
