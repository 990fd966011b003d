// The expected results of the Java test, straight from zifrakit. Reads one case a line from
// standard input, "opera shkey numbl key-hex text-hex" (a hex field of "-" is empty), calls
// ZKDES the way the bridge must (text zero-filled to 512 bytes, key zero-filled to 8 bytes,
// the key's first 8 bytes) and writes the result's bytes up to its first zero as one hex
// line. Exit code 1 on a malformed line.
#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "zifrakit/zifrakit.h"

namespace {

bool from_hex(const std::string& hex, std::vector<unsigned char>& out) {
  out.clear();
  if (hex == "-") return true;
  if (hex.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    unsigned value = 0;
    if (std::sscanf(hex.c_str() + i, "%2x", &value) != 1) return false;
    out.push_back(static_cast<unsigned char>(value));
  }
  return true;
}

}  // namespace

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream fields(line);
    int opera = 0, shkey = 0, numbl = 0;
    std::string key_hex, text_hex;
    std::vector<unsigned char> key, text;
    if (!(fields >> opera >> shkey >> numbl >> key_hex >> text_hex) || !from_hex(key_hex, key) ||
        !from_hex(text_hex, text) || text.size() > 511) {
      std::cerr << "zkdes_reference: malformed case: " << line << '\n';
      return 1;
    }
    std::array<unsigned char, 512> text_buffer{};
    std::copy(text.begin(), text.end(), text_buffer.begin());
    std::array<unsigned char, 8> key_buffer{};
    std::copy_n(key.begin(), std::min<std::size_t>(key.size(), 8), key_buffer.begin());
    const unsigned char* result =
        ZKDES(text_buffer.data(), key_buffer.data(), static_cast<short>(opera),
              static_cast<short>(shkey), static_cast<short>(numbl));
    for (std::size_t i = 0; i < 12 && result[i] != 0; ++i) std::printf("%02x", result[i]);
    std::printf("\n");
  }
  return 0;
}
