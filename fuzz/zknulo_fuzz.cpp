// ZKNULO and ZKNULO2 over arbitrary 8-byte texts and keys.
//
// Input: 8 text bytes, then 8 key bytes (missing bytes are zero).
//
// Checked: both read exactly their 8-byte inputs and leave them unchanged (each input is a
// heap block of exactly 8 bytes); ZKNULO hands back the text and a terminating zero;
// ZKNULO2 returns 0 and writes exactly nine bytes (its area is a block of exactly nine), each
// result byte following the rule: u = key byte as signed + position + 1, taken as unsigned
// 32 bits, replaces the text byte when it is greater, as its low 8 bits.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_input.h"
#include "zifrakit/zifrakit.h"

namespace {
constexpr const char* target = "zknulo_fuzz";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_input input(data, size);
  const std::vector<unsigned char> text = input.bytes(8);
  const std::vector<unsigned char> key = input.bytes(8);
  exact_block text_area(text), key_area(key);

  const unsigned char* copied = ZKNULO(text_area.data());
  if (std::memcmp(copied, text.data(), 8) != 0 || copied[8] != 0)
    fuzz_fail(target, "ZKNULO: not the 8 text bytes and a zero");

  exact_block result(std::vector<unsigned char>(9, 0xA5));
  if (ZKNULO2(text_area.data(), key_area.data(), result.data()) != 0)
    fuzz_fail(target, "ZKNULO2: result not 0");
  for (int i = 0; i < 8; ++i) {
    const std::uint32_t u = static_cast<std::uint32_t>(static_cast<signed char>(key[i]) + i + 1);
    const unsigned char expected = u > text[i] ? static_cast<unsigned char>(u) : text[i];
    if (result.data()[i] != expected) fuzz_fail(target, "ZKNULO2: result byte");
  }
  if (result.data()[8] != 0) fuzz_fail(target, "ZKNULO2: no terminating zero");
  if (text_area.contents() != text || key_area.contents() != key)
    fuzz_fail(target, "an input was changed");
  return 0;
}
