// Conversions between CString and the byte encodings the system meets: UTF-8 for the operating
// system, Windows-1252 for 8-bit descriptions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/cstring.h"

// UTF-16 to UTF-8. A lone surrogate from U+DC80 to U+DCFF becomes the byte it stands for (see
// FromUtf8); any other lone surrogate becomes U+FFFD.
std::string ToUtf8(const CString& text);

// UTF-8 to UTF-16. Each byte that is not part of a valid sequence becomes the lone surrogate
// U+DC00 + byte, so that ToUtf8 gives back the same bytes: a file name that is not valid UTF-8
// survives the round trip.
CString FromUtf8(std::string_view utf8);

// The 8-bit code page of descriptions, Windows-1252: 0x80 to 0x9F follow its table, its five
// unassigned bytes map to the code point of the same number, every other byte to itself.
// Decodes all count bytes; stopping at a zero byte is the caller's rule.
CString DecodeAnsi(const unsigned char* bytes, size_t count);
char16_t AnsiToWide(unsigned char byte);
