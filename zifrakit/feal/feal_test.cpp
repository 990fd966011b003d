// The FEAL-8 engine on its own: the published vector and its subkeys, and the key
// preparation rule, including the keys that a text cannot carry (a leading NUL).
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "zifrakit/feal/feal.h"
#include "zifrakit/testing.h"

namespace {

using zifrakit::FealBlock;
using zifrakit::testing::from_hex;
using zifrakit::testing::to_hex;

FealBlock block_of(const std::string& hex) {
  auto bytes = from_hex(hex);
  FealBlock block{};
  for (int i = 0; i < 8; ++i) block[i] = bytes[i];
  return block;
}

std::string hex(const FealBlock& block) {
  unsigned char bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(block[i]);
  return to_hex(bytes, 8);
}

TEST(FealEngine, PublishedVector) {
  auto schedule = zifrakit::feal_schedule({0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF});
  EXPECT_EQ(to_hex(schedule.CLAi.data(), 32),
            "DF3BCA36F17C1AEC45A5B9C726EBAD258B2AECB7AC509D4C22CD479BA8D50CB5");
  FealBlock out{};
  zifrakit::feal_block(schedule, block_of("0000000000000000"), out, 0);
  EXPECT_EQ(hex(out), "CEEF2C86F2490752");
  FealBlock back{};
  zifrakit::feal_block(schedule, out, back, 2);
  EXPECT_EQ(hex(back), "0000000000000000");
}

TEST(FealEngine, DirectionByCode) {
  auto schedule = zifrakit::feal_schedule({'a', 'n', 'y', ' ', 'k', 'e', 'y', 7});
  FealBlock plain = block_of("4142434445464748"), reference{}, out{};
  zifrakit::feal_block(schedule, plain, reference, 0);
  for (short opera : {1, -1, -32768}) {
    zifrakit::feal_block(schedule, plain, out, opera);
    EXPECT_EQ(hex(out), hex(reference)) << opera;
  }
  zifrakit::feal_block(schedule, reference, out, 2);
  for (short opera : {3, 4, 7, 32767}) {
    FealBlock other{};
    zifrakit::feal_block(schedule, reference, other, opera);
    EXPECT_EQ(hex(other), hex(out)) << opera;
  }
  EXPECT_EQ(hex(out), hex(plain));
}

// A key text is its first 8 bytes, completed after its end with the position numbers.
TEST(FealEngine, KeyPreparation) {
  struct Case {
    std::vector<unsigned char> text;  // NUL-terminated
    zifrakit::FealKey expected;
  };
  const std::vector<Case> cases = {
      {{'a', 'b', 'c', 0}, {'a', 'b', 'c', 3, 4, 5, 6, 7}},
      {{0}, {0, 1, 2, 3, 4, 5, 6, 7}},
      {{'1', '2', '3', '4', '5', '6', '7', '8', '9', 'X', 0}, {'1', '2', '3', '4', '5', '6', '7', '8'}},
      {{'k', 0, 'z', 'z', 0}, {'k', 1, 2, 3, 4, 5, 6, 7}},
      {{'1', '2', '3', '4', '5', '6', '7', 0}, {'1', '2', '3', '4', '5', '6', '7', 7}},
  };
  for (const Case& c : cases) {
    auto key = zifrakit::feal_key(c.text.data());
    EXPECT_EQ(to_hex(key.data(), 8), to_hex(c.expected.data(), 8));
  }
}

}  // namespace
