// Test support for the music tests: MP3 files of known content made with the
// encoder, a direct decode for comparison, a scratch data directory, and a
// band-limited reference interpolator.
#pragma once
#include <lame/lame.h>
#include <mpg123.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace music_test {

// Stereo signal: value in -1..1 of channel c (0 left, 1 right) at sample i.
using Signal = std::function<float(int channel, int i)>;

// Encodes frames of signal at rate as constant bit rate stereo (not joint)
// MP3 into path, with the encoder's delay and padding recorded so that the
// decoder returns exactly the frames encoded.
inline bool WriteMp3(const std::string& path, int rate, int frames, const Signal& signal,
                     int kbps = 160) {
  lame_global_flags* lame = lame_init();
  if (!lame) return false;
  lame_set_in_samplerate(lame, rate);
  lame_set_out_samplerate(lame, rate);
  lame_set_num_channels(lame, 2);
  lame_set_mode(lame, STEREO);
  lame_set_brate(lame, kbps);
  lame_set_quality(lame, 7);
  lame_set_bWriteVbrTag(lame, 1);
  if (lame_init_params(lame) < 0) {
    lame_close(lame);
    return false;
  }
  std::vector<short> pcm(size_t(frames) * 2);
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < 2; ++c) {
      float v = signal(c, i) * 32767.0f;
      pcm[size_t(i) * 2 + c] = short(std::lrint(std::fmax(-32768.0f, std::fmin(32767.0f, v))));
    }
  std::vector<unsigned char> out(size_t(frames) * 5 / 4 + 7200 + 16384);
  int n = lame_encode_buffer_interleaved(lame, pcm.data(), frames, out.data(), int(out.size()));
  if (n < 0) {
    lame_close(lame);
    return false;
  }
  int m = lame_encode_flush(lame, out.data() + n, int(out.size()) - n);
  if (m < 0) {
    lame_close(lame);
    return false;
  }
  out.resize(size_t(n + m));
  unsigned char tag[4096];
  size_t tagBytes = lame_get_lametag_frame(lame, tag, sizeof(tag));
  lame_close(lame);
  if (tagBytes > 0 && tagBytes <= out.size()) std::copy(tag, tag + tagBytes, out.begin());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  return std::fclose(f) == 0 && ok;
}

struct Decoded {
  long rate = 0;
  int bits = 16;
  std::vector<int> left, right;  // samples as decoded, signed
};

// Decodes the whole file the way the player asks the decoder to: both
// channels, the given down-sampling, signed 8 or 16-bit output.
inline Decoded DecodeMp3(const std::string& path, int downSample, bool eightBit) {
  Decoded d;
  d.bits = eightBit ? 8 : 16;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return d;
  std::vector<unsigned char> file;
  unsigned char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) file.insert(file.end(), buf, buf + n);
  std::fclose(f);
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  long flags = MPG123_FORCE_STEREO | MPG123_QUIET | (eightBit ? MPG123_FORCE_8BIT : 0);
  mpg123_param(h, MPG123_ADD_FLAGS, flags, 0.0);
  mpg123_param(h, MPG123_DOWN_SAMPLE, downSample, 0.0);
  mpg123_format_none(h);
  const long* rates;
  size_t count;
  mpg123_rates(&rates, &count);
  for (size_t i = 0; i < count; ++i)
    mpg123_format(h, rates[i], MPG123_STEREO, eightBit ? MPG123_ENC_SIGNED_8 : MPG123_ENC_SIGNED_16);
  mpg123_open_feed(h);
  mpg123_feed(h, file.data(), file.size());
  for (;;) {
    off_t frame;
    unsigned char* audio;
    size_t bytes;
    int r = mpg123_decode_frame(h, &frame, &audio, &bytes);
    if (r == MPG123_NEW_FORMAT) {
      int ch, enc;
      mpg123_getformat(h, &d.rate, &ch, &enc);
      continue;
    }
    if (r != MPG123_OK) break;
    if (eightBit) {
      for (size_t i = 0; i + 1 < bytes; i += 2) {
        d.left.push_back(int8_t(audio[i]));
        d.right.push_back(int8_t(audio[i + 1]));
      }
    } else {
      for (size_t i = 0; i + 3 < bytes; i += 4) {
        d.left.push_back(int16_t(audio[i] | (audio[i + 1] << 8)));
        d.right.push_back(int16_t(audio[i + 2] | (audio[i + 3] << 8)));
      }
    }
  }
  mpg123_delete(h);
  return d;
}

// A fresh directory with a music/ folder, removed by the destructor.
struct ScratchDir {
  std::string path;
  ScratchDir() {
    char name[] = "/tmp/kv_music_XXXXXX";
    if (mkdtemp(name)) path = name;
    std::system(("mkdir -p '" + path + "/music'").c_str());
  }
  ~ScratchDir() {
    if (!path.empty()) std::system(("rm -rf '" + path + "'").c_str());
  }
  std::string Soundtrack() const { return path + "/music/elt56.mp3"; }
};

// Value of the band-limited signal through samples at fractional index x
// (Lanczos kernel, 48 lobes), in double precision.
inline double Interpolate(const std::vector<double>& s, double x) {
  const int a = 48;
  int base = int(std::floor(x));
  double sum = 0.0;
  for (int k = base - a + 1; k <= base + a; ++k) {
    if (k < 0 || k >= int(s.size())) continue;
    double d = x - k;
    double w;
    if (d == 0.0) {
      w = 1.0;
    } else {
      double pd = M_PI * d;
      w = a * std::sin(pd) * std::sin(pd / a) / (pd * pd);
    }
    sum += s[size_t(k)] * w;
  }
  return sum;
}

// Linear sine sweep from f0 to f1 Hz over frames samples at rate.
inline float Sweep(int i, int rate, int frames, double f0, double f1, double amplitude) {
  double t = double(i) / rate;
  double length = double(frames) / rate;
  double phase = 2.0 * M_PI * (f0 * t + (f1 - f0) * t * t / (2.0 * length));
  return float(amplitude * std::sin(phase));
}

}  // namespace music_test
