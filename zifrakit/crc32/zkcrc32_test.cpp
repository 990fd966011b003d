// ZKCRC32: catalogue values, the replacements of 0 and the backslash, and the buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "zifrakit/testing.h"
#include "zifrakit/zifrakit.h"

namespace {

using zifrakit::testing::to_hex;

std::string crc(const std::string& text) {
  unsigned char* result = ZKCRC32(reinterpret_cast<const unsigned char*>(text.c_str()));
  EXPECT_EQ(result[4], 0);
  return to_hex(result, 4);
}

TEST(Zkcrc32, KnownTexts) {
  struct Case {
    std::string text, expected;
  };
  const std::vector<Case> cases = {
      {"123456789", "CBF43926"},
      {"abc", "352441C2"},
      {"", "01010101"},  // CRC 0: every byte replaced by 1
      {"a", "E8B7BE43"},
      {"The quick brown fox jumps over the lazy dog", "414FA339"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(crc(c.text), c.expected) << c.text;
}

TEST(Zkcrc32, ResultNeverHoldsNulOrBackslash) {
  // Texts whose CRC has a zero byte or a backslash byte somewhere, found by search over
  // short texts; each replacement must show as 1 or '/', and the result is 4 long.
  int zeros = 0, backslashes = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string text = "t" + std::to_string(i);
    unsigned char* result = ZKCRC32(reinterpret_cast<const unsigned char*>(text.c_str()));
    EXPECT_EQ(std::strlen(reinterpret_cast<char*>(result)), 4u);
    for (int b = 0; b < 4; ++b) {
      EXPECT_NE(result[b], '\\');
      zeros += result[b] == 1;
      backslashes += result[b] == '/';
    }
  }
  EXPECT_GT(zeros, 0);
  EXPECT_GT(backslashes, 0);
}

TEST(Zkcrc32, SameBufferEveryCall) {
  unsigned char* first = ZKCRC32(reinterpret_cast<const unsigned char*>("abc"));
  unsigned char* second = ZKCRC32(reinterpret_cast<const unsigned char*>("123456789"));
  EXPECT_EQ(first, second);
  EXPECT_EQ(to_hex(first, 4), "CBF43926");
}

}  // namespace
