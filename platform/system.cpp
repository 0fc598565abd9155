#include "platform/system.h"

#include <SDL.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool virtualClock = false;
uint32_t virtualMs = 0;
int captureMode = 0;
std::string executableDir;
std::string dataDir;
std::string windowTitle;

// Takes the word after position i of words as the value of switch name.
bool TakeValue(const std::vector<std::string>& words, size_t& i, std::string* value) {
  if (i + 1 >= words.size()) return false;
  *value = words[++i];
  return true;
}

}  // namespace

std::string PlatformCommandLine(int argc, const char* const* argv, PlatformOptions* options) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.emplace_back(argv[i] ? argv[i] : "");
  std::string line;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    std::string value;
    if (w == "/capture" || w == "/rate" || w == "/data") {
      if (!TakeValue(words, i, &value)) {
        options->error = "the switch " + w + " needs a value";
        continue;
      }
      if (w == "/capture") {
        options->capturePath = value;
      } else if (w == "/data") {
        options->dataDir = value;
      } else {
        char* end = nullptr;
        long rate = std::strtol(value.c_str(), &end, 10);
        if (end == value.c_str() || *end != '\0' || rate < 1 || rate > 1000)
          options->error = "the frame rate of /rate must be a whole number from 1 to 1000";
        else
          options->captureRate = static_cast<int>(rate);
      }
      continue;
    }
    if (!line.empty()) line += ' ';
    line += w;
  }
  return line;
}

uint32_t PlatformMilliseconds() {
  if (virtualClock) return virtualMs;
  static const auto origin = std::chrono::steady_clock::now();
  auto elapsed = std::chrono::steady_clock::now() - origin;
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void PlatformSetVirtualMilliseconds(uint32_t ms) {
  virtualClock = true;
  virtualMs = ms;
}

int PlatformClockIsVirtual() { return virtualClock ? 1 : 0; }

void PlatformSetCaptureMode(int on) { captureMode = on ? 1 : 0; }
int PlatformCaptureMode() { return captureMode; }

void PlatformMessageBox(const char* text, const char* caption) {
  std::fprintf(stderr, "%s: %s\n", caption, text);
  std::fflush(stderr);
#ifdef __EMSCRIPTEN__
  return;  // in a browser the page shows standard error; a dialog would stop the show
#endif
  if (captureMode || !(SDL_WasInit(SDL_INIT_VIDEO) & SDL_INIT_VIDEO)) return;
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || !std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy")) return;
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption, text, nullptr);
}

int PlatformHasSse2() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("sse2") ? 1 : 0;
#elif defined(__wasm_simd128__)
  return 1;  // SSE2 routines built on WebAssembly SIMD
#else
  return 0;
#endif
}

int PlatformHasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("avx2") ? 1 : 0;
#else
  return 0;
#endif
}

void PlatformSetExecutablePath(const char* argv0) {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  std::string path;
  if (n > 0) {
    path.assign(buf, static_cast<size_t>(n));
  } else if (argv0) {
    path = argv0;
  }
  size_t slash = path.find_last_of('/');
  executableDir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

void PlatformSetDataDir(const std::string& dir) { dataDir = dir; }

std::string PlatformDataDir() {
  if (!dataDir.empty()) return dataDir;
  if (!executableDir.empty()) return executableDir;
  return ".";
}

std::string PlatformAssetPath(const char* name) {
  std::string path(name ? name : "");
  for (char& c : path)
    if (c == '\\') c = '/';
  if (!path.empty() && path[0] == '/') return path;
  return PlatformDataDir() + "/" + path;
}

FILE* PlatformOpenAsset(const char* name, const char* mode) {
  return std::fopen(PlatformAssetPath(name).c_str(), mode);
}

int PlatformCreateWindow(const char* title) {
  windowTitle = title ? title : "";
  if (!(SDL_WasInit(SDL_INIT_EVENTS) & SDL_INIT_EVENTS)) SDL_InitSubSystem(SDL_INIT_EVENTS);
  return 1;
}

const char* PlatformWindowTitle() { return windowTitle.c_str(); }

int PlatformPollEvent(PlatformEvent* event) {
  event->type = PLATFORM_EVENT_NONE;
  event->key = 0;
  if (!(SDL_WasInit(SDL_INIT_EVENTS) & SDL_INIT_EVENTS)) return 0;
  SDL_Event e;
  if (!SDL_PollEvent(&e)) return 0;
  if (e.type == SDL_QUIT) {
    event->type = PLATFORM_EVENT_QUIT;
  } else if (e.type == SDL_KEYDOWN) {
    event->type = PLATFORM_EVENT_KEY;
    event->key = e.key.keysym.sym;
  }
  return 1;
}

int PlatformKeyEscape() { return SDLK_ESCAPE; }
int PlatformKeyScreenshot() { return SDLK_F12; }
