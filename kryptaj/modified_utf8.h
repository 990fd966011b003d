// Modified UTF-8, the virtual machine's own string form: characters 1 to 127 as one byte,
// the others up to U+07FF (and U+0000) as two bytes, the rest of the basic plane as three.
// The bridge encodes its result bytes with it; the test machines decode what they are given.
#ifndef KRYPTAJ_MODIFIED_UTF8_H
#define KRYPTAJ_MODIFIED_UTF8_H

#include <cstddef>
#include <string>

// Each of count bytes (none of them zero) as the character of the same value, zero-terminated.
// out holds at least 2 * count + 1 bytes. Returns the encoded length.
inline std::size_t bytes_to_modified_utf8(const unsigned char* bytes, std::size_t count,
                                          char* out) {
  std::size_t length = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char b = bytes[i];
    if (b < 0x80) {
      out[length++] = static_cast<char>(b);
    } else {
      out[length++] = static_cast<char>(0xC0 | (b >> 6));
      out[length++] = static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  out[length] = '\0';
  return length;
}

// The characters of a zero-terminated modified UTF-8 text; false when it is malformed (a
// stray or missing continuation byte, a form longer than needed other than U+0000's two
// bytes, or a lead byte of four bytes or more).
inline bool modified_utf8_to_utf16(const char* text, std::u16string& out) {
  out.clear();
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const auto continuation = [](unsigned char c) { return (c & 0xC0) == 0x80; };
  while (*p != 0) {
    if (*p < 0x80) {
      out.push_back(*p++);
    } else if ((*p & 0xE0) == 0xC0) {
      if (!continuation(p[1])) return false;
      const char16_t c = static_cast<char16_t>(((p[0] & 0x1F) << 6) | (p[1] & 0x3F));
      if (c != 0 && c < 0x80) return false;
      out.push_back(c);
      p += 2;
    } else if ((*p & 0xF0) == 0xE0) {
      if (!continuation(p[1]) || !continuation(p[2])) return false;
      const char16_t c =
          static_cast<char16_t>(((p[0] & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
      if (c < 0x800) return false;
      out.push_back(c);
      p += 3;
    } else {
      return false;
    }
  }
  return true;
}

#endif
