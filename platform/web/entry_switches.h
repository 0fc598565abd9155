// Switches of the browser entry, parsed apart from the show's own so that the
// native tests can check them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct WebEntrySwitches {
  int rate = 0;        // "/rate n": virtual clock at n turns per second; 0 = real clock
  int unpaced = 0;     // "/unpaced": turns back to back, not once per browser frame
  std::string error;   // set for a /rate without a whole number from 1 to 1000
};

// Takes "/rate n" and "/unpaced" out of args (args[0] is the program name and
// stays); everything else is left for the show in its order.
WebEntrySwitches ParseWebEntrySwitches(std::vector<std::string>* args);

// The instant of turn k on a virtual clock of rate turns per second, in ms:
// k * 1000 / rate rounded down, as the offline capture takes its frames.
uint32_t WebEntryInstant(int64_t turn, int rate);
