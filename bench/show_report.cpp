// Picture measures of a captured show, per timeline row: how bright the
// frames are, how much of them is near black, how much flickers from one
// frame to the next, and how much of a frame one flat region covers. Reads a
// capture directory of numbered PNG frames (frame n shown at n / rate s) and
// takes the rows and the fade envelope from the show's own tables.
//
//   show_report DIR [--rate N] [--frames] [--from S] [--to S]
//   show_report --render DIR FROM TO RATE
//
// --rate defaults to the frame count over the length of DIR/sound.wav.
// --frames prints one line per frame instead of the row table.
// --render draws the show's frames from FROM to TO seconds at RATE frames a
// second into DIR (numbered as a whole capture would number them, without
// sound), with the data set beside the program, to measure a few rows at
// full rate without capturing the whole show; DIR then needs --rate.
// Exit status: 0 when every row meets its targets, 2 when some row does not,
// 1 on unreadable input.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "effects/effects.h"
#include "show/fade.h"
#include "platform/capture.h"
#include "platform/system.h"
#include "show/asset_setup.h"
#include "show/timeline.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kPixels = kWidth * kHeight;

// Targets.
constexpr double kMinSceneLuma = 35.0;        // mean luma of a 3D row
constexpr double kMaxSceneBlack = 0.60;       // share below luma 16 in a 3D row
constexpr double kMaxFlicker = 0.005;         // share of pixels swinging per frame
constexpr double kMaxSceneFlat = 0.25;        // one flat region in a 3D row
constexpr double kMaxBlankEdge = 0.3;         // seconds without text in the scroller
constexpr int kFlickerStep = 40;              // luma swing that counts as flicker
constexpr int kFlatTolerance = 6;             // distance from the region's first pixel
constexpr int kBlackLuma = 16;
constexpr int kMinRateForFlicker = 30;        // slower captures see motion as flicker

struct FrameStats {
  bool loaded = false;
  bool faded = false;      // the envelope whitens or darkens this frame
  double meanLuma = 0.0;
  double blackShare = 0.0;
  double flatShare = 0.0;  // largest 4-connected region within a few levels of one colour, not near black
  double flicker = -1.0;   // share of pixels up-and-down against both neighbours; -1 unknown
  double contentShare = 0.0;  // pixels above luma 40
};

bool ReadPng(const std::string& path, std::vector<uint8_t>* luma, std::vector<uint32_t>* rgb) {
  png_image image;
  std::memset(&image, 0, sizeof(image));
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  if (image.width != kWidth || image.height != kHeight) {
    png_image_free(&image);
    return false;
  }
  std::vector<uint8_t> data(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, data.data(), 0, nullptr)) return false;
  luma->resize(kPixels);
  rgb->resize(kPixels);
  for (int i = 0; i < kPixels; ++i) {
    int r = data[i * 3], g = data[i * 3 + 1], b = data[i * 3 + 2];
    (*luma)[i] = static_cast<uint8_t>((299 * r + 587 * g + 114 * b + 500) / 1000);
    (*rgb)[i] = static_cast<uint32_t>(r << 16 | g << 8 | b);
  }
  return true;
}

// The envelope is applied to a mid-grey probe pixel; a probe that comes out
// unchanged means the frame at t is shown as drawn.
bool FadedAt(float t) {
  uint32_t probe = 0x808080;
  RunFadeEnvelope(&probe, FadeEnvelope, kFadeKeys, t);
  return probe != 0x808080;
}

bool Near(uint32_t a, uint32_t b) {
  for (int s = 0; s < 24; s += 8) {
    int d = static_cast<int>((a >> s) & 255) - static_cast<int>((b >> s) & 255);
    if (d > kFlatTolerance || d < -kFlatTolerance) return false;
  }
  return true;
}

double LargestFlatRegion(const std::vector<uint8_t>& luma, const std::vector<uint32_t>& rgb) {
  std::vector<int32_t> label(kPixels, -1);
  std::vector<int> stack;
  int best = 0;
  for (int start = 0; start < kPixels; ++start) {
    if (label[start] >= 0 || luma[start] < kBlackLuma) continue;
    int size = 0;
    stack.assign(1, start);
    label[start] = start;
    while (!stack.empty()) {
      int p = stack.back();
      stack.pop_back();
      ++size;
      int x = p % kWidth, y = p / kWidth;
      const int next[4] = {x > 0 ? p - 1 : -1, x + 1 < kWidth ? p + 1 : -1,
                           y > 0 ? p - kWidth : -1, y + 1 < kHeight ? p + kWidth : -1};
      for (int q : next) {
        if (q < 0 || label[q] >= 0 || luma[q] < kBlackLuma || !Near(rgb[start], rgb[q])) continue;
        label[q] = start;
        stack.push_back(q);
      }
    }
    best = std::max(best, size);
  }
  return static_cast<double>(best) / kPixels;
}

double WavSeconds(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 0.0;
  uint8_t header[44];
  double seconds = 0.0;
  if (std::fread(header, 1, 44, f) == 44 && std::memcmp(header, "RIFF", 4) == 0) {
    uint32_t rate = header[24] | header[25] << 8 | header[26] << 16 |
                    static_cast<uint32_t>(header[27]) << 24;
    uint32_t bytesPerFrame = header[32] | header[33] << 8;
    uint32_t bytes = header[40] | header[41] << 8 | header[42] << 16 |
                     static_cast<uint32_t>(header[43]) << 24;
    if (rate > 0 && bytesPerFrame > 0) seconds = static_cast<double>(bytes) / bytesPerFrame / rate;
  }
  std::fclose(f);
  return seconds;
}

bool IsSceneEffect(EffectFn fn) {
  const EffectFn scenes[] = {CatwalkEffect, CatwalkCloseEffect, DancerEffect,
                             BoxDancerEffect, DanceFloorEffect,  CityEffect,
                             MetaballEffect, FlareSceneEffect};
  return std::find(std::begin(scenes), std::end(scenes), fn) != std::end(scenes);
}

const char* EffectName(EffectFn fn) {
#define KV_NAME(e) \
  if (fn == e) return #e;
  KV_NAME(CatwalkEffect) KV_NAME(TitleEffect) KV_NAME(CatwalkCloseEffect)
  KV_NAME(ZoomPictureEffect) KV_NAME(TextureWarpEffect) KV_NAME(FaceCrossEffect)
  KV_NAME(WarpStackEffect) KV_NAME(FlareSceneEffect) KV_NAME(PortraitEffect)
  KV_NAME(MorphEffect) KV_NAME(WordEffect) KV_NAME(CityEffect) KV_NAME(DancerEffect)
  KV_NAME(BoxDancerEffect) KV_NAME(MetaballEffect) KV_NAME(CornerLogoEffect)
  KV_NAME(BluePictureEffect) KV_NAME(DotsOverTextureEffect) KV_NAME(LensWarpEffect)
  KV_NAME(RotozoomEffect) KV_NAME(SilhouetteEchoEffect) KV_NAME(RippleGridEffect)
  KV_NAME(FlowerSpritesEffect) KV_NAME(DotsBeatEffect) KV_NAME(BackgroundFillEffect)
  KV_NAME(DanceFloorEffect) KV_NAME(PictureFadeEffect) KV_NAME(EndScrollEffect)
#undef KV_NAME
  return "?";
}

// Frames FROM..TO of the show drawn straight from its timeline. The first
// frame drawn is the row's first where a row starts at FROM, so effects that
// set themselves up on their first call do so as in the show.
int Render(const std::string& dir, double from, double to, int rate) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!AssetSetup("")) {
    std::fprintf(stderr, "show_report: the data set beside the program is incomplete\n");
    return 1;
  }
  std::vector<uint32_t> frame(kPixels, 0);
  for (int n = static_cast<int>(std::ceil(from * rate)); n <= static_cast<int>(to * rate); n++) {
    const float t = static_cast<float>(static_cast<double>(n) / rate);
    ShowFrame(frame.data(), t);
    char name[32];
    std::snprintf(name, sizeof(name), "/frame-%06d.png", n);
    std::string error;
    if (!CaptureWritePng((dir + name).c_str(), frame.data(), kWidth, kHeight, kWidth, 2, &error)) {
      std::fprintf(stderr, "show_report: %s\n", error.c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::string(argv[1]) == "--render") {
    PlatformSetDataDir(std::filesystem::path(argv[0]).parent_path().string());
    return Render(argv[2], std::atof(argv[3]), std::atof(argv[4]), std::atoi(argv[5]));
  }
  std::string dir;
  int rate = 0;
  bool perFrame = false;
  double from = 0.0, to = 1e9;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--rate" && i + 1 < argc) {
      rate = std::atoi(argv[++i]);
    } else if (a == "--frames") {
      perFrame = true;
    } else if (a == "--from" && i + 1 < argc) {
      from = std::atof(argv[++i]);
    } else if (a == "--to" && i + 1 < argc) {
      to = std::atof(argv[++i]);
    } else if (dir.empty() && a[0] != '-') {
      dir = a;
    } else {
      std::fprintf(stderr, "usage: show_report DIR [--rate N] [--frames] [--from S] [--to S]\n");
      return 1;
    }
  }
  if (dir.empty()) {
    std::fprintf(stderr, "usage: show_report DIR [--rate N] [--frames] [--from S] [--to S]\n");
    return 1;
  }
  // The frames present: from the lowest number on, without a gap.
  int lowest = -1;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() == 16 && name.rfind("frame-", 0) == 0 && name.substr(12) == ".png") {
      const int n = std::atoi(name.substr(6, 6).c_str());
      if (lowest < 0 || n < lowest) lowest = n;
    }
  }
  if (lowest < 0) {
    std::fprintf(stderr, "%s: no frame-NNNNNN.png\n", dir.c_str());
    return 1;
  }
  int count = lowest;
  for (;; ++count) {
    char name[32];
    std::snprintf(name, sizeof(name), "/frame-%06d.png", count);
    FILE* f = std::fopen((dir + name).c_str(), "rb");
    if (!f) break;
    std::fclose(f);
  }
  if (rate <= 0) {
    double seconds = WavSeconds(dir + "/sound.wav");
    if (seconds <= 0.0) {
      std::fprintf(stderr, "%s/sound.wav: unreadable; give --rate\n", dir.c_str());
      return 1;
    }
    rate = static_cast<int>(std::lround(count / seconds));
  }
  InitFadeOperations(1, 1, 1);

  std::vector<FrameStats> stats(count);
  std::vector<uint8_t> prevLuma, luma, nextLuma;
  std::vector<uint32_t> rgb, nextRgb;
  auto path = [&](int n) {
    char name[32];
    std::snprintf(name, sizeof(name), "/frame-%06d.png", n);
    return dir + name;
  };
  int first = static_cast<int>(std::clamp(std::floor(from * rate) - 1, double(lowest), count - 1.0));
  int last = static_cast<int>(std::clamp(std::ceil(to * rate) + 1, 0.0, count - 1.0));
  bool haveCurrent = false, havePrev = false;
  for (int n = first; n <= last; ++n) {
    if (!haveCurrent) {
      if (!ReadPng(path(n), &luma, &rgb)) {
        std::fprintf(stderr, "%s: not a 320 x 240 PNG\n", path(n).c_str());
        return 1;
      }
    }
    bool haveNext = n + 1 <= last && ReadPng(path(n + 1), &nextLuma, &nextRgb);
    FrameStats& s = stats[n];
    s.loaded = true;
    float t = static_cast<float>(static_cast<double>(n) / rate);
    s.faded = FadedAt(t);
    long sum = 0;
    int black = 0, content = 0;
    for (int i = 0; i < kPixels; ++i) {
      sum += luma[i];
      black += luma[i] < kBlackLuma;
      content += luma[i] > 40;
    }
    s.meanLuma = static_cast<double>(sum) / kPixels;
    s.blackShare = static_cast<double>(black) / kPixels;
    s.contentShare = static_cast<double>(content) / kPixels;
    s.flatShare = LargestFlatRegion(luma, rgb);
    if (havePrev && haveNext) {
      int swing = 0;
      for (int i = 0; i < kPixels; ++i) {
        int a = prevLuma[i] - luma[i], b = nextLuma[i] - luma[i];
        // The middle frame stands out from both neighbours in the same sense.
        if ((a > kFlickerStep && b > kFlickerStep) || (a < -kFlickerStep && b < -kFlickerStep))
          ++swing;
      }
      s.flicker = static_cast<double>(swing) / kPixels;
    }
    prevLuma.swap(luma);
    havePrev = true;
    if (haveNext) {
      luma.swap(nextLuma);
      rgb.swap(nextRgb);
      haveCurrent = true;
    } else {
      haveCurrent = false;
    }
  }

  if (perFrame) {
    std::printf("%7s %8s %5s %6s %6s %6s %7s\n", "frame", "time", "fade", "luma", "black%",
                "flat%", "flick%");
    for (int n = 0; n < count; ++n) {
      const FrameStats& s = stats[n];
      double t = static_cast<double>(n) / rate;
      if (!s.loaded || t < from || t > to) continue;
      std::printf("%7d %8.3f %5s %6.1f %6.1f %6.1f %7.3f\n", n, t, s.faded ? "yes" : "", s.meanLuma,
                  100 * s.blackShare, 100 * s.flatShare, s.flicker < 0 ? -1.0 : 100 * s.flicker);
    }
    return 0;
  }

  bool flickerCounts = rate >= kMinRateForFlicker;
  std::printf("capture %s: %d frames at %d fps%s\n", dir.c_str(), count, rate,
              flickerCounts ? "" : " (too slow to judge flicker: shown, not flagged)");
  std::printf("%3s %-22s %5s %7s %7s %5s %6s %6s %7s %6s  %s\n", "row", "effect", "param",
              "start", "end", "luma", "black%", "flat%", "flick%", "edges", "flags");
  bool allOk = true;
  for (int r = 0; r < kTimelineRows; ++r) {
    const TimelineEntry& row = Timeline[r];
    if (row.end < from || row.start > to) continue;
    bool scene = IsSceneEffect(row.entry);
    double lumaSum = 0, blackSum = 0, flickerSum = 0, flatMax = 0;
    int shown = 0, flickerCount = 0;
    double firstContent = -1, lastContent = -1;
    for (int n = 0; n < count; ++n) {
      float t = static_cast<float>(static_cast<double>(n) / rate);
      if (!(row.start <= t && t < row.end) || !stats[n].loaded) continue;
      const FrameStats& s = stats[n];
      if (s.contentShare > 0.0003) {
        if (firstContent < 0) firstContent = t;
        lastContent = t;
      }
      if (s.faded) continue;
      ++shown;
      lumaSum += s.meanLuma;
      blackSum += s.blackShare;
      flatMax = std::max(flatMax, s.flatShare);
      if (s.flicker >= 0) {
        flickerSum += s.flicker;
        ++flickerCount;
      }
    }
    if (shown == 0) {
      std::printf("%3d %-22s %5d %7.2f %7.2f  (every frame inside a fade)\n", r,
                  EffectName(row.entry), row.param, row.start, row.end);
      continue;
    }
    double meanLuma = lumaSum / shown, black = blackSum / shown;
    double flicker = flickerCount > 0 ? flickerSum / flickerCount : 0.0;
    std::string flags;
    if (scene && meanLuma < kMinSceneLuma) flags += " dark";
    if (scene && black > kMaxSceneBlack) flags += " black";
    if (scene && flatMax > kMaxSceneFlat) flags += " flat";
    if (flickerCounts && flickerCount > 0 && flicker > kMaxFlicker) flags += " flicker";
    // Lead-in and lead-out without picture, for the rows that must fill
    // their whole interval (the closing scroller).
    double lead = firstContent < 0 ? row.end - row.start : firstContent - row.start;
    double tail = lastContent < 0 ? row.end - row.start : row.end - lastContent - 1.0 / rate;
    if (row.entry == EndScrollEffect && (lead > kMaxBlankEdge + 0.01 || tail > kMaxBlankEdge + 0.01))
      flags += " blank-edge";
    if (!flags.empty()) allOk = false;
    char edges[32];
    std::snprintf(edges, sizeof(edges), "%.1f/%.1f", std::max(0.0, lead), std::max(0.0, tail));
    char flick[16];
    if (flickerCount > 0)
      std::snprintf(flick, sizeof(flick), "%7.2f", 100 * flicker);
    else
      std::snprintf(flick, sizeof(flick), "%7s", "-");
    std::printf("%3d %-22s %5d %7.2f %7.2f %5.1f %6.1f %6.1f %s %6s %s\n", r,
                EffectName(row.entry), row.param, row.start, row.end, meanLuma, 100 * black,
                100 * flatMax, flick, edges, flags.empty() ? "ok" : flags.c_str() + 1);
  }
  return allOk ? 0 : 2;
}
