#include "appc/charset.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> every_byte() {
  std::vector<std::uint8_t> bytes(256);
  for (int b = 0; b < 256; ++b) bytes[b] = static_cast<std::uint8_t>(b);
  return bytes;
}

TEST(CharsetTables, ListedMappings) {
  struct Case {
    std::uint8_t ascii, ebcdic;
  };
  const Case cases[] = {
      {0x20, 0x40}, {0x30, 0xF0}, {0x39, 0xF9}, {0x41, 0xC1}, {0x49, 0xC9}, {0x4A, 0xD1},
      {0x52, 0xD9}, {0x53, 0xE2}, {0x5A, 0xE9}, {0x61, 0x81}, {0x7A, 0xA9}, {0x0A, 0x0A},
      {0x0D, 0x0D}, {0x21, 0x5A}, {0x5D, 0x4F}, {0x7C, 0x6A}, {0x5B, 0x4A}, {0x40, 0x7C},
      {0x84, 0x25}, {0x86, 0x15}, {0x7F, 0x07}, {0x00, 0x00}, {0xFF, 0xFF}, {0x9F, 0x41},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ascii_to_ebcdic_table[c.ascii], c.ebcdic) << int{c.ascii};
    EXPECT_EQ(ebcdic_to_ascii_table[c.ebcdic], c.ascii) << int{c.ebcdic};
    std::uint8_t byte = c.ascii;
    to_ebcdic(&byte, 1);
    EXPECT_EQ(byte, c.ebcdic);
    to_ascii(&byte, 1);
    EXPECT_EQ(byte, c.ascii);
  }
}

TEST(CharsetTables, EveryByteRoundTripsBothWays) {
  const std::vector<std::uint8_t> original = every_byte();
  std::vector<std::uint8_t> there = original;
  to_ebcdic(there.data(), 256);
  EXPECT_NE(there, original);
  to_ascii(there.data(), 256);
  EXPECT_EQ(there, original);
  std::vector<std::uint8_t> back = original;
  to_ascii(back.data(), 256);
  to_ebcdic(back.data(), 256);
  EXPECT_EQ(back, original);
}

TEST(CharsetTables, TranslationStaysInsideLength) {
  for (std::int32_t length : {0, -1, -256, 3}) {
    std::string text = "ABCDEF";
    to_ebcdic(text.data(), length);
    const std::string expected = length == 3 ? std::string("\xC1\xC2\xC3" "DEF") : "ABCDEF";
    EXPECT_EQ(text, expected) << length;
    to_ascii(text.data(), length);
    EXPECT_EQ(text, "ABCDEF") << length;
  }
}

TEST(NameFields, PaddedToWidthAndNeverTerminated) {
  struct Case {
    const char* name;
    std::size_t width;
    std::string expected;
  };
  const Case cases[] = {
      {"LONGNAME10", 8, "LONGNAME"},
      {"", 8, "        "},
      {"LU1", 8, "LU1     "},
      {"EXACTLY8", 8, "EXACTLY8"},
      {"TP", 64, "TP" + std::string(62, ' ')},
      {"X", 0, ""},
  };
  for (const Case& c : cases) {
    for (auto builder : {pad_field, ascii_field}) {
      char* field = builder(c.name, c.width);
      ASSERT_NE(field, nullptr);
      EXPECT_EQ(std::string(field, c.width), c.expected) << c.name;
      std::free(field);
    }
  }
}

TEST(NameFields, EbcdicFieldConvertsPaddingToo) {
  char* field = ebcdic_field("APINGD", 64);
  const std::string expected = "\xC1\xD7\xC9\xD5\xC7\xC4" + std::string(58, '\x40');
  EXPECT_EQ(std::string(field, 64), expected);
  std::free(field);
  char* mode = ebcdic_field("#INTER", 8);
  EXPECT_EQ(std::string(mode, 8), "\x7B\xC9\xD5\xE3\xC5\xD9\x40\x40");
  std::free(mode);
}

TEST(Convert, NamesBothWaysInPlace) {
  std::string name = "TP$@#.09 z";
  csv_to_ebcdic(name.data(), 9);
  EXPECT_EQ(name, "\xE3\xD7\x5B\x7C\x7B\x4B\xF0\xF9\x40z");
  csv_to_ascii(name.data(), 9);
  EXPECT_EQ(name, "TP$@#.09 z");
  for (std::int32_t length : {0, -1}) {
    std::string untouched = "ABC";
    csv_to_ebcdic(untouched.data(), length);
    EXPECT_EQ(untouched, "ABC") << length;
  }
}

}  // namespace
