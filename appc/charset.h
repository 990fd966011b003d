// ASCII and EBCDIC. Message data goes through the system's own pair of mutually inverse
// 256-byte tables; names the host sees (TP and mode names) go through the CONVERT verb after
// being padded to their field width. Fields are heap blocks (std::free) of exactly their
// width, blank-padded, never terminated.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

extern const std::array<std::uint8_t, 256> ascii_to_ebcdic_table;
extern const std::array<std::uint8_t, 256> ebcdic_to_ascii_table;

// In place over length bytes; a length of 0 or less changes nothing.
void to_ascii(void* buffer, std::int32_t length);
void to_ebcdic(void* buffer, std::int32_t length);

// CONVERT in place over length bytes (low 16 bits), direction ASCII to EBCDIC / back; a
// length of 0 or less makes no call.
void csv_to_ebcdic(void* buffer, std::int32_t length);
void csv_to_ascii(void* buffer, std::int32_t length);

// min(strlen, width) characters of the string, then blanks.
char* pad_field(const char* name, std::size_t width);
char* ascii_field(const char* name, std::size_t width);
// pad_field, then CONVERT to EBCDIC over the whole width, padding included.
char* ebcdic_field(const char* name, std::size_t width);
