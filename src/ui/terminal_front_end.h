// The front end without a display: message boxes become lines "caption: text" on standard
// error, without waiting, and the progress bar is drawn there when it is a terminal.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>

#include "ui/front_end.h"

class CTerminalFrontEnd : public CFrontEnd {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // Writes to stream (standard error unless given); draws the bar only when it is a terminal.
  // The clock times the redraws and the rate; tests hand in one of their own.
  explicit CTerminalFrontEnd(FILE* stream = stderr, Clock clock = std::chrono::steady_clock::now);

  void ShowMessageBox(const CString& caption, const CString& text,
                      bool ownedByProgressWindow) override;
  void CreateProgressWindow() override;
  void SetProgressRange(int64_t upper) override;
  void SetProgressUnit(uint64_t bytesPerUnit) override;
  // Redraws the bar at most about ten times a second.
  void AdvanceProgress(uint64_t bytes) override;
  void LeaveTopBand() override {}
  // Draws the final state and ends its line.
  void DestroyProgressWindow() override;

  // Shortest time between two redraws of the bar.
  static constexpr std::chrono::milliseconds kRedrawInterval{100};

 private:
  void DrawBar(bool force);
  void EndBarLine();

  FILE* m_stream;
  bool m_bTerminal;
  Clock m_clock;
  bool m_bWindow = false;
  bool m_bBarOnLine = false;
  CProgressBarState m_bar;
  std::chrono::steady_clock::time_point m_started;
  std::chrono::steady_clock::time_point m_lastDrawn;
  int64_t m_startPosition = 0;
  double m_bytesPerUnit = 1;
};
