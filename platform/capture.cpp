#include "platform/capture.h"

#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
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
  std::vector<uint8_t> row;     // one frame packed for the encoder
  double duration = 0.0;        // optional length of the show for the bar
  int lastShown = -1;           // last progress step printed
};

CaptureState state;

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
                                   "pipe:0", "-vf", "scale=iw*4:ih*4:flags=neighbor"};
  if (IsWebm()) {
    args.insert(args.end(), {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8",
                             "-crf", "24", "-b:v", "0"});
  } else {
    args.insert(args.end(), {"-c:v", "libx264", "-preset", "superfast", "-crf", "16"});
  }
  args.insert(args.end(), {"-pix_fmt", "yuv420p", state.videoPath});
  // -nostdin stops ffmpeg's key handling; the pictures still come through
  // pipe:0, which it reads as a file.
  state.encoder = Spawn(args, &state.encoderInput);
  if (state.encoder < 0) {
    Fail("cannot start " + state.ffmpeg + ": " + std::strerror(errno));
    return false;
  }
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
  state = CaptureState();
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
  for (const char* ext : {".mp4", ".mkv", ".webm"}) {
    if (EndsWith(state.path, ext)) state.extension = ext;
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
    std::error_code ec;
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
      Reset();
      return 0;
    }
  }
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
  if (state.frames == 0) {
    state.width = width;
    state.height = height;
  } else if (width != state.width || height != state.height) {
    Fail("the frame size changed during the capture");
    state.failed = true;
    return 0;
  }

  if (state.kind == CAPTURE_PNG) {
    char name[32];
    std::snprintf(name, sizeof(name), "/frame-%06d.png", state.frames);
    std::string error;
    // Level 2 keeps a full-length capture quick to write and still small.
    if (!CaptureWritePng((state.path + name).c_str(), pixels, width, height, pitchPixels, 2,
                         &error)) {
      Fail(error);
      state.failed = true;
      return 0;
    }
  } else {
    if (state.frames == 0 && !StartEncoder()) {
      state.failed = true;
      return 0;
    }
    size_t rowBytes = static_cast<size_t>(width) * 4;
    const uint8_t* data = reinterpret_cast<const uint8_t*>(pixels);
    bool ok;
    if (pitchPixels == width) {
      ok = WriteAll(state.encoderInput, data, rowBytes * static_cast<size_t>(height));
    } else {
      state.row.resize(rowBytes * static_cast<size_t>(height));
      for (int y = 0; y < height; ++y)
        std::memcpy(state.row.data() + rowBytes * static_cast<size_t>(y),
                    pixels + static_cast<size_t>(y) * static_cast<size_t>(pitchPixels), rowBytes);
      ok = WriteAll(state.encoderInput, state.row.data(), state.row.size());
    }
    if (!ok) {
      Fail("ffmpeg stopped taking pictures for " + state.path);
      state.failed = true;
      return 0;
    }
  }
  ++state.frames;
  ShowProgress(false);
  return 1;
}

int CaptureClose() {
  if (state.kind == CAPTURE_NONE) return 0;
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

namespace {

// MD5 (RFC 1321), fed in pieces.
class Md5 {
 public:
  void Add(const uint8_t* data, size_t size) {
    length_ += size;
    while (size > 0) {
      size_t n = std::min(size, sizeof(block_) - fill_);
      std::memcpy(block_ + fill_, data, n);
      fill_ += n;
      data += n;
      size -= n;
      if (fill_ == sizeof(block_)) {
        Transform(block_);
        fill_ = 0;
      }
    }
  }

  std::string Hex() {
    uint64_t bits = length_ * 8;
    uint8_t pad[72] = {0x80};
    size_t padBytes = (fill_ < 56 ? 56 : 120) - fill_;
    Add(pad, padBytes);
    uint8_t size[8];
    for (int i = 0; i < 8; ++i) size[i] = static_cast<uint8_t>(bits >> (8 * i));
    Add(size, 8);
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (uint32_t word : state_)
      for (int i = 0; i < 4; ++i) {
        uint8_t byte = static_cast<uint8_t>(word >> (8 * i));
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
      }
    return hex;
  }

 private:
  static uint32_t Rotate(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

  void Transform(const uint8_t* p) {
    static const uint32_t kSine[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
        0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
        0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
        0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
        0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
        0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
        0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
        0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
        0xeb86d391};
    static const int kShift[16] = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
      m[i] = static_cast<uint32_t>(p[4 * i]) | static_cast<uint32_t>(p[4 * i + 1]) << 8 |
             static_cast<uint32_t>(p[4 * i + 2]) << 16 | static_cast<uint32_t>(p[4 * i + 3]) << 24;
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
      uint32_t f;
      int g;
      if (i < 16) {
        f = (b & c) | (~b & d);
        g = i;
      } else if (i < 32) {
        f = (d & b) | (~d & c);
        g = (5 * i + 1) & 15;
      } else if (i < 48) {
        f = b ^ c ^ d;
        g = (3 * i + 5) & 15;
      } else {
        f = c ^ (b | ~d);
        g = (7 * i) & 15;
      }
      uint32_t next = d;
      d = c;
      c = b;
      b = b + Rotate(a + f + kSine[i] + m[g], kShift[(i / 16) * 4 + (i & 3)]);
      a = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
  }

  uint32_t state_[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  uint8_t block_[64] = {};
  size_t fill_ = 0;
  uint64_t length_ = 0;
};

}  // namespace

std::string CaptureMd5(const void* data, size_t size) {
  Md5 md5;
  md5.Add(static_cast<const uint8_t*>(data), size);
  return md5.Hex();
}

std::string CaptureFrameMd5(const uint32_t* pixels, int width, int height, int pitchPixels) {
  Md5 md5;
  if (!pixels || width <= 0 || height <= 0 || pitchPixels < width) return md5.Hex();
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  for (int y = 0; y < height; ++y) {
    const uint32_t* src = pixels + static_cast<size_t>(y) * static_cast<size_t>(pitchPixels);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(src[x] >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(src[x] >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(src[x]);
    }
    md5.Add(row.data(), row.size());
  }
  return md5.Hex();
}
