// The show's entry in a browser. The page calls main with the switches from
// its query string once the start button was pressed; main brings the show
// up and hands one turn of the main loop per browser frame to the browser's
// animation callback, so the page stays responsive.
//
// Switches of the browser entry (taken out before the show sees the line):
//   /rate n    virtual clock: turn k shows the instant k * 1000 / n ms, as an
//              offline capture does, however long a turn takes
//   /unpaced   turns follow each other at once instead of once per browser
//              frame (for measuring the rendering rate)
#include <emscripten.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/system.h"
#include "platform/web/entry_switches.h"
#include "show/show.h"

namespace {

WebEntrySwitches entry;
int64_t turn = 0;

void Ended(int status) {
  EM_ASM({ if (Module.kvEnded) Module.kvEnded($0, $1); }, status, static_cast<int>(turn));
}

void Turn() {
  uint32_t ms = 0;
  if (entry.rate > 0) {
    ms = WebEntryInstant(turn, entry.rate);
    PlatformSetVirtualMilliseconds(ms);
  }
  if (!ShowStep()) {
    emscripten_cancel_main_loop();
    Ended(ShowFinish());
    return;
  }
  // The canvas now holds this turn's frame; the page may read it.
  EM_ASM({ if (Module.kvFrame) Module.kvFrame($0, $1); }, static_cast<int>(turn), ms);
  ++turn;
}

}  // namespace

// Pauses (1) or resumes (0) the main loop; the page pauses it to hold a frame.
extern "C" EMSCRIPTEN_KEEPALIVE void KvWebPause(int pause) {
  if (pause)
    emscripten_pause_main_loop();
  else
    emscripten_resume_main_loop();
}

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  entry = ParseWebEntrySwitches(&args);
  if (!entry.error.empty()) {
    std::fprintf(stderr, "Kestrivane: %s\n", entry.error.c_str());
    Ended(1);
    return 1;
  }
  std::vector<const char*> show;
  for (const std::string& a : args) show.push_back(a.c_str());
  turn = 0;
  // On the virtual clock the show starts at instant 0, as a capture does.
  if (entry.rate > 0) PlatformSetVirtualMilliseconds(0);
  int status = 0;
  if (!ShowStart(static_cast<int>(show.size()), show.data(), &status)) {
    Ended(status);
    return status;
  }
  emscripten_set_main_loop(Turn, 0, 0);
  if (entry.unpaced) emscripten_set_main_loop_timing(EM_TIMING_SETIMMEDIATE, 1);
  return 0;
}
