// Carries the bytes of the listed files to the progress window in units that fit the bar's
// 32-bit signed range.
#pragma once

#include <cstdint>

#include "ui/download_dlg.h"

// Up to INT32_MAX bytes in all, a unit is a byte. Beyond that, the range and the increments are
// divided by the same factor, and what an increment leaves over is carried into the next, so
// that the bar still fills exactly when the announced total has arrived.
class CScaledProgress : public CProgressSink {
 public:
  // window may be null: nothing is then shown.
  explicit CScaledProgress(CDownloadDlg* window) : m_window(window) {}

  // Sets the window's range to the total in units.
  void SetTotal(uint64_t totalBytes);
  // Passes the increment on in units; an increment that completes no unit only repaints.
  void OnDownloadProgress(uint64_t wParam, int64_t lParam) override;

  uint64_t GetBytesPerUnit() const { return m_bytesPerUnit; }

 private:
  CDownloadDlg* m_window;
  uint64_t m_bytesPerUnit = 1;
  uint64_t m_bytes = 0;
  uint64_t m_unitsSent = 0;
};
