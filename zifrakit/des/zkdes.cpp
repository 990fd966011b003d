// ZKDES: DES on one block, with optional printable forms, and a CBC-MAC over a text.
//
// The cipher is FIPS PUB 46 DES. The standard's tables below are the only source of the
// cipher's structure: every lookup table the engine runs on is derived from them at compile
// time, so a round costs eight table lookups, its round key eight more (one per key byte,
// from a 128 KiB table) and the permutations a few shifts.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zifrakit/des/triplet.h"
#include "zifrakit/zifrakit.h"

namespace {

using zifrakit::triplet_decode_block;
using zifrakit::triplet_encode_block;

// The standard numbers bits from 1; the tables hold positions counted from 0.
template <std::size_t N>
constexpr std::array<std::int8_t, N> from_standard(const int (&numbers)[N]) {
  std::array<std::int8_t, N> positions{};
  for (std::size_t i = 0; i < N; ++i) positions[i] = static_cast<std::int8_t>(numbers[i] - 1);
  return positions;
}

// Initial permutation IP: output bit i is input bit jip[i]; 0 to 31 form L, 32 to 63 form R.
constexpr auto jip = from_standard({
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7});

// Inverse initial permutation, over the preoutput R16 L16.
constexpr auto jip_1 = from_standard({
    40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
    38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
    36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
    34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25});

// Expansion E of the right half to 48 bits.
constexpr auto fe_bit = from_standard({
    32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
    12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
    22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1});

// Permutation P of the S-box outputs.
constexpr auto fperm = from_standard({
    16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
    2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25});

// S-boxes S1 to S8, by box, row and column.
constexpr std::int8_t jfs[8][4][16] = {
    {{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
     {0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8},
     {4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0},
     {15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
    {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},
     {3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5},
     {0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15},
     {13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
    {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
     {13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1},
     {13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7},
     {1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
    {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},
     {13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9},
     {10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4},
     {3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
    {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
     {14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6},
     {4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14},
     {11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
    {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},
     {10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8},
     {9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6},
     {4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
    {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
     {13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6},
     {1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2},
     {6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
    {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},
     {1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2},
     {7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8},
     {2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}}};

// Permuted choice 1: entries 0 to 27 select C, 28 to 55 select D.
constexpr auto pc_1 = from_standard({
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
    10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
    14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4});

// Permuted choice 2 over the 56 bits of C followed by D.
constexpr auto jpc_2 = from_standard({
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
    26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
    51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32});

// Left rotations of C and D before each round.
constexpr std::int8_t lsh[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// Bit strings are held most significant bit first: position p of a string of `width` bits
// is bit width - 1 - p of the integer.
template <std::size_t N>
constexpr std::uint64_t permute(std::uint64_t in, unsigned in_width,
                                const std::array<std::int8_t, N>& table) {
  std::uint64_t out = 0;
  for (std::size_t i = 0; i < N; ++i)
    out = out << 1 | ((in >> (in_width - 1 - static_cast<unsigned>(table[i]))) & 1);
  return out;
}

// The expansion takes six bits from each 4-bit step of R, starting one bit before it
// (cyclically): chunk s is positions 4s - 1 to 4s + 4. The round function below reads the
// chunks from two rotations of R instead of expanding it.
constexpr bool expansion_is_cyclic_steps() {
  for (int s = 0; s < 8; ++s)
    for (int b = 0; b < 6; ++b)
      if (fe_bit[6 * s + b] != (4 * s - 1 + b + 32) % 32) return false;
  return true;
}
static_assert(expansion_is_cyclic_steps());

// A round key in the shape the round function consumes: the high word holds chunks 0, 2,
// 4, 6 and the low word chunks 1, 3, 5, 7, one 6-bit chunk in the low bits of each byte.
using Subkey = std::uint64_t;

constexpr Subkey pack_subkey(std::uint64_t bits48) {
  std::uint32_t even = 0, odd = 0;
  for (int s = 0; s < 8; ++s) {
    std::uint32_t chunk = static_cast<std::uint32_t>(bits48 >> (42 - 6 * s)) & 0x3F;
    std::uint32_t shift = 24 - 8 * static_cast<std::uint32_t>(s / 2);
    (s % 2 == 0 ? even : odd) |= chunk << shift;
  }
  return std::uint64_t{even} << 32 | odd;
}

// S-box s combined with P: the 32-bit contribution of one 6-bit chunk. Each table is
// indexed by a whole byte whose top two bits are ignored, which spares the round function a
// mask on the chunks it takes from the ends of a word.
using SpTables = std::array<std::array<std::uint32_t, 256>, 8>;
constexpr SpTables make_sp() {
  SpTables sp{};
  for (int s = 0; s < 8; ++s)
    for (int byte = 0; byte < 256; ++byte) {
      int six = byte & 0x3F;
      int row = (six >> 4 & 2) | (six & 1);
      int column = six >> 1 & 0xF;
      std::uint32_t sbox_out = static_cast<std::uint32_t>(jfs[s][row][column])
                               << (28 - 4 * s);  // BS8 positions 4s to 4s + 3
      sp[s][byte] = static_cast<std::uint32_t>(permute(sbox_out, 32, fperm));
    }
  return sp;
}
constexpr SpTables sp = make_sp();

// A 64-bit permutation that moves the bits of every input byte in the same pattern, only
// offset by a column: the result is one table lookup per byte, shifted. IP and its inverse
// both have this form; make_byte_permutation refuses (at compile time) a table that has not.
struct BytePermutation {
  std::array<std::uint64_t, 256> base;
  std::array<std::uint8_t, 8> shift;
};

template <std::size_t N>
constexpr BytePermutation make_byte_permutation(const std::array<std::int8_t, N>& table) {
  auto contribution = [&](int byte, unsigned value) {
    return permute(std::uint64_t{value} << (56 - 8 * byte), 64, table);
  };
  int first = 0;  // the byte whose bits land furthest left
  for (int byte = 1; byte < 8; ++byte)
    if (contribution(byte, 0x80) > contribution(first, 0x80)) first = byte;
  BytePermutation result{};
  for (int byte = 0; byte < 8; ++byte) {
    std::uint8_t shift = 0;
    while ((contribution(first, 0x80) >> shift) != contribution(byte, 0x80)) ++shift;
    for (unsigned bit = 1; bit < 256; bit <<= 1)
      if ((contribution(first, bit) >> shift) != contribution(byte, bit))
        throw "not a byte-column permutation";
    result.shift[byte] = shift;
  }
  for (unsigned value = 0; value < 256; ++value) result.base[value] = contribution(first, value);
  return result;
}
constexpr BytePermutation initial_permutation = make_byte_permutation(jip);
constexpr BytePermutation final_permutation = make_byte_permutation(jip_1);

inline std::uint64_t apply(const BytePermutation& permutation, std::uint64_t in) {
  std::uint64_t out = 0;
  for (int byte = 0; byte < 8; ++byte)
    out |= permutation.base[in >> (56 - 8 * byte) & 0xFF] >> permutation.shift[byte];
  return out;
}

// The key schedule by key byte. Permuted choice 1 never selects the lowest bit of a key
// byte, so each round key is the OR of one entry per key byte, indexed by the byte's 7 high
// bits: the entry holds the bits of all 16 round keys that come from that byte. Before
// round r, C and D stand rotated by the sum of lsh up to r, so every round key depends on
// the key alone, not on the round before it.
constexpr std::array<int, 16> rotation_before() {
  std::array<int, 16> total{};
  for (int round = 0, sum = 0; round < 16; ++round) total[round] = sum += lsh[round];
  return total;
}

struct RoundKeys {
  std::array<Subkey, 16> round;
};
using KeyByteTables = std::array<std::array<RoundKeys, 128>, 8>;

constexpr KeyByteTables make_key_byte_tables() {
  // Each key bit through PC-1 to its place in C D, through the rotations to its place
  // before each round, and through PC-2 to its place in that round's key, where it has one.
  std::array<int, 64> cd_of_key{};
  for (int& place : cd_of_key) place = -1;
  for (int i = 0; i < 56; ++i) cd_of_key[pc_1[i]] = i;
  std::array<int, 56> subkey_of_cd{};
  for (int& place : subkey_of_cd) place = -1;
  for (int j = 0; j < 48; ++j) subkey_of_cd[jpc_2[j]] = j;
  constexpr auto rotation = rotation_before();
  std::array<RoundKeys, 64> of_key_bit{};
  for (int p = 0; p < 64; ++p) {
    int start = cd_of_key[p];
    if (start < 0) continue;
    int half = start < 28 ? 0 : 28;  // a rotation keeps a bit in its half
    for (int round = 0; round < 16; ++round) {
      int j = subkey_of_cd[half + (start - half - rotation[round] + 56) % 28];
      if (j >= 0) of_key_bit[p].round[round] = pack_subkey(std::uint64_t{1} << (47 - j));
    }
  }
  // Entry v of byte b: the bits of v are key positions 8b to 8b + 6, the top bit first.
  KeyByteTables tables{};
  for (int byte = 0; byte < 8; ++byte)
    for (unsigned high7 = 1; high7 < 128; ++high7) {
      unsigned lowest = 0;
      while ((high7 >> lowest & 1) == 0) ++lowest;
      const RoundKeys& rest = tables[byte][high7 & (high7 - 1)];
      const RoundKeys& bit = of_key_bit[8 * byte + 6 - static_cast<int>(lowest)];
      for (int round = 0; round < 16; ++round)
        tables[byte][high7].round[round] = rest.round[round] | bit.round[round];
    }
  return tables;
}
constexpr KeyByteTables key_byte_tables = make_key_byte_tables();

// The 16 round keys in the order Edes walks them: K1 to K16 to encipher, K16 to K1 to
// decipher.
struct SubkeyTable {
  std::array<Subkey, 16> row;
};

std::uint64_t load_block(const unsigned char* bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value = value << 8 | bytes[i];
  return value;
}

void store_block(std::uint64_t value, unsigned char* bytes) {
  for (int i = 7; i >= 0; --i, value >>= 8) bytes[i] = static_cast<unsigned char>(value);
}

bool deciphers(short operac) { return operac == 2 || operac == 3; }
bool xors_input(short operac) { return operac == 4 || operac == 5; }
bool printable(short operac) { return operac == 1 || operac == 5; }

// Fills KEYi from the 8 bytes at key_in. With shkey 2 the key bytes are first shifted left
// by one bit in the caller's storage, so that the 7 low bits of each byte as passed are the
// ones the schedule uses.
void keyE(unsigned char* key_in, SubkeyTable& KEYi, short shkey, short operac) {
  if (shkey == 2)
    for (int i = 0; i < 8; ++i) key_in[i] = static_cast<unsigned char>(key_in[i] << 1);
  std::array<const RoundKeys*, 8> from_byte;
  for (int byte = 0; byte < 8; ++byte) from_byte[byte] = &key_byte_tables[byte][key_in[byte] >> 1];
  for (int round = 0; round < 16; ++round) {
    Subkey key = 0;
    for (const RoundKeys* part : from_byte) key |= part->round[round];
    KEYi.row[deciphers(operac) ? 15 - round : round] = key;
  }
}

constexpr std::uint32_t rotr(std::uint32_t value, int count) {
  return value >> count | value << (32 - count);
}

// Holds a partial result as it stands, so that the compiler keeps the grouping of the XORs
// below instead of chaining all eight lookups one after the other: the grouping lets the
// lookups whose index is ready first combine while the others are still loading.
inline std::uint32_t grouped(std::uint32_t partial) {
  asm("" : "+r"(partial));
  return partial;
}

// The half that a round produces from the other two: old ^ f(r, key).
inline std::uint32_t round_of(std::uint32_t old, std::uint32_t r, Subkey key) {
  std::uint32_t even = rotr(r, 3) ^ static_cast<std::uint32_t>(key >> 32);  // chunks 0 2 4 6
  std::uint32_t odd = rotr(r, 31) ^ static_cast<std::uint32_t>(key);        // chunks 1 3 5 7
  std::uint32_t ends = grouped(grouped(old ^ sp[6][even & 0xFF]) ^
                               grouped(sp[7][odd & 0xFF] ^ sp[0][even >> 24])) ^
                       sp[1][odd >> 24];
  std::uint32_t middles = grouped(sp[4][even >> 8 & 0xFF] ^ sp[5][odd >> 8 & 0xFF]) ^
                          grouped(sp[2][even >> 16 & 0xFF] ^ sp[3][odd >> 16 & 0xFF]);
  return grouped(ends) ^ grouped(middles);
}

// One block through IP, the 16 rounds in KEYi's order and IP^-1.
inline std::uint64_t des_block(std::uint64_t block, const SubkeyTable& KEYi) {
  std::uint64_t permuted = apply(initial_permutation, block);
  std::uint32_t l = static_cast<std::uint32_t>(permuted >> 32);
  std::uint32_t r = static_cast<std::uint32_t>(permuted);
  for (int round = 0; round < 16; round += 2) {
    l = round_of(l, r, KEYi.row[round]);
    r = round_of(r, l, KEYi.row[round + 1]);
  }
  return apply(final_permutation, std::uint64_t{r} << 32 | l);
}

// One block at texto (12 printable characters for operac 3, decoded in place first) to
// visible: 12 characters for operac 1 and 5, otherwise 8 bytes. No terminator is written.
// visible may be texto.
void Edes(unsigned char* texto, const SubkeyTable& KEYi, unsigned char* visible, short operac) {
  if (operac == 3) triplet_decode_block(texto, texto);
  std::uint64_t input = load_block(texto);
  std::uint64_t output = des_block(input, KEYi);
  if (xors_input(operac)) output ^= input;
  if (printable(operac)) {
    unsigned char raw[8];
    store_block(output, raw);
    triplet_encode_block(raw, visible);
  } else {
    store_block(output, visible);
  }
}

// CBC-MAC with a zero initial value over the nroblq whole blocks at texto: each block is
// XORed in place with the cipher output of the block before it and enciphered. salida gets
// the last output, raw for operac 6 and printable for operac 7; 8 zero bytes when there is
// no block.
void mac_des(unsigned char* texto, const SubkeyTable& KEYi, unsigned char* salida, short operac,
             std::size_t nroblq) {
  std::uint64_t chain = 0;
  for (std::size_t i = 0; i < nroblq; ++i) {
    unsigned char* block = texto + 8 * i;
    std::uint64_t chained = load_block(block) ^ chain;
    store_block(chained, block);
    chain = des_block(chained, KEYi);
  }
  if (operac == 7 && nroblq > 0) {
    unsigned char raw[8];
    store_block(chain, raw);
    triplet_encode_block(raw, salida);
  } else {
    store_block(chain, salida);
  }
}

unsigned char memcip[13];
const unsigned char error_param[] = "ERROR--PARAM";

}  // namespace

unsigned char* ZK_CALL ZKDES(unsigned char* texto, unsigned char* clave, short opera, short shkey,
                             short numbl) {
  static_cast<void>(numbl);  // the MAC takes its block count from the text
  memcip[12] = 0;
  SubkeyTable KEYi;
  keyE(clave, KEYi, shkey, opera);  // also for a code above 7: the key shift happens anyway
  bool printable_result;
  if (opera < 6) {
    Edes(texto, KEYi, memcip, opera);
    printable_result = printable(opera);
  } else if (opera <= 7) {
    // Only the MAC reads a length: the single-block codes take 8 (or 12) bytes that need
    // not be terminated.
    std::size_t nroblq = std::strlen(reinterpret_cast<const char*>(texto)) / 8;
    mac_des(texto, KEYi, memcip, opera, nroblq);
    printable_result = opera == 7 && nroblq > 0;
  } else {
    return const_cast<unsigned char*>(error_param);  // read-only; callers never write results
  }
  // A raw result is 8 bytes; clearing the rest keeps a caller that reads it as a string
  // from seeing the tail of an earlier printable result.
  if (!printable_result) std::memset(memcip + 8, 0, 4);
  return memcip;
}
