// Every frame of the whole show, plain and SIMD, against a stored list of
// pixel hashes: a 2 fps capture is 534 frames, one from every half second, so
// any change to what any row draws shows up as a changed hash. A timedemo,
// which draws the 3D scenes on two cores where a capture uses one, must
// give the same frames.
//
// The list is tests/data/show_frame_hashes.txt. When the generated data or a
// look changes on purpose, rebuild and rewrite the list with one command:
//
//   KV_WRITE_FRAME_HASHES=1 build/test_show --gtest_filter='WholeShowFrames.*'
//
// and commit the new list with the change that caused it.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/capture.h"

namespace fs = std::filesystem;

namespace {

const std::string kProgram = KV_BINARY_DIR "/kestrivane";
const fs::path kHashList = fs::path(KV_TEST_DATA) / "show_frame_hashes.txt";

// FNV-1a over the decoded RGB bytes: independent of how the PNG was packed.
uint64_t HashPixels(const std::vector<uint8_t>& pixels) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint8_t b : pixels) {
    h ^= b;
    h *= 0x100000001b3ull;
  }
  return h;
}

// Captures the whole show at 2 fps into a fresh directory and returns one
// line "frame-NNNNNN.png <hash>" per frame, in order; md5s, when given, gets
// each frame's MD5 of its RGB bytes as a timedemo prints it.
std::vector<std::string> CaptureHashes(const std::string& extraSwitches,
                                       std::vector<std::string>* md5s = nullptr) {
  fs::path dir = fs::temp_directory_path() / ("kv-hashes-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::string command = "cd '" + dir.string() +
                        "' && timeout 300 env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "
                        "SDL_AUDIODRIVER=dummy '" +
                        kProgram + "' /capture frames /rate 2 " + extraSwitches +
                        " >/dev/null 2>stderr.txt";
  int raw = std::system(command.c_str());
  EXPECT_TRUE(raw != -1 && WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << command;
  std::vector<std::string> lines;
  for (int n = 0;; ++n) {
    char name[32];
    std::snprintf(name, sizeof(name), "frame-%06d.png", n);
    fs::path path = dir / "frames" / name;
    if (!fs::exists(path)) break;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
      ADD_FAILURE() << "unreadable " << path;
      break;
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
      ADD_FAILURE() << "undecodable " << path;
      break;
    }
    char hex[17];
    std::snprintf(hex, sizeof(hex), "%016llx",
                  static_cast<unsigned long long>(HashPixels(pixels)));
    lines.push_back(std::string(name) + " " + std::to_string(image.width) + "x" +
                    std::to_string(image.height) + " " + hex);
    if (md5s) {
      std::vector<uint32_t> packed(static_cast<size_t>(image.width) * image.height);
      for (size_t i = 0; i < packed.size(); ++i)
        packed[i] = static_cast<uint32_t>(pixels[3 * i]) << 16 |
                    static_cast<uint32_t>(pixels[3 * i + 1]) << 8 | pixels[3 * i + 2];
      const int w = static_cast<int>(image.width), h = static_cast<int>(image.height);
      md5s->push_back(CaptureFrameMd5(packed.data(), w, h, w));
    }
  }
  fs::remove_all(dir);
  return lines;
}

// The MD5 of every frame of a whole-show timedemo at 2 fps, in order.
std::vector<std::string> TimedemoMd5s(const std::string& extraSwitches) {
  const std::string command = "timeout 300 env -u DISPLAY -u WAYLAND_DISPLAY '" + kProgram +
                              "' /timedemo /checksum /rate 2 /nosound " + extraSwitches +
                              " 2>/dev/null";
  std::vector<std::string> md5s;
  FILE* out = popen(command.c_str(), "r");
  if (!out) return md5s;
  char line[256];
  while (std::fgets(line, sizeof(line), out)) {
    long long frame = 0;
    char md5[64];
    if (std::sscanf(line, "frame %lld %63s", &frame, md5) == 2) md5s.push_back(md5);
  }
  EXPECT_EQ(pclose(out), 0) << command;
  return md5s;
}

std::vector<std::string> StoredHashes() {
  std::vector<std::string> lines;
  std::ifstream in(kHashList);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  return lines;
}

// Reports the first few differing frames by name rather than one huge diff.
void ExpectSameFrames(const std::vector<std::string>& stored,
                      const std::vector<std::string>& captured, const char* variant) {
  EXPECT_EQ(captured.size(), stored.size()) << variant << ": frame count";
  int reported = 0;
  size_t differing = 0;
  for (size_t i = 0; i < stored.size() && i < captured.size(); ++i) {
    if (stored[i] == captured[i]) continue;
    ++differing;
    if (reported++ < 10)
      ADD_FAILURE() << variant << ": expected " << stored[i] << ", got " << captured[i];
  }
  EXPECT_EQ(differing, 0u) << variant << ": frames that changed";
}

struct Variant {
  const char* name;
  const char* switches;
};

TEST(WholeShowFrames, EveryFrameMatchesTheStoredHashesPlainAndSimd) {
  const Variant variants[] = {{"SIMD", ""}, {"plain", "/nommx"}};
  if (std::getenv("KV_WRITE_FRAME_HASHES")) {
    std::vector<std::string> lines = CaptureHashes("");
    ASSERT_FALSE(lines.empty());
    std::ofstream out(kHashList);
    out << "# Pixel hashes of a whole-show capture at /rate 2 (frame, size, FNV-1a of RGB).\n";
    for (const std::string& line : lines) out << line << "\n";
    ASSERT_TRUE(out.good()) << kHashList;
  }
  std::vector<std::string> stored = StoredHashes();
  ASSERT_GT(stored.size(), 500u) << "missing or short " << kHashList;
  std::vector<std::string> md5s;
  for (const Variant& v : variants)
    ExpectSameFrames(stored, CaptureHashes(v.switches, md5s.empty() ? &md5s : nullptr), v.name);

  // A capture draws on one core; a timedemo draws its 3D scenes on two. The
  // frames must not tell.
  ASSERT_EQ(md5s.size(), stored.size());
  for (const Variant& v : variants)
    ExpectSameFrames(md5s, TimedemoMd5s(v.switches), (std::string(v.name) + " timedemo").c_str());
}

}  // namespace
