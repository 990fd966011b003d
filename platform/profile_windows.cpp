#include "platform/profile.h"

#include <windows.h>

std::uint32_t profile_get_string(const char* section, const char* key, const char* default_value,
                                 char* buffer, std::uint32_t size, const char* file) {
  return GetPrivateProfileStringA(section, key, default_value, buffer, size, file);
}
