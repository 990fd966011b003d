// Our private-profile reader, reading ini files as the Windows reader does (checked case by
// case against it, see profile_test.cpp). Beyond the rules in profile.h:
// - CR alone also ends a line; blanks are space, tab, vertical tab, form feed and Ctrl-Z.
// - A section line is '[' up to the last ']' of the line; a line starting with '[' without
//   one is a key line. Keys before the first section line belong to the section "".
// - A line without '=' is a key with an empty value. Names and values end at a zero byte.
// - A file starting with a UTF-8 or UTF-16 byte-order mark is read as text in that encoding
//   and handed back in Windows code page 1252; characters that code page lacks become '?'
//   (the Windows reader may choose a look-alike letter instead). Other files are bytes.
// - The default value loses its trailing blanks and one pair of quotes.
// - Letter case is compared for ASCII letters only.
#include "platform/profile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <sys/stat.h>

#include "platform/heap.h"

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view cut_at_zero(std::string_view text) { return text.substr(0, text.find('\0')); }

std::string_view unquoted(std::string_view text) {
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.back() == text.front())
    return text.substr(1, text.size() - 2);
  return text;
}

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// Windows code page 1252 for a character, '?' where it has none.
char to_cp1252(std::uint32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  if (code == 0x81 || code == 0x8D || code == 0x8F || code == 0x90 || code == 0x9D)
    return static_cast<char>(code);
  struct special {
    std::uint16_t code;
    std::uint8_t byte;
  };
  static constexpr special specials[] = {
      {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85},
      {0x2020, 0x86}, {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A},
      {0x2039, 0x8B}, {0x0152, 0x8C}, {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92},
      {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95}, {0x2013, 0x96}, {0x2014, 0x97},
      {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B}, {0x0153, 0x9C},
      {0x017E, 0x9E}, {0x0178, 0x9F},
  };
  for (const special& s : specials)
    if (s.code == code) return static_cast<char>(s.byte);
  return '?';
}

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// UTF-8 from text[0, length) rewritten in place as code page 1252; returns the new length.
// An ill-formed piece becomes one '?'; a character beyond U+FFFF two (a UTF-16 pair).
std::size_t utf8_to_cp1252(char* text, std::size_t length) {
  const auto* in = reinterpret_cast<const unsigned char*>(text);
  std::size_t read = 0, written = 0;
  while (read < length) {
    const unsigned char lead = in[read];
    std::size_t extra = 0;
    std::uint32_t code = 0;
    unsigned char low = 0x80, high = 0xBF;  // the valid range of the second byte
    if (lead < 0x80) {
      code = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, code = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, code = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      text[written++] = '?';
      ++read;
      continue;
    }
    std::size_t taken = 1;
    bool well_formed = true;
    for (; taken <= extra; ++taken) {
      if (read + taken >= length) { well_formed = false; break; }
      const unsigned char next = in[read + taken];
      const bool in_range = taken == 1 ? next >= low && next <= high : is_continuation(next);
      if (!in_range) { well_formed = false; break; }
      code = (code << 6) | (next & 0x3F);
    }
    read += taken;
    if (!well_formed) {
      text[written++] = '?';
    } else if (code > 0xFFFF) {
      text[written++] = '?';
      text[written++] = '?';
    } else {
      text[written++] = to_cp1252(code);
    }
  }
  return written;
}

// UTF-16 (little- or big-endian) rewritten in place as code page 1252.
std::size_t utf16_to_cp1252(char* text, std::size_t length, bool big_endian) {
  const auto* in = reinterpret_cast<const unsigned char*>(text);
  std::size_t written = 0;
  for (std::size_t read = 0; read + 1 < length; read += 2) {
    const std::uint32_t unit = big_endian ? (in[read] << 8) | in[read + 1]
                                          : in[read] | (in[read + 1] << 8);
    text[written++] = unit >= 0xD800 && unit <= 0xDFFF ? '?' : to_cp1252(unit);
  }
  return written;
}

// The text of a file as the reader sees it, after its byte-order mark.
std::string_view decoded(char* text, std::size_t length) {
  const auto starts_with = [&](const char* mark, std::size_t size) {
    return length >= size && std::memcmp(text, mark, size) == 0;
  };
  if (starts_with("\xEF\xBB\xBF", 3)) return {text + 3, utf8_to_cp1252(text + 3, length - 3)};
  if (starts_with("\xFF\xFE", 2)) return {text + 2, utf16_to_cp1252(text + 2, length - 2, false)};
  if (starts_with("\xFE\xFF", 2)) return {text + 2, utf16_to_cp1252(text + 2, length - 2, true)};
  return {text, length};
}

// The whole of a regular file in a new block (std::free), or null when it cannot be read.
char* read_file(const char* path, std::size_t& length) {
  std::FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
  if (file == nullptr) return nullptr;
  char* text = nullptr;
  struct stat status {};
  if (fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode)) {
    text = static_cast<char*>(heap_allocate(static_cast<std::size_t>(status.st_size)));
    length = std::fread(text, 1, static_cast<std::size_t>(status.st_size), file);
  }
  std::fclose(file);
  return text;
}

// The value of key in the first section named section, or false when there is none.
bool find_value(std::string_view text, std::string_view section, std::string_view key,
                std::string_view& value) {
  bool in_section = same_name(section, "");
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    const std::string_view line = trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const std::size_t close = line.rfind(']');
    if (!line.empty() && line.front() == '[' && close != std::string_view::npos) {
      // The first matching section is the only one consulted.
      if (in_section) return false;
      in_section = same_name(cut_at_zero(trimmed(line.substr(1, close - 1))), section);
      continue;
    }
    if (!in_section) continue;
    const std::size_t equals = line.find('=');
    if (!same_name(cut_at_zero(trimmed(line.substr(0, equals))), key)) continue;
    value = equals == std::string_view::npos
                ? std::string_view()
                : unquoted(cut_at_zero(trimmed(line.substr(equals + 1))));
    return true;
  }
  return false;
}

std::string_view default_text(const char* default_value) {
  std::string_view text = default_value != nullptr ? default_value : "";
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return unquoted(text);
}

}  // namespace

std::uint32_t profile_get_string(const char* section, const char* key, const char* default_value,
                                 char* buffer, std::uint32_t size, const char* file) {
  if (buffer == nullptr || size == 0) return 0;
  std::size_t length = 0;
  char* text = read_file(file, length);
  std::string_view value;
  const bool found = text != nullptr && section != nullptr && key != nullptr &&
                     find_value(decoded(text, length), trimmed(section), trimmed(key), value);
  if (!found) value = default_text(default_value);
  const std::size_t count = value.size() < size - 1 ? value.size() : size - 1;
  if (count > 0) std::memcpy(buffer, value.data(), count);
  buffer[count] = '\0';
  std::free(text);
  return static_cast<std::uint32_t>(count);
}
