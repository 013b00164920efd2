#include "ui/terminal_front_end.h"

#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>

#include "platform/text.h"

namespace {

constexpr int kBarWidth = 30;

std::string FormatBytes(double bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (bytes >= 1024.0 && unit < 4) {
    bytes /= 1024.0;
    ++unit;
  }
  char text[32];
  if (unit == 0)
    snprintf(text, sizeof text, "%.0f B", bytes);
  else
    snprintf(text, sizeof text, "%.1f %s", bytes, kUnits[unit]);
  return text;
}

std::string FormatDuration(double seconds) {
  auto total = static_cast<long long>(seconds + 0.5);
  char text[32];
  if (total >= 3600)
    snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  else
    snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
  return text;
}

}  // namespace

CTerminalFrontEnd::CTerminalFrontEnd(FILE* stream, Clock clock)
    : m_stream(stream), m_bTerminal(isatty(fileno(stream)) == 1), m_clock(std::move(clock)) {}

void CTerminalFrontEnd::ShowMessageBox(const CString& caption, const CString& text,
                                       bool /*ownedByProgressWindow*/) {
  EndBarLine();
  std::string line = ToUtf8(caption) + ": " + ToUtf8(text) + "\n";
  fputs(line.c_str(), m_stream);
  fflush(m_stream);
}

void CTerminalFrontEnd::CreateProgressWindow() {
  if (m_bWindow) return;
  m_bar = CProgressBarState();
  m_bytesPerUnit = 1;
  m_bWindow = true;
  m_started = m_clock();
  m_startPosition = m_bar.GetPosition();
  DrawBar(true);
}

void CTerminalFrontEnd::SetProgressRange(int64_t upper) {
  m_bar.SetRange(upper);
  m_startPosition = std::min(m_startPosition, m_bar.GetPosition());
  DrawBar(true);
}

void CTerminalFrontEnd::SetProgressUnit(uint64_t bytesPerUnit) {
  m_bytesPerUnit = bytesPerUnit > 0 ? static_cast<double>(bytesPerUnit) : 1.0;
}

void CTerminalFrontEnd::AdvanceProgress(uint64_t bytes) {
  m_bar.Advance(bytes);
  DrawBar(false);
}

void CTerminalFrontEnd::DestroyProgressWindow() {
  if (!m_bWindow) return;
  DrawBar(true);
  EndBarLine();
  m_bWindow = false;
}

void CTerminalFrontEnd::DrawBar(bool force) {
  if (!m_bTerminal || !m_bWindow) return;
  auto now = m_clock();
  if (!force && m_bBarOnLine && now - m_lastDrawn < kRedrawInterval) return;
  m_lastDrawn = now;

  double fraction = m_bar.GetFraction();
  int filled = m_bar.GetFilledWidth(kBarWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '-');
  double seconds = std::chrono::duration<double>(now - m_started).count();
  double moved = static_cast<double>(m_bar.GetPosition() - m_startPosition) * m_bytesPerUnit;
  std::string rate = "--", left = "--:--";
  if (seconds > 0 && moved > 0) {
    double perSecond = moved / seconds;
    rate = FormatBytes(perSecond) + "/s";
    double remaining = static_cast<double>(m_bar.GetUpper() - m_bar.GetPosition()) * m_bytesPerUnit;
    left = FormatDuration(remaining > 0 ? remaining / perSecond : 0.0);
  }
  // "\033[K" clears what a longer earlier line left to the right.
  fprintf(m_stream, "\r[%s] %3d%%  %s of %s  %s  %s left\033[K", bar.c_str(),
          static_cast<int>(fraction * 100),
          FormatBytes(static_cast<double>(m_bar.GetPosition()) * m_bytesPerUnit).c_str(),
          FormatBytes(static_cast<double>(std::max<int64_t>(m_bar.GetUpper(), 0)) * m_bytesPerUnit)
              .c_str(),
          rate.c_str(), left.c_str());
  fflush(m_stream);
  m_bBarOnLine = true;
}

void CTerminalFrontEnd::EndBarLine() {
  if (!m_bBarOnLine) return;
  fputc('\n', m_stream);
  fflush(m_stream);
  m_bBarOnLine = false;
}
