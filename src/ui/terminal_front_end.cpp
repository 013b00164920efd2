#include "ui/terminal_front_end.h"

#include <unistd.h>

#include <string>

#include "platform/text.h"

CTerminalFrontEnd::CTerminalFrontEnd(FILE* stream)
    : m_stream(stream), m_bTerminal(isatty(fileno(stream)) == 1) {}

void CTerminalFrontEnd::ShowMessageBox(const CString& caption, const CString& text,
                                       bool /*ownedByProgressWindow*/) {
  EndBarLine();
  std::string line = ToUtf8(caption) + ": " + ToUtf8(text) + "\n";
  fputs(line.c_str(), m_stream);
  fflush(m_stream);
}

void CTerminalFrontEnd::CreateProgressWindow() {
  m_bar = CProgressBarState();
  m_bWindow = true;
  DrawBar();
}

void CTerminalFrontEnd::SetProgressRange(int64_t upper) {
  m_bar.SetRange(upper);
  DrawBar();
}

void CTerminalFrontEnd::AdvanceProgress(uint64_t bytes) {
  m_bar.Advance(bytes);
  DrawBar();
}

void CTerminalFrontEnd::DestroyProgressWindow() {
  if (!m_bWindow) return;
  DrawBar();
  EndBarLine();
  m_bWindow = false;
}

void CTerminalFrontEnd::DrawBar() {
  if (!m_bTerminal || !m_bWindow) return;
  constexpr int kWidth = 40;
  double fraction = m_bar.GetFraction();
  int filled = static_cast<int>(fraction * kWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kWidth - filled), '-');
  fprintf(m_stream, "\r[%s] %3d%%", bar.c_str(), static_cast<int>(fraction * 100));
  fflush(m_stream);
  m_bBarOnLine = true;
}

void CTerminalFrontEnd::EndBarLine() {
  if (!m_bBarOnLine) return;
  fputc('\n', m_stream);
  fflush(m_stream);
  m_bBarOnLine = false;
}
