#include "show/switches.h"

#include <cstdio>
#include <cstdlib>
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

#ifndef KV_VERSION
#define KV_VERSION "unknown"
#endif

const char* ProgramVersion() { return KV_VERSION; }

namespace {

// "-1", "-0.5", "-2e3": a value written with its sign, not an option.
bool IsNumber(const char* word) {
  char* end = nullptr;
  std::strtod(word, &end);
  return end != word && *end == '\0';
}

}  // namespace

ArgumentVerdict CheckArguments(int argc, const char* const* argv, const char* line,
                               std::string* refused) {
  bool help = false;
  bool version = false;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i] ? argv[i] : "";
    if (word[0] != '-') continue;
    if (!std::strcmp(word, "--help")) {
      help = true;
    } else if (!std::strcmp(word, "--version")) {
      version = true;
    } else if (!IsNumber(word)) {
      if (refused) *refused = word;
      return ARGUMENTS_REFUSED;
    }
  }
  if (help || FindSwitch(line, "/help")) return ARGUMENTS_HELP;
  if (version || FindSwitch(line, "/version")) return ARGUMENTS_VERSION;
  return ARGUMENTS_RUN;
}

std::string DisplayModeWarning(int modeIndex) {
  if (modeIndex >= -1 && modeIndex <= 5) return "";
  return "Warning: /v " + std::to_string(modeIndex) +
         " is not a display mode (0..5, or -1 for automatic): automatic is used, the first "
         "mode that works.";
}
