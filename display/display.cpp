#include "display/display.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "platform/capture.h"
#include "platform/video.h"

void PresentFrame(DisplayDevice* device, int modeWidth, int scaleMode, int hasMmx,
                  const uint32_t* frameBuffer, uint32_t* scaleBuffer);

namespace {

constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 240;
constexpr int kFramePixels = kFrameWidth * kFrameHeight;
constexpr int kScalePixels = 640 * 480;

struct DisplayMode {
  int width, height, bits;
};
constexpr DisplayMode kModes[6] = {
    {320, 240, 32}, {320, 240, 24}, {320, 240, 16}, {640, 480, 32}, {640, 480, 24}, {640, 480, 16},
};

const DisplayVideo kPlatformVideo = {
    PlatformVideoOpen, PlatformVideoSetMode, PlatformVideoLock, PlatformVideoUnlock,
    PlatformVideoClose,
};

DisplayDevice device;
const DisplayVideo* video = &kPlatformVideo;
int videoOpen = 0;     // the screen driver was opened; DisplayRelease gives it back
int modeWidth = 0;     // 320 or 640; 0 while no mode is set
int scaleMode = 0;
int hasMmx = 0;
int verticalBlank = 0;
int windowed = 0;
// Allocated on the first start and kept until the process ends.
uint32_t* frameBuffer = nullptr;
uint32_t* scaleBuffer = nullptr;

// Opens the frame for drawing. A second Lock leaves the open frame as it is;
// but a device left locked on the screen surface by a failed Present is
// pointed back at the frame, or drawing would run over the surface.
int Lock(DisplayDevice* d) {
  if (d->isLocked == 1 && d->pixels == frameBuffer) return 1;
  d->pixels = frameBuffer;
  d->pitchBytes = d->width * 4;
  d->pitchPixels = d->width;
  d->isLocked = 1;
  return 1;
}

int Unlock(DisplayDevice* d) {
  if (d->isLocked == 0) return 0;
  d->isLocked = 0;
  return 1;
}

// Fills the whole frame buffer with one value, even while Present has the
// device pointing at the screen.
int Clear(DisplayDevice* d, uint32_t value) {
  int count = d->width * d->height;
  for (int i = 0; i < count; ++i) frameBuffer[i] = value;
  return 1;
}

// Locks the screen surface, converts the finished frame into it and unlocks
// it. A surface that cannot be locked skips this frame's picture only. The
// vertical-blank wait happens in the platform's presentation (vsync).
int Present(DisplayDevice* d) {
  void* surface = nullptr;
  int pitch = 0;
  if (!video->LockSurface(&surface, &pitch)) return 0;
  int bytesPerPixel = d->bitsPerPixel / 8;
  d->pixels = static_cast<uint32_t*>(surface);
  d->pitchBytes = pitch;
  d->pitchPixels = bytesPerPixel ? pitch / bytesPerPixel : 0;
  d->isLocked = 1;
  PresentFrame(d, modeWidth, scaleMode, hasMmx, frameBuffer, scaleBuffer);
  if (!video->UnlockSurface()) return 0;
  d->isLocked = 0;
  return 1;
}

void RecordMode(const DisplayMode& mode) {
  modeWidth = mode.width;
  device.modeHeight = mode.height;
  device.bitsPerPixel = mode.bits;
}

}  // namespace

void DisplaySetOptions(int vb, int win) {
  verticalBlank = vb ? 1 : 0;
  windowed = win ? 1 : 0;
}

void DisplaySetVideo(const DisplayVideo* v) { video = v ? v : &kPlatformVideo; }

DisplayDevice* DisplayStart(int modeIndex, int scale, int mmx) {
  scaleMode = scale;
  hasMmx = mmx ? 1 : 0;
  device = DisplayDevice{};
  modeWidth = 0;
  // Any other index would leave no mode set and no scale buffer behind a
  // scaled Present; such an index chooses automatically instead.
  if (modeIndex < -1 || modeIndex > 5) modeIndex = -1;

  if (!video->Open(windowed, verticalBlank)) return nullptr;
  videoOpen = 1;

  bool modeSet = false;
  if (modeIndex >= 0) {
    RecordMode(kModes[modeIndex]);
    modeSet = video->SetMode(kModes[modeIndex].width, kModes[modeIndex].height,
                             kModes[modeIndex].bits) != 0;
  } else {
    for (const DisplayMode& mode : kModes) {
      RecordMode(mode);
      if (video->SetMode(mode.width, mode.height, mode.bits)) {
        modeSet = true;
        break;
      }
    }
  }
  if (!modeSet) return nullptr;

  if (!frameBuffer) {
    frameBuffer = new (std::nothrow) uint32_t[kFramePixels]();
    if (!frameBuffer) return nullptr;
  }
  if (modeWidth == 640) {
    if (!scaleBuffer) scaleBuffer = new (std::nothrow) uint32_t[kScalePixels];
    if (!scaleBuffer) return nullptr;
    // Black, so that the border smoothing never writes stays black.
    for (int i = 0; i < kScalePixels; ++i) scaleBuffer[i] = 0;
  }

  device.width = kFrameWidth;
  device.height = kFrameHeight;
  device.pitchBytes = 0;
  device.pitchPixels = 0;
  device.isLocked = 0;
  device.pixels = nullptr;
  device.Clear = Clear;
  device.Present = Present;
  device.Lock = Lock;
  device.Unlock = Unlock;

  if (modeIndex == -1 && modeWidth == 640 && scaleMode != 2) scaleMode = 1;
  return &device;
}

int DisplayRelease() {
  if (!videoOpen) return 0;
  video->Close();
  videoOpen = 0;
  return 1;
}

int DisplayScaleMode() { return scaleMode; }

const uint32_t* DisplayScaleBuffer() { return modeWidth == 640 ? scaleBuffer : nullptr; }

int DisplayScreenshot(std::string* report) {
  std::vector<uint32_t> pixels;
  int width = 0, height = 0;
  if (!videoOpen || !PlatformVideoReadScreen(&pixels, &width, &height)) {
    if (report) *report = "no frame has been shown yet";
    return 0;
  }
  for (int n = 1; n <= 9999; ++n) {
    char name[32];
    std::snprintf(name, sizeof(name), "kestrivane-%04d.png", n);
    if (FILE* f = std::fopen(name, "rb")) {
      std::fclose(f);
      continue;
    }
    std::string error;
    int ok = CaptureWritePng(name, pixels.data(), width, height, width, 6, &error);
    if (report) *report = ok ? std::string(name) : error;
    return ok;
  }
  if (report) *report = "kestrivane-0001.png to kestrivane-9999.png all exist";
  return 0;
}
