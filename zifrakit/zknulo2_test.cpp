// ZKNULO2: the worked examples and each row of its rule, position by position.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "zifrakit/zifrakit.h"

namespace {

using Bytes = std::array<unsigned char, 8>;

std::string run(const Bytes& texto, const Bytes& clave) {
  unsigned char retorno[10];
  retorno[9] = 0xA5;  // must survive: exactly nine bytes are written
  EXPECT_EQ(ZKNULO2(texto.data(), clave.data(), retorno), 0);
  EXPECT_EQ(retorno[9], 0xA5);
  EXPECT_EQ(retorno[8], 0);
  return std::string(reinterpret_cast<char*>(retorno), 8);
}

Bytes bytes(const char* s) {
  Bytes b{};
  for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(s[i]);
  return b;
}

TEST(Zknulo2, WorkedExamples) {
  EXPECT_EQ(run(bytes("ABCDEFGH"), bytes("abcdefgh")), "bdfhjlnp");  // key byte + position
  EXPECT_EQ(run(bytes("ABCDEFGH"), bytes("12345678")), "ABCDEFGH");  // the text itself
}

// One position at a time: key byte k at position i against text byte t.
TEST(Zknulo2, RuleByCases) {
  struct Case {
    int position;
    unsigned char key, text, expected;
  };
  const std::vector<Case> cases = {
      {0, 10, 5, 11},      // k < 128: the larger of t and k + i + 1
      {0, 10, 200, 200},
      {3, 10, 14, 14},     // t equal to u
      {2, 0, 0, 3},        // zero key byte: the larger of t and i + 1
      {2, 0, 9, 9},
      {7, 127, 0, 135},    // u at its highest below 128
      {0, 128, 255, 129},  // k >= 128, u <= 255: u whatever t is
      {7, 128, 0, 136},
      {4, 200, 250, 205},
      {0, 255, 0, 0},      // u - 256 = 0: the text byte stays
      {0, 255, 77, 77},
      {1, 254, 66, 66},
      {7, 255, 3, 7},      // u - 256 = 7 above t
      {7, 255, 9, 9},
      {5, 252, 1, 2},      // u - 256 = 2
  };
  for (const Case& c : cases) {
    Bytes text = bytes("\0\0\0\0\0\0\0\0");
    Bytes key = bytes("\x7f\x7f\x7f\x7f\x7f\x7f\x7f\x7f");  // other positions: 128 + i
    text[c.position] = c.text;
    key[c.position] = c.key;
    std::string result = run(text, key);
    EXPECT_EQ(static_cast<unsigned char>(result[c.position]), c.expected)
        << "position " << c.position << " key " << int(c.key) << " text " << int(c.text);
    for (int i = 0; i < 8; ++i) {
      if (i != c.position) {
        EXPECT_EQ(static_cast<unsigned char>(result[i]), 128 + i);
      }
    }
  }
}

TEST(Zknulo2, LeavesTextAndKeyAlone) {
  Bytes text = bytes("ABCDEFGH");
  Bytes key = bytes("abcdefgh");
  run(text, key);
  EXPECT_EQ(text, bytes("ABCDEFGH"));
  EXPECT_EQ(key, bytes("abcdefgh"));
}

}  // namespace
