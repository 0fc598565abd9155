#include "show/switches.h"

#include <cstdio>
#include <cstring>

int FindSwitch(const char* line, const char* text) {
  size_t n = std::strlen(line);
  if (n < 2) return 0;
  size_t m = std::strlen(text);
  for (size_t i = 0; i < n; ++i) {
    if (line[i] != text[0]) continue;
    // Compare over the switch's length, stopping at the end of the line.
    size_t k = 0;
    while (k < m && i + k < n && line[i + k] == text[k]) ++k;
    if (k == m) return static_cast<int>(i + 1);
  }
  return 0;
}

int ReadIntegerSwitch(const char* line, const char* text, int fallback) {
  int p = FindSwitch(line, text);
  if (p == 0) return fallback;
  int value = fallback;
  if (std::sscanf(line + p + 1, "%i\n", &value) != 1) return fallback;
  return value;
}
