#include "support/recording_front_end.h"

#include "platform/text.h"

CRecordingFrontEnd::CRecordingFrontEnd() { SetFrontEnd(this); }

CRecordingFrontEnd::~CRecordingFrontEnd() { SetFrontEnd(nullptr); }

void CRecordingFrontEnd::ShowMessageBox(const CString& caption, const CString& text,
                                        bool ownedByProgressWindow) {
  boxes.push_back({ToUtf8(caption), ToUtf8(text), ownedByProgressWindow});
  events.push_back("box " + ToUtf8(text));
}

void CRecordingFrontEnd::CreateProgressWindow() {
  bar = CProgressBarState();
  windowExists = true;
  windowTopmost = true;
  events.push_back("create");
}

void CRecordingFrontEnd::SetProgressRange(int64_t upper) {
  bar.SetRange(upper);
  events.push_back("range " + std::to_string(upper));
}

void CRecordingFrontEnd::AdvanceProgress(uint64_t bytes) {
  bar.Advance(bytes);
  events.push_back("advance " + std::to_string(bytes));
}

void CRecordingFrontEnd::LeaveTopBand() {
  windowTopmost = false;
  events.push_back("leave-top");
}

void CRecordingFrontEnd::DestroyProgressWindow() {
  windowExists = false;
  events.push_back("destroy");
}
