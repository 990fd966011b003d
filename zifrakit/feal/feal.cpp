// FEAL-8 as published (64-bit block and key, sixteen 16-bit subkeys, eight rounds), and the
// text layer of the FEAL exports: ECB over whole blocks, raw or in the printable quad
// encoding (three bytes as four characters of base 72, each digit plus 37, least
// significant digit first).
#include "zifrakit/feal/feal.h"

#include <cstring>

namespace zifrakit {
namespace {

using Word = std::array<std::uint8_t, 4>;

constexpr std::uint8_t rot2(unsigned value) {
  std::uint8_t byte = static_cast<std::uint8_t>(value);
  return static_cast<std::uint8_t>(byte << 2 | byte >> 6);
}
constexpr std::uint8_t s0(std::uint8_t a, std::uint8_t b) { return rot2(a + b); }
constexpr std::uint8_t s1(std::uint8_t a, std::uint8_t b) { return rot2(a + b + 1); }

// The round function f(a, b) with a 16-bit subkey b.
Word f(const Word& a, std::uint8_t b0, std::uint8_t b1) {
  std::uint8_t f1 = a[1] ^ b0 ^ a[0];
  std::uint8_t f2 = a[2] ^ b1 ^ a[3];
  f1 = s1(f1, f2);
  f2 = s0(f2, f1);
  return {s0(a[0], f1), f1, f2, s1(a[3], f2)};
}

// The key-schedule function fK(a, b).
Word fk(const Word& a, const Word& b) {
  std::uint8_t k1 = a[1] ^ a[0];
  std::uint8_t k2 = a[2] ^ a[3];
  k1 = s1(k1, k2 ^ b[0]);
  k2 = s0(k2, k1 ^ b[1]);
  return {s0(a[0], k1 ^ b[2]), k1, k2, s1(a[3], k2 ^ b[3])};
}

Word xor_words(const Word& a, const Word& b) {
  return {static_cast<std::uint8_t>(a[0] ^ b[0]), static_cast<std::uint8_t>(a[1] ^ b[1]),
          static_cast<std::uint8_t>(a[2] ^ b[2]), static_cast<std::uint8_t>(a[3] ^ b[3])};
}

Word subkeys(const FealSchedule& schedule, int first) {  // K(first), K(first + 1)
  return {schedule.CLAi[2 * first], schedule.CLAi[2 * first + 1], schedule.CLAi[2 * first + 2],
          schedule.CLAi[2 * first + 3]};
}

Word round_f(const FealSchedule& schedule, const Word& half, int round) {
  return f(half, schedule.CLAi[2 * round], schedule.CLAi[2 * round + 1]);
}

constexpr unsigned quad_base = 72;
constexpr unsigned quad_offset = 37;
const char too_long[] = "mal long";

void quad_encode(const unsigned char* bytes, unsigned char* out) {
  std::uint32_t value = std::uint32_t{bytes[0]} << 16 | std::uint32_t{bytes[1]} << 8 | bytes[2];
  for (int digit = 0; digit < 4; ++digit, value /= quad_base)
    out[digit] = static_cast<unsigned char>(value % quad_base + quad_offset);
}

// Signed arithmetic throughout, so that characters outside the alphabet decode by the same
// rule; each byte keeps the low 8 bits of its value.
void quad_decode(const unsigned char* in, unsigned char* out) {
  std::int32_t value = 0;
  for (int digit = 3; digit >= 0; --digit)
    value = value * static_cast<std::int32_t>(quad_base) + (in[digit] - static_cast<int>(quad_offset));
  std::int32_t rest = value % 65536;
  out[0] = static_cast<unsigned char>(value / 65536);
  out[1] = static_cast<unsigned char>(rest / 256);
  out[2] = static_cast<unsigned char>(rest % 256);
}

}  // namespace

FealKey feal_key(const unsigned char* clave) {
  FealKey Key{};
  std::size_t length = 0;
  while (length < 8 && clave[length] != 0) {
    Key[length] = clave[length];
    ++length;
  }
  for (std::size_t j = length; j < 8; ++j) Key[j] = static_cast<std::uint8_t>(j);
  return Key;
}

FealSchedule feal_schedule(const FealKey& Key) {
  FealSchedule schedule{};
  Word a = {Key[0], Key[1], Key[2], Key[3]};
  Word b = {Key[4], Key[5], Key[6], Key[7]};
  Word d{};
  for (int round = 0; round < 8; ++round) {
    Word next = fk(a, xor_words(b, d));
    d = a;
    a = b;
    b = next;
    for (int i = 0; i < 4; ++i) schedule.CLAi[4 * round + i] = b[i];
  }
  return schedule;
}

void feal_block(const FealSchedule& schedule, const FealBlock& in, FealBlock& out, short opera) {
  bool modo = opera <= 1;  // 1 enciphers, 0 deciphers
  Word left, right;
  for (int i = 0; i < 4; ++i) {
    left[i] = static_cast<std::uint8_t>(in[i]);
    right[i] = static_cast<std::uint8_t>(in[4 + i]);
  }
  // Enciphering whitens with K8 to K11 and runs K0 to K7; deciphering is the mirror image,
  // whitening with K12 to K15 and running K7 down to K0.
  left = xor_words(left, subkeys(schedule, modo ? 8 : 12));
  right = xor_words(right, subkeys(schedule, modo ? 10 : 14));
  right = xor_words(right, left);
  for (int step = 0; step < 8; ++step) {
    Word next = xor_words(left, round_f(schedule, right, modo ? step : 7 - step));
    left = right;
    right = next;
  }
  left = xor_words(left, right);
  Word first = xor_words(right, subkeys(schedule, modo ? 12 : 8));
  Word second = xor_words(left, subkeys(schedule, modo ? 14 : 10));
  for (int i = 0; i < 4; ++i) {
    out[i] = first[i];
    out[4 + i] = second[i];
  }
}

void feal_texto(unsigned char* texto, const unsigned char* clave, short opera,
                FealBlockRoutine gm, FealBlock& tr, const FealBlock& rr, unsigned char* salida) {
  std::size_t characters = std::strlen(reinterpret_cast<const char*>(texto));
  std::size_t n = opera == 3 ? characters / 4 * 3 : characters;
  if (n > feal_max_text) {
    std::memcpy(salida, too_long, sizeof too_long);
    return;
  }
  if (opera == 3)
    for (std::size_t group = 0; group < characters / 4; ++group)
      quad_decode(texto + 4 * group, texto + 3 * group);
  n -= n % 8;
  texto[n] = 0;

  const FealSchedule schedule = feal_schedule(feal_key(clave));
  unsigned char RES[feal_result_size];
  std::size_t m = 0;
  for (std::size_t block = 0; block < n; block += 8) {
    for (int i = 0; i < 8; ++i) tr[i] = texto[block + i];
    gm(schedule, opera);
    for (int i = 0; i < 8; ++i) RES[m++] = static_cast<unsigned char>(rr[i]);
  }
  if (opera == 1) {
    while (m % 3 != 0) RES[m++] = ' ';
    for (std::size_t group = 0; group < m / 3; ++group)
      quad_encode(RES + 3 * group, salida + 4 * group);
    m = m / 3 * 4;
  } else {
    std::memcpy(salida, RES, m);
  }
  salida[m] = 0;
}

}  // namespace zifrakit
