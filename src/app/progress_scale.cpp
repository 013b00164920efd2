#include "app/progress_scale.h"

#include <cstdint>
#include <limits>

void CScaledProgress::SetTotal(uint64_t totalBytes) {
  constexpr uint64_t kMaxRange = std::numeric_limits<int32_t>::max();
  // Rounded up without adding first, which could wrap for the largest totals.
  m_bytesPerUnit = totalBytes / kMaxRange + (totalBytes % kMaxRange != 0 ? 1 : 0);
  if (m_bytesPerUnit == 0) m_bytesPerUnit = 1;
  m_bytes = 0;
  m_unitsSent = 0;
  if (m_window) {
    m_window->SetTotal(static_cast<int64_t>(totalBytes / m_bytesPerUnit), m_bytesPerUnit);
  }
}

void CScaledProgress::OnDownloadProgress(uint64_t wParam, int64_t lParam) {
  m_bytes += wParam;
  uint64_t units = m_bytes / m_bytesPerUnit;
  uint64_t increment = units - m_unitsSent;
  m_unitsSent = units;
  if (m_window) m_window->OnDownloadProgress(increment, lParam);
}
