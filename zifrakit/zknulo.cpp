// ZKNULO: the first eight bytes of a text, unchanged, terminated.
#include <cstring>

#include "zifrakit/zifrakit.h"

namespace {
unsigned char memc1[9];
}

unsigned char* ZK_CALL ZKNULO(const unsigned char* texto) {
  std::memcpy(memc1, texto, 8);
  memc1[8] = 0;
  return memc1;
}
