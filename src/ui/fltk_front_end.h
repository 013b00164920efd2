// The desktop front end: the progress window and the warning boxes as FLTK windows on an X
// display. There is one display per process; it stays open until the process ends.
//
// The display may go away while the run goes on (the user logs out, the X server restarts).
// From then on the front end touches neither the toolkit nor the connection again and behaves
// like the terminal front end without a terminal: a box is one line "caption: text" on standard
// error, and the progress window is gone.
#pragma once

#include <memory>

#include "ui/front_end.h"

class CFltkFrontEnd : public CFrontEnd {
 public:
  // The front end on the display that DISPLAY names, or nullptr when it cannot be opened or
  // the process's display has been lost.
  static std::unique_ptr<CFltkFrontEnd> Open();
  // Whether the connection to the X server broke (the server ended or closed it). It never
  // comes back: the toolkit keeps one display for the life of the process.
  static bool DisplayLost();
  ~CFltkFrontEnd() override;

  // A modal dialog titled caption with a warning sign, the text and one OK button; returns once
  // it is closed (OK, Enter, Escape or the window manager's close). Once the display is lost
  // (also while the box is open) the box is the line "caption: text" on standard error.
  void ShowMessageBox(const CString& caption, const CString& text,
                      bool ownedByProgressWindow) override;
  // A borderless 465 x 283 window named "Corvanel", centred and above the others, holding the
  // picture and the bar; it is on screen and painted when this returns.
  void CreateProgressWindow() override;
  void SetProgressRange(int64_t upper) override;
  // Repaints the bar before returning, but only when its filled width in pixels changes (or
  // when bytes is 0), so that a large download costs a few hundred repaints, not millions.
  void AdvanceProgress(uint64_t bytes) override;
  void LeaveTopBand() override;
  void DestroyProgressWindow() override;

  // What the bar shows, for tests and benchmarks.
  const CProgressBarState& Bar() const { return m_bar; }
  // Filled width of the bar in pixels, and how often the bar has been painted.
  int FilledWidth() const { return m_nFilled; }
  long RepaintCount() const { return m_nRepaints; }

 private:
  class CWindow;
  CFltkFrontEnd();
  void RepaintBar();
  // True once the display is lost; the window is then left as it is, never touched again.
  bool AbandonIfLost();
  // Shows the box and waits until it is closed; false when the display was lost before that.
  bool RunMessageBox(const CString& caption, const CString& text, bool ownedByProgressWindow);

  std::unique_ptr<CWindow> m_window;
  CProgressBarState m_bar;
  int m_nFilled = 0;
  long m_nRepaints = 0;
  bool m_bWindowManager = false;
  bool m_bTopBand = false;
};
