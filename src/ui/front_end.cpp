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

void CProgressBarState::SetRange(int64_t upper) {
  m_upper = upper;
  m_position = std::clamp<int64_t>(m_position, 0, std::max<int64_t>(upper, 0));
}

void CProgressBarState::Advance(uint64_t bytes) {
  if (m_position >= m_upper) return;
  uint64_t room = static_cast<uint64_t>(m_upper - m_position);
  m_position += static_cast<int64_t>(std::min(bytes, room));
}

double CProgressBarState::GetFraction() const {
  if (m_upper <= 0) return 0.0;
  return std::clamp(static_cast<double>(m_position) / static_cast<double>(m_upper), 0.0, 1.0);
}

int CProgressBarState::GetFilledWidth(int width) const {
  if (m_upper <= 0 || width <= 0) return 0;
  // Exact in 128 bits for any position and range.
  __int128 filled = static_cast<__int128>(m_position) * width / m_upper;
  return static_cast<int>(std::clamp<__int128>(filled, 0, width));
}
