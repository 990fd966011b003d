// ZKNULO2: eight text bytes against eight key bytes. Each key byte, read as a signed 8-bit
// value, plus its position weight (1 to 8) is the prepared key entry; a result byte is the
// entry's low 8 bits where the entry exceeds the text byte (compared as unsigned 32-bit
// values), otherwise the text byte. Always returns 0; the 9 bytes stand in retorno.
#include <array>
#include <cstdint>

#include "zifrakit/zifrakit.h"

namespace {

constexpr std::array<std::uint32_t, 8> YY = {1, 2, 3, 4, 5, 6, 7, 8};
std::array<std::uint32_t, 8> RR;  // the prepared key of the last call

unsigned hace(const unsigned char* clave) {
  for (int i = 0; i < 8; ++i)
    RR[i] = static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int8_t>(clave[i]))) +
            YY[i];
  return 0;
}

}  // namespace

int ZK_CALL ZKNULO2(const unsigned char* texto, const unsigned char* clave, unsigned char* retorno) {
  hace(clave);
  unsigned char result[8];
  for (int i = 0; i < 8; ++i)
    result[i] = RR[i] > texto[i] ? static_cast<unsigned char>(RR[i]) : texto[i];
  for (int i = 0; i < 8; ++i) retorno[i] = result[i];
  retorno[8] = 0;
  return 0;
}
