#include "platform/text.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;
// A byte that is not part of valid UTF-8 travels as the lone surrogate U+DC80 to U+DCFF and
// becomes the same byte again, so that any file name the system gives can be handed back to it.
constexpr char16_t kEscapedByteBase = 0xDC00;

bool IsEscapedByte(char32_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

// Windows-1252 from 0x80 to 0x9F; the unassigned bytes keep their own number.
constexpr char16_t kAnsiHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

}  // namespace

std::string ToUtf8(const CString& text) {
  const std::u16string& s = text.str();
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (IsEscapedByte(cp)) {
      out += static_cast<char>(cp - kEscapedByteBase);
      continue;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

CString FromUtf8(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  size_t i = 0;
  const size_t n = utf8.size();
  while (i < n) {
    unsigned char b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      extra = 1, cp = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2, cp = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3, cp = b & 0x07, min = 0x10000;
    } else {
      out += static_cast<char16_t>(kEscapedByteBase + b);
      ++i;
      continue;
    }
    bool valid = i + static_cast<size_t>(extra) < n;
    for (int k = 1; valid && k <= extra; ++k) {
      unsigned char c = static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]);
      if ((c & 0xC0) != 0x80) {
        valid = false;
      } else {
        cp = (cp << 6) | (c & 0x3F);
      }
    }
    if (!valid || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out += static_cast<char16_t>(kEscapedByteBase + b);
      ++i;
      continue;
    }
    AppendUtf16(out, cp);
    i += static_cast<size_t>(extra) + 1;
  }
  return CString(std::move(out));
}

char16_t AnsiToWide(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kAnsiHigh[byte - 0x80];
  return static_cast<char16_t>(byte);
}

CString DecodeAnsi(const unsigned char* bytes, size_t count) {
  std::u16string out(count, u'\0');
  for (size_t i = 0; i < count; ++i) out[i] = AnsiToWide(bytes[i]);
  return CString(std::move(out));
}
