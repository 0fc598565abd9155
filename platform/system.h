// The machine below the show: command line, clock, message boxes, SIMD
// availability, asset paths, the window and its events. Only platform/
// includes SDL2 or talks to the operating system.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Switches added for this platform, taken out of the command line before the
// show searches it, so that a value such as a path never reads as a switch.
struct PlatformOptions {
  std::string capturePath;  // "/capture" PATH: empty when not capturing
  int captureRate = 60;     // "/rate" n
  std::string dataDir;      // "/data" DIR: empty means beside the executable
  double from = -1.0;       // "/from" T: seconds, -1 when absent
  double to = -1.0;         // "/to" T: seconds, -1 when absent
  double start = -1.0;      // "/start" T: seconds, -1 when absent
  int scale = 0;            // "/scale" n: 0 when absent
  std::string quality;      // "/quality" Q: empty when absent
  std::string error;        // set when a switch lacks its value
};

// Joins argv[1..] with single spaces into the show's command line, with
// "/capture", "/rate", "/data", "/from", "/to", "/start", "/scale" and
// "/quality" and their values removed
// into options.
std::string PlatformCommandLine(int argc, const char* const* argv, PlatformOptions* options);

// Millisecond counter (the show's timeGetTime). Real: a steady clock counted
// from the first call. Virtual: whatever PlatformSetVirtualMilliseconds set.
uint32_t PlatformMilliseconds();
void PlatformSetVirtualMilliseconds(uint32_t ms);  // switches to the virtual clock
int PlatformClockIsVirtual();

// Capture mode: no window, no real-time waiting, no blocking message boxes.
void PlatformSetCaptureMode(int on);
int PlatformCaptureMode();

// Writes "caption: text" to standard error; with a real display (not in
// capture mode, not under the offscreen or dummy video drivers, before or
// after the video starts) also shows an SDL message box.
void PlatformMessageBox(const char* text, const char* caption);

// SIMD availability, tested at run time. Routines for SSSE3 and AVX2 exist
// only where the compiler targets an x86 processor (KV_X86_EXTENSIONS); a
// WebAssembly build translates the SSE2 routines alone.
#if defined(__x86_64__) || defined(__i386__)
#define KV_X86_EXTENSIONS 1
#else
#define KV_X86_EXTENSIONS 0
#endif
int PlatformHasSse2();
// 1 where the program may start a second thread (a browser build without
// shared memory cannot).
int PlatformHasThreads();
int PlatformHasSsse3();
int PlatformHasAvx2();

// Asset paths: backslashes become '/', and a relative name is taken from the
// data directory (the executable's own unless set). Absolute names are kept.
void PlatformSetExecutablePath(const char* argv0);
std::string PlatformExecutableDir();
void PlatformSetDataDir(const std::string& dir);
std::string PlatformDataDir();

// The file every generated data set holds at its root (kv_assetgen writes it):
// a directory with it is a data set, whatever else it has or lacks.
inline constexpr char kPlatformDataMarker[] = "kestrivane.data";
int PlatformHoldsData(const std::string& dir);

// Where the data is looked for when no "/data" DIR is given, first first:
// beside the executable (the build tree), ../share/kestrivane from it (an
// installed copy), $XDG_DATA_HOME/kestrivane (~/.local/share when unset),
// then DIR/kestrivane for each DIR of $XDG_DATA_DIRS (/usr/local/share and
// /usr/share when unset). Relative XDG entries are ignored, as the XDG rules
// ask; a directory named twice is listed once. Each entry is the directory and
// a few words on why it is there.
struct PlatformDataPlace {
  std::string dir;
  std::string reason;
};
std::vector<PlatformDataPlace> PlatformDataSearchPath(const std::string& executableDir);

// Chooses the data directory and sets it. A "/data" DIR (dataSwitch not
// empty) is taken as given so long as it is a directory, so a partial set
// still names the file it lacks; otherwise the first place of the search
// path that holds the data wins. Returns 0 with message (one text, one place
// a line) when there is nothing to use.
int PlatformChooseDataDir(const std::string& dataSwitch, const std::string& executableDir,
                          std::string* message);

// 1 when message boxes and windows can appear: not capturing, a display named
// by DISPLAY or WAYLAND_DISPLAY, and no SDL_VIDEODRIVER naming the offscreen
// or dummy driver.
int PlatformHasDisplay();
std::string PlatformAssetPath(const char* name);
FILE* PlatformOpenAsset(const char* name, const char* mode);

// The window. Creating it only prepares the event queue: the visible window
// appears when the display sets a mode (platform/video.h), so the show can run
// headless. Returns 1.
int PlatformCreateWindow(const char* title);
const char* PlatformWindowTitle();

enum PlatformEventType { PLATFORM_EVENT_NONE = 0, PLATFORM_EVENT_QUIT, PLATFORM_EVENT_KEY };
struct PlatformEvent {
  int type;
  int key;        // SDL key code for PLATFORM_EVENT_KEY
  int modifiers;  // SDL key modifiers held with it
};
// Takes at most one event from the queue; returns 0 when there was none.
int PlatformPollEvent(PlatformEvent* event);
// Key codes the show reacts to.
int PlatformKeyEscape();
int PlatformKeyScreenshot();

// The player's controls a key press asks for.
enum PlatformControl {
  PLATFORM_CONTROL_NONE = 0,
  PLATFORM_CONTROL_FULL_SCREEN,     // Alt+Enter, F11
  PLATFORM_CONTROL_PAUSE,           // Space
  PLATFORM_CONTROL_BACK,            // Left
  PLATFORM_CONTROL_FORWARD,         // Right
  PLATFORM_CONTROL_PREVIOUS_SCENE,  // Page Up
  PLATFORM_CONTROL_NEXT_SCENE,      // Page Down
  PLATFORM_CONTROL_RESTART,         // Home
  PLATFORM_CONTROL_LOUDER,          // + (either key)
  PLATFORM_CONTROL_SOFTER,          // - (either key)
};
int PlatformControlOf(const PlatformEvent& event);

// Gives the processor away for about ms milliseconds (the real clock).
void PlatformSleep(int ms);

// Real time for measuring: seconds of a steady clock, whatever the show's
// clock is. Counted from the first call.
double PlatformRealSeconds();

// The largest resident memory of the process so far, in bytes; 0 when the
// system cannot tell.
int64_t PlatformPeakMemoryBytes();
