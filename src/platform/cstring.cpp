#include "platform/cstring.h"

#include <algorithm>
#include <ostream>

#include "platform/text.h"

CString::CString(const char* utf8) : m_str(FromUtf8(utf8 ? utf8 : "").str()) {}

CString::CString(const std::string& utf8) : m_str(FromUtf8(utf8).str()) {}

int CString::Find(const CString& sub, int start) const {
  if (start < 0) start = 0;
  if (start > GetLength()) return -1;
  size_t pos = m_str.find(sub.m_str, static_cast<size_t>(start));
  return pos == std::u16string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(char16_t ch, int start) const {
  if (start < 0) start = 0;
  if (start >= GetLength()) return -1;
  size_t pos = m_str.find(ch, static_cast<size_t>(start));
  return pos == std::u16string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char16_t ch) const {
  size_t pos = m_str.rfind(ch);
  return pos == std::u16string::npos ? -1 : static_cast<int>(pos);
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
  first = std::clamp(first, 0, GetLength());
  count = std::clamp(count, 0, GetLength() - first);
  return CString(m_str.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Left(int count) const { return Mid(0, count); }

CString CString::Right(int count) const {
  count = std::clamp(count, 0, GetLength());
  return Mid(GetLength() - count, count);
}

CString& CString::MakeUpper() {
  for (char16_t& ch : m_str) {
    if (ch >= u'a' && ch <= u'z') ch = static_cast<char16_t>(ch - u'a' + u'A');
  }
  return *this;
}

CString& CString::MakeLower() {
  for (char16_t& ch : m_str) {
    if (ch >= u'A' && ch <= u'Z') ch = static_cast<char16_t>(ch - u'A' + u'a');
  }
  return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }

CString& CString::TrimLeft() {
  size_t i = 0;
  while (i < m_str.size() && IsWhiteSpace(m_str[i])) ++i;
  m_str.erase(0, i);
  return *this;
}

CString& CString::TrimRight() {
  size_t n = m_str.size();
  while (n > 0 && IsWhiteSpace(m_str[n - 1])) --n;
  m_str.resize(n);
  return *this;
}

int CString::Replace(char16_t ch, char16_t by) {
  int n = 0;
  for (char16_t& c : m_str) {
    if (c == ch) {
      c = by;
      ++n;
    }
  }
  return n;
}

bool IsWhiteSpace(char16_t ch) {
  if (ch <= 0xFF) return (ch >= 0x09 && ch <= 0x0D) || ch == 0x20;
  return ch == 0x1680 || (ch >= 0x2000 && ch <= 0x200A) || ch == 0x2028 || ch == 0x2029 ||
         ch == 0x202F || ch == 0x205F || ch == 0x3000;
}

void PrintTo(const CString& text, std::ostream* os) { *os << '"' << ToUtf8(text) << '"'; }
