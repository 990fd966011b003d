// Reading one key of the program's ini section. Every key is mandatory: a key that is missing,
// or whose value is empty, ends the process with exit code 2 after a message on standard
// output ("Key %s not found in section [%s] in file %s").
#pragma once

#include <cstdint>

inline constexpr int ini_value_size = 80;    // at most 79 characters
inline constexpr int ini_data_size = 5000;   // at most 4999 characters

// atoi rules: leading blanks, optional sign, digits up to the first other character.
std::int32_t ini_get_int(const char* file, const char* section, const char* key);
// New terminated copy (std::free) of the value, cut to 79 characters.
char* ini_get_string(const char* file, const char* section, const char* key);
// New terminated copy (std::free) of a long value, cut to 4999 characters.
char* ini_get_data(const char* file, const char* section, const char* key);
