// The front end without a display: message boxes become lines "caption: text" on standard
// error, without waiting, and the progress bar is drawn on standard error when that is a
// terminal.
#pragma once

#include <cstdio>

#include "ui/front_end.h"

class CTerminalFrontEnd : public CFrontEnd {
 public:
  // Writes to stream (standard error unless given); draws the bar only when it is a terminal.
  explicit CTerminalFrontEnd(FILE* stream = stderr);

  void ShowMessageBox(const CString& caption, const CString& text,
                      bool ownedByProgressWindow) override;
  void CreateProgressWindow() override;
  void SetProgressRange(int64_t upper) override;
  void AdvanceProgress(uint64_t bytes) override;
  void LeaveTopBand() override {}
  void DestroyProgressWindow() override;

 private:
  void DrawBar();
  void EndBarLine();

  FILE* m_stream;
  bool m_bTerminal;
  bool m_bWindow = false;
  bool m_bBarOnLine = false;
  CProgressBarState m_bar;
};
