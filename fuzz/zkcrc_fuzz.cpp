// ZKCRC32 and ZKCRC16 over arbitrary texts.
//
// Input: one byte of modope (0: raw, else printable), then the text (cut at its first zero
// byte, as the exports read it).
//
// Checked against bit-by-bit reference CRCs computed here: the CRC-32 of the text, most
// significant byte first, with 0 bytes replaced by 1 and then 92 by 47; the CRC-16 with
// polynomial 0x8005, initial value 0, no reflection, as two raw bytes or three triplet
// characters (base 48, digit + 32, least significant first). The text area is a heap block
// of exactly the text, its terminator and the one byte ZKCRC16 may write after it; ZKCRC32
// leaves it unchanged, ZKCRC16 leaves the text and a second zero there.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "zifrakit/zifrakit.h"

namespace {

constexpr const char* target = "zkcrc_fuzz";

std::uint32_t reference_crc32(const std::vector<unsigned char>& text) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (unsigned char c : text) {
    crc ^= c;
    for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
  }
  return ~crc;
}

std::uint16_t reference_crc16(const std::vector<unsigned char>& text) {
  std::uint16_t crc = 0;
  for (unsigned char c : text) {
    crc ^= static_cast<std::uint16_t>(c << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x8005 : crc << 1);
  }
  return crc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_input input(data, size);
  const std::int16_t modope = static_cast<std::int16_t>(static_cast<signed char>(input.byte()));
  std::vector<unsigned char> text = input.rest();
  text.erase(std::find(text.begin(), text.end(), 0), text.end());
  if (text.size() >= 32768) return 0;  // beyond ZKCRC16's 16-bit length

  exact_block area(text, 2);
  const std::vector<unsigned char> before = area.contents();
  const unsigned char* crc32 = ZKCRC32(area.data());
  const std::uint32_t value = reference_crc32(text);
  for (int i = 0; i < 4; ++i) {
    unsigned char expected = static_cast<unsigned char>(value >> (24 - 8 * i));
    if (expected == 0) expected = 1;
    if (expected == 92) expected = 47;
    if (crc32[i] != expected) fuzz_fail(target, "ZKCRC32: result byte");
  }
  if (crc32[4] != 0) fuzz_fail(target, "ZKCRC32: no terminating zero");
  if (area.contents() != before) fuzz_fail(target, "ZKCRC32 changed its text");

  area.data()[text.size() + 1] = 0x5A;  // ZKCRC16 zeroes the byte after the terminator
  const unsigned char* crc16 = ZKCRC16(area.data(), modope);
  const std::uint16_t register16 = reference_crc16(text);
  if (modope == 0) {
    if (crc16[0] != register16 >> 8 || crc16[1] != (register16 & 0xFF) || crc16[2] != 0)
      fuzz_fail(target, "ZKCRC16: raw result");
  } else {
    unsigned v = register16;
    for (int i = 0; i < 3; ++i, v /= 48)
      if (crc16[i] != v % 48 + 32) fuzz_fail(target, "ZKCRC16: printable result");
    if (crc16[3] != 0) fuzz_fail(target, "ZKCRC16: no terminating zero");
  }
  if (area.contents() != before) fuzz_fail(target, "ZKCRC16: text not followed by two zeros");
  return 0;
}
