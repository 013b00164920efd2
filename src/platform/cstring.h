// CString: the text type of the whole system. It holds UTF-16 code units so that positions and
// lengths, and the UTF-16LE files the setup reads and writes, behave as the descriptions expect.
// Text crosses to the operating system as UTF-8 through ToUtf8 / FromUtf8 (text.h).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class CString {
 public:
  CString() = default;
  CString(std::u16string text) : m_str(std::move(text)) {}
  CString(const char16_t* text) : m_str(text) {}
  CString(std::u16string_view text) : m_str(text) {}
  // ASCII or UTF-8 text, such as the literals of the code.
  CString(const char* utf8);
  CString(const std::string& utf8);
  CString(char16_t ch, int count) : m_str(count > 0 ? count : 0, ch) {}

  int GetLength() const { return static_cast<int>(m_str.size()); }
  bool IsEmpty() const { return m_str.empty(); }
  void Empty() { m_str.clear(); }
  char16_t GetAt(int i) const { return m_str[static_cast<size_t>(i)]; }
  char16_t operator[](int i) const { return GetAt(i); }

  // Position of the first occurrence at or after start, or -1. A start beyond the end finds
  // nothing; a negative start counts as 0.
  int Find(const CString& sub, int start = 0) const;
  int Find(char16_t ch, int start = 0) const;
  // Position of the last occurrence of ch, or -1.
  int ReverseFind(char16_t ch) const;

  // Substrings; counts and positions out of range are clipped to the text.
  CString Mid(int first) const;
  CString Mid(int first, int count) const;
  CString Left(int count) const;
  CString Right(int count) const;

  // Case folding of the ASCII letters only, one unit for one, so that positions stay valid.
  CString& MakeUpper();
  CString& MakeLower();

  // Trimming with the white-space set of IsWhiteSpace.
  CString& Trim();
  CString& TrimLeft();
  CString& TrimRight();

  // Replaces every ch with by; returns the number replaced.
  int Replace(char16_t ch, char16_t by);

  const std::u16string& str() const { return m_str; }
  std::u16string& str() { return m_str; }

  CString& operator+=(const CString& other) {
    m_str += other.m_str;
    return *this;
  }
  CString& operator+=(char16_t ch) {
    m_str += ch;
    return *this;
  }
  friend CString operator+(CString a, const CString& b) { return a += b; }
  friend CString operator+(CString a, const char* b) { return a += CString(b); }
  friend CString operator+(const char* a, const CString& b) { return CString(a) += b; }
  friend CString operator+(CString a, char16_t b) { return a += b; }
  friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
  friend bool operator!=(const CString& a, const CString& b) { return a.m_str != b.m_str; }
  friend bool operator==(const CString& a, const char* b) { return a == CString(b); }
  friend bool operator!=(const CString& a, const char* b) { return !(a == CString(b)); }
  friend bool operator<(const CString& a, const CString& b) { return a.m_str < b.m_str; }

 private:
  std::u16string m_str;
};

// White space wherever text is trimmed: U+0009 to U+000D, U+0020, and above U+00FF the Unicode
// White_Space characters. Nothing from U+0080 to U+00FF counts (U+0085 and U+00A0 do not).
bool IsWhiteSpace(char16_t ch);

// Prints the text as UTF-8 (for test failure messages).
void PrintTo(const CString& text, std::ostream* os);
