#include <cctype>
#include <cstring>

#include "support/file.h"

extern "C" int file_name_matches(const char *name, const char *pattern) {
  if (pattern[0] != '*') return std::strcmp(name, pattern) == 0;
  const char *ext = pattern + 1;
  size_t n = std::strlen(name), e = std::strlen(ext);
  // A bare ".env" has no preset name in front of the extension.
  if (n <= e) return 0;
  for (size_t i = 0; i < e; ++i)
    if (std::tolower(static_cast<unsigned char>(name[n - e + i])) !=
        std::tolower(static_cast<unsigned char>(ext[i])))
      return 0;
  return 1;
}
