// The soundtrack's instruments, filters, echo and loudness meter.
#include "tools/music_synth.h"

#include "tools/generator.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr int kTable = 4096;

// One cycle of a sine, read with linear interpolation at phase 0..1.
struct SineTable {
  float v[kTable + 1];
  SineTable() {
    for (int i = 0; i <= kTable; i++) v[i] = Sin(2.0f * kPi * static_cast<float>(i) / kTable);
  }
};
const SineTable& Sines() {
  static const SineTable table;
  return table;
}
inline float Sine(const SineTable& s, float phase) {
  float x = (phase - std::floor(phase)) * kTable;
  int i = static_cast<int>(x);
  if (i >= kTable) i = kTable - 1;
  float f = x - static_cast<float>(i);
  return s.v[i] + (s.v[i + 1] - s.v[i]) * f;
}

// State-variable filter (trapezoidal): low, band and high outputs at once,
// stable at any cut-off below the Nyquist rate.
struct Svf {
  float a1 = 0, a2 = 0, a3 = 0, k = 1, ic1 = 0, ic2 = 0;
};
struct SvfOut {
  float low, band, high;
};
void Tune(Svf* f, float hz, float q) {
  float w = kPi * std::min(hz, 0.45f * kMusicRate) / kMusicRate;
  float g = Sin(w) / Cos(w);
  f->k = 1.0f / q;
  f->a1 = 1.0f / (1.0f + g * (g + f->k));
  f->a2 = g * f->a1;
  f->a3 = g * f->a2;
}
inline SvfOut Run(Svf* f, float x) {
  float v3 = x - f->ic2;
  float v1 = f->a1 * f->ic1 + f->a2 * v3;
  float v2 = f->ic2 + f->a2 * f->ic1 + f->a3 * v3;
  f->ic1 = 2.0f * v1 - f->ic1;
  f->ic2 = 2.0f * v2 - f->ic2;
  return {v2, v1, x - f->k * v1 - v2};
}

inline float Noise(Stem* s) {
  s->noise = s->noise * 1664525u + 1013904223u;
  return static_cast<float>(s->noise >> 8) * (2.0f / 16777216.0f) - 1.0f;
}

inline void Put(Stem* s, int i, float v, float pan, float send) {
  int k = i - s->first;
  if (k < 0 || k >= static_cast<int>(s->left.size())) return;
  s->left[k] += v * (1.0f - pan);
  s->right[k] += v * (1.0f + pan);
  s->send[k] += v * send;
}

// exp(-perSecond * t) at successive samples: one multiplication each.
struct Decay {
  float value, factor;
};
Decay MakeDecay(float perSecond) { return Decay{1.0f, Exp(-perSecond / kMusicRate)}; }
inline float Next(Decay* d) {
  float v = d->value;
  d->value *= d->factor;
  return v;
}

// Attack ramp, hold until dur, linear release.
inline float Gate(float t, float attack, float dur, float release) {
  float a = t < attack ? t / attack : 1.0f;
  return t > dur ? a * std::max(0.0f, 1.0f - (t - dur) / release) : a;
}

inline float Saw(float* phase, float inc) {
  *phase += inc;
  if (*phase >= 1.0f) *phase -= 1.0f;
  return 2.0f * *phase - 1.0f;
}

}  // namespace

Stem MakeStem(float from, float to, uint32_t seed) {
  Stem s;
  s.first = MusicSample(from);
  size_t n = static_cast<size_t>(MusicSample(to) - s.first);
  s.left.assign(n, 0.0f);
  s.right.assign(n, 0.0f);
  s.send.assign(n, 0.0f);
  s.noise = seed * 2654435761u + 1u;
  return s;
}

float MidiHz(float note) { return 440.0f * Pow(2.0f, (note - 69.0f) / 12.0f); }

void Kick(Stem* s, float t, float amp, float punch) {
  const SineTable& sine = Sines();
  float phase = 0.0f;
  Decay sweep = MakeDecay(32.0f), level = MakeDecay(12.0f);
  int at = MusicSample(t), n = MusicSample(0.32f), click = MusicSample(0.004f);
  for (int i = 0; i < n; i++) {
    phase += (50.0f + 120.0f * Next(&sweep)) / kMusicRate;
    float v = Sine(sine, phase) * Next(&level);
    if (i < click) v += 0.35f * punch * Noise(s) * (1.0f - static_cast<float>(i) / click);
    Put(s, at + i, v * amp, 0.0f, 0.0f);
  }
}

void Snare(Stem* s, float t, float amp) {
  const SineTable& sine = Sines();
  Svf f;
  Tune(&f, 3200.0f, 0.8f);
  float p1 = 0.0f, p2 = 0.0f;
  Decay body = MakeDecay(28.0f), noise = MakeDecay(17.0f);
  int at = MusicSample(t), n = MusicSample(0.24f);
  for (int i = 0; i < n; i++) {
    p1 += 190.0f / kMusicRate;
    p2 += 330.0f / kMusicRate;
    float b = (Sine(sine, p1) + 0.3f * Sine(sine, p2)) * Next(&body);
    SvfOut o = Run(&f, Noise(s));
    float v = 0.45f * b + (1.1f * o.band + 0.45f * o.high) * Next(&noise);
    Put(s, at + i, v * amp, -0.1f, 0.12f);
  }
}

void Clap(Stem* s, float t, float amp) {
  Svf f;
  Tune(&f, 1700.0f, 1.4f);
  Decay room = MakeDecay(22.0f);
  int at = MusicSample(t), n = MusicSample(0.3f);
  for (int i = 0; i < n; i++) {
    float u = static_cast<float>(i) / kMusicRate;
    // Three quick bursts 8 ms apart, then the room.
    float burst = u < 0.024f ? 1.0f - (u - 0.008f * std::floor(u / 0.008f)) / 0.008f : 0.0f;
    float tail = u >= 0.016f ? 0.7f * Next(&room) : 0.0f;
    float v = Run(&f, Noise(s)).band * 1.6f * std::max(burst, tail);
    Put(s, at + i, v * amp, 0.1f, 0.2f);
  }
}

void Hat(Stem* s, float t, float amp, float decay, float pan) {
  Svf high, mid;
  Tune(&high, 7500.0f, 0.7f);
  Tune(&mid, 4200.0f, 1.2f);
  Decay level = MakeDecay(decay);
  int at = MusicSample(t), n = MusicSample(std::min(0.6f, 6.0f / decay));
  for (int i = 0; i < n; i++) {
    float x = Noise(s);
    SvfOut h = Run(&high, x), m = Run(&mid, x);
    float v = (0.7f * h.high + 0.5f * h.band + 0.7f * m.band) * Next(&level);
    Put(s, at + i, v * amp, pan, 0.05f);
  }
}

void Tom(Stem* s, float t, float note, float amp) {
  const SineTable& sine = Sines();
  float f = MidiHz(note), phase = 0.0f;
  Decay sweep = MakeDecay(18.0f), level = MakeDecay(8.0f);
  int at = MusicSample(t), n = MusicSample(0.4f);
  float pan = std::clamp((note - 45.0f) / 20.0f, -0.5f, 0.5f);
  for (int i = 0; i < n; i++) {
    phase += f * (1.0f + 0.6f * Next(&sweep)) / kMusicRate;
    float v = Sine(sine, phase) * Next(&level) + (i < 200 ? 0.2f * Noise(s) * (1.0f - i / 200.0f) : 0.0f);
    Put(s, at + i, v * amp, pan, 0.15f);
  }
}

void Crash(Stem* s, float t, float amp) {
  Svf f;
  Tune(&f, 5500.0f, 0.5f);
  Decay level = MakeDecay(1.7f);
  int at = MusicSample(t), n = MusicSample(2.6f);
  for (int i = 0; i < n; i++) {
    SvfOut o = Run(&f, Noise(s));
    float v = (0.8f * o.high + 0.7f * o.band) * Next(&level);
    Put(s, at + i, v * amp, (i & 1) ? 0.3f : -0.3f, 0.15f);
  }
}

void Impact(Stem* s, float t, float amp) {
  const SineTable& sine = Sines();
  Crash(s, t, 0.8f * amp);
  float phase = 0.0f;
  Decay sweep = MakeDecay(8.0f), boom = MakeDecay(6.0f);
  int at = MusicSample(t), n = MusicSample(1.2f);
  for (int i = 0; i < n; i++) {
    phase += (40.0f + 30.0f * Next(&sweep)) / kMusicRate;
    Put(s, at + i, Sine(sine, phase) * 0.8f * Next(&boom) * amp, 0.0f, 0.1f);
  }
}

void Riser(Stem* s, float t, float dur, float amp) {
  Svf f;
  int at = MusicSample(t), n = MusicSample(dur);
  for (int i = 0; i < n; i++) {
    float u = static_cast<float>(i) / n;
    if ((i & 31) == 0) Tune(&f, 400.0f * Pow(17.0f, u), 2.0f);
    float v = Run(&f, Noise(s)).band * u * u;
    Put(s, at + i, v * amp, 0.4f * (u - 0.5f), 0.3f);
  }
}

void Bass(Stem* s, float t, float dur, float note, float amp, float bright) {
  const SineTable& sine = Sines();
  float f = MidiHz(note), phase = 0.0f;
  Svf lp;
  Decay pluck = MakeDecay(10.0f);
  int at = MusicSample(t), n = MusicSample(dur + 0.04f);
  for (int i = 0; i < n; i++) {
    float u = static_cast<float>(i) / kMusicRate;
    float env = Next(&pluck);
    if ((i & 15) == 0) Tune(&lp, 90.0f + 2.0f * f + bright * 2200.0f * env, 1.1f);
    float saw = Saw(&phase, f / kMusicRate);
    float v = (0.8f * Run(&lp, saw).low + 0.35f * Sine(sine, phase)) * Gate(u, 0.003f, dur, 0.04f);
    Put(s, at + i, v * amp, 0.0f, 0.0f);
  }
}

void Pad(Stem* s, float t, float dur, const float* notes, int count, float amp, float bright) {
  int at = MusicSample(t), n = MusicSample(dur + 0.6f);
  for (int k = 0; k < count; k++)
    for (int voice = 0; voice < 2; voice++) {
      float f = MidiHz(notes[k]) * (voice ? 1.004f : 0.996f), phase = 0.37f * k + 0.5f * voice;
      Svf lp;
      Tune(&lp, 500.0f + 2600.0f * bright, 0.7f);
      float pan = voice ? 0.5f : -0.5f;
      for (int i = 0; i < n; i++) {
        float u = static_cast<float>(i) / kMusicRate;
        float v = Run(&lp, Saw(&phase, f / kMusicRate)).low * Gate(u, 0.35f, dur, 0.6f);
        Put(s, at + i, v * amp, pan, 0.12f);
      }
    }
}

void Lead(Stem* s, float t, float dur, float note, float amp, float bright, float pan) {
  const SineTable& sine = Sines();
  float f = MidiHz(note), p1 = 0.0f, p2 = 0.31f;
  Svf lp;
  Decay open = MakeDecay(4.0f);
  int at = MusicSample(t), n = MusicSample(dur + 0.08f);
  for (int i = 0; i < n; i++) {
    float u = static_cast<float>(i) / kMusicRate;
    float vib = 1.0f + 0.006f * Sine(sine, 5.5f * u) * Clamp01((u - 0.15f) * 4.0f);
    if ((i & 31) == 0) Tune(&lp, (1800.0f + 3500.0f * bright) * (0.6f + 0.4f * open.value), 1.2f);
    Next(&open);
    float saw = Saw(&p1, f * vib / kMusicRate);
    Saw(&p2, f * vib * 1.003f / kMusicRate);
    float pulse = p2 < 0.3f ? 1.0f : -1.0f;
    float v = Run(&lp, 0.5f * saw + 0.5f * pulse).low * Gate(u, 0.004f, dur, 0.08f);
    Put(s, at + i, v * amp, pan, 0.4f);
  }
}

void Pluck(Stem* s, float t, float note, float amp, float pan, float bright) {
  float f = MidiHz(note), phase = 0.0f;
  Svf lp;
  Decay level = MakeDecay(6.0f), open = MakeDecay(12.0f);
  int at = MusicSample(t), n = MusicSample(0.8f);
  for (int i = 0; i < n; i++) {
    if ((i & 31) == 0) Tune(&lp, 300.0f + (2000.0f + 5000.0f * bright) * open.value, 1.5f);
    Next(&open);
    float a = i < 40 ? static_cast<float>(i) / 40.0f : 1.0f;
    float v = Run(&lp, Saw(&phase, f / kMusicRate)).low * Next(&level) * a;
    Put(s, at + i, v * amp, pan, 0.45f);
  }
}

void Bell(Stem* s, float t, float note, float amp, float pan) {
  const SineTable& sine = Sines();
  const float ratio[4] = {1.0f, 2.76f, 5.4f, 8.93f}, weight[4] = {1.0f, 0.5f, 0.25f, 0.12f},
              decay[4] = {2.5f, 4.0f, 7.0f, 10.0f};
  float f = MidiHz(note), phase[4] = {0, 0, 0, 0};
  Decay level[4];
  for (int k = 0; k < 4; k++) level[k] = MakeDecay(decay[k]);
  int at = MusicSample(t), n = MusicSample(2.0f);
  for (int i = 0; i < n; i++) {
    float v = 0.0f;
    for (int k = 0; k < 4; k++) {
      phase[k] += f * ratio[k] / kMusicRate;
      if (phase[k] >= 1.0f) phase[k] -= 1.0f;
      v += weight[k] * Sine(sine, phase[k]) * Next(&level[k]);
    }
    float a = i < 90 ? static_cast<float>(i) / 90.0f : 1.0f;
    Put(s, at + i, v * amp * a, pan, 0.35f);
  }
}

void Echo(Stem* s, float leftDelay, float rightDelay, float feedback, float mix) {
  int dl = MusicSample(leftDelay), dr = MusicSample(rightDelay);
  size_t n = s->send.size();
  std::vector<float> l(n), r(n);
  for (size_t i = 0; i < n; i++) {
    l[i] = i >= static_cast<size_t>(dl) ? s->send[i - dl] + feedback * l[i - dl] : 0.0f;
    r[i] = i >= static_cast<size_t>(dr) ? s->send[i - dr] + feedback * r[i - dr] : 0.0f;
    s->left[i] += mix * l[i];
    s->right[i] += mix * r[i];
  }
}

namespace {

// One biquad section, direct form I in double.
struct Biquad {
  double b0, b1, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  double Run(double x) {
    double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }
};

// The K-weighting of loudness meters: a +4 dB shelf above about 1.7 kHz
// and a high-pass at 38 Hz, made for the soundtrack's rate.
void KWeighting(Biquad* shelf, Biquad* highPass) {
  double w = kPi * 1681.974450955533 / kMusicRate;
  double k = Sin(static_cast<float>(w)) / Cos(static_cast<float>(w)), q = 0.7071752369554193;
  double vh = Pow(10.0f, 3.99984385397f / 20.0f), vb = Pow(static_cast<float>(vh), 0.499666774155f);
  double a0 = 1.0 + k / q + k * k;
  *shelf = Biquad{(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
                  2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
  w = kPi * 38.13547087613982 / kMusicRate;
  k = Sin(static_cast<float>(w)) / Cos(static_cast<float>(w));
  q = 0.5003270373253953;
  a0 = 1.0 + k / q + k * k;
  *highPass = Biquad{1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

}  // namespace

float GainToLoudness(const std::vector<float>& left, const std::vector<float>& right, int a, int b, float lufs) {
  Biquad sl, hl, sr, hr;
  KWeighting(&sl, &hl);
  KWeighting(&sr, &hr);
  const int step = kMusicRate / 10;  // blocks of four steps, 75 % overlap
  std::vector<double> steps;
  double sum = 0;
  int count = 0;
  for (int i = std::max(a, 0); i < std::min<int>(b, left.size()); i++) {
    double l = hl.Run(sl.Run(left[i])), r = hr.Run(sr.Run(right[i]));
    sum += l * l + r * r;
    if (++count == step) {
      steps.push_back(sum / step);
      sum = 0;
      count = 0;
    }
  }
  std::vector<double> blocks;
  for (size_t i = 3; i < steps.size(); i++) blocks.push_back((steps[i - 3] + steps[i - 2] + steps[i - 1] + steps[i]) / 4);
  // Absolute gate at -70 LUFS, then a relative gate 10 LU under the mean.
  const double absolute = Pow(10.0f, (-70.0f + 0.691f) / 10.0f);
  double mean = 0;
  int kept = 0;
  for (double m : blocks)
    if (m > absolute) mean += m, kept++;
  if (kept == 0) return 1.0f;
  mean /= kept;
  double power = 0;
  kept = 0;
  for (double m : blocks)
    if (m > absolute && m > 0.1 * mean) power += m, kept++;
  power /= kept;
  return static_cast<float>(std::sqrt(Pow(10.0f, (lufs + 0.691f) / 10.0f) / power));
}
