#include "appc/log.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Heap exhaustion is reported by the library itself, so the sanitizer's allocator must hand
// back the null pointer instead of stopping the process first.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

// The log stream attached to a file of its own; contents() reads the file through a second
// handle, so it shows only what has been flushed.
class LogCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
            ".log.out";
    for (char& c : path_)
      if (c == '/') c = '_';
    stream_ = std::fopen(path_.c_str(), "w+b");
    ASSERT_NE(stream_, nullptr);
    log_attach(stream_);
  }
  void TearDown() override {
    log_attach(nullptr);
    if (stream_ != nullptr) std::fclose(stream_);
    std::remove(path_.c_str());
  }
  std::string contents() const {
    std::string text;
    if (std::FILE* reader = std::fopen(path_.c_str(), "rb")) {
      char chunk[4096];
      std::size_t n;
      while ((n = std::fread(chunk, 1, sizeof chunk, reader)) > 0) text.append(chunk, n);
      std::fclose(reader);
    }
    return text;
  }

 private:
  std::string path_;
  std::FILE* stream_ = nullptr;
};

struct DumpCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  const char* hex_line;
  const char* char_line;
};

std::vector<std::uint8_t> range(int first, int last) {
  std::vector<std::uint8_t> bytes;
  for (int b = first; b <= last; ++b) bytes.push_back(static_cast<std::uint8_t>(b));
  return bytes;
}

std::string repeated(const char* piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

TEST_F(LogCapture, DumpWritesHexLineThenCharacterLine) {
  const std::string high_hex = [] {
    std::string hex;
    char two[3];
    for (int b = 0x80; b <= 0xFF; ++b) {
      std::snprintf(two, sizeof two, "%02X", b);
      hex += two;
    }
    return hex;
  }();
  const std::string high_chars = repeated(". ", 128);
  const DumpCase cases[] = {
      {"letters and a control", {0x41, 0x42, 0x01}, "414201", "A B . "},
      {"printable bounds", {0x1F, 0x20, 0x7E, 0x7F}, "1F207E7F", ".   ~ . "},
      {"line ends and tab", {0x0A, 0x0D, 0x09, 0x00}, "0A0D0900", ". . . . "},
      {"digits", {0x30, 0x39}, "3039", "0 9 "},
      {"upper half", range(0x80, 0xFF), high_hex.c_str(), high_chars.c_str()},
  };
  std::string expected;
  for (const DumpCase& c : cases) {
    log_dump(c.bytes.data(), static_cast<std::int32_t>(c.bytes.size()));
    expected += std::string(c.hex_line) + "\n" + c.char_line + "\n";
    EXPECT_EQ(contents(), expected) << c.name;
  }
}

TEST_F(LogCapture, DumpOfNoBytesWritesTwoEmptyLines) {
  const std::uint8_t byte = 0x41;
  log_dump(&byte, 0);
  log_dump(&byte, -5);
  EXPECT_EQ(contents(), "\n\n\n\n");
}

TEST_F(LogCapture, WriteIsFormattedAndShownOnFlush) {
  log_write("PORT     :  %d\n", 8080);
  log_write("LOCAL_LU : [%s]\n", "LU1");
  log_flush();
  EXPECT_EQ(contents(), "PORT     :  8080\nLOCAL_LU : [LU1]\n");
}

TEST_F(LogCapture, TimestampIsAsctimeLineThenEmptyLineFlushed) {
  log_timestamp();
  const std::string text = contents();
  ASSERT_EQ(text.size(), 26u) << text;
  EXPECT_EQ(text.substr(24), "\n\n");
  const std::string weekday = text.substr(0, 3), month = text.substr(4, 3);
  EXPECT_NE(std::string("SunMonTueWedThuFriSat").find(weekday), std::string::npos) << text;
  EXPECT_NE(std::string("JanFebMarAprMayJunJulAugSepOctNovDec").find(month), std::string::npos)
      << text;
  for (int digit : {8, 9, 11, 12, 14, 15, 17, 18, 20, 21, 22, 23})
    EXPECT_TRUE(text[digit] >= '0' && text[digit] <= '9') << text;
  for (int blank : {3, 7, 10, 19}) EXPECT_EQ(text[blank], ' ') << text;
  EXPECT_EQ(text[13], ':');
  EXPECT_EQ(text[16], ':');
}

// A log that cannot be written must not stop the program: every operation returns, and one
// line on standard error names the log and the reason, once for each attach.
TEST(LogWriteFailure, ReportedOnceThenTheProgramGoesOn) {
  const std::string read_only_path = "log_write_failure.read-only";
  if (std::FILE* create = std::fopen(read_only_path.c_str(), "wb")) std::fclose(create);
  struct Case {
    const char* name;
    std::FILE* stream;
    int reason;  // 0: writable, nothing to report
  };
  const Case cases[] = {
      {"writable.log", std::tmpfile(), 0},
      {"read-only.log", std::fopen(read_only_path.c_str(), "rb"), EBADF},
      // Linux only: the device that is always full.
      {"full.log", std::fopen("/dev/full", "a+"), ENOSPC},
  };
  const std::uint8_t bytes[] = {0x41, 0x00, 0xFF};
  for (const Case& c : cases) {
    if (c.stream == nullptr) continue;
    const std::string expected =
        c.reason == 0 ? std::string()
                      : std::string("Cannot write the log to ") + c.name + ": " +
                            std::strerror(c.reason) + "; further log lines may be lost\n";
    for (int attach = 0; attach < 2; ++attach) {
      ::testing::internal::CaptureStderr();
      log_attach(c.stream, c.name);
      for (int round = 0; round < 3; ++round) {
        log_write("line %d of a log that may not take it\n", round);
        log_flush();
        log_timestamp();
        log_dump(bytes, 3);
        log_write("%s\n", std::string(10000, 'x').c_str());  // more than the stream buffers
      }
      EXPECT_EQ(::testing::internal::GetCapturedStderr(), expected) << c.name << " " << attach;
    }
    log_attach(nullptr);
    std::fclose(c.stream);
  }
  std::remove(read_only_path.c_str());
}

TEST(AsctimeText, EnglishNamesAndTwoDigitDay) {
  struct Case {
    int year, month, day, hour, minute, second, weekday;
    const char* expected;
  };
  const Case cases[] = {
      {2024, 0, 1, 0, 0, 0, 1, "Mon Jan 01 00:00:00 2024\n"},
      {1999, 11, 31, 23, 59, 59, 5, "Fri Dec 31 23:59:59 1999\n"},
      {2026, 5, 9, 7, 5, 3, 2, "Tue Jun 09 07:05:03 2026\n"},
  };
  for (const Case& c : cases) {
    std::tm time{};
    time.tm_year = c.year - 1900;
    time.tm_mon = c.month;
    time.tm_mday = c.day;
    time.tm_hour = c.hour;
    time.tm_min = c.minute;
    time.tm_sec = c.second;
    time.tm_wday = c.weekday;
    EXPECT_STREQ(asctime_text(time).data(), c.expected);
  }
}

TEST(HexString, UpperCaseTwoDigitsPerByte) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    const char* expected;
  };
  const Case cases[] = {
      {{}, ""},
      {{0x00}, "00"},
      {{0x0A, 0xAB, 0xFF, 0x10}, "0AABFF10"},
      {{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, "0123456789ABCDEF"},
  };
  for (const Case& c : cases) {
    char* text = hex_string(c.bytes.data(), static_cast<std::int32_t>(c.bytes.size()));
    EXPECT_STREQ(text, c.expected);
    std::free(text);
  }
  const std::uint8_t byte = 0x41;
  char* text = hex_string(&byte, -1);
  EXPECT_STREQ(text, "");
  std::free(text);
}

TEST(Alloc, BlanksAndZerosFillEveryByte) {
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{8}, std::size_t{5000}}) {
    char* blanks = alloc_blanks(n);
    char* zeros = alloc_zeros(n);
    ASSERT_NE(blanks, nullptr);
    ASSERT_NE(zeros, nullptr);
    EXPECT_EQ(std::string(blanks, n), std::string(n, ' '));
    EXPECT_EQ(std::string(zeros, n), std::string(n, '\0'));
    std::free(blanks);
    std::free(zeros);
  }
}

TEST(AllocDeathTest, HeapExhaustionEndsProcessWithMessage) {
  volatile std::size_t impossible = static_cast<std::size_t>(-1) - 16;
  EXPECT_EXIT(alloc_zeros(impossible), ::testing::ExitedWithCode(heap_exhausted_exit_code),
              "Out of memory: .+ bytes could not be allocated");
  EXPECT_EXIT(alloc_blanks(impossible), ::testing::ExitedWithCode(heap_exhausted_exit_code),
              "Out of memory");
}

}  // namespace
