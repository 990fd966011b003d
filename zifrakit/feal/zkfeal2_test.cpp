// ZKFEAL2: byte for byte ZKFEAL's result in the caller's area, the same changes to texto,
// and no disturbance of ZKFEAL's buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "zifrakit/testing.h"
#include "zifrakit/zifrakit.h"

namespace {

const unsigned char* key_text(const char* key) { return reinterpret_cast<const unsigned char*>(key); }

struct Case {
  std::string text;
  const char* key;
  short opera;
};

std::vector<unsigned char> area_of(const std::string& text) {
  std::vector<unsigned char> area(text.begin(), text.end());
  area.push_back(0);
  return area;
}

TEST(Zkfeal2, SameAsZkfeal) {
  std::string long_text(1024, 'w');
  std::string printable;  // a printable cipher text for code 3
  {
    auto area = area_of("Sixteen bytes!!!and some");
    unsigned char* result = ZKFEAL(area.data(), key_text("clave"), 1);
    printable = reinterpret_cast<char*>(result);
  }
  const std::vector<Case> cases = {
      {"ABCDEFGH", "k", 0},        {"Sixteen bytes!!!and some", "clave", 1},
      {printable, "clave", 3},     {"0123456789abc", "abcdefghijk", 2},
      {"01234", "k", 0},           {long_text, "k", 1},
      {long_text + "x", "k", 0},   {"ABCDEFGHIJKLMNOP", "", -5},
      {"ABCDEFGHIJKLMNOP", "k", 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 30) + " opera " + std::to_string(c.opera));
    auto one = area_of(c.text);
    auto two = area_of(c.text);
    std::string reference(reinterpret_cast<char*>(ZKFEAL(one.data(), key_text(c.key), c.opera)),
                          1369);
    std::vector<unsigned char> retorno(1369 + 1, 0xEE);
    EXPECT_EQ(ZKFEAL2(two.data(), key_text(c.key), c.opera, retorno.data()), 0);
    // Raw results may hold zeros: compare over the result's length from its block count.
    std::size_t bytes = c.opera == 3 ? c.text.size() / 4 * 3 : c.text.size();
    std::size_t blocks = bytes / 8;
    std::size_t span = (c.opera == 1 ? (8 * blocks + 2) / 3 * 4 : 8 * blocks) + 1;
    if (bytes > 1024) span = 9;
    EXPECT_EQ(reference[span - 1], '\0');
    EXPECT_EQ(std::string(retorno.begin(), retorno.begin() + static_cast<long>(span)), reference.substr(0, span));
    EXPECT_EQ(retorno[span], 0xEE);  // nothing written after the terminator
    EXPECT_EQ(one, two);             // texto changed the same way
  }
}

TEST(Zkfeal2, ShortAndTooLongTexts) {
  auto five = area_of("01234");
  unsigned char retorno[16];
  std::memset(retorno, 0xEE, sizeof retorno);
  EXPECT_EQ(ZKFEAL2(five.data(), key_text("k"), 0, retorno), 0);
  EXPECT_EQ(retorno[0], 0);
  EXPECT_EQ(retorno[1], 0xEE);
  EXPECT_EQ(five[0], 0);

  auto long_text = area_of(std::string(1025, 'L'));
  std::memset(retorno, 0xEE, sizeof retorno);
  EXPECT_EQ(ZKFEAL2(long_text.data(), key_text("k"), 0, retorno), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(retorno), 10), std::string("mal long\0\xEE", 10));
  EXPECT_EQ(long_text, area_of(std::string(1025, 'L')));
}

TEST(Zkfeal2, LeavesZkfealResultAlone) {
  auto first = area_of("ABCDEFGHIJKLMNOP");
  unsigned char* result = ZKFEAL(first.data(), key_text("k"), 1);
  std::string before(reinterpret_cast<char*>(result), 25);
  auto second = area_of("something else, other blocks");
  std::vector<unsigned char> retorno(1369);
  ZKFEAL2(second.data(), key_text("other"), 0, retorno.data());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(result), 25), before);
}

TEST(Zkfeal2, OperaReadsOnlyTheLowSixteenBits) {
  auto wide = zifrakit::testing::widened<zifrakit::testing::Zkfeal2Wide>(ZKFEAL2);
  for (std::int32_t opera : {0, 1, 2}) {
    auto area = area_of("ABCDEFGHIJKLMNOP");
    unsigned char expected[32] = {}, got[32] = {};
    ZKFEAL2(area.data(), key_text("k"), static_cast<short>(opera), expected);
    auto again = area_of("ABCDEFGHIJKLMNOP");
    EXPECT_EQ(wide(again.data(), key_text("k"), 0x50000 | opera, got), 0);
    EXPECT_EQ(std::string(got, got + 32), std::string(expected, expected + 32)) << opera;
  }
}

}  // namespace
