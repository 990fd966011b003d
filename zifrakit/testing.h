// Helpers shared by the library's tests: hexadecimal blocks and the exports seen through
// 32-bit argument slots, as a caller passing full-width integers sees them.
#ifndef ZIFRAKIT_TESTING_H
#define ZIFRAKIT_TESTING_H

#include <cstdint>
#include <string>
#include <vector>

#include "zifrakit/zifrakit.h"

namespace zifrakit::testing {

inline std::vector<unsigned char> from_hex(const std::string& hex) {
  std::vector<unsigned char> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

inline std::string to_hex(const unsigned char* bytes, std::size_t size) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (std::size_t i = 0; i < size; ++i) {
    hex += digits[bytes[i] >> 4];
    hex += digits[bytes[i] & 0xF];
  }
  return hex;
}

// The exports with their 16-bit parameters widened to full slots. Calling through these
// types passes values whose upper half the export must ignore.
using ZkdesWide = unsigned char*(ZK_CALL*)(unsigned char*, unsigned char*, std::int32_t,
                                            std::int32_t, std::int32_t);
using ZkfealWide = unsigned char*(ZK_CALL*)(unsigned char*, const unsigned char*, std::int32_t);
using Zkfeal2Wide = int(ZK_CALL*)(unsigned char*, const unsigned char*, std::int32_t,
                                  unsigned char*);
using Zkcrc16Wide = unsigned char*(ZK_CALL*)(unsigned char*, std::int32_t);

template <typename Wide, typename Export>
Wide widened(Export function) {
  using Generic = void (*)();  // the one pointer type every function pointer converts through
  return reinterpret_cast<Wide>(reinterpret_cast<Generic>(function));
}

}  // namespace zifrakit::testing

#endif
