// ZKCRC16: the 16-bit CRC with generator x^16 + x^15 + x^2 + 1 (0x8005), initial value 0, no
// reflection and no final XOR, i.e. the long division of the text followed by two zero
// bytes, which the export also writes after the text in the caller's storage. The result is
// 2 raw bytes (high first) or 3 characters of the printable triplet encoding.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zifrakit/des/triplet.h"
#include "zifrakit/zifrakit.h"

namespace {

constexpr std::uint16_t genpol = 0x8005;

// Slice 0 is the byte-wise table; slice k is a byte followed by k zero bytes, so that eight
// bytes are folded in per step with independent lookups.
using Slices = std::array<std::array<std::uint16_t, 256>, 8>;
constexpr Slices make_slices() {
  Slices slices{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    unsigned crc = byte << 8;
    for (int bit = 0; bit < 8; ++bit) crc = crc & 0x8000 ? (crc << 1 ^ genpol) : crc << 1;
    slices[0][byte] = static_cast<std::uint16_t>(crc);
  }
  for (int k = 1; k < 8; ++k)
    for (unsigned byte = 0; byte < 256; ++byte) {
      unsigned prev = slices[k - 1][byte];
      slices[k][byte] = static_cast<std::uint16_t>(prev << 8 ^ slices[0][prev >> 8]);
    }
  return slices;
}
constexpr Slices slices = make_slices();

std::uint16_t crc16(const unsigned char* text, std::size_t length) {
  unsigned crc = 0;
  for (; length >= 8; length -= 8, text += 8)
    crc = slices[7][text[0] ^ crc >> 8] ^ slices[6][text[1] ^ (crc & 0xFF)] ^ slices[5][text[2]] ^
          slices[4][text[3]] ^ slices[3][text[4]] ^ slices[2][text[5]] ^ slices[1][text[6]] ^
          slices[0][text[7]];
  for (; length > 0; --length, ++text) crc = (crc << 8 & 0xFFFF) ^ slices[0][crc >> 8 ^ *text];
  return static_cast<std::uint16_t>(crc);
}

unsigned char memcrc[4];

}  // namespace

unsigned char* ZK_CALL ZKCRC16(unsigned char* cletex, short modope) {
  std::size_t canlet = std::strlen(reinterpret_cast<const char*>(cletex));
  cletex[canlet] = 0;
  cletex[canlet + 1] = 0;
  std::uint16_t crc = crc16(cletex, canlet);
  if (modope != 0) {
    zifrakit::triplet_encode(crc, memcrc);
    memcrc[3] = 0;
  } else {
    memcrc[0] = static_cast<unsigned char>(crc >> 8);
    memcrc[1] = static_cast<unsigned char>(crc & 0xFF);
    memcrc[2] = 0;
  }
  return memcrc;
}
