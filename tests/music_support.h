// Music test support: MP3 files of known content made with the encoder, a
// direct decode to compare with, and a scratch data directory.
#pragma once
#include <lame/lame.h>
#include <mpg123.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace music_test {

// Encodes frames of signal(channel, i) in -1..1 as 44100 Hz plain stereo MP3,
// with the encoder's tag written so that the decoder returns exactly frames.
inline bool WriteMp3(const std::string& path, int frames,
                     const std::function<double(int, int)>& signal, int kbps = 160) {
  lame_global_flags* lame = lame_init();
  lame_set_in_samplerate(lame, 44100);
  lame_set_out_samplerate(lame, 44100);
  lame_set_num_channels(lame, 2);
  lame_set_mode(lame, STEREO);
  lame_set_brate(lame, kbps);
  lame_set_quality(lame, 7);
  if (lame_init_params(lame) < 0) return false;
  std::vector<short> pcm(size_t(frames) * 2);
  for (size_t i = 0; i < pcm.size(); ++i)
    pcm[i] = short(std::lrint(32767.0 * signal(int(i % 2), int(i / 2))));
  std::vector<unsigned char> out(pcm.size() + 20000);
  int n = lame_encode_buffer_interleaved(lame, pcm.data(), frames, out.data(), int(out.size()));
  n += lame_encode_flush(lame, out.data() + n, int(out.size()) - n);
  lame_get_lametag_frame(lame, out.data(), out.size());
  lame_close(lame);
  FILE* f = std::fopen(path.c_str(), "wb");
  bool ok = f && std::fwrite(out.data(), 1, size_t(n), f) == size_t(n);
  return f && std::fclose(f) == 0 && ok;
}

struct Decoded {
  long rate = 0;
  int bits = 16;
  std::vector<int> left, right;  // signed samples
};

// Decodes the file as the player configures the decoder.
inline Decoded DecodeMp3(const std::string& path, int downSample, bool eightBit) {
  Decoded d;
  d.bits = eightBit ? 8 : 16;
  std::vector<unsigned char> file(1 << 24);
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return d;
  file.resize(std::fread(file.data(), 1, file.size(), f));
  std::fclose(f);
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_FORCE_STEREO | (eightBit ? MPG123_FORCE_8BIT : 0), 0);
  mpg123_param(h, MPG123_DOWN_SAMPLE, downSample, 0);
  mpg123_format_none(h);
  mpg123_format(h, 44100 >> downSample, MPG123_STEREO,
                eightBit ? MPG123_ENC_SIGNED_8 : MPG123_ENC_SIGNED_16);
  mpg123_open_feed(h);
  mpg123_feed(h, file.data(), file.size());
  off_t frame;
  unsigned char* a;
  size_t bytes;
  int r, channels, encoding;
  while ((r = mpg123_decode_frame(h, &frame, &a, &bytes)) == MPG123_OK || r == MPG123_NEW_FORMAT) {
    mpg123_getformat(h, &d.rate, &channels, &encoding);
    for (size_t i = 0; r == MPG123_OK && i < bytes; i += d.bits / 4) {
      d.left.push_back(eightBit ? int8_t(a[i]) : int16_t(a[i] | a[i + 1] << 8));
      d.right.push_back(eightBit ? int8_t(a[i + 1]) : int16_t(a[i + 2] | a[i + 3] << 8));
    }
  }
  mpg123_delete(h);
  return d;
}

// A fresh data directory with a music/ folder, removed afterwards.
struct ScratchDir {
  std::string path;
  ScratchDir() {
    char name[] = "/tmp/kv_music_XXXXXX";
    path = mkdtemp(name) ? name : "/tmp";
    std::system(("mkdir -p " + path + "/music").c_str());
  }
  ~ScratchDir() { std::system(("rm -rf " + path).c_str()); }
  std::string Soundtrack() const { return path + "/music/elt56.mp3"; }
};

// Linear sine sweep from f0 to f1 Hz over frames samples at 44100 Hz.
inline double Sweep(int i, int frames, double f0, double f1, double amplitude) {
  double t = i / 44100.0, length = frames / 44100.0;
  return amplitude * std::sin(2.0 * M_PI * (f0 * t + (f1 - f0) * t * t / (2.0 * length)));
}

}  // namespace music_test
