// A progress receiver for tests: it keeps every WM_DOWNLOAD_PROGRESS it is sent.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/download_dlg.h"

class CRecordingSink : public CProgressSink {
 public:
  struct Message {
    uint64_t wParam;
    int64_t lParam;
  };

  void OnDownloadProgress(uint64_t wParam, int64_t lParam) override {
    messages.push_back({wParam, lParam});
  }

  // The sum of the chunk sizes reported.
  uint64_t SumOfChunks() const {
    uint64_t sum = 0;
    for (const Message& message : messages) sum += message.wParam;
    return sum;
  }
  // How many messages closed an attempt (wParam 0).
  int ClosingMessages() const {
    int count = 0;
    for (const Message& message : messages) count += message.wParam == 0 ? 1 : 0;
    return count;
  }

  std::vector<Message> messages;
};
