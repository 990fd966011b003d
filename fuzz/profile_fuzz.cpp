// The private-profile reader and the ini readers over arbitrary files.
//
// Input: one byte choosing the value buffer's size, the section name and the key name (each
// ended by a zero byte), then the whole file. The file is written to a temporary path that
// the reader opens as a program's ini file.
//
// Checked on every input: the value fits its buffer (the buffer is a heap block of exactly
// its size, so any write past it is a sanitizer report), the count equals the terminated
// length, a smaller buffer holds a prefix of what a larger one holds, a key that is absent
// yields the default, and the ini readers hand back exactly what the reader found (they are
// only called for a present, non-empty value, since an empty one ends the process by design).
#include <unistd.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "appc/config.h"
#include "appc/log.h"
#include "platform/profile.h"

namespace {

[[noreturn]] void fail(const char* what, std::string_view expected, std::string_view got) {
  std::fprintf(stderr, "profile_fuzz: %s: expected [%.*s] (%zu), got [%.*s] (%zu)\n", what,
               static_cast<int>(expected.size()), expected.data(), expected.size(),
               static_cast<int>(got.size()), got.data(), got.size());
  std::abort();
}

void expect_equal(const char* what, std::string_view expected, std::string_view got) {
  if (expected != got) fail(what, expected, got);
}

// The ini file every input is written to, made once per process; in memory where the system
// offers a place for it, since every input writes and reads it several times.
const char* ini_path() {
  static const std::string path = [] {
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string name = std::string(folder) + "/profile_fuzz.XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) {
      std::perror("profile_fuzz: mkstemp");
      std::exit(1);
    }
    close(fd);
    return name;
  }();
  static const bool removed_at_exit = std::atexit([] { unlink(path.c_str()); }) == 0;
  (void)removed_at_exit;
  return path.c_str();
}

void write_file(const char* path, const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size) ||
      std::fclose(file) != 0) {
    std::perror("profile_fuzz: writing the ini file");
    std::exit(1);
  }
}

// Buffer sizes worth reaching: the edges (1, 2), the ini readers' two sizes and a spread.
std::uint32_t buffer_size(std::uint8_t selector) {
  switch (selector % 8) {
    case 0: return 1;
    case 1: return 2;
    case 2: return ini_value_size;
    case 3: return ini_data_size;
    default: return 1 + selector % 97;
  }
}

// Reads with a buffer of exactly size bytes; the value as a string.
std::string read_value(const char* section, const char* key, const char* default_value,
                       std::uint32_t size, const char* path) {
  std::unique_ptr<char[]> buffer(new char[size]);
  std::memset(buffer.get(), 'x', size);
  const std::uint32_t count =
      profile_get_string(section, key, default_value, buffer.get(), size, path);
  if (count >= size) fail("count within the buffer", std::to_string(size - 1), std::to_string(count));
  if (buffer[count] != '\0') fail("terminated at the count", "", std::string(1, buffer[count]));
  expect_equal("count equals the terminated length", std::string(buffer.get(), count),
               std::string(buffer.get()));
  return std::string(buffer.get(), count);
}

// Takes the next zero-terminated name off the input, or the rest when no zero byte follows.
std::string take_name(const std::uint8_t*& data, std::size_t& size) {
  const auto* end = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
  const std::size_t length = end != nullptr ? static_cast<std::size_t>(end - data) : size;
  std::string name(reinterpret_cast<const char*>(data), length);
  const std::size_t taken = end != nullptr ? length + 1 : length;
  data += taken;
  size -= taken;
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The readers' log lines have no reader here.
  log_attach(std::fopen("/dev/null", "w"));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint32_t size_chosen = buffer_size(data[0]);
  ++data, --size;
  const std::string section = take_name(data, size);
  const std::string key = take_name(data, size);
  const char* path = ini_path();
  write_file(path, data, size);

  // A key is absent exactly when two different defaults both come back (a file value may
  // equal either one, not both).
  const std::string full = read_value(section.c_str(), key.c_str(), nullptr, ini_data_size, path);
  const std::string first_default = "\x01 absent", second_default = "\x02 absent";
  const std::string first = read_value(section.c_str(), key.c_str(), first_default.c_str(),
                                       ini_data_size, path);
  const std::string second = read_value(section.c_str(), key.c_str(), second_default.c_str(),
                                        ini_data_size, path);
  const bool present = first != first_default || second != second_default;
  if (!present) expect_equal("absent key, null default", "", full);
  if (present) expect_equal("present key, whatever the default", full, first);
  if (present) expect_equal("present key, whatever the default", full, second);

  const std::string cut = read_value(section.c_str(), key.c_str(), nullptr, size_chosen, path);
  expect_equal("a smaller buffer holds a prefix", std::string_view(full).substr(0, size_chosen - 1),
               cut);

  if (!present || full.empty()) return 0;
  char* value = ini_get_string(path, section.c_str(), key.c_str());
  expect_equal("ini_get_string", std::string_view(full).substr(0, ini_value_size - 1), value);
  std::free(value);
  char* long_value = ini_get_data(path, section.c_str(), key.c_str());
  expect_equal("ini_get_data", std::string_view(full).substr(0, ini_data_size - 1), long_value);
  std::free(long_value);
  const std::int32_t number = ini_get_int(path, section.c_str(), key.c_str());
  const std::string short_value = full.substr(0, ini_value_size - 1);
  // atoi rules, a value outside the 32-bit range clamped to it.
  const long long parsed = std::strtoll(short_value.c_str(), nullptr, 10);
  const long long clamped = parsed < INT32_MIN ? INT32_MIN : parsed > INT32_MAX ? INT32_MAX : parsed;
  expect_equal("ini_get_int", std::to_string(clamped), std::to_string(number));
  return 0;
}
