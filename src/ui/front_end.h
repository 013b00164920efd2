// What the system shows a person: blocking warning boxes and the progress window. The desktop
// window, the terminal and the tests' recorder each implement it.
#pragma once

#include <cstdint>

#include "platform/cstring.h"

class CFrontEnd {
 public:
  virtual ~CFrontEnd() = default;

  // A warning box with the caption, the text and one OK button; returns once it is closed.
  // ownedByProgressWindow: the box belongs to the progress window while that exists (the
  // driver's boxes); the tag-file reader's boxes have no owner.
  virtual void ShowMessageBox(const CString& caption, const CString& text,
                              bool ownedByProgressWindow) = 0;

  // Creates the progress window, puts it above all other windows, brings it to the foreground
  // and paints it at once: range 0 to 100, position 1.
  virtual void CreateProgressWindow() = 0;
  // The bar's range becomes 0 to upper; its position stays.
  virtual void SetProgressRange(int64_t upper) = 0;
  // How many bytes one unit of the range and of the increments stands for (1 unless a total
  // too large for the bar was scaled down). Only what is shown as bytes depends on it.
  virtual void SetProgressUnit(uint64_t bytesPerUnit) { (void)bytesPerUnit; }
  // The bar moves on by bytes, held at the end of its range and never back; 0 only repaints.
  // The bar is current when this returns: no event loop runs between calls.
  virtual void AdvanceProgress(uint64_t bytes) = 0;
  // Takes the window out of the band of windows kept above the others.
  virtual void LeaveTopBand() = 0;
  // Removes the window. Calls without a window are ignored.
  virtual void DestroyProgressWindow() = 0;
};

// The front end of the process. Until SetFrontEnd is called it is the terminal front end.
CFrontEnd& FrontEnd();
// Makes frontEnd the process's front end (not owned); nullptr puts the terminal one back.
void SetFrontEnd(CFrontEnd* frontEnd);

// The bar's arithmetic, shared by every front end: range 0..upper, a position that starts at 1,
// only grows, and is held at the end of the range.
class CProgressBarState {
 public:
  // A position beyond the new range is brought back to its end.
  void SetRange(int64_t upper);
  void Advance(uint64_t bytes);
  int64_t GetUpper() const { return m_upper; }
  int64_t GetPosition() const { return m_position; }
  // The filled share of the bar, 0 to 1.
  double GetFraction() const;
  // How many of a bar's width pixels are filled: the position's share, rounded down.
  int GetFilledWidth(int width) const;

 private:
  int64_t m_upper = 100;
  int64_t m_position = 1;
};
