// ZKDES over arbitrary codes, keys, key-shift switches and texts.
//
// Input: opera, shkey, numbl (16-bit little-endian each), 8 key bytes, then the text.
//
// The call with the fuzzed values gets a text area of exactly what that code reads (a block of
// 8 bytes, 12 characters for code 3, the text and its terminator for the MAC codes), always
// followed by one zero byte, and a key of exactly 8 bytes, so that any access beyond them is a
// sanitizer report. Checked: a code above 7 gives "ERROR--PARAM", any other the one result
// area with byte 12 zero; printable results are 12 characters between 32 and 79; with shkey 2
// the key bytes are left shifted by one bit, otherwise unchanged; numbl changes nothing.
// Then, on the text's first block under the same key and switch: deciphering (code 2)
// undoes enciphering (code 0), code 3 undoes code 1, code 4 is code 0 XOR the block, code 5
// deciphered and enciphered again is code 4, and the MAC (codes 6 and 7) is the CBC chain of
// code 0 over the text's whole blocks, which it leaves XORed with the chain.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "zifrakit/zifrakit.h"

namespace {

constexpr const char* target = "zkdes_fuzz";
using block = std::array<unsigned char, 8>;

// One call with a fresh copy of the key (code 2 and shkey 2 change the caller's key).
struct des_call {
  block key;
  std::int16_t shkey;
  const unsigned char* operator()(unsigned char* text, std::int16_t opera, std::int16_t numbl = 0) const {
    exact_block key_area({key.begin(), key.end()});
    return ZKDES(text, key_area.data(), opera, shkey, numbl);
  }
  // 8 raw result bytes of a single-block code on a copy of text (13 bytes, zero after it).
  block raw(const unsigned char* text, std::size_t text_size, std::int16_t opera) const {
    std::array<unsigned char, 13> area{};
    std::memcpy(area.data(), text, std::min<std::size_t>(text_size, 12));
    block out;
    std::memcpy(out.data(), (*this)(area.data(), opera), 8);
    return out;
  }
  std::array<unsigned char, 12> printable(const unsigned char* text, std::int16_t opera) const {
    std::array<unsigned char, 13> area{};
    std::memcpy(area.data(), text, 8);
    const unsigned char* result = (*this)(area.data(), opera);
    std::array<unsigned char, 12> out;
    std::memcpy(out.data(), result, 12);
    for (unsigned char c : out)
      if (c < 32 || c > 79) fuzz_fail(target, "printable character out of range");
    if (result[12] != 0) fuzz_fail(target, "printable result not terminated");
    return out;
  }
};

block xor_of(const block& a, const unsigned char* b) {
  block out;
  for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(a[i] ^ b[i]);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_input input(data, size);
  const std::int16_t opera = input.int16();
  const std::int16_t shkey = input.int16();
  const std::int16_t numbl = input.int16();
  block key;
  const std::vector<unsigned char> key_bytes = input.bytes(8);
  std::copy(key_bytes.begin(), key_bytes.end(), key.begin());
  std::vector<unsigned char> text = input.rest();
  const bool mac = opera == 6 || opera == 7;
  if (mac) text.erase(std::find(text.begin(), text.end(), 0), text.end());
  const std::size_t read = mac ? text.size() : opera == 3 ? 12 : 8;
  text.resize(read, 0);

  // The fuzzed call.
  exact_block text_area(text, 1), key_area(key_bytes);
  const unsigned char* result = ZKDES(text_area.data(), key_area.data(), opera, shkey, numbl);
  for (int i = 0; i < 8; ++i) {
    const unsigned char expected = shkey == 2 ? static_cast<unsigned char>(key[i] << 1) : key[i];
    if (key_area.data()[i] != expected) fuzz_fail(target, "key bytes after the call");
  }
  if (opera > 7) {
    if (std::strcmp(reinterpret_cast<const char*>(result), "ERROR--PARAM") != 0)
      fuzz_fail(target, "code above 7 without the error text");
    return 0;
  }
  if (result[12] != 0) fuzz_fail(target, "byte 12 of the result not zero");
  const std::vector<unsigned char> first(result, result + 13);
  exact_block again(text, 1);
  des_call{key, shkey}(again.data(), opera, static_cast<std::int16_t>(numbl ^ 0x5A5A));
  if (!std::equal(first.begin(), first.end(), result)) fuzz_fail(target, "numbl changed the result");

  // The single-block codes on the first block, against each other.
  const des_call des{key, shkey};
  block first_block{};
  std::copy_n(text.begin(), std::min<std::size_t>(text.size(), 8), first_block.begin());
  const unsigned char* plain = first_block.data();
  const block cipher = des.raw(plain, 8, 0);
  if (des.raw(cipher.data(), 8, 2) != first_block) fuzz_fail(target, "code 2 does not undo code 0");
  const std::array<unsigned char, 12> printed = des.printable(plain, 1);
  if (des.raw(printed.data(), 12, 3) != first_block) fuzz_fail(target, "code 3 does not undo code 1");
  const block xored = des.raw(plain, 8, 4);
  if (xored != xor_of(cipher, plain)) fuzz_fail(target, "code 4 is not code 0 XOR the block");
  const std::array<unsigned char, 12> printed_xor = des.printable(plain, 5);
  const block decoded_xor = des.raw(printed_xor.data(), 12, 3);
  if (des.raw(decoded_xor.data(), 8, 0) != xored) fuzz_fail(target, "code 5 is not the printable code 4");
  if (opera < 0 && !std::equal(cipher.begin(), cipher.end(), first.begin()))
    fuzz_fail(target, "a negative code differs from code 0");

  // The MAC: the CBC chain of code 0 over the whole blocks before the first zero byte.
  if (!mac) return 0;
  const std::size_t blocks = text.size() / 8;
  block chain{};
  std::vector<unsigned char> chained = text;
  for (std::size_t b = 0; b < blocks; ++b) {
    unsigned char* at = chained.data() + 8 * b;
    for (int i = 0; i < 8; ++i) at[i] ^= chain[i];
    if (b + 1 < blocks || opera == 6) chain = des.raw(at, 8, 0);
  }
  if (blocks == 0) {
    if (std::any_of(first.begin(), first.begin() + 8, [](unsigned char c) { return c != 0; }))
      fuzz_fail(target, "MAC of a text without a whole block not zero");
  } else if (opera == 6) {
    if (!std::equal(chain.begin(), chain.end(), first.begin())) fuzz_fail(target, "code 6 MAC");
  } else {
    const std::array<unsigned char, 12> last = des.printable(chained.data() + 8 * (blocks - 1), 1);
    if (!std::equal(last.begin(), last.end(), first.begin())) fuzz_fail(target, "code 7 MAC");
  }
  if (!std::equal(chained.begin(), chained.end(), text_area.data()))
    fuzz_fail(target, "text after the MAC is not the chained blocks");
  return 0;
}
