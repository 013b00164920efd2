#include "ui/front_end.h"

#include <algorithm>

#include "ui/terminal_front_end.h"

namespace {

CFrontEnd*& CurrentFrontEnd() {
  static CFrontEnd* current = nullptr;
  return current;
}

}  // namespace

CFrontEnd& FrontEnd() {
  if (CFrontEnd* current = CurrentFrontEnd()) return *current;
  static CTerminalFrontEnd terminal;
  return terminal;
}

void SetFrontEnd(CFrontEnd* frontEnd) { CurrentFrontEnd() = frontEnd; }

void CProgressBarState::Advance(uint64_t bytes) {
  if (m_position >= m_upper) return;
  uint64_t room = static_cast<uint64_t>(m_upper - m_position);
  m_position += static_cast<int64_t>(std::min(bytes, room));
}

double CProgressBarState::GetFraction() const {
  if (m_upper <= 0) return 0.0;
  return std::clamp(static_cast<double>(m_position) / static_cast<double>(m_upper), 0.0, 1.0);
}
