// The printable triplet encoding: the examples of its definition, both directions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zifrakit/des/triplet.h"

namespace {

TEST(Triplet, Values) {
  struct Case {
    std::uint16_t value;
    std::string characters;
  };
  const std::vector<Case> cases = {
      {0, "   "},
      {65535, std::string{47, 53, 60}},
      {47, std::string{79, 32, 32}},
      {48, std::string{32, 33, 32}},
      {2304, std::string{32, 32, 33}},
      {0xCADB, "K96"},
  };
  for (const Case& c : cases) {
    unsigned char out[3];
    zifrakit::triplet_encode(c.value, out);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), c.characters) << c.value;
    EXPECT_EQ(zifrakit::triplet_decode(out), c.value);
  }
}

TEST(Triplet, DecodingTakesEveryCharacterModulo65536) {
  const unsigned char high[3] = {79, 79, 79};
  const unsigned char nul[3] = {0, 0, 0};
  EXPECT_EQ(zifrakit::triplet_decode(high), 0xAFFF);
  EXPECT_EQ(zifrakit::triplet_decode(nul), 0xD9E0);
}

TEST(Triplet, Block) {
  const unsigned char block[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  const unsigned char characters[12] = {35, 38, 32, 39, 66, 39, 43, 46, 47, 47, 74, 54};
  unsigned char out[12];
  zifrakit::triplet_encode_block(block, out);
  EXPECT_EQ(std::string(out, out + 12), std::string(characters, characters + 12));
  zifrakit::triplet_decode_block(out, out);  // in place
  EXPECT_EQ(std::string(out, out + 8), std::string(block, block + 8));
  EXPECT_EQ(std::string(out + 8, out + 12), std::string(characters + 8, characters + 12));
}

}  // namespace
