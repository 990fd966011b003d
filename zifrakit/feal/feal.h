// The FEAL-8 engine and the text driver shared by ZKFEAL and ZKFEAL2. The two exports differ
// only in their block arrays and where the result goes; everything else lives here once.
#ifndef ZIFRAKIT_FEAL_FEAL_H
#define ZIFRAKIT_FEAL_FEAL_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace zifrakit {

// One block, one byte value per entry, entry 0 first (most significant).
using FealBlock = std::array<std::uint16_t, 8>;

// The sixteen 16-bit subkeys K0 to K15, each high byte first.
struct FealSchedule {
  std::array<std::uint8_t, 32> CLAi;
};

// The result area a text call needs at most: 1368 characters and the terminating zero.
inline constexpr std::size_t feal_result_size = 1369;
inline constexpr std::size_t feal_max_text = 1024;

using FealKey = std::array<std::uint8_t, 8>;

// The key from the text `clave`: its first 8 bytes, or, for a shorter text, its bytes
// completed with the position numbers (a 3-byte key continues 3, 4, 5, 6, 7).
FealKey feal_key(const unsigned char* clave);

// The standard FEAL-8 key schedule, key byte 0 most significant.
FealSchedule feal_schedule(const FealKey& Key);

// FEAL-8 on one block: enciphers when opera is at most 1, deciphers otherwise.
void feal_block(const FealSchedule& schedule, const FealBlock& in, FealBlock& out, short opera);

// A block routine of one export: runs feal_block from that export's input array to its
// output array.
using FealBlockRoutine = int (*)(const FealSchedule& schedule, short opera);

// The whole text operation: length check ("mal long"), the printable decoding of code 3 in
// place, the cut of texto to whole blocks, each block through `tr`, `gm` and `rr`, and the
// raw or printable result with its terminating zero into `salida` (feal_result_size bytes;
// it may be texto).
void feal_texto(unsigned char* texto, const unsigned char* clave, short opera,
                FealBlockRoutine gm, FealBlock& tr, const FealBlock& rr, unsigned char* salida);

}  // namespace zifrakit

#endif
