// ZKNULO: the first eight bytes, NULs included, and a terminator.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zifrakit/zifrakit.h"

namespace {

TEST(Zknulo, CopiesEightBytes) {
  struct Case {
    std::string area;      // at least 8 bytes
    std::string expected;  // 9 bytes
  };
  const std::vector<Case> cases = {
      {std::string("abc\0\0\0\0\0", 8), std::string("abc\0\0\0\0\0\0", 9)},
      {std::string("abc\0wxyz", 8), std::string("abc\0wxyz\0", 9)},
      {"ABCDEFGHIJKL", std::string("ABCDEFGH\0", 9)},
      {std::string("\xff\x80\x01\x7f\xfe\x00\x10\x20", 8),
       std::string("\xff\x80\x01\x7f\xfe\x00\x10\x20\0", 9)},
  };
  for (const Case& c : cases) {
    unsigned char* result = ZKNULO(reinterpret_cast<const unsigned char*>(c.area.data()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(result), 9), c.expected);
  }
}

TEST(Zknulo, ReadAsAStringAShortTextComesBackAsItself) {
  const unsigned char area[8] = {'a', 'b', 'c', 0, 'x', 'y', 'z', 'w'};
  EXPECT_STREQ(reinterpret_cast<char*>(ZKNULO(area)), "abc");
}

TEST(Zknulo, SameBufferEveryCall) {
  const unsigned char first[8] = {'1', '2', '3', '4', '5', '6', '7', '8'};
  const unsigned char second[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
  unsigned char* one = ZKNULO(first);
  unsigned char* two = ZKNULO(second);
  EXPECT_EQ(one, two);
  EXPECT_STREQ(reinterpret_cast<char*>(one), "abcdefgh");
}

}  // namespace
