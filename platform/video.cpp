#include "platform/video.h"

#include <SDL.h>

#include <cstring>

#include "platform/capture.h"
#include "platform/system.h"

namespace {

struct VideoState {
  int open = 0;
  int windowed = 0;
  int verticalBlank = 0;
  int capture = 0;               // surface in memory, frames to the capture writer
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  int width = 0;                 // of the mode set; 0 while none is
  int height = 0;
  int bits = 0;
  int pitch = 0;
  int locked = 0;
  int shown = 0;                 // a frame has been unlocked since the mode was set
  int fullScreen = 0;            // what was last asked of the window manager
  std::vector<uint8_t> surface;  // what the screen shows, in the mode's format
  std::vector<uint32_t> expanded;
};

VideoState video;
std::vector<uint32_t> iconPixels;  // kept across modes and windows
int iconWidth = 0;
int iconHeight = 0;

void ApplyIcon() {
  if (!video.window || iconPixels.empty()) return;
  SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(
      iconPixels.data(), iconWidth, iconHeight, 32, iconWidth * 4, SDL_PIXELFORMAT_RGB888);
  if (!icon) return;
  SDL_SetWindowIcon(video.window, icon);
  SDL_FreeSurface(icon);
}

Uint32 TextureFormat(int bits) {
  switch (bits) {
    case 32: return SDL_PIXELFORMAT_RGB888;  // 0x00RRGGBB words
    case 24: return SDL_PIXELFORMAT_BGR24;   // bytes blue, green, red
    case 16: return SDL_PIXELFORMAT_RGB565;
    default: return SDL_PIXELFORMAT_UNKNOWN;
  }
}

void DropTexture() {
  if (video.texture) SDL_DestroyTexture(video.texture);
  video.texture = nullptr;
}

bool CreateWindowAndRenderer(int width, int height) {
  if (!video.window) {
#ifdef __EMSCRIPTEN__
    // In a browser the canvas holds the frame pixel for pixel; the page scales
    // it with sharp pixels and goes full screen itself. The software renderer
    // draws into the canvas's 2D context, which the page can read back.
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    video.window = SDL_CreateWindow(PlatformWindowTitle(), SDL_WINDOWPOS_CENTERED,
                                    SDL_WINDOWPOS_CENTERED, width, height, 0);
#else
    (void)width;
    (void)height;
    Uint32 flags = video.windowed ? SDL_WINDOW_RESIZABLE : SDL_WINDOW_FULLSCREEN_DESKTOP;
    // A window three times the frame is comfortable on today's desktops.
    video.window = SDL_CreateWindow(PlatformWindowTitle(), SDL_WINDOWPOS_CENTERED,
                                    SDL_WINDOWPOS_CENTERED, 960, 720, flags);
#endif
    if (!video.window) return false;
    video.fullScreen = video.windowed ? 0 : 1;
    SDL_ShowCursor(SDL_DISABLE);
    ApplyIcon();
  }
#ifdef __EMSCRIPTEN__
  SDL_SetWindowSize(video.window, width, height);  // a later mode of another size
#endif
  if (!video.renderer) {
    Uint32 vsync = video.verticalBlank ? SDL_RENDERER_PRESENTVSYNC : 0;
    video.renderer = SDL_CreateRenderer(video.window, -1, SDL_RENDERER_ACCELERATED | vsync);
    if (!video.renderer)
      video.renderer = SDL_CreateRenderer(video.window, -1, SDL_RENDERER_SOFTWARE | vsync);
    if (!video.renderer) return false;
  }
  return true;
}

}  // namespace

void PlatformVideoExpandRow(uint32_t* dst, const uint8_t* src, int count, int bits) {
  if (bits == 32) {
    std::memcpy(dst, src, static_cast<size_t>(count) * 4);
    for (int i = 0; i < count; ++i) dst[i] &= 0xFFFFFF;
  } else if (bits == 24) {
    for (int i = 0; i < count; ++i, src += 3)
      dst[i] = static_cast<uint32_t>(src[0]) | static_cast<uint32_t>(src[1]) << 8 |
               static_cast<uint32_t>(src[2]) << 16;
  } else if (bits == 16) {
    // The top bits of each field repeat into the low ones, so 0x1F and 0x3F
    // become 255 and 0 stays 0.
    for (int i = 0; i < count; ++i, src += 2) {
      uint32_t v = static_cast<uint32_t>(src[0]) | static_cast<uint32_t>(src[1]) << 8;
      uint32_t r = v >> 11, g = (v >> 5) & 0x3F, b = v & 0x1F;
      r = (r << 3) | (r >> 2);
      g = (g << 2) | (g >> 4);
      b = (b << 3) | (b >> 2);
      dst[i] = r << 16 | g << 8 | b;
    }
  } else {
    std::memset(dst, 0, static_cast<size_t>(count) * 4);
  }
}

int PlatformVideoOpen(int windowed, int verticalBlank) {
  if (video.open) PlatformVideoClose();
  video = VideoState();
  video.windowed = windowed ? 1 : 0;
  video.verticalBlank = verticalBlank ? 1 : 0;
  video.capture = PlatformCaptureMode();
  if (!video.capture) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return 0;
    // SDL falls back to its offscreen or dummy driver when no display can be
    // reached; nobody would see the show there, so only take them when asked
    // for by name (as the tests do).
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy")) &&
        !(asked && std::strstr(asked, driver))) {
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
      return 0;
    }
  }
  video.open = 1;
  return 1;
}

int PlatformVideoSetMode(int width, int height, int bits) {
  if (!video.open || width <= 0 || height <= 0 || width > 4096 || height > 4096) return 0;
  Uint32 format = TextureFormat(bits);
  if (format == SDL_PIXELFORMAT_UNKNOWN) return 0;
  video.width = video.height = video.bits = video.pitch = 0;
  video.locked = video.shown = 0;
  if (!video.capture) {
    if (!CreateWindowAndRenderer(width, height)) return 0;
    DropTexture();
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    video.texture = SDL_CreateTexture(video.renderer, format, SDL_TEXTUREACCESS_STREAMING, width,
                                      height);
    if (!video.texture) return 0;
    // The logical size keeps 4:3 and puts black bars around the picture.
    if (SDL_RenderSetLogicalSize(video.renderer, width, height) != 0) {
      DropTexture();
      return 0;
    }
  }
  video.width = width;
  video.height = height;
  video.bits = bits;
  video.pitch = width * (bits / 8);
  video.surface.assign(static_cast<size_t>(video.pitch) * static_cast<size_t>(height), 0);
  return 1;
}

int PlatformVideoLock(void** pixels, int* pitchBytes) {
  if (!video.open || !video.width) return 0;
  video.locked = 1;
  *pixels = video.surface.data();
  *pitchBytes = video.pitch;
  return 1;
}

int PlatformVideoUnlock() {
  if (!video.locked) return 0;
  video.locked = 0;
  video.shown = 1;
  if (video.capture) {
    if (!CaptureIsOpen()) return 1;
    if (video.bits == 32)
      return CaptureFrame(reinterpret_cast<const uint32_t*>(video.surface.data()), video.width,
                          video.height, video.width);
    video.expanded.resize(static_cast<size_t>(video.width) * static_cast<size_t>(video.height));
    for (int y = 0; y < video.height; ++y)
      PlatformVideoExpandRow(video.expanded.data() + static_cast<size_t>(y) * video.width,
                             video.surface.data() + static_cast<size_t>(y) * video.pitch,
                             video.width, video.bits);
    return CaptureFrame(video.expanded.data(), video.width, video.height, video.width);
  }
  if (SDL_UpdateTexture(video.texture, nullptr, video.surface.data(), video.pitch) != 0) return 0;
  SDL_SetRenderDrawColor(video.renderer, 0, 0, 0, 255);
  SDL_RenderClear(video.renderer);
  SDL_RenderCopy(video.renderer, video.texture, nullptr, nullptr);
  SDL_RenderPresent(video.renderer);
  return 1;
}

int PlatformVideoClose() {
  if (!video.open) return 0;
  DropTexture();
  if (video.renderer) SDL_DestroyRenderer(video.renderer);
  if (video.window) {
    SDL_DestroyWindow(video.window);
    SDL_ShowCursor(SDL_ENABLE);
  }
  if (!video.capture) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  video = VideoState();
  return 1;
}

int PlatformVideoReadScreen(std::vector<uint32_t>* pixels, int* width, int* height) {
  if (!video.open || !video.shown) return 0;
  pixels->resize(static_cast<size_t>(video.width) * static_cast<size_t>(video.height));
  for (int y = 0; y < video.height; ++y)
    PlatformVideoExpandRow(pixels->data() + static_cast<size_t>(y) * video.width,
                           video.surface.data() + static_cast<size_t>(y) * video.pitch,
                           video.width, video.bits);
  *width = video.width;
  *height = video.height;
  return 1;
}

int PlatformVideoToggleFullScreen() {
  if (!video.window) return 0;
  // The window's flags follow the window manager's answer, which comes some
  // time later, so the state asked for is kept here.
  int full = video.fullScreen;
  if (SDL_SetWindowFullscreen(video.window, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP) != 0)
    return 0;
  video.fullScreen = !full;
  if (full) {
    // Back from full screen: the window gets its usual size and place.
    SDL_SetWindowSize(video.window, 960, 720);
    SDL_SetWindowPosition(video.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
  }
  return 1;
}

int PlatformVideoIsFullScreen() { return video.window ? video.fullScreen : 0; }

int PlatformVideoIsVisible() {
  if (!video.window) return 1;
  Uint32 flags = SDL_GetWindowFlags(video.window);
  return (flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) ? 0 : 1;
}

void PlatformVideoSetIcon(const uint32_t* pixels, int width, int height) {
  if (!pixels || width <= 0 || height <= 0 || width > 1024 || height > 1024) return;
  iconPixels.assign(pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
  iconWidth = width;
  iconHeight = height;
  ApplyIcon();
}
