// The display device: the 320 x 240 frame buffer every effect draws into, the
// screen mode and surface, and the four operations that open, clear and show
// the frame, always called through the device.
#pragma once
#include <cstdint>
#include <string>

struct DisplayDevice;
using DisplayClearFn = int (*)(DisplayDevice* device, uint32_t value);
using DisplayOperationFn = int (*)(DisplayDevice* device);

struct DisplayDevice {
  int32_t width;         // frame width, always 320
  int32_t height;        // frame height, always 240
  int32_t bitsPerPixel;  // depth of the screen mode: 32, 24, 16; 0 without a mode
  int32_t pitchBytes;    // bytes from one row of pixels to the next
  int32_t pitchPixels;   // the same in pixels
  int32_t isLocked;      // 1 while pixels is valid
  uint32_t* pixels;      // the frame after Lock; the screen surface inside Present
  DisplayClearFn Clear;
  DisplayOperationFn Present;
  DisplayOperationFn Lock;
  DisplayOperationFn Unlock;
  int32_t modeHeight;    // 240 or 480; 0 without a mode
};

// Vertical-blank wait and window instead of full screen; set before DisplayStart.
void DisplaySetOptions(int verticalBlank, int windowed);

// Opens the screen in mode 0..5 (320 x 240 or 640 x 480 at 32, 24 or 16 bits)
// or, for -1, the first of them the platform gives. scaleMode fills a
// 640 x 480 screen: 0 frame in the top-left corner, 1 doubled, 2 smoothed.
// Returns the device, or null when the screen cannot be opened.
DisplayDevice* DisplayStart(int modeIndex, int scaleMode, int hasMmx);

// Gives the screen back. 1 when a screen had been opened, else 0.
int DisplayRelease();

// Saves the frame as the screen shows it to "kestrivane-NNNN.png" in the
// working directory, NNNN the next free number. 1 on success. report, when
// not null, gets the name written or the reason nothing was.
int DisplayScreenshot(std::string* report = nullptr);

// What the device stands on: the platform video unless a test puts a fake
// screen here. Results are 1 for success, 0 for failure.
struct DisplayVideo {
  int (*Open)(int windowed, int verticalBlank);
  int (*SetMode)(int width, int height, int bits);
  int (*LockSurface)(void** pixels, int* pitchBytes);
  int (*UnlockSurface)();
  int (*Close)();
};
void DisplaySetVideo(const DisplayVideo* video);  // null: the platform video

// The scale mode in force after DisplayStart (an automatic start may change it).
int DisplayScaleMode();
// The 640 x 480 scale buffer, null in 320 x 240 modes.
const uint32_t* DisplayScaleBuffer();

// Frame conversion into screen pixels; byte counts are of the source.
// 0x00RRGGBB to 5-6-5, two pixels per 32-bit store.
void Convert16(void* dst, const uint32_t* src, int bytes);
// 0x00RRGGBB to three bytes blue, green, red.
void Convert24(void* dst, const uint32_t* src, int bytes);
// The same conversions several pixels a step, equal to the plain ones byte
// for byte; the screen takes them unless the SIMD paths are switched off.
void Convert16Simd(void* dst, const uint32_t* src, int bytes);
void Convert24Simd(void* dst, const uint32_t* src, int bytes);
// Copy in 32-byte blocks through SIMD registers; bytes a multiple of 32.
void CopyMmx(void* dst, const uint32_t* src, int bytes);
// The plain copy.
void CopyPlain(void* dst, const uint32_t* src, int bytes);
