// ZKDES against OpenSSL's DES on random keys, blocks and texts.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "zifrakit/testing.h"
#include "zifrakit/zifrakit.h"

namespace {

using zifrakit::testing::to_hex;

class ZkdesAgainstOpenssl : public ::testing::Test {
 protected:
  std::mt19937 random{20260612};
  void fill(unsigned char* bytes, std::size_t size, int low = 0) {
    std::uniform_int_distribution<int> byte(low, 255);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(byte(random));
  }
};

TEST_F(ZkdesAgainstOpenssl, RandomBlocksBothWays) {
  for (int round = 0; round < 4000; ++round) {
    DES_cblock key, block, expected;
    fill(key, 8);
    fill(block, 8);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&key, &schedule);
    int encrypt = round % 2 == 0 ? DES_ENCRYPT : DES_DECRYPT;
    DES_ecb_encrypt(&block, &expected, &schedule, encrypt);

    unsigned char text[8], clave[8];
    std::memcpy(text, block, 8);
    std::memcpy(clave, key, 8);
    unsigned char* result = ZKDES(text, clave, encrypt == DES_ENCRYPT ? 0 : 2, 0, 0);
    ASSERT_EQ(to_hex(result, 8), to_hex(expected, 8))
        << "key " << to_hex(key, 8) << " block " << to_hex(block, 8);
  }
}

TEST_F(ZkdesAgainstOpenssl, RandomTextsMacEqualsCbcChecksum) {
  std::uniform_int_distribution<std::size_t> length(0, 700);
  for (int round = 0; round < 500; ++round) {
    std::vector<unsigned char> text(length(random) + 1);
    fill(text.data(), text.size() - 1, 1);  // no NUL before the end
    text.back() = 0;
    DES_cblock key, expected{}, iv{};
    fill(key, 8);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&key, &schedule);
    std::size_t whole = (text.size() - 1) / 8 * 8;
    if (whole > 0) DES_cbc_cksum(text.data(), &expected, static_cast<long>(whole), &schedule, &iv);

    unsigned char clave[8];
    std::memcpy(clave, key, 8);
    unsigned char* result = ZKDES(text.data(), clave, 6, 0, 0);
    ASSERT_EQ(to_hex(result, 8), to_hex(expected, 8)) << "length " << text.size() - 1;
  }
}

}  // namespace
