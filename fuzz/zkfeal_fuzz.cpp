// ZKFEAL and ZKFEAL2 over arbitrary codes, keys and texts.
//
// Input: opera (16-bit little-endian), one byte whose low 4 bits give the key's length, the
// key's bytes, then the text (key and text are cut at their first zero byte, as read).
//
// Every text and key is a heap block of exactly its bytes and terminator, and the result area
// of ZKFEAL2 exactly the size the result needs (9 bytes for the too-long text), so that any
// access beyond them is a sanitizer report. Checked: the twins agree byte for byte, in their
// results and in what they leave in the text; a text that stands for more than 1024 bytes
// gives "mal long" and stays as it was; otherwise the result has 8 raw bytes per whole block,
// or for code 1 the printable characters (37 to 108) of the blocks, and the text ends after
// its last whole block. Enciphering for print (code 1) and deciphering that (code 3) gives the
// whole blocks back; so does deciphering a raw result (code 2) that holds no zero byte.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "zifrakit/zifrakit.h"

namespace {

constexpr const char* target = "zkfeal_fuzz";
constexpr std::size_t longest_text = 1024;

std::vector<unsigned char> up_to_zero(std::vector<unsigned char> bytes) {
  bytes.erase(std::find(bytes.begin(), bytes.end(), 0), bytes.end());
  return bytes;
}

struct outcome {
  bool too_long;
  std::size_t blocks;
  std::size_t result_size;  // characters before the terminator
};

outcome expected_outcome(std::size_t length, std::int16_t opera) {
  const std::size_t bytes = opera == 3 ? length / 4 * 3 : length;
  if (bytes > longest_text) return {true, 0, 8};
  const std::size_t blocks = bytes / 8;
  return {false, blocks, opera == 1 ? 4 * ((8 * blocks + 2) / 3) : 8 * blocks};
}

struct feal_result {
  std::vector<unsigned char> result;  // with its terminator
  std::vector<unsigned char> text_after;
};

// Both twins on the same input; stops unless they agree. Returns what they gave.
feal_result both(const std::vector<unsigned char>& text, const std::vector<unsigned char>& key,
                 std::int16_t opera) {
  const outcome expected = expected_outcome(text.size(), opera);
  exact_block key_area(key, 1);
  exact_block first_text(text, 1), second_text(text, 1);
  const unsigned char* result = ZKFEAL(first_text.data(), key_area.data(), opera);
  exact_block area(std::vector<unsigned char>(expected.result_size + 1, 0xA5));
  if (ZKFEAL2(second_text.data(), key_area.data(), opera, area.data()) != 0)
    fuzz_fail(target, "ZKFEAL2 did not return 0");
  if (!std::equal(area.data(), area.data() + area.size(), result))
    fuzz_fail(target, "the twins' results differ");
  if (first_text.contents() != second_text.contents())
    fuzz_fail(target, "the twins leave different texts");
  if (area.data()[expected.result_size] != 0) fuzz_fail(target, "result not terminated");
  if (key_area.contents() != [&] { auto k = key; k.push_back(0); return k; }())
    fuzz_fail(target, "the key was changed");

  const std::vector<unsigned char> original(first_text.data(), first_text.data() + first_text.size());
  if (expected.too_long) {
    if (std::memcmp(result, "mal long", 9) != 0) fuzz_fail(target, "too long without \"mal long\"");
    std::vector<unsigned char> unchanged = text;
    unchanged.push_back(0);
    if (first_text.contents() != unchanged) fuzz_fail(target, "a too-long text was changed");
    return {area.contents(), first_text.contents()};
  }
  if (opera == 1) {
    for (std::size_t i = 0; i < expected.result_size; ++i)
      if (result[i] < 37 || result[i] > 108) fuzz_fail(target, "printable character out of range");
  }
  if (first_text.data()[8 * expected.blocks] != 0) fuzz_fail(target, "text not cut after its blocks");
  if (opera != 3 && !std::equal(text.begin(), text.begin() + static_cast<long>(8 * expected.blocks),
                                first_text.data()))
    fuzz_fail(target, "the blocks of the text were changed");
  return {area.contents(), first_text.contents()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_input input(data, size);
  const std::int16_t opera = input.int16();
  const std::vector<unsigned char> key = up_to_zero(input.bytes(input.byte() & 0x0F));
  const std::vector<unsigned char> text = up_to_zero(input.rest());
  both(text, key, opera);

  // Round trips over the text's whole blocks, when they fit the printable form's limit.
  const std::size_t blocks = text.size() / 8;
  if (blocks == 0 || text.size() > longest_text) return 0;
  const std::vector<unsigned char> whole(text.begin(), text.begin() + static_cast<long>(8 * blocks));
  std::vector<unsigned char> printed = both(text, key, 1).result;
  printed.pop_back();
  if (3 * (printed.size() / 4) <= longest_text) {
    std::vector<unsigned char> back = both(printed, key, 3).result;
    back.pop_back();
    if (back != whole) fuzz_fail(target, "code 3 does not undo code 1");
  }
  std::vector<unsigned char> cipher = both(text, key, 0).result;
  cipher.pop_back();
  if (std::find(cipher.begin(), cipher.end(), 0) == cipher.end()) {
    std::vector<unsigned char> back = both(cipher, key, 2).result;
    back.pop_back();
    if (back != whole) fuzz_fail(target, "code 2 does not undo code 0");
  }
  return 0;
}
