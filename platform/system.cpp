#include "platform/system.h"

#include <SDL.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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
    if (w == "/from" || w == "/to" || w == "/start") {
      if (!TakeValue(words, i, &value)) {
        options->error = "the switch " + w + " needs a value";
        continue;
      }
      char* end = nullptr;
      double seconds = std::strtod(value.c_str(), &end);
      if (end == value.c_str() || *end != '\0' || !std::isfinite(seconds) || seconds < 0.0 ||
          seconds > 100000.0)
        options->error = "the time of " + w + " must be a number of seconds, 0 or more";
      else
        (w == "/from" ? options->from : w == "/to" ? options->to : options->start) = seconds;
      continue;
    }
    if (w == "/scale" || w == "/quality") {
      if (!TakeValue(words, i, &value)) {
        options->error = "the switch " + w + " needs a value";
        continue;
      }
      if (w == "/quality") {
        options->quality = value;
        continue;
      }
      char* end = nullptr;
      long scale = std::strtol(value.c_str(), &end, 10);
      if (end == value.c_str() || *end != '\0' || scale < 1 || scale > 8)
        options->error = "the upscale of /scale must be a whole number from 1 to 8";
      else
        options->scale = static_cast<int>(scale);
      continue;
    }
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

int PlatformHasDisplay() {
  if (captureMode) return 0;
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy"))) return 0;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland) ? 1 : 0;
}

void PlatformMessageBox(const char* text, const char* caption) {
  std::fprintf(stderr, "%s: %s\n", caption, text);
  std::fflush(stderr);
#ifdef __EMSCRIPTEN__
  return;  // in a browser the page shows standard error; a dialog would stop the show
#endif
  if (captureMode) return;
  if (SDL_WasInit(SDL_INIT_VIDEO) & SDL_INIT_VIDEO) {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || !std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy")) return;
  } else if (!PlatformHasDisplay()) {
    // Messages before the video starts (or after it failed) still reach a
    // user who launched the show from a desktop without a terminal.
    return;
  }
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

int PlatformHasThreads() {
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
  return 0;
#else
  return 1;
#endif
}

int PlatformHasSsse3() {
#if KV_X86_EXTENSIONS
  static const int ssse3 = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3")) ? 1 : 0;
  return ssse3;
#else
  return 0;
#endif
}

int PlatformHasAvx2() {
#if KV_X86_EXTENSIONS
  static const int avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2")) ? 1 : 0;
  return avx2;
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

std::string PlatformExecutableDir() { return executableDir; }

void PlatformSetDataDir(const std::string& dir) { dataDir = dir; }

int PlatformHoldsData(const std::string& dir) {
  std::error_code error;
  return std::filesystem::is_regular_file(std::filesystem::path(dir) / kPlatformDataMarker, error)
             ? 1
             : 0;
}

std::vector<PlatformDataPlace> PlatformDataSearchPath(const std::string& exeDir) {
  namespace fs = std::filesystem;
  std::vector<PlatformDataPlace> places;
  auto add = [&places](const fs::path& dir, const std::string& reason) {
    std::string name = dir.lexically_normal().string();
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    for (const PlatformDataPlace& p : places)
      if (p.dir == name) return;
    places.push_back({name, reason});
  };
  auto absolute = [](const char* value) { return value && value[0] == '/'; };
  if (!exeDir.empty()) {
    add(exeDir, "beside the program");
    add(fs::path(exeDir) / ".." / "share" / "kestrivane", "the program's ../share/kestrivane");
  }
  const char* home = std::getenv("XDG_DATA_HOME");
  if (absolute(home)) {
    add(fs::path(home) / "kestrivane", "$XDG_DATA_HOME");
  } else if (const char* user = std::getenv("HOME"); absolute(user)) {
    add(fs::path(user) / ".local" / "share" / "kestrivane", "$XDG_DATA_HOME's default");
  }
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  bool own = dirs && *dirs;
  std::string list = own ? dirs : "/usr/local/share:/usr/share";
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    std::string entry = list.substr(start, end - start);
    if (absolute(entry.c_str()))
      add(fs::path(entry) / "kestrivane", own ? "$XDG_DATA_DIRS" : "$XDG_DATA_DIRS's default");
    start = end + 1;
  }
  return places;
}

int PlatformChooseDataDir(const std::string& dataSwitch, const std::string& exeDir,
                          std::string* message) {
  std::error_code error;
  if (!dataSwitch.empty()) {
    if (std::filesystem::is_directory(dataSwitch, error)) {
      dataDir = dataSwitch;
      return 1;
    }
    if (message) *message = "the data directory " + dataSwitch + " given by /data does not exist";
    return 0;
  }
  std::vector<PlatformDataPlace> places = PlatformDataSearchPath(exeDir);
  for (const PlatformDataPlace& place : places) {
    if (PlatformHoldsData(place.dir)) {
      dataDir = place.dir;
      return 1;
    }
  }
  if (message) {
    std::string text = std::string("no data set found (a directory holding ") +
                       kPlatformDataMarker + ", as kv_assetgen DIR writes). Looked in:";
    for (const PlatformDataPlace& place : places) text += "\n  " + place.dir + "  (" + place.reason + ")";
    text += "\nGive the data's directory with /data DIR.";
    *message = text;
  }
  return 0;
}

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
  event->modifiers = 0;
  if (!(SDL_WasInit(SDL_INIT_EVENTS) & SDL_INIT_EVENTS)) return 0;
  SDL_Event e;
  if (!SDL_PollEvent(&e)) return 0;
  if (e.type == SDL_QUIT) {
    event->type = PLATFORM_EVENT_QUIT;
  } else if (e.type == SDL_KEYDOWN) {
    event->type = PLATFORM_EVENT_KEY;
    event->key = e.key.keysym.sym;
    event->modifiers = e.key.keysym.mod;
  }
  return 1;
}

int PlatformKeyEscape() { return SDLK_ESCAPE; }
int PlatformKeyScreenshot() { return SDLK_F12; }

double PlatformRealSeconds() {
  static const auto origin = std::chrono::steady_clock::now();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - origin).count();
}

int64_t PlatformPeakMemoryBytes() {
  struct rusage usage;
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<int64_t>(usage.ru_maxrss) * 1024;  // Linux counts KiB
}

int PlatformControlOf(const PlatformEvent& event) {
  if (event.type != PLATFORM_EVENT_KEY) return PLATFORM_CONTROL_NONE;
  switch (event.key) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return (event.modifiers & KMOD_ALT) ? PLATFORM_CONTROL_FULL_SCREEN : PLATFORM_CONTROL_NONE;
    case SDLK_F11: return PLATFORM_CONTROL_FULL_SCREEN;
    case SDLK_SPACE: return PLATFORM_CONTROL_PAUSE;
    case SDLK_LEFT: return PLATFORM_CONTROL_BACK;
    case SDLK_RIGHT: return PLATFORM_CONTROL_FORWARD;
    case SDLK_PAGEUP: return PLATFORM_CONTROL_PREVIOUS_SCENE;
    case SDLK_PAGEDOWN: return PLATFORM_CONTROL_NEXT_SCENE;
    case SDLK_HOME: return PLATFORM_CONTROL_RESTART;
    case SDLK_PLUS:
    case SDLK_KP_PLUS: return PLATFORM_CONTROL_LOUDER;
    // '=' is where '+' is on most keyboards, without Shift.
    case SDLK_EQUALS: return PLATFORM_CONTROL_LOUDER;
    case SDLK_MINUS:
    case SDLK_KP_MINUS: return PLATFORM_CONTROL_SOFTER;
    default: return PLATFORM_CONTROL_NONE;
  }
}

void PlatformSleep(int ms) { SDL_Delay(ms > 0 ? static_cast<Uint32>(ms) : 0); }
