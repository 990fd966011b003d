// ZKFEAL through its export: the published vector, key preparation, the printable quad
// encoding, the length limit, the cut to whole blocks, and the operation codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "zifrakit/testing.h"
#include "zifrakit/zifrakit.h"

namespace {

using zifrakit::testing::from_hex;
using zifrakit::testing::to_hex;

const unsigned char* key_text(const char* key) { return reinterpret_cast<const unsigned char*>(key); }

struct Outcome {
  std::string result;  // up to the result's length
  std::string texto;   // the caller's text afterwards, up to its NUL
};

// Runs ZKFEAL on a copy of `text`; `length` bytes of the result are kept.
Outcome feal(const std::string& text, const char* key, short opera, std::size_t length) {
  std::vector<unsigned char> area(text.begin(), text.end());
  area.push_back(0);
  unsigned char* result = ZKFEAL(area.data(), key_text(key), opera);
  return {std::string(reinterpret_cast<char*>(result), length),
          std::string(reinterpret_cast<char*>(area.data()))};
}

std::string quad(const std::string& bytes) {  // the encoding, written out for the tests
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16 |
                      static_cast<unsigned char>(bytes[i + 1]) << 8 |
                      static_cast<unsigned char>(bytes[i + 2]);
    for (int d = 0; d < 4; ++d, v /= 72) out += static_cast<char>(v % 72 + 37);
  }
  return out;
}

std::string bytes_of(const std::string& hex) {
  auto b = from_hex(hex);
  return std::string(b.begin(), b.end());
}

const char* const vector_key = "\x01\x23\x45\x67\x89\xAB\xCD\xEF";

TEST(Zkfeal, PublishedVectorDeciphers) {
  // The cipher text of eight zero bytes under key 0123456789ABCDEF.
  const std::string cipher = bytes_of("CEEF2C86F2490752");
  for (short opera : {2, 4, 7}) {
    Outcome out = feal(cipher, vector_key, opera, 9);
    EXPECT_EQ(out.result, std::string(9, '\0')) << opera;
  }
}

TEST(Zkfeal, QuadEncodingExample) {
  EXPECT_EQ(quad("one"), "2XM8");
  // Code 3 decodes in place: three groups "2XM8" stand for "oneoneone", cut to one block.
  std::vector<unsigned char> area = {'2', 'X', 'M', '8', '2', 'X', 'M', '8', '2', 'X', 'M', '8', 0};
  ZKFEAL(area.data(), key_text("k"), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(area.data())), "oneoneon");
  EXPECT_EQ(area[8], 0);
  EXPECT_EQ(area[9], 'X');  // characters past the last decoded byte stay
}

TEST(Zkfeal, PrintableFormIsTheQuadEncodingOfTheRawForm) {
  struct Case {
    std::size_t length;
    std::size_t characters;
  };
  const std::vector<Case> cases = {{8, 12}, {16, 24}, {24, 32}, {1024, 1368}, {1023, 1356}};
  for (const Case& c : cases) {
    std::string text;
    for (std::size_t i = 0; i < c.length; ++i) text += static_cast<char>('A' + i % 26);
    std::string raw = feal(text, "secreto", 0, c.length / 8 * 8).result;
    std::string blanks(3 - raw.size() % 3 == 3 ? 0 : 3 - raw.size() % 3, ' ');
    Outcome printable = feal(text, "secreto", 1, c.characters + 1);
    EXPECT_EQ(printable.result, quad(raw + blanks) + std::string(1, '\0')) << c.length;
    for (std::size_t i = 0; i < c.characters; ++i)
      ASSERT_TRUE(printable.result[i] >= 37 && printable.result[i] <= 108);
  }
}

TEST(Zkfeal, EncipherThenDecipherGivesTheWholeBlocksBack) {
  const std::vector<std::string> texts = {"ABCDEFGH", "Una cadena de prueba, 40 caracteres ....",
                                          "partial block at the end"};
  for (const std::string& text : texts) {
    std::string whole = text.substr(0, text.size() / 8 * 8);
    std::string characters = feal(text, "clave", 1, 4 * ((whole.size() + 2) / 3)).result;
    Outcome back = feal(characters, "clave", 3, whole.size() + 1);
    EXPECT_EQ(back.result, whole + std::string(1, '\0')) << text;
  }
}

TEST(Zkfeal, KeysActAsTheirPreparedForm) {
  const std::string text = "ABCDEFGHIJKLMNOP";
  auto cipher = [&](const char* key) { return feal(text, key, 0, 16).result; };
  EXPECT_EQ(cipher("abcdefgh"), cipher("abcdefghXYZ"));
  EXPECT_EQ(cipher("abc"), cipher("abc\x03\x04\x05\x06\x07"));
  EXPECT_EQ(cipher("1234567"), cipher("1234567\x07"));
  EXPECT_NE(cipher("abc"), cipher("abcd"));
}

TEST(Zkfeal, CodesSharingADirection) {
  const std::string text = "ABCDEFGHIJKLMNOP";
  EXPECT_EQ(feal(text, "k", 0, 17).result, feal(text, "k", -1, 17).result);
  EXPECT_EQ(feal(text, "k", 0, 17).result, feal(text, "k", -300, 17).result);
  EXPECT_EQ(feal(text, "k", 2, 17).result, feal(text, "k", 4, 17).result);
  EXPECT_EQ(feal(text, "k", 2, 17).result, feal(text, "k", 32767, 17).result);
  EXPECT_NE(feal(text, "k", 0, 17).result, feal(text, "k", 2, 17).result);
}

TEST(Zkfeal, CutToWholeBlocks) {
  struct Case {
    std::string text;
    short opera;
    std::size_t result_bytes;
    std::string texto_after;
  };
  const std::vector<Case> cases = {
      {"0123456789abc", 0, 8, "01234567"},
      {"01234", 0, 0, ""},
      {"01234", 1, 0, ""},
      {"", 0, 0, ""},
      {"0123456789abcdefXY", 2, 16, "0123456789abcdef"},
  };
  for (const Case& c : cases) {
    Outcome out = feal(c.text, "k", c.opera, c.result_bytes + 1);
    EXPECT_EQ(out.texto, c.texto_after) << c.text;
    EXPECT_EQ(out.result[c.result_bytes], '\0') << c.text;
    if (c.result_bytes == 0) {
      EXPECT_EQ(std::strlen(reinterpret_cast<char*>(ZKFEAL(
                    reinterpret_cast<unsigned char*>(std::string(c.text).data()), key_text("k"), c.opera))),
                0u);
    }
  }
}

TEST(Zkfeal, PrintableInputOfFourteenCharactersIgnoresTheLastTwo) {
  std::string characters = feal("ABCDEFGH", "k", 1, 12).result;
  EXPECT_EQ(feal(characters + "%%", "k", 3, 9).result, std::string("ABCDEFGH\0", 9));
  EXPECT_EQ(feal(characters + "ll", "k", 3, 9).result, std::string("ABCDEFGH\0", 9));
}

TEST(Zkfeal, RawCipherTextIsCutAtAZeroByte) {
  // Find a cipher text with a zero byte in its second block; deciphering it stops there.
  for (int i = 0; i < 2000; ++i) {
    std::string text = std::to_string(10000000 + i) + std::to_string(20000000 + 7 * i) + "x";
    std::string cipher = feal(text, "k", 0, 16).result;
    std::size_t zero = cipher.find('\0');
    if (zero == std::string::npos || zero < 8) continue;
    Outcome back = feal(cipher, "k", 2, 9);
    EXPECT_EQ(back.result, text.substr(0, 8) + std::string(1, '\0'));
    return;
  }
  FAIL() << "no cipher text with a zero byte in its second block";
}

TEST(Zkfeal, LengthLimit) {
  struct Case {
    std::size_t characters;
    short opera;
    bool too_long;
  };
  const std::vector<Case> cases = {
      {1024, 0, false}, {1025, 0, true},  {1025, 1, true},  {1025, 2, true},
      {1025, 4, true},  {1025, -1, true}, {5000, 0, true},  {1367, 3, false},
      {1368, 3, true},  {1356, 3, false}, {1025, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.characters) + " opera " + std::to_string(c.opera));
    std::string text(c.characters, 'Q');
    Outcome out = feal(text, "k", c.opera, 9);
    if (c.too_long) {
      EXPECT_EQ(out.result, std::string("mal long\0", 9));
      EXPECT_EQ(out.texto, text);
    } else {
      EXPECT_NE(out.result.substr(0, 8), "mal long");
    }
  }
  // 1356 characters, the printable form of 1016 bytes, decipher to those 1016 bytes.
  std::string text(1016, 'z');
  std::string characters = feal(text, "k", 1, 1356).result;
  EXPECT_EQ(feal(characters, "k", 3, 1017).result, text + std::string(1, '\0'));
}

TEST(Zkfeal, SameBufferEveryCall) {
  std::vector<unsigned char> one = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 0};
  std::vector<unsigned char> two(1100, 'x');
  two.back() = 0;
  unsigned char* first = ZKFEAL(one.data(), key_text("k"), 0);
  EXPECT_EQ(ZKFEAL(two.data(), key_text("k"), 0), first);
  EXPECT_STREQ(reinterpret_cast<char*>(first), "mal long");
}

TEST(Zkfeal, OperaReadsOnlyTheLowSixteenBits) {
  auto wide = zifrakit::testing::widened<zifrakit::testing::ZkfealWide>(ZKFEAL);
  for (std::int32_t opera : {0, 1, 2, 3}) {
    std::string text = opera == 3 ? feal("ABCDEFGHIJKLMNOP", "k", 1, 24).result : "ABCDEFGHIJKLMNOP";
    std::string expected = feal(text, "k", static_cast<short>(opera), 25).result;
    for (std::int32_t upper : {0x10000, 0x12340000, -0x10000}) {
      std::vector<unsigned char> area(text.begin(), text.end());
      area.push_back(0);
      std::string got(reinterpret_cast<char*>(wide(area.data(), key_text("k"), upper | opera)), 25);
      EXPECT_EQ(got, expected) << opera << " " << upper;
    }
  }
}

}  // namespace
