// ZKCRC32: the standard CRC-32 (reflected, polynomial 0xEDB88320, initial value and final
// complement all ones) of a NUL-terminated text, handed back as 4 bytes that are never NUL:
// most significant byte first, 0 replaced by 1, then the backslash by the slash.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zifrakit/zifrakit.h"

namespace {

// crc_32_tab is slice 0, the standard byte-wise table; slice k advances a byte k further,
// so that eight bytes are folded in per step with independent lookups.
using Slices = std::array<std::array<std::uint32_t, 256>, 8>;
constexpr Slices make_slices() {
  Slices slices{};
  for (std::uint32_t byte = 0; byte < 256; ++byte) {
    std::uint32_t crc = byte;
    for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? crc >> 1 ^ 0xEDB88320u : crc >> 1;
    slices[0][byte] = crc;
  }
  for (int k = 1; k < 8; ++k)
    for (int byte = 0; byte < 256; ++byte)
      slices[k][byte] = slices[k - 1][byte] >> 8 ^ slices[0][slices[k - 1][byte] & 0xFF];
  return slices;
}
constexpr Slices slices = make_slices();
constexpr const std::array<std::uint32_t, 256>& crc_32_tab = slices[0];
static_assert(crc_32_tab[1] == 0x77073096u && crc_32_tab[255] == 0x2D02EF8Du);

std::uint32_t load_le32(const unsigned char* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

std::uint32_t crc32_update(std::uint32_t oldcrc32, const unsigned char* text, std::size_t charcnt) {
  for (; charcnt >= 8; charcnt -= 8, text += 8) {
    std::uint32_t low = load_le32(text) ^ oldcrc32;
    std::uint32_t high = load_le32(text + 4);
    oldcrc32 = slices[7][low & 0xFF] ^ slices[6][low >> 8 & 0xFF] ^ slices[5][low >> 16 & 0xFF] ^
               slices[4][low >> 24] ^ slices[3][high & 0xFF] ^ slices[2][high >> 8 & 0xFF] ^
               slices[1][high >> 16 & 0xFF] ^ slices[0][high >> 24];
  }
  for (; charcnt > 0; --charcnt, ++text)
    oldcrc32 = crc_32_tab[(oldcrc32 ^ *text) & 0xFF] ^ oldcrc32 >> 8;
  return oldcrc32;
}

unsigned char memc1[5];

}  // namespace

unsigned char* ZK_CALL ZKCRC32(const unsigned char* texto) {
  std::size_t charcnt = std::strlen(reinterpret_cast<const char*>(texto));
  std::uint32_t crc = ~crc32_update(0xFFFFFFFFu, texto, charcnt);
  for (int i = 0; i < 4; ++i) {
    unsigned char byte = static_cast<unsigned char>(crc >> (24 - 8 * i));
    if (byte == 0) byte = 1;
    if (byte == '\\') byte = '/';
    memc1[i] = byte;
  }
  memc1[4] = 0;
  return memc1;
}
