// The common service verbs entry point, CONVERT only: converts the names the host sees.
// The record is 24 bytes on the 32-bit Windows target (addresses 4 bytes at 16 and 20); on
// 64-bit targets the two addresses are full pointers at 16 and 24.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define ACSSVC_CALL __stdcall
#else
#define ACSSVC_CALL
#endif

inline constexpr std::uint16_t SV_CONVERT = 0x001A;
inline constexpr std::uint8_t SV_ASCII_TO_EBCDIC = 0;
inline constexpr std::uint8_t SV_EBCDIC_TO_ASCII = 1;

#pragma pack(push, 1)
struct convert_record {               // offset
  std::uint16_t opcode;               //  0  SV_CONVERT
  std::uint8_t reserved2[10];         //  2  rest of the verb header
  std::uint8_t direction;             // 12
  std::uint8_t char_set;              // 13  selector 0
  std::uint16_t length;               // 14
  unsigned char* source;              // 16
  unsigned char* target;              // 20 (24 on 64-bit targets)
};
#pragma pack(pop)

static_assert(sizeof(convert_record) == 16 + 2 * sizeof(void*));

extern "C" void ACSSVC_CALL ACSSVC_C(convert_record* record);
