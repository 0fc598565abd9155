// The screen: one window with one streaming texture of exactly the mode's
// size and pixel format, shown scaled to the window with the 4:3 aspect kept.
// In capture mode there is no window: the surface lives in memory and every
// unlocked frame goes to the capture writer.
#pragma once
#include <cstdint>
#include <vector>

// Brings up the video driver. windowed: a window instead of desktop full
// screen; verticalBlank: presentation waits for the display's refresh.
// Returns 0 when no video driver can be used (never in capture mode).
int PlatformVideoOpen(int windowed, int verticalBlank);

// Sets a mode: creates the window (titled PlatformWindowTitle(), cursor
// hidden), a renderer and the texture. bits is 32 (XRGB8888), 24 (bytes blue,
// green, red) or 16 (RGB565). Returns 0 when the mode cannot be given.
int PlatformVideoSetMode(int width, int height, int bits);

// The surface of the current mode: pixels and the distance between rows in
// bytes. Returns 0 when no mode is set.
int PlatformVideoLock(void** pixels, int* pitchBytes);

// Uploads the surface and shows it (or, in capture mode, hands it to the
// capture writer). Returns 0 when the surface was not locked.
int PlatformVideoUnlock();

// Releases window, renderer and texture. Returns 1 when the video was open.
int PlatformVideoClose();

// The last shown frame as 0x00RRGGBB pixels, 16- and 24-bit surfaces expanded
// back to 8 bits per channel the way the screen shows them. Returns 0 when
// nothing was shown yet.
int PlatformVideoReadScreen(std::vector<uint32_t>* pixels, int* width, int* height);

// Expands one row of surface pixels of the given depth to 0x00RRGGBB.
void PlatformVideoExpandRow(uint32_t* dst, const uint8_t* src, int count, int bits);

// Switches the window between full screen (the desktop's size) and a
// window. Returns 1 when it changed.
int PlatformVideoToggleFullScreen();
// 1 while the window covers the screen.
int PlatformVideoIsFullScreen();

// 0 while the window is minimised or hidden, so nothing drawn would be seen;
// 1 otherwise (and always without a window).
int PlatformVideoIsVisible();

// The window's icon: 0x00RRGGBB pixels, shown on the window now or once it
// is made.
void PlatformVideoSetIcon(const uint32_t* pixels, int width, int height);
