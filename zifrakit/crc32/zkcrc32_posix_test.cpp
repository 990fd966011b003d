// ZKCRC32 against zlib's crc32 on random texts of every length up to a few blocks of the
// sliced loop and beyond, with the replacements applied to zlib's value.
#include <zlib.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "zifrakit/zifrakit.h"

namespace {

TEST(Zkcrc32AgainstZlib, RandomTexts) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(1, 255);
  for (std::size_t length = 0; length < 3000; length += length < 80 ? 1 : 37) {
    std::vector<unsigned char> text(length + 1);
    for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<unsigned char>(byte(random));
    text[length] = 0;
    uLong crc = crc32(0L, text.data(), static_cast<uInt>(length));
    unsigned char* result = ZKCRC32(text.data());
    for (int i = 0; i < 4; ++i) {
      unsigned char expected = static_cast<unsigned char>(crc >> (24 - 8 * i));
      if (expected == 0) expected = 1;
      if (expected == '\\') expected = '/';
      ASSERT_EQ(result[i], expected) << "length " << length << " byte " << i;
    }
    ASSERT_EQ(result[4], 0);
  }
}

}  // namespace
