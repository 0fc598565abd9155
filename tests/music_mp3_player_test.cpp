#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "music/mp3_player.h"
#include "music_support.h"
#include "platform/audio.h"
#include "platform/system.h"

namespace {

using music_test::Decoded;
using music_test::ScratchDir;

// Bytes of half `half` of a channel buffer, read back through a lock.
std::vector<uint8_t> ReadHalf(SoundBuffer* b, int half) {
  std::vector<uint8_t> out;
  if (!SoundBufferLock(b, uint32_t(half) * kMp3HalfSize, kMp3HalfSize)) return out;
  const uint8_t* p = static_cast<const uint8_t*>(b->lockPointer1);
  out.assign(p, p + b->lockBytes1);
  SoundBufferUnlock(b);
  return out;
}

void FillHalf(SoundBuffer* b, int half, uint8_t value) {
  ASSERT_EQ(SoundBufferLock(b, uint32_t(half) * kMp3HalfSize, kMp3HalfSize), 1);
  std::memset(b->lockPointer1, value, b->lockBytes1);
  SoundBufferUnlock(b);
}

int SampleOf(const std::vector<uint8_t>& half, int bits, size_t k) {
  if (bits == 8) return half[k];
  int16_t v;
  std::memcpy(&v, half.data() + 2 * k, 2);
  return v;
}

// What a channel buffer should hold for decoded sample k: the channel itself
// or the average of both, unsigned in 8-bit buffers.
int Expected(const Decoded& d, int channel, size_t k) {
  int v = channel == 0 ? d.left[k] : channel == 1 ? d.right[k] : (d.left[k] + d.right[k]) >> 1;
  return d.bits == 8 ? uint8_t(v + 128) : v;
}

// Counts samples of one buffer half that differ from the decode starting at
// sample first; past the decode's end the half must be silent.
size_t Mismatches(const std::vector<uint8_t>& half, const Decoded& d, int channel, size_t first) {
  size_t per = half.size() / (d.bits / 8), bad = 0;
  int silence = d.bits == 8 ? 128 : 0;
  for (size_t k = 0; k < per; ++k) {
    size_t src = first + k;
    int want = src < d.left.size() ? Expected(d, channel, src) : silence;
    if (SampleOf(half, d.bits, k) != want) ++bad;
  }
  return bad;
}

class Mp3PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PlatformSetCaptureMode(1);
    PlatformSetDataDir(dir.path);
  }
  void TearDown() override {
    Mp3Shutdown();
    SoundRelease();
    PlatformSetDataDir("");
    PlatformSetCaptureMode(0);
  }
  ScratchDir dir;
};

TEST(Mp3Switches, PrecedenceAndCombinations) {
  const struct {
    const char* line;
    int eightBit, encoding, stereo, downSample;
  } cases[] = {
      {"", 0, 1, 1, 0},
      {"/mp3_8bit", 1, 4, 1, 0},
      {"/mp3_mono /mp3_8bit", 1, 4, 0, 0},
      {"/mp3_d2", 0, 1, 1, 1},
      {"/mp3_d4", 0, 1, 1, 2},
      {"/mp3_d4 /mp3_d2", 0, 1, 1, 1},   // d2 is looked for first
      {"/mp3_d4 /mp3_d1", 0, 1, 1, 0},   // d1 before either
      {"/mp3_d2/mp3_d1", 0, 1, 1, 0},    // no separator needed
      {"/MP3_MONO /Mp3_d2", 0, 1, 1, 0}, // case matters
      {"x/mp3_monoy", 0, 1, 0, 0},
  };
  for (const auto& c : cases) {
    Mp3Player p = Mp3PlayerDefaults();
    Mp3ReadSwitches(&p, c.line);
    EXPECT_EQ(p.eightBit, c.eightBit) << c.line;
    EXPECT_EQ(p.encoding, c.encoding) << c.line;
    EXPECT_EQ(p.stereo, c.stereo) << c.line;
    EXPECT_EQ(p.downSample, c.downSample) << c.line;
    EXPECT_EQ(p.channels, -1);
  }
}

TEST(Mp3Update, RoundBudget) {
  const struct {
    int first;
    float t, last;
    int rounds;
  } cases[] = {
      {1, 100.0f, 0.0f, 5},   {0, 0.5f, 0.0f, 32},   {0, 1.005f, 1.0f, 1},
      {0, 2.0f, 1.0f, 65},    {0, 1.0f, 2.0f, 1},    {0, 0.1f, 0.0f, 6},
      {0, 1e30f, 0.0f, 1000000}, {0, NAN, 0.0f, 1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Mp3UpdateRounds(c.first, c.t, c.last), c.rounds) << c.t << " " << c.last;
}

TEST_F(Mp3PlayerTest, ChannelWriterLayouts) {
  ASSERT_EQ(SoundStart(22050, 16), 1);
  // Frames of signed decoder output, left then right.
  const int16_t frames16[][2] = {{1000, -1000}, {-32768, -32767}, {-3, 0}, {32767, 32767}};
  const int8_t frames8[][2] = {{-128, -128}, {127, 127}, {-1, 0}, {1, 2}, {0, -1}};
  const struct {
    int stereo, bits;
    std::vector<int> left, right;  // expected buffer samples (centre in left)
  } cases[] = {
      {1, 16, {1000, -32768, -3, 32767}, {-1000, -32767, 0, 32767}},
      {0, 16, {0, -32768, -2, 32767}, {}},
      {1, 8, {0, 255, 127, 129, 128}, {0, 255, 128, 130, 127}},
      {0, 8, {0, 255, 127, 129, 127}, {}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> block;
    if (c.bits == 16) {
      block.resize(sizeof(frames16));
      std::memcpy(block.data(), frames16, sizeof(frames16));
    } else {
      block.resize(sizeof(frames8));
      std::memcpy(block.data(), frames8, sizeof(frames8));
    }
    Mp3Player p = Mp3PlayerDefaults();
    p.stereo = c.stereo;
    p.sampleBits = c.bits;
    SoundBuffer* a = SoundBufferCreate(kMp3ChannelBufferSize, 44100, c.bits);
    SoundBuffer* b = c.stereo ? SoundBufferCreate(kMp3ChannelBufferSize, 44100, c.bits) : nullptr;
    ASSERT_NE(a, nullptr);
    (c.stereo ? p.left : p.centre) = a;
    p.right = b;
    // Stale bytes in the half must give way to the block and then silence.
    FillHalf(a, 0, 0x55);
    if (b) FillHalf(b, 0, 0x55);
    Mp3WriteBlock(&p, block.data(), uint32_t(block.size()));
    EXPECT_EQ(p.nextHalf, 1);
    const int silence = c.bits == 8 ? 128 : 0;
    for (int ch = 0; ch < (c.stereo ? 2 : 1); ++ch) {
      std::vector<uint8_t> half = ReadHalf(ch ? b : a, 0);
      ASSERT_EQ(half.size(), kMp3HalfSize);
      const std::vector<int>& want = ch ? c.right : c.left;
      size_t per = half.size() / (c.bits / 8);
      for (size_t k = 0; k < want.size(); ++k)
        EXPECT_EQ(SampleOf(half, c.bits, k), want[k]) << c.stereo << c.bits << " ch" << ch << " " << k;
      size_t loud = 0;
      for (size_t k = want.size(); k < per; ++k) loud += SampleOf(half, c.bits, k) != silence;
      EXPECT_EQ(loud, 0u) << c.stereo << c.bits << " ch" << ch;
    }
    // The next block goes to the other half.
    Mp3WriteBlock(&p, block.data(), uint32_t(block.size()));
    EXPECT_EQ(p.nextHalf, 0);
    EXPECT_EQ(SampleOf(ReadHalf(a, 1), c.bits, 0), c.left[0]);
  }
}

TEST_F(Mp3PlayerTest, ChannelWriterNeverWritesThroughAMissingOrRefusedBuffer) {
  ASSERT_EQ(SoundStart(22050, 16), 1);
  std::vector<uint8_t> block(kMp3BlockSize, 0x7F);
  // Too small for a half: its lock is refused.
  SoundBuffer* small = SoundBufferCreate(1000, 44100, 16);
  SoundBuffer* whole = SoundBufferCreate(kMp3ChannelBufferSize, 44100, 16);
  ASSERT_NE(small, nullptr);
  ASSERT_NE(whole, nullptr);
  const struct {
    SoundBuffer *left, *right, *centre;
    int stereo;
  } cases[] = {{nullptr, small, nullptr, 1}, {small, nullptr, nullptr, 1},
               {nullptr, nullptr, nullptr, 1}, {nullptr, nullptr, small, 0},
               {nullptr, nullptr, nullptr, 0}, {nullptr, whole, nullptr, 1}};
  for (const auto& c : cases) {
    Mp3Player p = Mp3PlayerDefaults();
    p.stereo = c.stereo;
    p.left = c.left;
    p.right = c.right;
    p.centre = c.centre;
    Mp3WriteBlock(&p, block.data(), kMp3BlockSize);
    EXPECT_EQ(p.nextHalf, 1);
    EXPECT_EQ(small->isLocked, 0);
    ASSERT_EQ(SoundBufferLock(small, 0, 1000), 1);
    const uint8_t* bytes = static_cast<const uint8_t*>(small->lockPointer1);
    EXPECT_EQ(std::count(bytes, bytes + 1000, 0), 1000);
    SoundBufferUnlock(small);
  }
  // The buffer that could be locked got its channel all the same.
  EXPECT_EQ(SampleOf(ReadHalf(whole, 0), 16, 0), 0x7F7F);
}

TEST_F(Mp3PlayerTest, NoSoundOpensNothing) {
  EXPECT_EQ(Mp3Start("/soundsync /nosound"), 1);
  EXPECT_EQ(PlatformAudioRate(), 0);
  EXPECT_EQ(Mp3ClockBuffer(), nullptr);
  Mp3Play();
  Mp3Update(1.0f);
  EXPECT_EQ(Mp3State()->playing, 0);
}

TEST_F(Mp3PlayerTest, UnusableSoundtrackFailsAndReleasesTheDevice) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"missing", {}},
      {"empty", {}},
      {"text", std::vector<uint8_t>(5000, 'a')},
      {"lone header", {0xFF, 0xFB, 0x90, 0x64, 0x00, 0x00}},
  };
  for (const auto& c : cases) {
    std::remove(dir.Soundtrack().c_str());
    if (std::string(c.name) != "missing") {
      FILE* f = std::fopen(dir.Soundtrack().c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fwrite(c.bytes.data(), 1, c.bytes.size(), f);
      std::fclose(f);
    }
    EXPECT_EQ(Mp3Start(""), 0) << c.name;
    EXPECT_EQ(PlatformAudioRate(), 0) << c.name;
    EXPECT_EQ(Mp3ClockBuffer(), nullptr) << c.name;
  }
}

// A file far shorter than one block: the prefill ends at the end of the data
// and every layout holds exactly what the decoder gave, then silence.
TEST_F(Mp3PlayerTest, ShortFilePrefillsWhatItHas) {
  const int rate = 44100, frames = rate / 2;
  ASSERT_TRUE(music_test::WriteMp3(dir.Soundtrack(), rate, frames, [&](int c, int i) {
    return music_test::Sweep(i, rate, frames, c ? 300.0 : 150.0, c ? 900.0 : 3000.0, 0.6);
  }));
  const char* lines[] = {"",
                         "/mp3_mono",
                         "/mp3_8bit",
                         "/mp3_8bit /mp3_mono",
                         "/mp3_d2",
                         "/mp3_d4 /mp3_mono",
                         "/mp3_d4 /mp3_8bit"};
  for (const char* line : lines) {
    Mp3Player want = Mp3PlayerDefaults();
    Mp3ReadSwitches(&want, line);
    Decoded d = music_test::DecodeMp3(dir.Soundtrack(), want.downSample, want.eightBit);
    ASSERT_GT(d.left.size(), 1000u);

    ASSERT_EQ(Mp3Start(line), 1) << line;
    const Mp3Player* p = Mp3State();
    EXPECT_EQ(p->endOfData, 1);
    EXPECT_EQ(p->nextHalf, 1);
    EXPECT_EQ(p->outputRate, d.rate) << line;
    SoundBuffer* clock = Mp3ClockBuffer();
    ASSERT_NE(clock, nullptr);
    EXPECT_EQ(clock, want.stereo ? p->left : p->centre);
    EXPECT_EQ(clock->bits, d.bits);
    uint32_t size = 0;
    EXPECT_EQ(SoundBufferSize(clock, &size), 1);
    EXPECT_EQ(size, kMp3ChannelBufferSize);
    if (want.stereo) {
      EXPECT_EQ(Mismatches(ReadHalf(p->left, 0), d, 0, 0), 0u) << line;
      EXPECT_EQ(Mismatches(ReadHalf(p->right, 0), d, 1, 0), 0u) << line;
    } else {
      EXPECT_EQ(Mismatches(ReadHalf(p->centre, 0), d, 2, 0), 0u) << line;
    }
    Mp3Shutdown();
    EXPECT_EQ(PlatformAudioRate(), 0);
  }
}

// Blocks land only in the half the cursor is not playing: decoding waits
// while the cursor plays the half that is next to be written.
TEST_F(Mp3PlayerTest, BlocksOnlyGoIntoTheIdleHalf) {
  const int rate = 44100;
  const int perBlock = int(kMp3BlockSize / 4);
  const int frames = perBlock * 2 + perBlock / 3;
  ASSERT_TRUE(music_test::WriteMp3(dir.Soundtrack(), rate, frames, [&](int c, int i) {
    return music_test::Sweep(i, rate, frames, 100.0, c ? 2000.0 : 5000.0, 0.5);
  }, 96));
  Decoded d = music_test::DecodeMp3(dir.Soundtrack(), 0, false);
  ASSERT_EQ(d.left.size(), size_t(frames));

  ASSERT_EQ(Mp3Start(""), 1);
  const Mp3Player* p = Mp3State();
  EXPECT_EQ(p->nextHalf, 1);
  EXPECT_EQ(Mismatches(ReadHalf(p->left, 0), d, 0, 0), 0u);
  Mp3Play();

  // Cursor in half 0: half 1 fills, then decoding stops.
  float t = 0.0f;
  for (int i = 0; i < 20 && p->nextHalf == 1; ++i) Mp3Update(t += 10.0f);
  ASSERT_EQ(p->nextHalf, 0);
  EXPECT_EQ(Mismatches(ReadHalf(p->left, 1), d, 0, perBlock), 0u);
  EXPECT_EQ(Mismatches(ReadHalf(p->right, 1), d, 1, perBlock), 0u);
  for (int i = 0; i < 20; ++i) Mp3Update(t += 10.0f);
  EXPECT_EQ(p->endOfData, 0);
  EXPECT_EQ(p->nextHalf, 0);
  EXPECT_EQ(Mismatches(ReadHalf(p->left, 0), d, 0, 0), 0u);

  // Play into half 1 (each device frame takes two 16-bit source samples).
  std::vector<int16_t> mix(2 * 4096);
  int toPull = int(kMp3HalfSize / 4) + 100;
  while (toPull > 0) toPull -= PlatformAudioPull(mix.data(), std::min(toPull, 4096));
  ASSERT_GE(SoundBufferPosition(Mp3ClockBuffer()), kMp3HalfSize);
  for (int i = 0; i < 20 && !p->endOfData; ++i) Mp3Update(t += 10.0f);
  EXPECT_EQ(p->endOfData, 1);
  EXPECT_EQ(p->nextHalf, 1);
  // The last, partial block went to half 0; half 1 is untouched.
  EXPECT_EQ(Mismatches(ReadHalf(p->left, 0), d, 0, size_t(perBlock) * 2), 0u);
  EXPECT_EQ(Mismatches(ReadHalf(p->right, 0), d, 1, size_t(perBlock) * 2), 0u);
  EXPECT_EQ(Mismatches(ReadHalf(p->left, 1), d, 0, perBlock), 0u);

  // The clock buffer's cursor wraps at the end of the buffer.
  toPull = int(kMp3HalfSize / 4);
  while (toPull > 0) toPull -= PlatformAudioPull(mix.data(), std::min(toPull, 4096));
  EXPECT_EQ(SoundBufferPosition(Mp3ClockBuffer()), 400u);
}

}  // namespace
