// The progress window of a run, and the receiving side of the progress protocol.
#pragma once

#include <cstdint>

#include "ui/front_end.h"

// WM_DOWNLOAD_PROGRESS (WM_USER + 100): the message a transfer sends for every chunk it hands
// to the file, and once with 0 at the end of every attempt that reached its read loop.
constexpr unsigned WM_DOWNLOAD_PROGRESS = 0x464;

// Whatever receives WM_DOWNLOAD_PROGRESS. The sender waits until it has been handled.
class CProgressSink {
 public:
  virtual ~CProgressSink() = default;
  // wParam: bytes of the chunk just handed to the file (also when that write failed), or 0 at
  // the end of an attempt. lParam: the attempt's running total, dropped chunks included.
  virtual void OnDownloadProgress(uint64_t wParam, int64_t lParam) = 0;
};

// The progress window, shown through the process's front end. It exists between Create and
// DestroyWindow; destroying the object removes a window that is still there.
class CDownloadDlg : public CProgressSink {
 public:
  CDownloadDlg() = default;
  CDownloadDlg(const CDownloadDlg&) = delete;
  CDownloadDlg& operator=(const CDownloadDlg&) = delete;
  ~CDownloadDlg() override;

  // Creates the window above all others, painted, with the bar at 1 of 0..100.
  void Create();
  bool IsWindow() const { return m_bWindow; }
  // The bar's range becomes 0 to total; the position stays where it is. bytesPerUnit: the bytes
  // one unit stands for, when the total was scaled to fit the bar.
  void SetTotal(int64_t total, uint64_t bytesPerUnit = 1);
  // Moves the bar on by wParam and repaints it; 0 repaints without moving.
  void OnDownloadProgress(uint64_t wParam, int64_t lParam) override;
  // Takes the window out of the top band (before it is destroyed after a failed setup).
  void LeaveTopBand();
  void DestroyWindow();

 private:
  bool m_bWindow = false;
};
