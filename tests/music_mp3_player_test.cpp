#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <vector>

#include "music/mp3_player.h"
#include "music_support.h"
#include "platform/audio.h"
#include "platform/system.h"

namespace {

using music_test::Decoded;

// Samples of one half of a channel buffer that differ from the decode from
// sample first on (the channel, or the mono average, unsigned in 8 bits);
// past the decode's end the half must be silent.
size_t Mismatches(SoundBuffer* b, int half, const Decoded& d, int channel, size_t first) {
  if (!SoundBufferLock(b, uint32_t(half) * kMp3HalfSize, kMp3HalfSize)) return ~size_t(0);
  const uint8_t* p = static_cast<const uint8_t*>(b->lockPointer1);
  size_t bad = 0;
  for (size_t k = 0; k < kMp3HalfSize / (d.bits / 8); ++k) {
    size_t i = first + k;
    int v = i >= d.left.size() ? 0
            : channel < 2     ? (channel ? d.right[i] : d.left[i])
                              : (d.left[i] + d.right[i]) >> 1;
    int16_t got16;
    std::memcpy(&got16, p + 2 * k, 2);
    bad += d.bits == 8 ? p[k] != uint8_t(v + 128) : got16 != v;
  }
  SoundBufferUnlock(b);
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
  music_test::ScratchDir dir;
};

TEST(Mp3Player, SwitchPrecedence) {
  const struct {
    const char* line;
    int eightBit, encoding, stereo, downSample;
  } cases[] = {
      {"", 0, 1, 1, 0},          {"/mp3_mono /mp3_8bit", 1, 4, 0, 0},
      {"/mp3_d4", 0, 1, 1, 2},   {"/mp3_d4 /mp3_d2", 0, 1, 1, 1},
      {"/mp3_d4/mp3_d1", 0, 1, 1, 0}, {"/MP3_MONO /Mp3_d2", 0, 1, 1, 0},
  };
  for (const auto& c : cases) {
    Mp3Player p = Mp3PlayerDefaults();
    Mp3ReadSwitches(&p, c.line);
    EXPECT_EQ(p.eightBit * 1000 + p.encoding * 100 + p.stereo * 10 + p.downSample,
              c.eightBit * 1000 + c.encoding * 100 + c.stereo * 10 + c.downSample)
        << c.line;
  }
}

TEST(Mp3Player, UpdateRoundBudget) {
  const struct {
    int first;
    float t, last;
    int rounds;
  } cases[] = {{1, 100.0f, 0.0f, 5}, {0, 0.5f, 0.0f, 32}, {0, 1.005f, 1.0f, 1},
               {0, 1.0f, 2.0f, 1},   {0, 0.1f, 0.0f, 6},  {0, 1e30f, 0.0f, 1000000}};
  for (const auto& c : cases) EXPECT_EQ(Mp3UpdateRounds(c.first, c.t, c.last), c.rounds) << c.t;
}

TEST_F(Mp3PlayerTest, MissingOrRefusedBufferIsNeverWrittenThrough) {
  ASSERT_EQ(SoundStart(22050, 16), 1);
  std::vector<uint8_t> block(kMp3BlockSize, 0x7F);
  SoundBuffer* small = SoundBufferCreate(1000, 44100, 16);  // refuses a half-sized lock
  for (int stereo : {1, 0}) {
    Mp3Player p = Mp3PlayerDefaults();
    p.stereo = stereo;
    (stereo ? p.right : p.centre) = small;
    Mp3WriteBlock(&p, block.data(), kMp3BlockSize);
    EXPECT_EQ(p.nextHalf, 1);
    ASSERT_EQ(SoundBufferLock(small, 0, 1000), 1);
    const uint8_t* bytes = static_cast<const uint8_t*>(small->lockPointer1);
    EXPECT_EQ(std::count(bytes, bytes + 1000, 0), 1000);
    SoundBufferUnlock(small);
  }
}

TEST_F(Mp3PlayerTest, NoSoundOrUnusableSoundtrackLeavesNoDevice) {
  EXPECT_EQ(Mp3Start("/soundsync /nosound"), 1);
  EXPECT_EQ(PlatformAudioRate(), 0);
  EXPECT_EQ(Mp3ClockBuffer(), nullptr);
  const std::vector<std::vector<uint8_t>> files = {
      {}, std::vector<uint8_t>(5000, 'a'), {0xFF, 0xFB, 0x90, 0x64, 0, 0}};
  for (const auto& bytes : files) {
    FILE* f = std::fopen(dir.Soundtrack().c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Mp3Start(""), 0) << bytes.size();
    // The soundtrack is named with its full path, not the sound device.
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Mp3SoundtrackFailed(), 1);
    EXPECT_NE(said.find("Unable to read the soundtrack music\\elt56.mp3"), std::string::npos) << said;
    EXPECT_NE(said.find(dir.Soundtrack() + ": "), std::string::npos) << said;
    EXPECT_EQ(PlatformAudioRate(), 0);
    EXPECT_EQ(Mp3ClockBuffer(), nullptr);
  }
  std::remove(dir.Soundtrack().c_str());
  testing::internal::CaptureStderr();
  EXPECT_EQ(Mp3Start(""), 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find(dir.Soundtrack() + ": not found"), std::string::npos);
  EXPECT_EQ(Mp3SoundtrackFailed(), 1);
  EXPECT_EQ(Mp3Start("/nosound"), 1);
  EXPECT_EQ(Mp3SoundtrackFailed(), 0);
}

// Far shorter than one block: the prefill ends at the end of the data and
// each layout holds exactly the decoder's samples, then silence.
TEST_F(Mp3PlayerTest, ShortFilePrefillsWhatItHas) {
  const int frames = 22050;
  ASSERT_TRUE(music_test::WriteMp3(dir.Soundtrack(), frames, [&](int c, int i) {
    return music_test::Sweep(i, frames, c ? 300.0 : 150.0, c ? 900.0 : 3000.0, 0.6);
  }));
  for (const char* line : {"", "/mp3_mono", "/mp3_8bit", "/mp3_8bit /mp3_mono /mp3_d2",
                           "/mp3_d4 /mp3_mono", "/mp3_d4 /mp3_8bit"}) {
    Mp3Player want = Mp3PlayerDefaults();
    Mp3ReadSwitches(&want, line);
    Decoded d = music_test::DecodeMp3(dir.Soundtrack(), want.downSample, want.eightBit);
    ASSERT_GT(d.left.size(), 1000u);
    ASSERT_EQ(Mp3Start(line), 1) << line;
    const Mp3Player* p = Mp3State();
    EXPECT_EQ(p->endOfData + p->nextHalf, 2);
    EXPECT_EQ(p->outputRate, d.rate) << line;
    ASSERT_EQ(Mp3ClockBuffer(), want.stereo ? p->left : p->centre);
    EXPECT_EQ(Mp3ClockBuffer()->bits, d.bits);
    if (want.stereo) {
      EXPECT_EQ(Mismatches(p->left, 0, d, 0, 0), 0u) << line;
      EXPECT_EQ(Mismatches(p->right, 0, d, 1, 0), 0u) << line;
    } else {
      EXPECT_EQ(Mismatches(p->centre, 0, d, 2, 0), 0u) << line;
    }
    Mp3Shutdown();
  }
}

// A block lands only in the half the cursor is not playing; decoding waits
// while the cursor plays the half that is to be written next.
TEST_F(Mp3PlayerTest, BlocksOnlyGoIntoTheIdleHalf) {
  const size_t perBlock = kMp3BlockSize / 4;
  const int frames = int(perBlock * 7 / 3);
  ASSERT_TRUE(music_test::WriteMp3(dir.Soundtrack(), frames, [&](int c, int i) {
    return music_test::Sweep(i, frames, 100.0, c ? 2000.0 : 5000.0, 0.5);
  }, 96));
  Decoded d = music_test::DecodeMp3(dir.Soundtrack(), 0, false);
  ASSERT_EQ(d.left.size(), size_t(frames));
  ASSERT_EQ(Mp3Start(""), 1);
  const Mp3Player* p = Mp3State();
  Mp3Play();
  float t = 0.0f;
  for (int i = 0; i < 40; ++i) Mp3Update(t += 10.0f);
  EXPECT_EQ(p->endOfData, 0);
  EXPECT_EQ(p->nextHalf, 0);
  EXPECT_EQ(Mismatches(p->left, 0, d, 0, 0), 0u);
  EXPECT_EQ(Mismatches(p->right, 1, d, 1, perBlock), 0u);

  // Into half 1: each device frame takes two 16-bit samples of the buffer.
  auto pull = [](int frames) {
    std::vector<int16_t> mix(2 * size_t(frames));
    EXPECT_EQ(PlatformAudioPull(mix.data(), frames), frames);
  };
  pull(int(kMp3HalfSize / 4) + 100);
  for (int i = 0; i < 20; ++i) Mp3Update(t += 10.0f);
  EXPECT_EQ(p->endOfData + p->nextHalf, 2);
  EXPECT_EQ(Mismatches(p->left, 0, d, 0, perBlock * 2), 0u);  // the partial last block
  EXPECT_EQ(Mismatches(p->left, 1, d, 0, perBlock), 0u);
  // The clock buffer's cursor wraps at its end.
  pull(int(kMp3HalfSize / 4));
  EXPECT_EQ(SoundBufferPosition(Mp3ClockBuffer()), 400u);
}

// The soundtrack is read as the music plays. A file cut short meanwhile ends
// the music where its data ends: every sample it still had lands in place
// across the halves, nothing is repeated, and the rest of the half is silent.
TEST_F(Mp3PlayerTest, SoundtrackCutShortWhilePlayingEndsWhereItsDataEnds) {
  const size_t perBlock = kMp3BlockSize / 4;
  const int frames = int(perBlock * 5 / 2);
  ASSERT_TRUE(music_test::WriteMp3(dir.Soundtrack(), frames, [&](int c, int i) {
    return music_test::Sweep(i, frames, c ? 150.0 : 90.0, c ? 7000.0 : 3000.0, 0.5);
  }));
  ASSERT_EQ(Mp3Start(""), 1);
  Mp3Play();  // the first block is in
  std::error_code error;
  const auto size = std::filesystem::file_size(dir.Soundtrack(), error);
  ASSERT_FALSE(error);
  std::filesystem::resize_file(dir.Soundtrack(), size * 6 / 10, error);
  ASSERT_FALSE(error);
  Decoded d = music_test::DecodeMp3(dir.Soundtrack(), 0, false);
  ASSERT_GT(d.left.size(), perBlock + 1000);
  ASSERT_LT(d.left.size(), 2 * perBlock);
  const Mp3Player* p = Mp3State();
  float t = 0.0f;
  for (int i = 0; i < 40 && !p->endOfData; ++i) Mp3Update(t += 10.0f);
  EXPECT_EQ(p->endOfData, 1);
  EXPECT_EQ(p->nextHalf, 0);
  EXPECT_EQ(Mismatches(p->left, 0, d, 0, 0), 0u);
  EXPECT_EQ(Mismatches(p->right, 0, d, 1, 0), 0u);
  EXPECT_EQ(Mismatches(p->left, 1, d, 0, perBlock), 0u);
  EXPECT_EQ(Mismatches(p->right, 1, d, 1, perBlock), 0u);
}

// The first block may still be decoding when the next call comes: a
// restart, a shutdown or a seek waits for it, and what it leaves in the
// buffers is the same decode.
TEST_F(Mp3PlayerTest, CallsRightAfterStartWaitForTheFirstBlock) {
  const size_t perBlock = kMp3BlockSize / 4;
  const int frames = int(perBlock * 3 / 2);
  ASSERT_TRUE(music_test::WriteMp3(dir.Soundtrack(), frames, [&](int c, int i) {
    return music_test::Sweep(i, frames, c ? 120.0 : 80.0, c ? 4000.0 : 6000.0, 0.5);
  }));
  Decoded d = music_test::DecodeMp3(dir.Soundtrack(), 0, false);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(Mp3Start(""), 1);
    if (round == 0) continue;  // the next start waits for this one
    if (round == 1) {
      double reached = -1.0;
      ASSERT_EQ(Mp3Seek(0.0, &reached), 1);
    }
    const Mp3Player* p = Mp3State();
    EXPECT_EQ(p->nextHalf, 1);
    EXPECT_EQ(p->endOfData, 0);
    EXPECT_EQ(Mismatches(p->left, 0, d, 0, 0), 0u);
    EXPECT_EQ(Mismatches(p->right, 0, d, 1, 0), 0u);
  }
  Mp3Shutdown();
  ASSERT_EQ(Mp3Start(""), 1);
  Mp3Shutdown();
  EXPECT_EQ(Mp3ClockBuffer(), nullptr);
}

}  // namespace

namespace {

// A seek lands on the sample asked for: half 0 holds the decode from there
// and play starts at its beginning; a pause holds the play cursor.
TEST_F(Mp3PlayerTest, SeekRefillsFromTheInstantAndPauseHoldsTheCursor) {
  const int frames = 44100 * 30;
  ASSERT_TRUE(music_test::WriteMp3(dir.Soundtrack(), frames, [&](int c, int i) {
    return music_test::Sweep(i, frames, c ? 200.0 : 100.0, c ? 5000.0 : 8000.0, 0.5);
  }));
  Decoded d = music_test::DecodeMp3(dir.Soundtrack(), 0, false);
  ASSERT_EQ(Mp3Start(""), 1);
  Mp3Play();
  const Mp3Player* p = Mp3State();
  std::vector<int16_t> mix(2 * 4410);
  PlatformAudioPull(mix.data(), 4410);
  for (double at : {7.5, 2.25, 21.0, 0.0}) {
    SCOPED_TRACE(at);
    double reached = -1.0;
    ASSERT_EQ(Mp3Seek(at, &reached), 1);
    EXPECT_DOUBLE_EQ(reached, at);
    EXPECT_EQ(p->nextHalf, 1);
    EXPECT_EQ(SoundBufferPosition(p->left), 0u);
    size_t first = size_t(at * 44100);
    EXPECT_EQ(Mismatches(p->left, 0, d, 0, first), 0u);
    EXPECT_EQ(Mismatches(p->right, 0, d, 1, first), 0u);
  }
  PlatformAudioPull(mix.data(), 4410);
  uint32_t playing = SoundBufferPosition(p->left);  // the device rate is the mixer's
  EXPECT_GT(playing, 0u);
  Mp3Pause(1);
  PlatformAudioPull(mix.data(), 4410);
  EXPECT_EQ(SoundBufferPosition(p->left), playing);
  EXPECT_TRUE(std::all_of(mix.begin(), mix.end(), [](int16_t s) { return s == 0; }));
  Mp3Pause(0);
  PlatformAudioPull(mix.data(), 4410);
  EXPECT_EQ(SoundBufferPosition(p->left), playing * 2);
}

}  // namespace
