#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "music/mp3_player.h"
#include "music_support.h"
#include "platform/audio.h"
#include "platform/system.h"

namespace {

using music_test::Decoded;
using music_test::ScratchDir;

// What the mixer should send to one side: the decoded channel (or the mono
// average), 8-bit samples scaled to 16 bits.
std::vector<double> SideOf(const Decoded& d, bool stereo, int side) {
  std::vector<double> s(d.left.size());
  for (size_t k = 0; k < s.size(); ++k) {
    int v = stereo ? (side ? d.right[k] : d.left[k]) : (d.left[k] + d.right[k]) >> 1;
    s[k] = d.bits == 8 ? v * 256.0 : v;
  }
  return s;
}

struct Fit {
  long offset = -1;
  double error = 1e9;  // RMS difference over RMS of the reference, both sides
};

// Finds where the clip starts in the mixed output (the output is silent
// before it) and how far the output strays from the reference there.
Fit Compare(const std::vector<int16_t>& out, const std::vector<double> ref[2],
            double sourceRate, double deviceRate) {
  const size_t frames = out.size() / 2;
  const double ratio = sourceRate / deviceRate;
  const long length = long((ref[0].size() - 64) / ratio);
  std::vector<double> want[2];
  for (int s = 0; s < 2; ++s)
    for (long j = 0; j < length; ++j) want[s].push_back(music_test::Interpolate(ref[s], j * ratio));
  auto firstLoud = [](auto get, size_t n) {
    for (size_t j = 0; j < n; ++j)
      if (std::fabs(get(j)) > 3000.0) return long(j);
    return -1L;
  };
  long outStart = firstLoud([&](size_t j) { return double(out[2 * j]); }, frames);
  long refStart = firstLoud([&](size_t j) { return want[0][j]; }, size_t(length));
  Fit best;
  if (outStart < 0 || refStart < 0) return best;
  for (long offset = outStart - refStart - 4; offset <= outStart - refStart + 4; ++offset) {
    if (offset < 0 || size_t(offset + length) > frames) continue;
    double diff = 0.0, power = 0.0;
    for (long j = 32; j < length; ++j)
      for (int s = 0; s < 2; ++s) {
        double e = out[2 * size_t(offset + j) + s] - want[s][size_t(j)];
        diff += e * e;
        power += want[s][size_t(j)] * want[s][size_t(j)];
      }
    double error = std::sqrt(diff / power);
    if (error < best.error) best = {offset, error};
  }
  return best;
}

class MusicOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { PlatformSetDataDir(dir.path); }
  void TearDown() override {
    Mp3Shutdown();
    PlatformSetDataDir("");
    PlatformSetCaptureMode(0);
  }
  ScratchDir dir;
};

// The whole path (decoder, channel writer, buffers, mixer, SDL device) into
// SDL's disk driver, against a direct decode of the same file. Left and right
// carry different sweeps, so a swap or a leak shows as error.
TEST_F(MusicOutputTest, DiskDriverOutputMatchesADirectDecode) {
  const int rate = 44100, frames = rate * 6 / 10;
  ASSERT_TRUE(music_test::WriteMp3(dir.Soundtrack(), rate, frames, [&](int c, int i) {
    return c ? music_test::Sweep(i, rate, frames, 3500.0, 200.0, 0.5)
             : music_test::Sweep(i, rate, frames, 100.0, 3000.0, 0.6);
  }));
  const std::string raw = dir.path + "/out.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "2", 1);
  const struct {
    const char* line;
    double tolerance;  // of the RMS error relative to the signal
  } cases[] = {
      // At the device's own rate the samples pass unchanged.
      {"/mp3_d2", 1e-6},
      {"/mp3_mono /mp3_d2", 1e-6},
      {"/mp3_8bit /mp3_d2", 1e-6},
      {"/mp3_8bit /mp3_mono /mp3_d2", 1e-6},
      // Resampled: the interpolation's error, and for 8 bits the
      // quantisation noise the low-pass takes out of the reference's band.
      {"", 0.002},
      {"/mp3_d4", 0.002},
      {"/mp3_mono", 0.002},
      {"/mp3_mono /mp3_d4", 0.002},
      {"/mp3_8bit", 0.012},
      {"/mp3_8bit /mp3_d4", 0.012},
      {"/mp3_8bit /mp3_mono", 0.012},
      {"/mp3_8bit /mp3_mono /mp3_d4", 0.012},
  };
  for (const auto& c : cases) {
    Mp3Player want = Mp3PlayerDefaults();
    Mp3ReadSwitches(&want, c.line);
    Decoded d = music_test::DecodeMp3(dir.Soundtrack(), want.downSample, want.eightBit);
    ASSERT_GT(d.left.size(), 1000u);
    std::remove(raw.c_str());

    ASSERT_EQ(Mp3Start(c.line), 1) << c.line;
    const int deviceRate = PlatformAudioRate();
    EXPECT_EQ(deviceRate, 22050);
    Mp3Play();
    // Run until the cursor is past the clip (plus the mixer's look-ahead).
    const uint32_t clipBytes = uint32_t(d.left.size() + 2000) * uint32_t(d.bits / 8);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    float t = 0.0f;
    while (SoundBufferPosition(Mp3ClockBuffer()) < clipBytes &&
           std::chrono::steady_clock::now() < deadline) {
      Mp3Update(t += 0.01f);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Mp3Shutdown();

    FILE* f = std::fopen(raw.c_str(), "rb");
    ASSERT_NE(f, nullptr) << c.line;
    std::vector<int16_t> out;
    int16_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 2, 4096, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);

    std::vector<double> ref[2] = {SideOf(d, want.stereo, 0), SideOf(d, want.stereo, 1)};
    Fit fit = Compare(out, ref, double(d.rate), double(deviceRate));
    EXPECT_GE(fit.offset, 0) << c.line;
    EXPECT_LT(fit.error, c.tolerance) << c.line;
    std::printf("%-28s rate %ld  offset %ld  relative error %.5f\n", c.line, d.rate, fit.offset,
                fit.error);
  }
  unsetenv("SDL_DISKAUDIODELAY");
  unsetenv("SDL_DISKAUDIOFILE");
  unsetenv("SDL_AUDIODRIVER");
}

// In capture mode the mix is pulled frame by frame; a click half a second
// into the music lands on the device frame half a second into the pull.
TEST_F(MusicOutputTest, CapturedMixKeepsAClickOnItsSample) {
  const int rate = 44100, frames = rate;
  const int clickAt = rate / 2;
  ASSERT_TRUE(music_test::WriteMp3(dir.Soundtrack(), rate, frames, [&](int c, int i) {
    return c == 0 && i >= clickAt && i < clickAt + 2 ? 0.9f : 0.0f;
  }, 192));
  PlatformSetCaptureMode(1);
  ASSERT_EQ(Mp3Start(""), 1);
  ASSERT_EQ(PlatformAudioRate(), 22050);
  Mp3Play();
  // Video frames at 60 per second: 367 or 368 device frames each.
  std::vector<int16_t> mix;
  long pulled = 0;
  for (int frame = 1; frame <= 60; ++frame) {
    long upTo = long(frame) * 22050 / 60;
    std::vector<int16_t> chunk(size_t(upTo - pulled) * 2);
    ASSERT_EQ(PlatformAudioPull(chunk.data(), int(upTo - pulled)), upTo - pulled);
    mix.insert(mix.end(), chunk.begin(), chunk.end());
    pulled = upTo;
    Mp3Update(frame / 60.0f);
  }
  size_t peak = 0;
  for (size_t j = 0; j < mix.size() / 2; ++j)
    if (std::abs(mix[2 * j]) > std::abs(mix[2 * peak])) peak = j;
  EXPECT_NEAR(double(peak), 22050.0 / 2, 1.0);
  EXPECT_GT(std::abs(mix[2 * peak]), 3000);
  // Hard left: nothing of it on the right.
  EXPECT_EQ(mix[2 * peak + 1], 0);
}

}  // namespace
