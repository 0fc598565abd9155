#include "platform/capture.h"

#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

static_assert(std::endian::native == std::endian::little,
              "WAV samples and raw frames are written in memory order");

enum CaptureKind { CAPTURE_NONE = 0, CAPTURE_PNG, CAPTURE_VIDEO };

struct CaptureState {
  int kind = CAPTURE_NONE;
  bool failed = false;          // a write went wrong; later frames are dropped
  bool held = false;            // frames are passed over
  std::string path;             // what the user asked for
  std::string extension;        // ".mp4", ".mkv" or ".webm" for a video
  std::string ffmpeg;           // full path of the program
  std::string videoPath;        // where the encoder writes the pictures
  std::string wavPath;          // where the sound goes
  int framesPerSecond = 60;
  int audioRate = 0;
  int width = 0;                // of the first frame; every frame must match
  int height = 0;
  int frames = 0;
  int64_t audioFrames = 0;      // stereo sample frames written to the WAV
  FILE* wav = nullptr;
  pid_t encoder = -1;           // the ffmpeg that reads the pictures
  int encoderInput = -1;        // write end of its standard input
  double duration = 0.0;        // optional length of the show for the bar
  int lastShown = -1;           // last progress step printed
  bool terminal = false;        // standard error is a terminal: one updated line

  // The writer: frames are copied into jobs and written (encoded as PNG or
  // fed to ffmpeg) on a thread of their own, so the show renders the next
  // frames meanwhile. At most kQueueFrames wait.
  std::thread writer;
  std::mutex lock;
  std::condition_variable changed;
  std::deque<std::vector<uint32_t>> queue;  // frames to write, in order
  std::vector<std::vector<uint32_t>> spare;  // written frames' memory, reused
  bool stopping = false;
  std::atomic<bool> writeFailed{false};
  std::string writeError;       // set by the writer before writeFailed
  int written = 0;              // frames the writer has finished
};

// Enough to ride out the show's slowest frames; the writer (the encoder or
// the PNG compression) is the slower side, so a longer queue only holds
// more frames.
constexpr size_t kQueueFrames = 4;

// How a capture is made, kept across captures.
struct CaptureChoices {
  int scale = 4;
  std::string preset = "ultrafast";
  int quality = 18;  // x264's crf
};

CaptureState state;
CaptureChoices choices;

bool EndsWith(const std::string& s, const char* tail) {
  size_t n = std::strlen(tail);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = s[s.size() - n + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != tail[i]) return false;
  }
  return true;
}

void Fail(const std::string& text) {
  std::fprintf(stderr, "capture: %s\n", text.c_str());
  std::fflush(stderr);
}

// A canonical 44-byte header for 16-bit stereo PCM; the two sizes are filled
// in when the file is finished.
bool WriteWavHeader(FILE* f, int rate, uint32_t dataBytes) {
  uint8_t h[44];
  auto put32 = [&h](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) h[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  auto put16 = [&h](int at, uint16_t v) {
    h[at] = static_cast<uint8_t>(v);
    h[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  std::memcpy(h, "RIFF", 4);
  put32(4, 36 + dataBytes);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put32(16, 16);
  put16(20, 1);  // PCM
  put16(22, 2);  // channels
  put32(24, static_cast<uint32_t>(rate));
  put32(28, static_cast<uint32_t>(rate) * 4);
  put16(32, 4);  // bytes per sample frame
  put16(34, 16);
  std::memcpy(h + 36, "data", 4);
  put32(40, dataBytes);
  return std::fseek(f, 0, SEEK_SET) == 0 && std::fwrite(h, 1, 44, f) == 44;
}

// Pads the sound with silence to the length of the pictures, writes the
// sizes into the header and closes the file.
bool FinishWav() {
  if (!state.wav) return true;
  bool ok = true;
  int64_t wanted = static_cast<int64_t>(state.frames) * state.audioRate / state.framesPerSecond;
  if (state.audioFrames < wanted) {
    std::vector<int16_t> silence(4096 * 2, 0);
    int64_t left = wanted - state.audioFrames;
    while (ok && left > 0) {
      size_t n = static_cast<size_t>(left < 4096 ? left : 4096);
      ok = std::fwrite(silence.data(), 4, n, state.wav) == n;
      left -= static_cast<int64_t>(n);
      state.audioFrames += static_cast<int64_t>(n);
    }
  }
  int64_t bytes = state.audioFrames * 4;
  if (bytes > 0xFFFFFFFFll - 36) bytes = 0xFFFFFFFFll - 36;
  ok = ok && WriteWavHeader(state.wav, state.audioRate, static_cast<uint32_t>(bytes));
  ok = (std::fclose(state.wav) == 0) && ok;
  state.wav = nullptr;
  return ok;
}

// Starts a program with argv; input, when not null, receives the write end of
// a pipe to its standard input.
pid_t Spawn(const std::vector<std::string>& args, int* input) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int fds[2] = {-1, -1};
  if (input) {
    if (pipe2(fds, O_CLOEXEC) != 0) {
      posix_spawn_file_actions_destroy(&actions);
      return -1;
    }
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (input) {
    close(fds[0]);
    if (rc != 0) {
      close(fds[1]);
      return -1;
    }
    *input = fds[1];
  }
  return rc == 0 ? pid : -1;
}

bool WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool IsWebm() { return state.extension == ".webm"; }

// The encoder of the pictures: raw 0x00RRGGBB frames on standard input,
// upscaled 4x without filtering (every pixel a 4 x 4 block).
bool StartEncoder() {
  char size[32];
  std::snprintf(size, sizeof(size), "%dx%d", state.width, state.height);
  std::vector<std::string> args = {state.ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error",
                                   "-y", "-f", "rawvideo", "-pix_fmt", "bgr0", "-s", size,
                                   "-framerate", std::to_string(state.framesPerSecond), "-i",
                                   "pipe:0"};
  if (choices.scale > 1) {
    std::string k = std::to_string(choices.scale);
    args.insert(args.end(), {"-vf", "scale=iw*" + k + ":ih*" + k + ":flags=neighbor"});
  }
  if (IsWebm()) {
    args.insert(args.end(), {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8",
                             "-crf", std::to_string(choices.quality + 6), "-b:v", "0"});
  } else {
    args.insert(args.end(), {"-c:v", "libx264", "-preset", choices.preset, "-crf",
                             std::to_string(choices.quality)});
  }
  args.insert(args.end(), {"-pix_fmt", "yuv420p", state.videoPath});
  // -nostdin stops ffmpeg's key handling; the pictures still come through
  // pipe:0, which it reads as a file.
  state.encoder = Spawn(args, &state.encoderInput);
  if (state.encoder < 0) {
    Fail("cannot start " + state.ffmpeg + ": " + std::strerror(errno));
    return false;
  }
#ifdef F_SETPIPE_SZ
  // A few frames in the pipe itself keep the encoder busy while the writer
  // waits for the show.
  fcntl(state.encoderInput, F_SETPIPE_SZ, 1 << 20);
#endif
  return true;
}

// Joins the finished pictures and the WAV into PATH.
bool MuxSound() {
  std::vector<std::string> args = {state.ffmpeg, "-nostdin", "-hide_banner", "-loglevel",
                                   "error", "-y", "-i", state.videoPath, "-i", state.wavPath,
                                   "-map", "0:v:0", "-map", "1:a:0", "-c:v", "copy"};
  if (IsWebm()) {
    args.insert(args.end(), {"-c:a", "libopus", "-b:a", "160k", "-ar", "48000"});
  } else {
    args.insert(args.end(), {"-c:a", "aac", "-b:a", "192k"});
  }
  if (state.extension == ".mp4") args.insert(args.end(), {"-movflags", "+faststart"});
  args.push_back(state.path);
  pid_t pid = Spawn(args, nullptr);
  if (pid < 0) {
    Fail("cannot start " + state.ffmpeg + ": " + std::strerror(errno));
    return false;
  }
  if (!WaitFor(pid)) {
    Fail("ffmpeg could not join the sound to " + state.path);
    return false;
  }
  return true;
}

void ShowProgress(bool last) {
  double seconds = static_cast<double>(state.frames) / state.framesPerSecond;
  int step;
  if (state.duration > 0.0) {
    step = static_cast<int>(seconds / state.duration * 100.0);
    if (step > 100) step = 100;
  } else {
    step = state.frames / state.framesPerSecond;  // once per second of show
  }
  if (!state.terminal) {
    // A log, not a screen: one plain line every 10 % (or 10 s of show).
    step /= 10;
    if (step == state.lastShown) return;
    state.lastShown = step;
    if (state.duration > 0.0)
      std::fprintf(stderr, "capture: %3d%% %7.2f s, %d frames\n",
                   std::min(100, static_cast<int>(seconds / state.duration * 100.0)), seconds,
                   state.frames);
    else
      std::fprintf(stderr, "capture: %7.2f s, %d frames\n", seconds, state.frames);
    std::fflush(stderr);
    return;
  }
  if (step == state.lastShown && !last) return;
  state.lastShown = step;
  if (state.duration > 0.0) {
    char bar[41];
    int filled = step * 40 / 100;
    for (int i = 0; i < 40; ++i) bar[i] = i < filled ? '#' : '.';
    bar[40] = 0;
    std::fprintf(stderr, "\rcapture [%s] %3d%% %7.2f s, %d frames", bar, step, seconds,
                 state.frames);
  } else {
    std::fprintf(stderr, "\rcapture %7.2f s, %d frames", seconds, state.frames);
  }
  if (last) std::fputc('\n', stderr);
  std::fflush(stderr);
}

void Reset() {
  double duration = state.duration;
  state.~CaptureState();
  new (&state) CaptureState();
  state.duration = duration;
}

}  // namespace

std::string CaptureFindProgram(const char* name) {
  if (!name || !*name) return "";
  if (std::strchr(name, '/')) return access(name, X_OK) == 0 ? std::string(name) : "";
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string full = dir + "/" + name;
    struct stat st;
    if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0)
      return full;
    start = end + 1;
  }
  return "";
}

namespace {

// Writes one frame where it belongs; false with *error set when it cannot.
bool WriteFrame(const std::vector<uint32_t>& pixels, int number, std::string* error) {
  if (state.kind == CAPTURE_PNG) {
    char name[32];
    std::snprintf(name, sizeof(name), "/frame-%06d.png", number);
    // Level 2 keeps a full-length capture quick to write and still small.
    return CaptureWritePng((state.path + name).c_str(), pixels.data(), state.width, state.height,
                           state.width, 2, error) != 0;
  }
  if (!WriteAll(state.encoderInput, reinterpret_cast<const uint8_t*>(pixels.data()),
                pixels.size() * 4)) {
    *error = "ffmpeg stopped taking pictures for " + state.path;
    return false;
  }
  return true;
}

void WriterLoop() {
  std::unique_lock<std::mutex> hold(state.lock);
  for (;;) {
    state.changed.wait(hold, [] { return state.stopping || !state.queue.empty(); });
    if (state.queue.empty()) return;  // stopping, and everything is written
    std::vector<uint32_t> frame = std::move(state.queue.front());
    state.queue.pop_front();
    int number = state.written;
    bool failed = state.writeFailed.load();
    hold.unlock();
    std::string error;
    bool ok = failed || WriteFrame(frame, number, &error);
    hold.lock();
    if (!ok) {
      state.writeError = error;
      state.writeFailed = true;
    }
    ++state.written;
    state.spare.push_back(std::move(frame));
    state.changed.notify_all();
  }
}

// Lets the writer finish what is queued and ends it.
void StopWriter() {
  if (!state.writer.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(state.lock);
    state.stopping = true;
  }
  state.changed.notify_all();
  state.writer.join();
}

// Reports a failure of the writer once, on the main thread.
bool WriterFailed() {
  if (!state.writeFailed.load()) return false;
  if (!state.failed) {
    std::lock_guard<std::mutex> hold(state.lock);
    Fail(state.writeError);
  }
  state.failed = true;
  return true;
}

bool KnownVideo(const std::string& path, std::string* extension) {
  for (const char* ext : {".mp4", ".mkv", ".webm"})
    if (EndsWith(path, ext)) {
      *extension = ext;
      return true;
    }
  return false;
}

// A last part with a dot inside (not a leading one) names a kind of file.
bool HasExtension(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = last.find_last_of('.');
  return dot != std::string::npos && dot > 0 && dot + 1 < last.size();
}

// Leaves nothing half made when the process ends with a capture open (a
// damaged data file ends the show with exit(1) midway): a directory keeps
// its frames and gets a WAV with a correct header, an unfinished video is
// removed with its parts.
void CloseAtExit() {
  if (state.kind == CAPTURE_NONE) return;
  StopWriter();
  if (state.kind == CAPTURE_VIDEO) {
    // What the encoder still holds is of no use.
    if (state.encoder > 0) kill(state.encoder, SIGTERM);
    if (state.encoderInput >= 0) close(state.encoderInput);
    if (state.encoder > 0) WaitFor(state.encoder);
    if (state.wav) std::fclose(state.wav);
    state.wav = nullptr;
    if (!state.wavPath.empty()) {
      std::remove(state.videoPath.c_str());
      std::remove(state.wavPath.c_str());
    }
    std::remove(state.path.c_str());
    Fail("the show ended before the capture was finished: " + state.path + " was removed");
  } else {
    FinishWav();
    Fail("the show ended before the capture was finished: " + state.path + " keeps " +
         std::to_string(state.written) + " frames");
  }
  state.kind = CAPTURE_NONE;
}

}  // namespace

int CaptureSetChoices(int scale, const char* quality, std::string* error) {
  if (scale < 1 || scale > 8) {
    if (error) *error = "the upscale of /scale must be a whole number from 1 to 8";
    return 0;
  }
  CaptureChoices next;
  next.scale = scale;
  std::string q = quality ? quality : "";
  static const struct {
    const char* name;
    const char* preset;
    int crf;
  } kLevels[] = {
      {"", "ultrafast", 18}, {"fast", "ultrafast", 18}, {"small", "ultrafast", 21},
      {"best", "medium", 14}};
  bool found = false;
  for (const auto& level : kLevels)
    if (q == level.name) {
      next.preset = level.preset;
      next.quality = level.crf;
      found = true;
    }
  if (!found) {
    // PRESET:CRF, for those who know the encoder.
    static const char* const kPresets[] = {"ultrafast", "superfast", "veryfast", "faster",
                                           "fast",      "medium",    "slow",     "slower",
                                           "veryslow"};
    size_t colon = q.find(':');
    std::string preset = q.substr(0, colon);
    char* end = nullptr;
    long crf = colon == std::string::npos ? -1 : std::strtol(q.c_str() + colon + 1, &end, 10);
    bool knownPreset = false;
    for (const char* p : kPresets) knownPreset |= preset == p;
    if (!knownPreset || crf < 0 || crf > 51 || !end || *end != '\0') {
      if (error)
        *error = "/quality takes fast, small, best or PRESET:CRF (an x264 preset from "
                 "ultrafast to veryslow and a CRF from 0 to 51), not \"" + q + "\"";
      return 0;
    }
    next.preset = preset;
    next.quality = static_cast<int>(crf);
  }
  choices = next;
  return 1;
}

int CaptureOpen(const char* path, int framesPerSecond, int audioRate) {
  if (state.kind != CAPTURE_NONE) CaptureClose();
  Reset();
  if (!path || !*path) {
    Fail("no file or directory was named to capture into");
    return 0;
  }
  if (framesPerSecond < 1 || audioRate < 0) {
    Fail("the frame rate must be at least 1 and the sound rate not negative");
    return 0;
  }
  state.path = path;
  state.framesPerSecond = framesPerSecond;
  state.audioRate = audioRate;
  state.terminal = isatty(2) != 0;
  std::error_code ec;
  if (!KnownVideo(state.path, &state.extension) && HasExtension(state.path) &&
      !std::filesystem::is_directory(state.path, ec)) {
    Fail("cannot tell what to make of " + state.path +
         ": a capture is a video ending in .mp4, .mkv or .webm, or a directory of PNG frames "
         "(a name without an extension)");
    return 0;
  }

  if (!state.extension.empty()) {
    state.ffmpeg = CaptureFindProgram("ffmpeg");
    if (state.ffmpeg.empty()) {
      Fail("the ffmpeg program was not found on PATH; it is needed to write " + state.path +
           " (name a directory instead to get PNG frames)");
      return 0;
    }
    // Make sure the destination can be written before any frame is drawn.
    FILE* probe = std::fopen(state.path.c_str(), "wb");
    if (!probe) {
      Fail("cannot write " + state.path + ": " + std::strerror(errno));
      return 0;
    }
    std::fclose(probe);
    if (audioRate > 0) {
      state.videoPath = state.path + ".pictures" + (IsWebm() ? ".webm" : ".mkv");
      state.wavPath = state.path + ".sound.wav";
    } else {
      state.videoPath = state.path;
    }
    signal(SIGPIPE, SIG_IGN);  // a dead encoder shows as a failed write
    state.kind = CAPTURE_VIDEO;
  } else {
    std::filesystem::create_directories(state.path, ec);
    if (!std::filesystem::is_directory(state.path, ec) ||
        access(state.path.c_str(), W_OK | X_OK) != 0) {
      Fail("cannot write into the directory " + state.path +
           (ec ? ": " + ec.message() : std::string()));
      return 0;
    }
    if (audioRate > 0) state.wavPath = state.path + "/sound.wav";
    state.kind = CAPTURE_PNG;
  }

  if (audioRate > 0) {
    state.wav = std::fopen(state.wavPath.c_str(), "w+b");
    if (!state.wav || !WriteWavHeader(state.wav, audioRate, 0)) {
      Fail("cannot write " + state.wavPath + ": " + std::strerror(errno));
      if (state.wav) std::fclose(state.wav);
      if (state.kind == CAPTURE_VIDEO) std::remove(state.path.c_str());
      Reset();
      return 0;
    }
  }
  static bool hooked = false;
  if (!hooked) hooked = std::atexit(CloseAtExit) == 0;
  return 1;
}

int CaptureIsOpen() { return state.kind != CAPTURE_NONE; }

void CaptureSetDuration(double seconds) { state.duration = seconds > 0.0 ? seconds : 0.0; }

int CaptureFrameCount() { return state.frames; }

void CaptureHold(int on) { state.held = on != 0; }

int CaptureAudio(const int16_t* stereo, int frames) {
  if (state.kind == CAPTURE_NONE || frames < 0 || (frames > 0 && !stereo)) return 0;
  if (!state.wav || frames == 0) return 1;
  if (std::fwrite(stereo, 4, static_cast<size_t>(frames), state.wav) !=
      static_cast<size_t>(frames)) {
    if (!state.failed) Fail("cannot write " + state.wavPath + ": " + std::strerror(errno));
    state.failed = true;
    return 0;
  }
  state.audioFrames += frames;
  return 1;
}

int CaptureFrame(const uint32_t* pixels, int width, int height, int pitchPixels) {
  if (state.kind == CAPTURE_NONE || state.failed) return 0;
  if (state.held) return 1;
  if (!pixels || width <= 0 || height <= 0 || pitchPixels < width) return 0;
  if (WriterFailed()) return 0;
  if (state.frames == 0) {
    state.width = width;
    state.height = height;
    if (state.kind == CAPTURE_VIDEO && !StartEncoder()) {
      state.failed = true;
      return 0;
    }
    state.writer = std::thread(WriterLoop);
  } else if (width != state.width || height != state.height) {
    Fail("the frame size changed during the capture");
    state.failed = true;
    return 0;
  }

  std::vector<uint32_t> frame;
  {
    std::unique_lock<std::mutex> hold(state.lock);
    state.changed.wait(hold, [] { return state.queue.size() < kQueueFrames; });
    if (!state.spare.empty()) {
      frame = std::move(state.spare.back());
      state.spare.pop_back();
    }
  }
  frame.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y)
    std::memcpy(frame.data() + static_cast<size_t>(y) * static_cast<size_t>(width),
                pixels + static_cast<size_t>(y) * static_cast<size_t>(pitchPixels),
                static_cast<size_t>(width) * 4);
  {
    std::lock_guard<std::mutex> hold(state.lock);
    state.queue.push_back(std::move(frame));
  }
  state.changed.notify_all();
  ++state.frames;
  ShowProgress(false);
  return 1;
}

int CaptureClose() {
  if (state.kind == CAPTURE_NONE) return 0;
  StopWriter();
  WriterFailed();
  ShowProgress(true);
  bool ok = !state.failed;
  if (state.kind == CAPTURE_VIDEO) {
    if (state.encoderInput >= 0) close(state.encoderInput);
    if (state.encoder > 0 && !WaitFor(state.encoder)) {
      Fail("ffmpeg could not encode " + state.videoPath);
      ok = false;
    }
    if (state.frames == 0) {
      Fail("no frame was captured, so " + state.path + " was not made");
      ok = false;
    }
    ok = FinishWav() && ok;
    if (ok && !state.wavPath.empty()) ok = MuxSound();
    if (!state.wavPath.empty()) {
      std::remove(state.videoPath.c_str());
      std::remove(state.wavPath.c_str());
    }
    // A video that failed is not left behind looking like a finished one.
    if (!ok) std::remove(state.path.c_str());
  } else {
    if (!FinishWav()) {
      Fail("cannot finish " + state.wavPath);
      ok = false;
    }
  }
  Reset();
  return ok ? 1 : 0;
}

namespace {

struct PngFailure {
  std::jmp_buf jump;
  char message[200];
};

void PngError(png_structp png, png_const_charp text) {
  PngFailure* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
  std::snprintf(failure->message, sizeof(failure->message), "%s", text ? text : "PNG error");
  std::longjmp(failure->jump, 1);
}

void PngWarning(png_structp, png_const_charp) {}

}  // namespace

int CaptureWritePng(const char* path, const uint32_t* pixels, int width, int height,
                    int pitchPixels, int compressionLevel, std::string* error) {
  if (!path || !pixels || width <= 0 || height <= 0 || pitchPixels < width) {
    if (error) *error = "no picture to write";
    return 0;
  }
  FILE* f = std::fopen(path, "wb");
  if (!f) {
    if (error) *error = std::string("cannot write ") + path + ": " + std::strerror(errno);
    return 0;
  }
  // Everything that must survive a longjmp out of libpng lives before setjmp.
  std::vector<png_byte> row(static_cast<size_t>(width) * 3);
  PngFailure failure;
  failure.message[0] = 0;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, PngError, PngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(png ? &png : nullptr, nullptr);
    std::fclose(f);
    if (error) *error = "out of memory for a PNG";
    return 0;
  }
  if (setjmp(failure.jump)) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    if (error) *error = std::string("cannot write ") + path + ": " + failure.message;
    return 0;
  }
  png_init_io(png, f);
  png_set_compression_level(png, compressionLevel);
  png_set_filter(png, 0, PNG_FILTER_SUB);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    const uint32_t* src = pixels + static_cast<size_t>(y) * static_cast<size_t>(pitchPixels);
    png_byte* dst = row.data();
    for (int x = 0; x < width; ++x) {
      uint32_t p = src[x];
      dst[0] = static_cast<png_byte>(p >> 16);
      dst[1] = static_cast<png_byte>(p >> 8);
      dst[2] = static_cast<png_byte>(p);
      dst += 3;
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(f) != 0) {
    if (error) *error = std::string("cannot finish ") + path + ": " + std::strerror(errno);
    return 0;
  }
  return 1;
}
