// CDownloader: the setup flow's entry to the network.
#pragma once

#include "platform/cstring.h"

class CProgressSink;

class CDownloader {
 public:
  virtual ~CDownloader();
  // False at once, touching nothing, when the system reports no network connection; otherwise
  // the result of DownloadFile, run on the calling thread.
  bool StartDownload(CString url, CString localPath, CProgressSink* progressWindow);
};
