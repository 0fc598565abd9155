// The soundtrack's machinery on signals of known content: the encoder's
// gapless header (decoded as the show decodes, from memory, the music starts
// on its first sample and ends on its last) and the loudness meter that sets
// each section's level.
#include <gtest/gtest.h>
#include <mpg123.h>

#include <cmath>
#include <vector>

#include "tools/generator.h"
#include "tools/music_synth.h"

namespace {

constexpr int kRate = 44100;

// Interleaved stereo samples decoded from an in-memory MP3 by a feeding
// decoder, gapless as the library does it by default.
std::vector<int16_t> DecodeFed(const std::vector<uint8_t>& mp3) {
  std::vector<int16_t> out;
  mpg123_init();
  int err = 0;
  mpg123_handle* h = mpg123_new(nullptr, &err);
  if (!h) return out;
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_FORCE_STEREO | MPG123_QUIET, 0.0);
  mpg123_format_none(h);
  mpg123_format(h, kRate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
  if (mpg123_open_feed(h) == MPG123_OK && mpg123_feed(h, mp3.data(), mp3.size()) == MPG123_OK) {
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
      size_t done = 0;
      int ret = mpg123_read(h, buffer.data(), buffer.size(), &done);
      const int16_t* s = reinterpret_cast<const int16_t*>(buffer.data());
      out.insert(out.end(), s, s + done / 2);
      if (ret != MPG123_OK && ret != MPG123_NEW_FORMAT && done == 0) break;
    }
  }
  mpg123_close(h);
  mpg123_delete(h);
  return out;
}

// Bursts of a 2 kHz tone at known samples, silence between: after encoding
// and decoding, the decoded stream has exactly the input's length and every
// burst starts within 5 ms of where it was put (a decoder that cannot see
// the encoder's delay puts them 25 ms late and the stream grows).
TEST(SoundtrackEncoding, GaplessHeaderKeepsEveryOnsetOnItsSample) {
  const double onsets[] = {0.0, 0.5, 1.234, 2.0, 2.9};
  const size_t frames = 3 * kRate + 123;
  std::vector<int16_t> pcm(frames * 2, 0);
  for (double t : onsets)
    for (int i = 0; i < kRate / 20; i++) {
      size_t at = static_cast<size_t>(t * kRate) + i;
      int16_t v = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 2000.0 * i / kRate));
      pcm[2 * at] = pcm[2 * at + 1] = v;
    }
  std::vector<uint8_t> mp3 = EncodeMp3(pcm);
  ASSERT_FALSE(mp3.empty());
  std::vector<int16_t> out = DecodeFed(mp3);
  ASSERT_EQ(out.size(), pcm.size());
  for (double t : onsets) {
    long at = static_cast<long>(t * kRate), first = -1;
    for (long i = std::max(0L, at - kRate / 20); i < at + kRate / 20 && first < 0; i++)
      if (std::abs(out[2 * i]) > 2000) first = i;
    ASSERT_GE(first, 0) << "burst at " << t << " s";
    EXPECT_LE(std::labs(first - at), kRate * 5 / 1000) << "burst at " << t << " s";
  }
}

// A stereo sine of amplitude a at 1 kHz reads 20 log10(a) LUFS; the meter's
// weighting lifts the highs by about 4 dB and leaves the deep bass out, and
// its gates ignore silence.
TEST(SoundtrackLoudness, GainMeetsTheTargetOnKnownSignals) {
  struct Case {
    const char* what;
    float hz, amplitude, silence;  // seconds of silence after 5 s of tone
    float target, gainDb, tolerance;
  } cases[] = {
      {"1 kHz at -20 dBFS to -23 LUFS", 1000.0f, 0.1f, 0.0f, -23.0f, -3.0f, 0.15f},
      {"1 kHz at -6 dBFS to -14 LUFS", 1000.0f, 0.5f, 0.0f, -14.0f, -8.0f, 0.15f},
      {"1 kHz, then as long again silent", 1000.0f, 0.1f, 5.0f, -23.0f, -3.0f, 0.15f},
      // The shelf's 4 dB, less the 0.69 dB the meter's offset gives back at 1 kHz.
      {"8 kHz is weighted up", 8000.0f, 0.1f, 0.0f, -23.0f, -3.0f - 4.0f + 0.69f, 0.3f},
      // The high-pass takes about 13 dB off at 20 Hz.
      {"20 Hz is weighted far down", 20.0f, 0.1f, 0.0f, -23.0f, -3.0f + 13.3f + 0.69f, 0.3f},
  };
  for (const Case& c : cases) {
    size_t tone = 5 * kRate, n = tone + static_cast<size_t>(c.silence * kRate);
    std::vector<float> left(n, 0.0f), right(n, 0.0f);
    for (size_t i = 0; i < tone; i++)
      left[i] = right[i] = c.amplitude * static_cast<float>(std::sin(2 * M_PI * c.hz * i / kRate));
    float gain = GainToLoudness(left, right, 0, static_cast<int>(n), c.target);
    EXPECT_NEAR(20 * std::log10(gain), c.gainDb, c.tolerance) << c.what;
  }
  std::vector<float> silent(kRate, 0.0f);
  EXPECT_EQ(GainToLoudness(silent, silent, 0, kRate, -14.0f), 1.0f) << "silence";
}

}  // namespace
