// A screen in memory for the display tests: which modes it accepts, the
// surface it hands out (with a chosen pitch), and what the device asked of it.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "display/display.h"

struct FakeScreen {
  bool openFails = false;
  std::vector<std::string> accepted;  // "WxHxB" of every mode it gives
  int extraPitchBytes = 0;            // bytes beyond each row
  bool lockFails = false;
  bool unlockFails = false;
  std::vector<std::string> attempts;  // every SetMode, in order
  int width = 0, height = 0, bits = 0, pitch = 0;
  int opens = 0, closes = 0, locks = 0, unlocks = 0;
  std::vector<uint8_t> surface;
};

inline FakeScreen fakeScreen;

inline std::string ModeName(int w, int h, int bits) {
  return std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(bits);
}

inline int FakeOpen(int, int) {
  ++fakeScreen.opens;
  return fakeScreen.openFails ? 0 : 1;
}

inline int FakeSetMode(int w, int h, int bits) {
  std::string name = ModeName(w, h, bits);
  fakeScreen.attempts.push_back(name);
  for (const std::string& a : fakeScreen.accepted) {
    if (a != name) continue;
    fakeScreen.width = w;
    fakeScreen.height = h;
    fakeScreen.bits = bits;
    fakeScreen.pitch = w * bits / 8 + fakeScreen.extraPitchBytes;
    // Filled with a marker so that untouched bytes can be told apart.
    fakeScreen.surface.assign(static_cast<size_t>(fakeScreen.pitch) * h, 0xAB);
    return 1;
  }
  return 0;
}

inline int FakeLock(void** pixels, int* pitch) {
  ++fakeScreen.locks;
  if (fakeScreen.lockFails) return 0;
  *pixels = fakeScreen.surface.data();
  *pitch = fakeScreen.pitch;
  return 1;
}

inline int FakeUnlock() {
  ++fakeScreen.unlocks;
  return fakeScreen.unlockFails ? 0 : 1;
}

inline int FakeClose() {
  ++fakeScreen.closes;
  return 1;
}

inline const DisplayVideo kFakeVideo = {FakeOpen, FakeSetMode, FakeLock, FakeUnlock, FakeClose};

inline const std::vector<std::string> kAllModes = {"320x240x32", "320x240x24", "320x240x16",
                                                   "640x480x32", "640x480x24", "640x480x16"};

// Starts the display on a fresh fake screen that accepts the given modes.
inline DisplayDevice* StartOnFake(int modeIndex, int scaleMode, int hasMmx,
                                  const std::vector<std::string>& accepted = kAllModes,
                                  int extraPitchBytes = 0) {
  DisplayRelease();
  fakeScreen = FakeScreen();
  fakeScreen.accepted = accepted;
  fakeScreen.extraPitchBytes = extraPitchBytes;
  DisplaySetVideo(&kFakeVideo);
  DisplaySetOptions(0, 0);
  return DisplayStart(modeIndex, scaleMode, hasMmx);
}

inline uint32_t Rgb(int r, int g, int b) {
  return static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 |
         static_cast<uint32_t>(b);
}

// The screen pixel at (x, y) read back as 0x00RRGGBB from the surface bytes
// (16-bit values returned as they are).
inline uint32_t SurfacePixel(int x, int y) {
  const uint8_t* p = fakeScreen.surface.data() + static_cast<size_t>(y) * fakeScreen.pitch +
                     static_cast<size_t>(x) * (fakeScreen.bits / 8);
  uint32_t v = 0;
  std::memcpy(&v, p, static_cast<size_t>(fakeScreen.bits / 8));
  return fakeScreen.bits == 32 ? v & 0xFFFFFF : v;
}
