// ZKCRC32: the standard CRC-32 (reflected, polynomial 0xEDB88320, initial value and final
// complement all ones) of a NUL-terminated text, handed back as 4 bytes that are never NUL:
// most significant byte first, 0 replaced by 1, then the backslash by the slash.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <immintrin.h>

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

// Carry-less folding for processors that multiply without carries: a 128-bit chunk A
// followed, d bits later, by a chunk B contributes A·x^d, and with A = Ah·x^64 + Al that is
// Ah·(x^(d+64) mod P) + Al·(x^d mod P) modulo P, each product at most 96 bits wide, so it
// can be XORed into B. In the reflected bit order a product comes out one place low, which
// the constants absorb by one power less: reflect64(x^(d+63) mod P) and reflect64(x^(d-1)
// mod P). What is left after the folding is one chunk, finished with the byte table.
constexpr std::uint64_t x_power_mod_p(int power) {
  std::uint64_t remainder = 1;
  for (int i = 0; i < power; ++i) {
    remainder <<= 1;
    if (remainder >> 32 & 1) remainder ^= 0x104C11DB7u;
  }
  return remainder;
}

constexpr std::uint64_t reflect64(std::uint64_t polynomial) {
  std::uint64_t reflected = 0;
  for (int bit = 0; bit < 64; ++bit) reflected |= (polynomial >> bit & 1) << (63 - bit);
  return reflected;
}

// {for the low half, for the high half} of a chunk folded across `distance` bits.
struct FoldConstants {
  std::uint64_t low, high;
};
constexpr FoldConstants fold_constants(int distance) {
  return {reflect64(x_power_mod_p(distance + 63)), reflect64(x_power_mod_p(distance - 1))};
}
constexpr FoldConstants fold_by_one = fold_constants(128);
constexpr FoldConstants fold_by_four = fold_constants(512);

__attribute__((target("pclmul,sse2"))) inline __m128i fold(__m128i chunk, __m128i constants,
                                                          __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(chunk, constants, 0x00),
                                     _mm_clmulepi64_si128(chunk, constants, 0x11)),
                       next);
}

__attribute__((target("pclmul,sse2"))) inline __m128i constants_of(const FoldConstants& k) {
  return _mm_set_epi64x(static_cast<long long>(k.high), static_cast<long long>(k.low));
}

inline __attribute__((target("pclmul,sse2"))) __m128i load_chunk(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The register over at least 16 bytes; the tail of fewer than 16 bytes goes to the table.
__attribute__((target("pclmul,sse2"))) std::uint32_t crc32_fold(std::uint32_t oldcrc32,
                                                               const unsigned char* text,
                                                               std::size_t charcnt) {
  __m128i state = _mm_xor_si128(load_chunk(text), _mm_cvtsi32_si128(static_cast<int>(oldcrc32)));
  text += 16;
  charcnt -= 16;
  if (charcnt >= 48) {
    __m128i lanes[4] = {state, load_chunk(text), load_chunk(text + 16), load_chunk(text + 32)};
    text += 48;
    charcnt -= 48;
    const __m128i by_four = constants_of(fold_by_four);
    for (; charcnt >= 64; charcnt -= 64, text += 64)
      for (int lane = 0; lane < 4; ++lane)
        lanes[lane] = fold(lanes[lane], by_four, load_chunk(text + 16 * lane));
    const __m128i by_one = constants_of(fold_by_one);
    state = fold(fold(fold(lanes[0], by_one, lanes[1]), by_one, lanes[2]), by_one, lanes[3]);
  }
  const __m128i by_one = constants_of(fold_by_one);
  for (; charcnt >= 16; charcnt -= 16, text += 16) state = fold(state, by_one, load_chunk(text));
  unsigned char last[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(last), state);
  return crc32_update(crc32_update(0, last, 16), text, charcnt);
}

bool folds_without_carries() {
  static int known = 0;  // 0 not yet asked, 1 no, 2 yes; the library runs no constructors
  if (known == 0) {
    __builtin_cpu_init();
    known = __builtin_cpu_supports("pclmul") ? 2 : 1;
  }
  return known == 2;
}

unsigned char memc1[5];

}  // namespace

unsigned char* ZK_CALL ZKCRC32(const unsigned char* texto) {
  std::size_t charcnt = std::strlen(reinterpret_cast<const char*>(texto));
  std::uint32_t crc = ~(charcnt >= 16 && folds_without_carries()
                            ? crc32_fold(0xFFFFFFFFu, texto, charcnt)
                            : crc32_update(0xFFFFFFFFu, texto, charcnt));
  for (int i = 0; i < 4; ++i) {
    unsigned char byte = static_cast<unsigned char>(crc >> (24 - 8 * i));
    if (byte == 0) byte = 1;
    if (byte == '\\') byte = '/';
    memc1[i] = byte;
  }
  memc1[4] = 0;
  return memc1;
}
