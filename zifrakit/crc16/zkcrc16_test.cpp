// ZKCRC16: the catalogue value, the examples, both result forms, the two NULs written after
// the text, long texts, and the 16-bit switch seen through a 32-bit slot.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "zifrakit/testing.h"
#include "zifrakit/zifrakit.h"

namespace {

using zifrakit::testing::to_hex;

// The long division exactly as defined: the register loaded with the first two bytes, then
// for each byte eight shifts and the byte two places further XORed in.
std::uint16_t long_division(std::vector<unsigned char> text) {
  std::size_t count = text.size();
  text.resize(count + 2, 0);
  unsigned reg = 256u * text[0] + text[1];
  for (std::size_t conp = 0; conp < count; ++conp) {
    for (int bit = 0; bit < 8; ++bit) reg = reg & 0x8000 ? ((reg << 1) ^ 0x8005) & 0xFFFF : (reg << 1) & 0xFFFF;
    reg ^= text[conp + 2];
  }
  return static_cast<std::uint16_t>(reg);
}

std::string call(std::string text, short modope, std::size_t size) {
  std::vector<unsigned char> area(text.begin(), text.end());
  area.push_back(0);
  area.push_back(0x5A);  // the byte after the terminator, overwritten with 0
  unsigned char* result = ZKCRC16(area.data(), modope);
  EXPECT_EQ(area[text.size()], 0);
  EXPECT_EQ(area[text.size() + 1], 0);
  EXPECT_EQ(std::string(area.begin(), area.begin() + static_cast<long>(text.size())), text);
  return std::string(reinterpret_cast<char*>(result), size);
}

TEST(Zkcrc16, KnownTexts) {
  struct Case {
    std::string text;
    std::string raw;        // hex of the 2 bytes
    std::string printable;  // the 3 characters
  };
  const std::vector<Case> cases = {
      {"123456789", "FEE8", ""},
      {"abc", "CADB", "K96"},
      {"", "0000", "   "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string raw = call(c.text, 0, 3);
    EXPECT_EQ(to_hex(reinterpret_cast<const unsigned char*>(raw.data()), 2), c.raw);
    EXPECT_EQ(raw[2], '\0');
    std::string printable = call(c.text, 1, 4);
    if (!c.printable.empty()) {
      EXPECT_EQ(printable.substr(0, 3), c.printable);
    }
    EXPECT_EQ(printable[3], '\0');
  }
}

TEST(Zkcrc16, EqualsTheLongDivisionOnRandomTexts) {
  std::mt19937 random(16);
  std::uniform_int_distribution<int> byte(1, 255);
  for (std::size_t length = 0; length < 700; length += length < 40 ? 1 : 13) {
    std::vector<unsigned char> text(length);
    for (auto& b : text) b = static_cast<unsigned char>(byte(random));
    std::uint16_t expected = long_division(text);
    std::string result = call(std::string(text.begin(), text.end()), 0, 2);
    ASSERT_EQ(static_cast<unsigned char>(result[0]), expected >> 8) << length;
    ASSERT_EQ(static_cast<unsigned char>(result[1]), expected & 0xFF) << length;
    // Any non-zero switch gives the printable form of the same value.
    std::string printable = call(std::string(text.begin(), text.end()), -7, 3);
    unsigned value = (printable[0] - 32) + 48u * (printable[1] - 32) + 2304u * (printable[2] - 32);
    ASSERT_EQ(value, expected) << length;
  }
}

TEST(Zkcrc16, RawResultWithZeroBytesReadsShort) {
  // Search for texts whose CRC has a zero high byte, or a zero low byte only.
  bool high_seen = false, low_seen = false;
  std::mt19937 random(5);
  std::uniform_int_distribution<int> byte(1, 255);
  for (int i = 0; i < 20000 && !(high_seen && low_seen); ++i) {
    std::string text(6, ' ');
    for (char& c : text) c = static_cast<char>(byte(random));
    std::uint16_t value = long_division(std::vector<unsigned char>(text.begin(), text.end()));
    std::vector<unsigned char> area(text.begin(), text.end());
    area.resize(area.size() + 2, 0);
    std::size_t length = std::strlen(reinterpret_cast<char*>(ZKCRC16(area.data(), 0)));
    if ((value >> 8) == 0) {
      high_seen = true;
      EXPECT_EQ(length, 0u) << text;
    } else if ((value & 0xFF) == 0) {
      low_seen = true;
      EXPECT_EQ(length, 1u) << text;
    } else {
      EXPECT_EQ(length, 2u) << text;
    }
  }
  EXPECT_TRUE(high_seen);
  EXPECT_TRUE(low_seen);
}

// With a 16-bit length the count would turn negative at 32768 bytes and skip the division.
TEST(Zkcrc16, LongTextsAreCountedWhole) {
  for (std::size_t length : {std::size_t{32767}, std::size_t{32768}, std::size_t{70001}}) {
    std::vector<unsigned char> text(length);
    for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<unsigned char>(1 + i % 251);
    std::uint16_t expected = long_division(text);
    std::string result = call(std::string(text.begin(), text.end()), 0, 2);
    EXPECT_EQ(static_cast<unsigned char>(result[0]), expected >> 8) << length;
    EXPECT_EQ(static_cast<unsigned char>(result[1]), expected & 0xFF) << length;
  }
}

TEST(Zkcrc16, SwitchReadsOnlyTheLowSixteenBits) {
  auto wide = zifrakit::testing::widened<zifrakit::testing::Zkcrc16Wide>(ZKCRC16);
  struct Case {
    std::int32_t slot;
    bool printable;
  };
  const std::vector<Case> cases = {{0x10000, false}, {0x7FFF0000, false}, {-65536, false},
                                   {0x10001, true},  {0x0000FFFF, true}};
  for (const Case& c : cases) {
    unsigned char text[] = "abc\0";
    std::string result(reinterpret_cast<char*>(wide(text, c.slot)), 4);
    EXPECT_EQ(result, c.printable ? std::string("K96\0", 4) : std::string("\xCA\xDB\0\0", 4))
        << c.slot;
  }
}

TEST(Zkcrc16, SameBufferEveryCall) {
  unsigned char one[] = "abc\0";
  unsigned char two[] = "123456789\0";
  unsigned char* first = ZKCRC16(one, 0);
  EXPECT_EQ(ZKCRC16(two, 1), first);
}

}  // namespace
