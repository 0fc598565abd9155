// Measures a soundtrack per section of the music plan, for
// bench/sound_report.sh (which adds the loudness from ffmpeg).
//   kv_sound_report decode IN.mp3 OUT.wav  decodes as the show does (libmpg123,
//                                           gapless, both channels, 16 bits)
//   kv_sound_report measure IN.wav         one line per section, then the tail
// A section line holds: index, start, end, share of energy below 150 Hz (%),
// 2-6 kHz relative to the whole band (dB), similarity of the spectrogram with
// itself four bars later, the largest similarity of one phrase with the next,
// the longest run of phrases played as the one before (verbatim: above
// kVerbatim), the offset of the strongest onset near the section's start (ms,
// positive = late) and that onset's strength (dB).
#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/music_plan.h"

namespace {

constexpr int kRate = 44100;
constexpr int kFft = 2048;
constexpr int kHop = 441;  // 10 ms: four bars are a whole number of hops
constexpr double kVerbatim = 0.95;
constexpr float kFloor = 40.0f;  // dB under the section's loudest band value
constexpr int kSmooth = 5;       // hops of band energy averaged: 50 ms

int Fail(const std::string& what) {
  std::fprintf(stderr, "kv_sound_report: %s\n", what.c_str());
  return 1;
}

void Put32(std::vector<uint8_t>* b, uint32_t v) {
  for (int i = 0; i < 4; i++) b->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

int Decode(const char* in, const char* out) {
  mpg123_init();
  int err = 0;
  mpg123_handle* h = mpg123_new(nullptr, &err);
  if (!h) return Fail("cannot start the decoder");
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_FORCE_STEREO | MPG123_QUIET, 0.0);
  mpg123_format_none(h);
  mpg123_format(h, kRate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
  if (mpg123_open(h, in) != MPG123_OK) {
    mpg123_delete(h);
    return Fail(std::string("cannot decode ") + in);
  }
  std::vector<uint8_t> pcm, buffer(1 << 16);
  size_t done = 0;
  int ret;
  while ((ret = mpg123_read(h, buffer.data(), buffer.size(), &done)) == MPG123_OK || ret == MPG123_NEW_FORMAT ||
         done > 0) {
    pcm.insert(pcm.end(), buffer.begin(), buffer.begin() + done);
    if (ret != MPG123_OK && ret != MPG123_NEW_FORMAT) break;
  }
  mpg123_close(h);
  mpg123_delete(h);
  if (ret != MPG123_DONE || pcm.empty()) return Fail(std::string("cannot decode ") + in);
  std::vector<uint8_t> wav = {'R', 'I', 'F', 'F'};
  Put32(&wav, static_cast<uint32_t>(36 + pcm.size()));
  for (char c : std::string("WAVEfmt ")) wav.push_back(static_cast<uint8_t>(c));
  Put32(&wav, 16);
  Put32(&wav, 1 | (2 << 16));  // PCM, two channels
  Put32(&wav, kRate);
  Put32(&wav, kRate * 4);
  Put32(&wav, 4 | (16 << 16));  // block align, bits
  for (char c : std::string("data")) wav.push_back(static_cast<uint8_t>(c));
  Put32(&wav, static_cast<uint32_t>(pcm.size()));
  FILE* f = std::fopen(out, "wb");
  if (!f) return Fail(std::string("cannot write ") + out);
  bool ok = std::fwrite(wav.data(), 1, wav.size(), f) == wav.size() &&
            std::fwrite(pcm.data(), 1, pcm.size(), f) == pcm.size();
  ok = std::fclose(f) == 0 && ok;
  return ok ? 0 : Fail(std::string("cannot write ") + out);
}

// Reads a 16-bit stereo 44100 Hz PCM WAV into the mid signal.
bool ReadWav(const char* path, std::vector<float>* mid) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  std::vector<uint8_t> b;
  uint8_t chunk[1 << 16];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) b.insert(b.end(), chunk, chunk + n);
  std::fclose(f);
  auto u32 = [&](size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; };
  auto u16 = [&](size_t at) { return b[at] | b[at + 1] << 8; };
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4)) return false;
  bool format = false;
  for (size_t at = 12; at + 8 <= b.size();) {
    uint32_t size = u32(at + 4);
    size_t body = at + 8, avail = std::min<size_t>(size, b.size() - body);
    if (!std::memcmp(b.data() + at, "fmt ", 4)) {
      if (avail < 16 || u16(body) != 1 || u16(body + 2) != 2 || u32(body + 4) != kRate || u16(body + 14) != 16)
        return false;
      format = true;
    } else if (!std::memcmp(b.data() + at, "data", 4) && format) {
      for (size_t i = body; i + 4 <= body + avail; i += 4)
        mid->push_back((int16_t(u16(i)) + int16_t(u16(i + 2))) / 65536.0f);
      return !mid->empty();
    }
    at = body + size + (size & 1);
  }
  return false;
}

void Fft(std::vector<std::complex<double>>* a) {
  size_t n = a->size();
  for (size_t i = 1, j = 0; i < n; i++) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap((*a)[i], (*a)[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    std::complex<double> w(std::cos(-2 * M_PI / len), std::sin(-2 * M_PI / len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> r(1);
      for (size_t k = 0; k < len / 2; k++) {
        std::complex<double> u = (*a)[i + k], v = (*a)[i + k + len / 2] * r;
        (*a)[i + k] = u + v;
        (*a)[i + k + len / 2] = u - v;
        r *= w;
      }
    }
  }
}

// Power spectra every hop, Hann window centred on the hop's time.
std::vector<std::vector<float>> Spectrogram(const std::vector<float>& x) {
  std::vector<std::vector<float>> frames;
  std::vector<std::complex<double>> a(kFft);
  for (size_t c = 0; c < x.size(); c += kHop) {
    for (int i = 0; i < kFft; i++) {
      long at = static_cast<long>(c) + i - kFft / 2;
      double s = at >= 0 && at < static_cast<long>(x.size()) ? x[at] : 0.0;
      a[i] = s * (0.5 - 0.5 * std::cos(2 * M_PI * i / kFft));
    }
    Fft(&a);
    std::vector<float> p(kFft / 2);
    for (int k = 0; k < kFft / 2; k++) p[k] = static_cast<float>(std::norm(a[k]));
    frames.push_back(std::move(p));
  }
  return frames;
}

// Forty bands, a sixth of an octave to a third wide, 40 Hz to 16 kHz, each
// averaged over kSmooth hops so the fine grain of noise and of the coding
// does not hide a repeat; in dB.
std::vector<std::vector<float>> LogBands(const std::vector<std::vector<float>>& spec) {
  const int bands = 40;
  std::vector<int> edge(bands + 1);
  for (int b = 0; b <= bands; b++)
    edge[b] = std::max(b, static_cast<int>(40.0 * std::pow(400.0, b / double(bands)) * kFft / kRate));
  std::vector<std::vector<double>> lin;
  for (const auto& p : spec) {
    std::vector<double> v(bands);
    for (int b = 0; b < bands; b++)
      for (int k = edge[b]; k < std::max(edge[b] + 1, edge[b + 1]); k++) v[b] += p[k];
    lin.push_back(std::move(v));
  }
  std::vector<std::vector<float>> out;
  for (size_t t = 0; t < lin.size(); t++) {
    std::vector<float> v(bands);
    for (int b = 0; b < bands; b++) {
      double e = 0;
      for (int d = 0; d < kSmooth; d++) e += lin[std::min(lin.size() - 1, t + d)][b];
      v[b] = static_cast<float>(10 * std::log10(e / kSmooth + 1e-9));
    }
    out.push_back(std::move(v));
  }
  return out;
}

// Correlation of band frames [a, b) with [a + lag, b + lag), each band's
// level taken about its mean over the section and floored kFloor below the
// section's loudest band value, so the steady balance of the mix and the
// noise floor do not count as repetition.
struct Centred {
  std::vector<std::vector<float>> v;
  int first;
};
Centred Centre(const std::vector<std::vector<float>>& bands, int a, int b) {
  Centred c{{}, a};
  float top = -1e9f;
  for (int t = a; t < b; t++)
    for (float x : bands[t]) top = std::max(top, x);
  size_t nb = bands[0].size();
  std::vector<double> mean(nb);
  for (int t = a; t < b; t++) {
    std::vector<float> v(nb);
    for (size_t k = 0; k < nb; k++) {
      v[k] = std::max(bands[t][k], top - kFloor);
      mean[k] += v[k];
    }
    c.v.push_back(std::move(v));
  }
  for (auto& v : c.v)
    for (size_t k = 0; k < nb; k++) v[k] -= static_cast<float>(mean[k] / (b - a));
  return c;
}
double Similarity(const Centred& c, int a, int b, int lag) {
  double xy = 0, xx = 0, yy = 0;
  for (int t = a; t < b; t++) {
    const auto& x = c.v[t - c.first];
    const auto& y = c.v[t + lag - c.first];
    for (size_t k = 0; k < x.size(); k++) {
      xy += double(x[k]) * y[k];
      xx += double(x[k]) * x[k];
      yy += double(y[k]) * y[k];
    }
  }
  return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
}

struct Onset {
  double offsetMs, strengthDb;
};
// The strongest rise of level within 40 ms of t: the energy of the next 8 ms
// against that of the 40 ms before, at every half millisecond.
Onset OnsetNear(const std::vector<double>& prefix, double t) {
  auto mean = [&](long a, long z) {
    a = std::clamp<long>(a, 0, prefix.size() - 1);
    z = std::clamp<long>(z, 0, prefix.size() - 1);
    return z > a ? (prefix[z] - prefix[a]) / (z - a) : 0.0;
  };
  Onset best{0, -1e9};
  for (double d = -0.040; d <= 0.040; d += 0.0005) {
    long at = std::lround((t + d) * kRate);
    double r = 10 * std::log10((mean(at, at + kRate * 8 / 1000) + 1e-12) / (mean(at - kRate * 40 / 1000, at) + 1e-12));
    if (r > best.strengthDb) best = Onset{d * 1000, r};
  }
  return best;
}

int Measure(const char* path) {
  std::vector<float> x;
  if (!ReadWav(path, &x)) return Fail(std::string("cannot read ") + path + " (16-bit stereo 44100 Hz PCM WAV)");
  if (x.size() < static_cast<size_t>(kMusicEnd * kRate)) return Fail(std::string(path) + " is shorter than the show");
  std::vector<double> prefix(x.size() + 1);
  for (size_t i = 0; i < x.size(); i++) prefix[i + 1] = prefix[i] + double(x[i]) * x[i];
  auto spec = Spectrogram(x);
  auto bands = LogBands(spec);
  const int lag = static_cast<int>(std::lround(kMusicPhrase * kRate / kHop));
  const int low = static_cast<int>(150.0 * kFft / kRate), hi0 = 2000 * kFft / kRate, hi1 = 6000 * kFft / kRate;
  for (int s = 0; s < kMusicSections; s++) {
    double t0 = kMusicSectionStarts[s], t1 = s + 1 < kMusicSections ? kMusicSectionStarts[s + 1] : kMusicEnd;
    int a = static_cast<int>(std::lround(t0 * kRate / kHop)), b = static_cast<int>(std::lround(t1 * kRate / kHop));
    double total = 0, below = 0, presence = 0;
    for (int t = a; t < b; t++)
      for (int k = 1; k < kFft / 2; k++) {
        total += spec[t][k];
        if (k < low) below += spec[t][k];
        if (k >= hi0 && k < hi1) presence += spec[t][k];
      }
    Centred c = Centre(bands, a, b);
    double sim = b - a > lag ? Similarity(c, a, b - lag, lag) : 0.0, pairMax = 0;
    int run = 0, longest = 0;
    for (int p = a; p + 2 * lag <= b; p += lag) {
      double v = Similarity(c, p, p + lag, lag);
      pairMax = std::max(pairMax, v);
      run = v > kVerbatim ? run + 1 : 0;
      longest = std::max(longest, run);
    }
    Onset on = s > 0 ? OnsetNear(prefix, t0) : Onset{0, 0};
    std::printf("%d %.2f %.2f %.1f %.1f %.3f %.3f %d %.1f %.1f\n", s, t0, t1, 100 * below / (total + 1e-30),
                10 * std::log10(presence / (total + 1e-30) + 1e-30), sim, pairMax, longest, on.offsetMs,
                on.strengthDb);
  }
  // The tail: level of the last half second of the show and the largest
  // sample after its end.
  double endRms = 0, after = 0;
  long e = std::lround(kMusicEnd * kRate);
  for (long i = e - kRate / 2; i < e; i++) endRms += double(x[i]) * x[i];
  for (size_t i = e; i < x.size(); i++) after = std::max(after, std::fabs(double(x[i])));
  std::printf("tail %.1f %.1f\n", 10 * std::log10(endRms / (kRate / 2) + 1e-12), 20 * std::log10(after + 1e-12));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && !std::strcmp(argv[1], "decode")) return Decode(argv[2], argv[3]);
  if (argc == 3 && !std::strcmp(argv[1], "measure")) return Measure(argv[2]);
  std::fprintf(stderr, "usage: kv_sound_report decode IN.mp3 OUT.wav | measure IN.wav\n");
  return 1;
}
