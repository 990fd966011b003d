#include "appc/log.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "platform/heap.h"

namespace {

std::FILE* attached_stream = nullptr;
const char* attached_name = "standard output";
bool failure_reported = false;

constexpr const char* weekday_names[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* month_names[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Called right after a write or flush, while errno still holds the reason of a failure. The
// error indicator is cleared so that each check sees only the operation before it.
void check_written(std::FILE* stream) {
  if (!std::ferror(stream)) return;
  const int reason = errno;
  std::clearerr(stream);
  if (failure_reported) return;
  failure_reported = true;
  std::fprintf(stderr, "Cannot write the log to %s: %s; further log lines may be lost\n",
               attached_name, std::strerror(reason));
  std::fflush(stderr);
}

}  // namespace

void log_attach(std::FILE* stream, const char* name) {
  attached_stream = stream;
  attached_name = name;
  failure_reported = false;
}

std::FILE* log_stream() { return attached_stream != nullptr ? attached_stream : stdout; }

void log_write(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::vfprintf(log_stream(), format, arguments);
  va_end(arguments);
  check_written(log_stream());
}

void log_flush() {
  std::fflush(log_stream());
  check_written(log_stream());
}

std::array<char, 26> asctime_text(const std::tm& time) {
  std::array<char, 26> text{};
  // The C library's asctime pads the day with a blank on some platforms; the log shows a
  // leading zero everywhere. The remainders only bound the width of fields that localtime
  // never sets out of range.
  const auto two_digits = [](int field) { return static_cast<unsigned>(field) % 100u; };
  const bool names_valid = time.tm_wday >= 0 && time.tm_wday < 7 && time.tm_mon >= 0 &&
                           time.tm_mon < 12;
  std::snprintf(text.data(), text.size(), "%.3s %.3s %02u %02u:%02u:%02u %04u\n",
                names_valid ? weekday_names[time.tm_wday] : "???",
                names_valid ? month_names[time.tm_mon] : "???", two_digits(time.tm_mday),
                two_digits(time.tm_hour), two_digits(time.tm_min), two_digits(time.tm_sec),
                static_cast<unsigned>(1900 + time.tm_year) % 10000u);
  return text;
}

void log_timestamp() {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  if (local != nullptr) log_write("%s\n", asctime_text(*local).data());
  log_flush();
}

void log_dump(const void* data, std::int32_t length) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::int32_t i = 0; i < length; ++i) log_write("%02X", bytes[i]);
  log_write("\n");
  log_flush();
  for (std::int32_t i = 0; i < length; ++i) {
    const bool printable = bytes[i] >= 0x20 && bytes[i] <= 0x7E;
    log_write("%c ", printable ? bytes[i] : '.');
  }
  log_write("\n");
  log_flush();
}

char* hex_string(const void* data, std::int32_t length) {
  const std::size_t count = length > 0 ? static_cast<std::size_t>(length) : 0;
  char* text = alloc_zeros(2 * count + 1);
  const auto* bytes = static_cast<const unsigned char*>(data);
  constexpr char digits[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < count; ++i) {
    text[2 * i] = digits[bytes[i] >> 4];
    text[2 * i + 1] = digits[bytes[i] & 0x0F];
  }
  return text;
}

char* alloc_blanks(std::size_t n) {
  char* block = static_cast<char*>(heap_allocate(n));
  std::memset(block, ' ', n);
  return block;
}

char* alloc_zeros(std::size_t n) {
  char* block = static_cast<char*>(heap_allocate(n));
  std::memset(block, 0, n);
  return block;
}
