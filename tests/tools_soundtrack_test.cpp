// The generated soundtrack, decoded as the show decodes it: long enough,
// stereo at 44.1 kHz, never silent until the show ends and silent after,
// and composed on the show's timeline: every scene change opens on a hit
// at the cut, its accents fall on the white flashes, and its kick keeps the
// 0.8 s beat of the beat section.
#include <gtest/gtest.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "image/asset_names.h"
#include "tests/tools_support.h"

namespace {

constexpr int kRate = 44100;
constexpr double kShowEnd = 266.0;

struct Decoded {
  long rate = 0;
  int channels = 0;
  mpg123_frameinfo info = {};  // of the first frame
  std::vector<float> mono;  // mid of the two channels, -1..1
};

const Decoded& Soundtrack() {
  static Decoded d = [] {
    Decoded out;
    std::string path = AssetFile(Generated().dir, kSoundtrack);
    mpg123_init();
    int err = 0;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    if (!h) return out;
    mpg123_format_none(h);
    mpg123_format(h, 44100, MPG123_STEREO | MPG123_MONO, MPG123_ENC_SIGNED_16);
    if (mpg123_open(h, path.c_str()) != MPG123_OK) {
      mpg123_delete(h);
      return out;
    }
    int encoding = 0;
    mpg123_getformat(h, &out.rate, &out.channels, &encoding);
    std::vector<unsigned char> buffer(1 << 16);
    size_t done = 0;
    int ret;
    bool first = true;
    while ((ret = mpg123_read(h, buffer.data(), buffer.size(), &done)) == MPG123_OK || ret == MPG123_NEW_FORMAT ||
           done > 0) {
      if (first) mpg123_info(h, &out.info);
      first = false;
      const int16_t* s = reinterpret_cast<const int16_t*>(buffer.data());
      size_t n = done / 2;
      for (size_t i = 0; i + 1 < n; i += 2) out.mono.push_back((s[i] + s[i + 1]) / 65536.0f);
      if (ret != MPG123_OK && ret != MPG123_NEW_FORMAT) break;
    }
    mpg123_close(h);
    mpg123_delete(h);
    return out;
  }();
  return d;
}

// Energy in three bands (below ~150 Hz, the middle, above ~3 kHz) per frame
// of hop samples, from one-pole splits of the signal.
struct Bands {
  int hop;
  std::vector<double> low, mid, high;
};

Bands SplitBands(const std::vector<float>& x, int hop) {
  Bands b{hop, {}, {}, {}};
  double lp1 = 0, lp2 = 0, el = 0, em = 0, eh = 0;
  const double a1 = 1 - std::exp(-2 * M_PI * 150.0 / kRate), a2 = 1 - std::exp(-2 * M_PI * 3000.0 / kRate);
  for (size_t i = 0; i < x.size(); i++) {
    lp1 += a1 * (x[i] - lp1);
    lp2 += a2 * (x[i] - lp2);
    double low = lp1, mid = lp2 - lp1, high = x[i] - lp2;
    el += low * low;
    em += mid * mid;
    eh += high * high;
    if ((i + 1) % hop == 0) {
      b.low.push_back(el / hop);
      b.mid.push_back(em / hop);
      b.high.push_back(eh / hop);
      el = em = eh = 0;
    }
  }
  return b;
}

double Db(double e) { return 10 * std::log10(e + 1e-12); }

double MeanDb(const std::vector<double>& e, int hop, double t0, double t1) {
  int a = static_cast<int>(t0 * kRate / hop), z = static_cast<int>(t1 * kRate / hop);
  double sum = 0;
  for (int i = a; i < z; i++) sum += e[i];
  return Db(sum / std::max(1, z - a));
}

const double kSceneChanges[] = {29.3, 58.0, 72.6, 87.0, 99.0, 115.8, 130.2, 144.6, 166.5,
                                173.6, 180.6, 195.0, 224.0, 238.0, 247.2, 252.2};

TEST(Soundtrack, IsLayerThreeAt128kbitDecodingToAtLeast268SecondsOfStereo44100) {
  const Decoded& d = Soundtrack();
  EXPECT_EQ(d.info.version, MPG123_1_0);
  EXPECT_EQ(d.info.layer, 3);
  EXPECT_EQ(d.info.bitrate, 128);
  EXPECT_EQ(d.info.vbr, MPG123_CBR);
  EXPECT_EQ(d.rate, 44100);
  EXPECT_EQ(d.channels, 2);
  EXPECT_GE(d.mono.size(), static_cast<size_t>(268.0 * kRate));
}

// Until the show ends at 266 s; after it the music has died away.
TEST(Soundtrack, NoFiveSecondWindowIsSilent) {
  const Decoded& d = Soundtrack();
  ASSERT_GE(d.mono.size(), static_cast<size_t>(268.0 * kRate));
  for (size_t start = 0; start + 5 * kRate <= static_cast<size_t>(kShowEnd * kRate); start += kRate / 2) {
    double e = 0;
    for (size_t i = start; i < start + 5 * kRate; i++) e += d.mono[i] * d.mono[i];
    EXPECT_GT(Db(e / (5 * kRate)), -40.0) << "window at " << start / kRate << " s";
  }
}

// Every scene change opens on a hit: the 8 ms after the cut carry at least
// 6 dB more energy than the 40 ms before it, and no stronger rise lies more
// than 5 ms either side (a decoder that ignored the encoder's delay would
// put it 25 ms late).
TEST(Soundtrack, EverySceneChangeOpensOnAHitAtTheCut) {
  const Decoded& d = Soundtrack();
  ASSERT_GE(d.mono.size(), static_cast<size_t>(268.0 * kRate));
  std::vector<double> prefix(d.mono.size() + 1);
  for (size_t i = 0; i < d.mono.size(); i++) prefix[i + 1] = prefix[i] + double(d.mono[i]) * d.mono[i];
  auto rise = [&](long at) {
    double after = (prefix[at + kRate * 8 / 1000] - prefix[at]) / (kRate * 8 / 1000);
    double before = (prefix[at] - prefix[at - kRate * 40 / 1000]) / (kRate * 40 / 1000);
    return Db(after) - Db(before);
  };
  for (double t : kSceneChanges) {
    long cut = std::lround(t * kRate), best = cut;
    for (long at = cut - kRate * 40 / 1000; at <= cut + kRate * 40 / 1000; at += 22)
      if (rise(at) > rise(best)) best = at;
    EXPECT_GT(rise(best), 6.0) << "at " << t << " s";
    EXPECT_LE(std::labs(best - cut), kRate * 5 / 1000) << "at " << t << " s: strongest rise at "
                                                       << double(best - cut) * 1000 / kRate << " ms";
  }
}

// The show ends at 266 s: the music is silent by then.
TEST(Soundtrack, MusicDiesAwayByTheShowsEnd) {
  const Decoded& d = Soundtrack();
  ASSERT_GE(d.mono.size(), static_cast<size_t>(268.0 * kRate));
  float after = 0;
  for (size_t i = static_cast<size_t>(kShowEnd * kRate); i < d.mono.size(); i++) after = std::max(after, std::fabs(d.mono[i]));
  EXPECT_LT(after, 0.0003f);  // -70 dBFS
  double e = 0;
  for (size_t i = static_cast<size_t>(260.0 * kRate); i < static_cast<size_t>(261.0 * kRate); i++) e += d.mono[i] * d.mono[i];
  EXPECT_GT(Db(e / kRate), -40.0) << "the music should still play until the fade";
}

// The white flashes of the beat section each start a burst of high sound.
TEST(Soundtrack, AccentsFallOnTheFlashKeys) {
  const Decoded& d = Soundtrack();
  ASSERT_GE(d.mono.size(), static_cast<size_t>(268.0 * kRate));
  Bands b = SplitBands(d.mono, kRate / 100);
  const double flashes[] = {181.5, 182.7, 183.6, 184.5, 185.5, 186.4, 187.3, 188.2, 189.1, 190.0, 190.9, 191.7, 192.6};
  for (double t : flashes) {
    double before = MeanDb(b.high, b.hop, t - 0.12, t - 0.02), after = MeanDb(b.high, b.hop, t + 0.0, t + 0.1);
    EXPECT_GT(after - before, 3.0) << "at " << t << " s";
  }
}

// In the beat section the low band rises on every 0.8 s beat and falls between.
TEST(Soundtrack, BeatSectionKeepsThe08SecondKick) {
  const Decoded& d = Soundtrack();
  ASSERT_GE(d.mono.size(), static_cast<size_t>(268.0 * kRate));
  Bands b = SplitBands(d.mono, kRate / 100);
  for (int k = 1; k < 17; k++) {
    double t = 180.6 + 0.8 * k;
    double on = MeanDb(b.low, b.hop, t, t + 0.12), off = MeanDb(b.low, b.hop, t - 0.35, t - 0.15);
    EXPECT_GT(on - off, 4.0) << "beat at " << t << " s";
  }
}

}  // namespace

namespace {

// Section bounds on the show clock: the scene changes, with the show's
// start and end.
std::vector<double> SectionBounds() {
  std::vector<double> b = {0.0};
  b.insert(b.end(), std::begin(kSceneChanges), std::end(kSceneChanges));
  b.push_back(kShowEnd);
  return b;
}

// Correlation of the band-level envelope (three bands, 50 ms frames, each
// about its mean over the section) of one four-bar phrase with the next.
double PhraseSimilarity(const Bands& b, double section0, double section1, double phrase0) {
  const double phrase = 6.4;
  int hop = b.hop;
  auto frame = [&](double t) { return static_cast<int>(std::lround(t * kRate / hop)); };
  int a = frame(section0), z = frame(section1), p = frame(phrase0), len = frame(phrase);
  double xy = 0, xx = 0, yy = 0;
  for (const std::vector<double>* e : {&b.low, &b.mid, &b.high}) {
    double mean = 0;
    for (int i = a; i < z; i++) mean += Db((*e)[i]);
    mean /= z - a;
    for (int i = p; i < p + len; i++) {
      double x = Db((*e)[i]) - mean, y = Db((*e)[i + len]) - mean;
      xy += x * y;
      xx += x * x;
      yy += y * y;
    }
  }
  return xy / std::sqrt(xx * yy);
}

}  // namespace

// Within a section no four-bar phrase comes back the same: each phrase's
// band envelope correlates below 0.9 with the next one's.
TEST(Soundtrack, NoPhraseRepeatsTheOneBefore) {
  const Decoded& d = Soundtrack();
  ASSERT_GE(d.mono.size(), static_cast<size_t>(268.0 * kRate));
  Bands b = SplitBands(d.mono, kRate / 20);
  std::vector<double> bounds = SectionBounds();
  int pairs = 0;
  for (size_t s = 0; s + 1 < bounds.size(); s++)
    for (double p = bounds[s]; p + 2 * 6.4 <= bounds[s + 1]; p += 6.4, pairs++)
      EXPECT_LT(PhraseSimilarity(b, bounds[s], bounds[s + 1], p), 0.9) << "phrase at " << p << " s";
  EXPECT_GE(pairs, 15);
}

// Every section but the quiet break plays within a few decibels of the
// others; the break lies clearly under them.
TEST(Soundtrack, SectionLevelsStayTogetherExceptTheQuietBreak) {
  const Decoded& d = Soundtrack();
  ASSERT_GE(d.mono.size(), static_cast<size_t>(268.0 * kRate));
  std::vector<double> bounds = SectionBounds(), levels;
  double quiet = 0;
  for (size_t s = 0; s + 1 < bounds.size(); s++) {
    double e = 0;
    size_t a = static_cast<size_t>(bounds[s] * kRate), z = static_cast<size_t>(bounds[s + 1] * kRate);
    for (size_t i = a; i < z; i++) e += d.mono[i] * d.mono[i];
    double level = Db(e / (z - a));
    if (bounds[s] == 166.5)
      quiet = level;
    else
      levels.push_back(level);
  }
  auto [low, high] = std::minmax_element(levels.begin(), levels.end());
  EXPECT_LT(*high - *low, 6.0);
  EXPECT_LT(quiet, *low - 4.0);
}
