// A front end for tests: it records what a person would have seen, and its message boxes
// return at once.
#pragma once

#include <string>
#include <vector>

#include "ui/front_end.h"

class CRecordingFrontEnd : public CFrontEnd {
 public:
  struct MessageBox {
    std::string caption;
    std::string text;
    bool ownedByProgressWindow;
  };

  // Installs itself as the process's front end; the terminal one comes back at destruction.
  CRecordingFrontEnd();
  ~CRecordingFrontEnd() override;

  void ShowMessageBox(const CString& caption, const CString& text,
                      bool ownedByProgressWindow) override;
  void CreateProgressWindow() override;
  void SetProgressRange(int64_t upper) override;
  void AdvanceProgress(uint64_t bytes) override;
  void LeaveTopBand() override;
  void DestroyProgressWindow() override;

  // Every box shown, in order.
  std::vector<MessageBox> boxes;
  // The window's life as lines: "create", "range 1000", "advance 1024", "leave-top",
  // "destroy", and "box <text>" for boxes, in order.
  std::vector<std::string> events;
  // The bar as it stands.
  CProgressBarState bar;
  bool windowExists = false;
  bool windowTopmost = false;
};
