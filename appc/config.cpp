#include "appc/config.h"

#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "appc/log.h"
#include "platform/profile.h"

namespace {

std::array<char, ini_value_size> value_buffer;
std::array<char, ini_data_size> data_buffer;

// The value of the key in buffer, cleared first. A missing or empty value ends the process
// with exit code 2 after the message (format: key, section, file) on standard output.
template <std::size_t size>
std::uint32_t read_value(std::array<char, size>& buffer, const char* file, const char* section,
                         const char* key, const char* missing_format) {
  buffer.fill(0);
  const std::uint32_t count =
      profile_get_string(section, key, nullptr, buffer.data(), size, file);
  if (count == 0) {
    std::printf(missing_format, key, section, file);
    std::exit(2);
  }
  return count;
}

constexpr const char* key_missing = "Key %s not found in section [%s] in file %s\n";
constexpr const char* data_missing = "Data %s not found in section [%s] in file %s\n";

bool is_atoi_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// atoi: blanks, an optional sign, the digits up to the first other character. A value out of
// the 32-bit range is clamped, as the Windows C library does, so both targets agree.
std::int32_t atoi_value(const char* text) {
  while (is_atoi_space(*text)) ++text;
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  long long magnitude = 0;
  const long long limit = negative ? -static_cast<long long>(INT32_MIN) : INT32_MAX;
  for (; *text >= '0' && *text <= '9'; ++text) {
    magnitude = magnitude * 10 + (*text - '0');
    if (magnitude > limit) magnitude = limit;
  }
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

char* copy_of(const char* value, std::uint32_t length) {
  char* copy = alloc_zeros(length + 1);
  std::memcpy(copy, value, length);
  return copy;
}

}  // namespace

std::int32_t ini_get_int(const char* file, const char* section, const char* key) {
  read_value(value_buffer, file, section, key, key_missing);
  return atoi_value(value_buffer.data());
}

char* ini_get_string(const char* file, const char* section, const char* key) {
  const std::uint32_t length = read_value(value_buffer, file, section, key, key_missing);
  return copy_of(value_buffer.data(), length);
}

char* ini_get_data(const char* file, const char* section, const char* key) {
  const std::uint32_t length = read_value(data_buffer, file, section, key, data_missing);
  return copy_of(data_buffer.data(), length);
}
