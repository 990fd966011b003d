// The private-profile reader: the value of one key of one section of an ini file.
// On Windows this is the system's reader; elsewhere ours, which reads ini files the same way:
// section and key names compared regardless of letter case; blanks and tabs around names and
// values dropped; one pair of matching quotes around a value removed; no inline comments;
// CRLF and LF; a UTF-8 byte-order mark skipped; the first matching key of the first matching
// section wins. The value (or default_value when the key is absent; null means "") is cut to
// size - 1 characters and terminated; returns the number of characters copied, 0 when the
// file, section or key is missing or the value is empty.
#pragma once

#include <cstdint>

std::uint32_t profile_get_string(const char* section, const char* key, const char* default_value,
                                 char* buffer, std::uint32_t size, const char* file);
