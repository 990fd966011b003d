// The printable triplet encoding: a 16-bit value as three characters of base 48, each digit
// plus 32 (blank to 'O'), least significant digit first. The DES export hands blocks back in
// it and the CRC-16 export its checksum.
#ifndef ZIFRAKIT_DES_TRIPLET_H
#define ZIFRAKIT_DES_TRIPLET_H

#include <cstdint>

namespace zifrakit {

inline constexpr unsigned triplet_base = 48;
inline constexpr unsigned triplet_offset = 32;

// Writes the three characters of `value` at out[0..2]; no terminator.
inline void triplet_encode(std::uint16_t value, unsigned char* out) {
  out[0] = static_cast<unsigned char>(value % triplet_base + triplet_offset);
  out[1] = static_cast<unsigned char>(value / triplet_base % triplet_base + triplet_offset);
  out[2] = static_cast<unsigned char>(value / (triplet_base * triplet_base) + triplet_offset);
}

// Reads three characters as unsigned bytes; nothing is rejected, the sum is taken modulo 65536.
inline std::uint16_t triplet_decode(const unsigned char* in) {
  int value = (in[0] - static_cast<int>(triplet_offset)) +
              static_cast<int>(triplet_base) * (in[1] - static_cast<int>(triplet_offset)) +
              static_cast<int>(triplet_base * triplet_base) * (in[2] - static_cast<int>(triplet_offset));
  return static_cast<std::uint16_t>(value);
}

// An 8-byte block as 12 characters: pair k (high byte first) gives characters 3k to 3k + 2.
inline void triplet_encode_block(const unsigned char* block, unsigned char* out) {
  for (int pair = 0; pair < 4; ++pair)
    triplet_encode(static_cast<std::uint16_t>(block[2 * pair] << 8 | block[2 * pair + 1]),
                   out + 3 * pair);
}

// 12 characters back to 8 bytes. `out` may be `in`: each pair is written over characters
// already read.
inline void triplet_decode_block(const unsigned char* in, unsigned char* out) {
  for (int pair = 0; pair < 4; ++pair) {
    std::uint16_t value = triplet_decode(in + 3 * pair);
    out[2 * pair] = static_cast<unsigned char>(value >> 8);
    out[2 * pair + 1] = static_cast<unsigned char>(value & 0xFF);
  }
}

}  // namespace zifrakit

#endif
