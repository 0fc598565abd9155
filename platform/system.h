// The machine below the show: command line, clock, message boxes, SIMD
// availability, asset paths, the window and its events. Only platform/
// includes SDL2 or talks to the operating system.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// Switches added for this platform, taken out of the command line before the
// show searches it, so that a value such as a path never reads as a switch.
struct PlatformOptions {
  std::string capturePath;  // "/capture" PATH: empty when not capturing
  int captureRate = 60;     // "/rate" n
  std::string dataDir;      // "/data" DIR: empty means beside the executable
  double from = -1.0;       // "/from" T: seconds, -1 when absent
  double to = -1.0;         // "/to" T: seconds, -1 when absent
  std::string error;        // set when a switch lacks its value
};

// Joins argv[1..] with single spaces into the show's command line, with
// "/capture", "/rate", "/data", "/from" and "/to" and their values removed
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
// capture mode, not under the offscreen or dummy video drivers) also shows an
// SDL message box.
void PlatformMessageBox(const char* text, const char* caption);

// SIMD availability, tested at run time.
int PlatformHasSse2();
int PlatformHasAvx2();

// Asset paths: backslashes become '/', and a relative name is taken from the
// data directory (the executable's own unless set). Absolute names are kept.
void PlatformSetExecutablePath(const char* argv0);
void PlatformSetDataDir(const std::string& dir);
std::string PlatformDataDir();
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
  int key;  // SDL key code for PLATFORM_EVENT_KEY
};
// Takes at most one event from the queue; returns 0 when there was none.
int PlatformPollEvent(PlatformEvent* event);
// Key codes the show reacts to.
int PlatformKeyEscape();
int PlatformKeyScreenshot();

// Real time for measuring: seconds of a steady clock, whatever the show's
// clock is. Counted from the first call.
double PlatformRealSeconds();

// The largest resident memory of the process so far, in bytes; 0 when the
// system cannot tell.
int64_t PlatformPeakMemoryBytes();
