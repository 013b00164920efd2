#include "ui/download_dlg.h"

CDownloadDlg::~CDownloadDlg() { DestroyWindow(); }

void CDownloadDlg::Create() {
  if (m_bWindow) return;
  FrontEnd().CreateProgressWindow();
  m_bWindow = true;
}

void CDownloadDlg::SetTotal(int64_t total, uint64_t bytesPerUnit) {
  if (!m_bWindow) return;
  FrontEnd().SetProgressUnit(bytesPerUnit);
  FrontEnd().SetProgressRange(total);
}

void CDownloadDlg::OnDownloadProgress(uint64_t wParam, int64_t /*lParam*/) {
  if (m_bWindow) FrontEnd().AdvanceProgress(wParam);
}

void CDownloadDlg::LeaveTopBand() {
  if (m_bWindow) FrontEnd().LeaveTopBand();
}

void CDownloadDlg::DestroyWindow() {
  if (!m_bWindow) return;
  m_bWindow = false;
  FrontEnd().DestroyProgressWindow();
}
