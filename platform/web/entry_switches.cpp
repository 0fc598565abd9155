#include "platform/web/entry_switches.h"

#include <cstdlib>

WebEntrySwitches ParseWebEntrySwitches(std::vector<std::string>* args) {
  WebEntrySwitches s;
  std::vector<std::string> kept;
  for (size_t i = 0; i < args->size(); ++i) {
    const std::string& a = (*args)[i];
    if (i > 0 && a == "/unpaced") {
      s.unpaced = 1;
    } else if (i > 0 && a == "/rate") {
      const std::string value = i + 1 < args->size() ? (*args)[++i] : std::string();
      char* end = nullptr;
      long rate = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || rate < 1 || rate > 1000)
        s.error = "the frame rate of /rate must be a whole number from 1 to 1000";
      else
        s.rate = static_cast<int>(rate);
    } else {
      kept.push_back(a);
    }
  }
  *args = kept;
  return s;
}

uint32_t WebEntryInstant(int64_t turn, int rate) {
  return static_cast<uint32_t>(turn * 1000 / rate);
}
