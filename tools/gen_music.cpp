// The soundtrack: composed on the show's own timeline and synthesised here,
// then encoded as MPEG-1 Layer III. Each scene change starts a section with
// its own instruments and level; the white flashes get a crash and a low
// impact; the beat section keeps a kick every 0.8 s that the bass ducks
// under. Everything is computed in float from seeded noise, then rounded to
// 16 bits, so the same bytes come out on every run.
#include <lame/lame.h>

#include "image/asset_names.h"
#include "tools/generator.h"

namespace {

constexpr int kRate = 44100;
constexpr float kLength = 270.0f;  // seconds; the show needs 268
constexpr float kBeat = 0.4f;      // 150 beats a minute, four to the bar
constexpr float kPi = 3.14159265f;

struct Mixdown {
  std::vector<float> left, right, send;  // send: echo bus, mono
  uint32_t noise;
};

float NoiseSample(Mixdown* m) {
  m->noise = m->noise * 1664525u + 1013904223u;
  return static_cast<float>(m->noise >> 8) * (2.0f / 16777216.0f) - 1.0f;
}

int SampleAt(float t) { return static_cast<int>(t * kRate); }

void Put(Mixdown* m, int i, float v, float pan, float send) {
  if (i < 0 || i >= static_cast<int>(m->left.size())) return;
  m->left[i] += v * (1.0f - pan);
  m->right[i] += v * (1.0f + pan);
  m->send[i] += v * send;
}

// exp(-perSecond * t) at successive samples: one multiplication each.
struct Decay {
  float value, factor;
};
Decay MakeDecay(float perSecond) { return Decay{1.0f, Exp(-perSecond / kRate)}; }
float Next(Decay* d) {
  float v = d->value;
  d->value *= d->factor;
  return v;
}

float MidiHz(float note) { return 440.0f * Pow(2.0f, (note - 69.0f) / 12.0f); }

// ---- instruments ----

void Kick(Mixdown* m, float t0, float amp) {
  float phase = 0.0f;
  Decay sweep = MakeDecay(30.0f), level = MakeDecay(7.0f);
  int n = SampleAt(0.45f);
  for (int i = 0; i < n; i++) {
    float f = 45.0f + 90.0f * Next(&sweep);
    phase += 2.0f * kPi * f / kRate;
    float v = Sin(phase) * Next(&level) + (i < 60 ? 0.3f * (1.0f - i / 60.0f) : 0.0f);
    Put(m, SampleAt(t0) + i, v * amp, 0.0f, 0.0f);
  }
}

void Snare(Mixdown* m, float t0, float amp) {
  float prev = 0.0f, phase = 0.0f;
  Decay noise = MakeDecay(16.0f), tone = MakeDecay(30.0f);
  int n = SampleAt(0.25f);
  for (int i = 0; i < n; i++) {
    float x = NoiseSample(m), hp = x - prev;
    prev = x;
    phase += 2.0f * kPi * 190.0f / kRate;
    float v = hp * 0.6f * Next(&noise) + Sin(phase) * 0.5f * Next(&tone);
    Put(m, SampleAt(t0) + i, v * amp, -0.1f, 0.15f);
  }
}

void Hat(Mixdown* m, float t0, float amp, float decay) {
  float prev = 0.0f;
  Decay level = MakeDecay(decay);
  int n = SampleAt(std::min(0.5f, 6.0f / decay));
  for (int i = 0; i < n; i++) {
    float x = NoiseSample(m), hp = x - prev;
    prev = x;
    Put(m, SampleAt(t0) + i, hp * amp * Next(&level), 0.3f, 0.0f);
  }
}

// Crash and a low impact: the flashes of the picture.
void Impact(Mixdown* m, float t0, float amp) {
  float prev = 0.0f, phase = 0.0f;
  Decay sweep = MakeDecay(8.0f), crash = MakeDecay(2.2f), boom = MakeDecay(6.0f);
  int n = SampleAt(1.8f);
  for (int i = 0; i < n; i++) {
    float x = NoiseSample(m), hp = x - prev;
    prev = x;
    phase += 2.0f * kPi * (40.0f + 30.0f * Next(&sweep)) / kRate;
    float v = hp * 0.55f * Next(&crash) + Sin(phase) * 0.8f * Next(&boom);
    Put(m, SampleAt(t0) + i, v * amp, (i & 1) ? 0.25f : -0.25f, 0.2f);
  }
}

// Plucked saw bass: a low-pass whose cut-off falls after the attack, with a
// sine an octave down. duck > 0 pulls the level under a kick at each beat.
void Bass(Mixdown* m, float t0, float dur, float note, float amp, float bright) {
  float f = MidiHz(note), phase = 0.0f, lp = 0.0f;
  Decay pluck = MakeDecay(9.0f);
  int n = SampleAt(dur + 0.05f);
  for (int i = 0; i < n; i++) {
    float t = static_cast<float>(i) / kRate;
    phase += f / kRate;
    if (phase >= 1.0f) phase -= 1.0f;
    float saw = 2.0f * phase - 1.0f;
    float w = 2.0f * kPi * (120.0f + bright * 1800.0f * Next(&pluck)) / kRate;
    lp += w / (1.0f + w) * (saw - lp);
    float env = std::min(1.0f, t * 400.0f) * (t > dur ? std::max(0.0f, 1.0f - (t - dur) * 20.0f) : 1.0f);
    float v = (lp * 0.8f + 0.5f * Sin(phase * 2.0f * kPi)) * env;
    Put(m, SampleAt(t0) + i, v * amp, 0.0f, 0.0f);
  }
}

// Pad chord: two detuned saws per note through a soft low-pass, slow swell.
void Pad(Mixdown* m, float t0, float dur, const float* notes, int count, float amp, float cutoff) {
  int n = SampleAt(dur + 0.6f);
  for (int k = 0; k < count; k++) {
    for (int voice = 0; voice < 2; voice++) {
      float f = MidiHz(notes[k]) * (voice ? 1.004f : 0.996f), phase = 0.37f * k + 0.5f * voice, lp1 = 0.0f, lp2 = 0.0f;
      float a = 1.0f - Exp(-2.0f * kPi * cutoff / kRate);
      float pan = voice ? 0.5f : -0.5f;
      for (int i = 0; i < n; i++) {
        float t = static_cast<float>(i) / kRate;
        phase += f / kRate;
        if (phase >= 1.0f) phase -= 1.0f;
        float saw = 2.0f * phase - 1.0f;
        lp1 += a * (saw - lp1);
        lp2 += a * (lp1 - lp2);
        float env = std::min(1.0f, t / 0.35f) * (t > dur ? std::max(0.0f, 1.0f - (t - dur) / 0.6f) : 1.0f);
        Put(m, SampleAt(t0) + i, lp2 * env * amp, pan, 0.1f);
      }
    }
  }
}

// Lead: a pulse with delayed vibrato, into the echo bus.
void Lead(Mixdown* m, float t0, float dur, float note, float amp) {
  float f = MidiHz(note), phase = 0.0f, lp = 0.0f;
  int n = SampleAt(dur + 0.08f);
  for (int i = 0; i < n; i++) {
    float t = static_cast<float>(i) / kRate;
    float vib = 1.0f + 0.006f * Sin(2.0f * kPi * 5.5f * t) * Clamp01((t - 0.15f) * 4.0f);
    phase += f * vib / kRate;
    if (phase >= 1.0f) phase -= 1.0f;
    float pulse = phase < 0.3f ? 1.0f : -1.0f;
    lp += 0.18f * (pulse - lp);
    float env = std::min(1.0f, t * 150.0f) * (t > dur ? std::max(0.0f, 1.0f - (t - dur) * 12.5f) : 1.0f);
    Put(m, SampleAt(t0) + i, lp * env * amp, 0.0f, 0.45f);
  }
}

// Short sine-and-triangle pluck for arpeggios; bells are the same an octave up.
void Pluck(Mixdown* m, float t0, float note, float amp, float pan, float decay) {
  float f = MidiHz(note), phase = 0.0f;
  Decay level = MakeDecay(decay);
  int n = SampleAt(5.0f / decay);
  for (int i = 0; i < n; i++) {
    float t = static_cast<float>(i) / kRate;
    phase += f / kRate;
    if (phase >= 1.0f) phase -= 1.0f;
    float tri = 4.0f * std::fabs(phase - 0.5f) - 1.0f;
    float v = (0.6f * Sin(phase * 2.0f * kPi) + 0.4f * tri) * Next(&level) * std::min(1.0f, t * 800.0f);
    Put(m, SampleAt(t0) + i, v * amp, pan, 0.5f);
  }
}

// ---- the composition ----

// A minor, natural: scale degree d (any integer) to a MIDI note.
float Degree(int d, int octave) {
  static const int steps[7] = {0, 2, 3, 5, 7, 8, 10};
  int o = (d >= 0 ? d / 7 : (d - 6) / 7);
  int k = d - o * 7;
  return static_cast<float>(57 + 12 * (octave + o) + steps[k]);
}

const int kProgressions[4][4] = {{0, 5, 2, 6}, {3, 0, 5, 6}, {0, 4, 5, 6}, {0, 6, 5, 4}};

// Two-bar motif: degree above the chord's root, start and length in beats.
struct MotifNote {
  int degree;
  float beat, length;
};
const MotifNote kMotifA[] = {{4, 0, 1.5f}, {2, 1.5f, 0.5f}, {4, 2, 1}, {7, 3, 1}, {6, 4, 1.5f}, {4, 5.5f, 0.5f}, {2, 6, 2}};
const MotifNote kMotifB[] = {{7, 0, 1}, {6, 1, 0.5f}, {4, 1.5f, 1.5f}, {2, 3, 1}, {4, 4, 0.5f}, {2, 4.5f, 0.5f}, {0, 5, 3}};

enum Voice {
  KICK4 = 1 << 0,     // kick on every beat
  KICK_HALF = 1 << 1,  // kick every second beat
  SNARE = 1 << 2,
  HATS = 1 << 3,
  HATS16 = 1 << 4,
  BASS = 1 << 5,
  BASS_LONG = 1 << 6,
  PAD = 1 << 7,
  LEAD = 1 << 8,
  ARP = 1 << 9,
  ROLL = 1 << 10,  // snare roll building towards the section's end
  DUCK = 1 << 11,  // bass ducks under the kick
};

struct Section {
  float start;
  int progression;
  int voices;
  float level;
  float brightness;  // pad cut-off and bass pluck
};

// One section per scene change of the show's timeline.
const Section kSections[] = {
    {0.0f, 0, PAD | BASS_LONG | HATS, 0.55f, 0.4f},
    {29.3f, 1, KICK4 | SNARE | HATS | BASS | PAD | LEAD, 1.0f, 0.8f},
    {58.0f, 2, PAD | ARP, 0.42f, 0.5f},
    {72.6f, 3, KICK4 | HATS16 | BASS, 0.8f, 0.5f},
    {87.0f, 0, KICK4 | SNARE | HATS | BASS | PAD | LEAD, 1.0f, 0.9f},
    {99.0f, 2, KICK_HALF | PAD | BASS_LONG, 0.5f, 0.4f},
    {115.8f, 1, KICK4 | SNARE | HATS16 | BASS | PAD | LEAD | ARP, 1.0f, 1.0f},
    {130.2f, 3, KICK4 | SNARE | HATS | BASS, 0.7f, 0.6f},
    {144.6f, 0, PAD | ARP | LEAD, 0.48f, 0.6f},
    {166.5f, 2, PAD | BASS_LONG, 0.42f, 0.3f},
    {173.6f, 3, ROLL | ARP | BASS_LONG, 0.6f, 0.7f},
    {180.6f, 1, KICK_HALF | DUCK | BASS | PAD | HATS16, 1.0f, 1.0f},
    {195.0f, 0, KICK4 | SNARE | HATS | BASS | LEAD, 0.52f, 0.5f},
    {224.0f, 3, HATS16 | BASS, 0.5f, 0.5f},
    {238.0f, 2, PAD | LEAD, 0.36f, 0.4f},
    {247.2f, 1, KICK4 | SNARE | HATS16 | BASS | PAD, 1.0f, 1.0f},
    {252.2f, 0, PAD | LEAD | ARP, 0.5f, 0.5f},
};
constexpr int kSectionCount = sizeof(kSections) / sizeof(kSections[0]);

// White flashes of the fade envelope, and the title blackouts.
const float kFlashes[] = {29.3f,  90.0f,  144.6f, 180.6f, 181.5f, 182.7f, 183.6f, 184.5f, 185.5f, 186.4f, 187.3f,
                          188.2f, 189.1f, 190.0f, 190.9f, 191.7f, 192.6f, 195.0f, 202.0f, 217.0f, 247.2f};
const float kBlackouts[] = {3.9f, 6.5f, 9.65f, 22.3f, 27.3f, 80.0f, 99.0f, 173.65f, 224.0f};
// The word pictures appear on these.
const float kWordTimes[] = {58.0f, 61.75f, 65.3f, 69.0f};

void ComposeSection(Mixdown* m, const Section& s, float end) {
  int voices = s.voices;
  float lv = s.level;
  int bar = 0;
  for (float bt = s.start; bt < end - 0.05f; bt += 4 * kBeat, bar++) {
    int chord = kProgressions[s.progression][bar % 4];
    float barEnd = std::min(bt + 4 * kBeat, end);
    if (voices & PAD) {
      float notes[3] = {Degree(chord, 0), Degree(chord + 2, 0), Degree(chord + 4, 0)};
      Pad(m, bt, barEnd - bt, notes, 3, 0.05f * lv, 500.0f + 1600.0f * s.brightness);
    }
    for (int beat = 0; beat < 4; beat++) {
      float t = bt + beat * kBeat;
      if (t >= end - 0.02f) break;
      if (voices & KICK4) Kick(m, t, 0.9f * lv);
      if ((voices & KICK_HALF) && (beat % 2 == 0)) Kick(m, t, 1.2f * lv);
      if ((voices & SNARE) && (beat % 2 == 1)) Snare(m, t, 0.5f * lv);
      if (voices & HATS) {
        Hat(m, t + kBeat * 0.5f, 0.22f * lv, 40.0f);
        if (beat == 3) Hat(m, t + kBeat * 0.75f, 0.18f * lv, 12.0f);
      }
      if (voices & HATS16)
        for (int k = 0; k < 4; k++) Hat(m, t + k * kBeat * 0.25f, (k == 2 ? 0.24f : 0.12f) * lv, 55.0f);
      if (voices & BASS)
        for (int k = 0; k < 2; k++) {
          float at = t + k * kBeat * 0.5f;
          if (at >= end - 0.02f) break;
          float amp = 0.32f * lv;
          if ((voices & DUCK) && beat % 2 == 0) amp *= k == 0 ? 0.35f : 0.6f;  // under the kick, then recovering
          Bass(m, at, kBeat * 0.45f, Degree(chord, -2) + (k == 1 && beat == 3 ? 12.0f : 0.0f), amp, s.brightness);
        }
      if ((voices & ARP))
        for (int k = 0; k < 2; k++) {
          float at = t + k * kBeat * 0.5f;
          if (at >= end - 0.02f) break;
          int step = (beat * 2 + k) % 4;
          const int up[4] = {0, 2, 4, 7};
          Pluck(m, at, Degree(chord + up[step], 1), 0.12f * lv, -0.4f, 7.0f);
        }
    }
    if (voices & BASS_LONG) Bass(m, bt, barEnd - bt - 0.05f, Degree(chord, -2), 0.3f * lv, 0.3f * s.brightness);
    if ((voices & LEAD) && bar % 2 == 0) {
      const MotifNote* motif = (bar / 2) % 2 ? kMotifB : kMotifA;
      for (int k = 0; k < 7; k++) {
        float at = bt + motif[k].beat * kBeat;
        if (at >= end - 0.05f) break;
        float len = std::min(motif[k].length * kBeat * 0.9f, end - at - 0.05f);
        Lead(m, at, len, Degree(chord + motif[k].degree, 1), 0.1f * lv);
      }
    }
  }
  if (voices & ROLL) {  // sixteenths, then thirty-seconds, growing louder
    for (float t = s.start; t < end - 0.05f;) {
      float k = (t - s.start) / (end - s.start);
      Snare(m, t, (0.08f + 0.4f * k) * lv);
      t += k < 0.6f ? kBeat * 0.5f : kBeat * 0.25f;
    }
  }
}

// The echo bus: two taps fed back, one per side.
void Echo(Mixdown* m) {
  int dl = SampleAt(0.3f), dr = SampleAt(0.45f);
  std::vector<float> l(m->send.size()), r(m->send.size());
  for (size_t i = 0; i < m->send.size(); i++) {
    float inL = i >= static_cast<size_t>(dl) ? m->send[i - dl] + 0.4f * l[i - dl] : 0.0f;
    float inR = i >= static_cast<size_t>(dr) ? m->send[i - dr] + 0.4f * r[i - dr] : 0.0f;
    l[i] = inL;
    r[i] = inR;
    m->left[i] += 0.3f * inL;
    m->right[i] += 0.3f * inR;
  }
}

}  // namespace

std::vector<int16_t> SynthesiseSoundtrack() {
  size_t n = static_cast<size_t>(kLength * kRate);
  Mixdown m{std::vector<float>(n), std::vector<float>(n), std::vector<float>(n), 12345u};
  for (int i = 0; i < kSectionCount; i++)
    ComposeSection(&m, kSections[i], i + 1 < kSectionCount ? kSections[i + 1].start : kLength - 1.0f);
  for (float t : kFlashes) Impact(&m, t, 0.7f);
  for (float t : kBlackouts) Impact(&m, t, 0.35f);
  for (float t : kWordTimes) {
    Pluck(&m, t, 81.0f, 0.2f, 0.3f, 2.5f);
    Pluck(&m, t + 0.02f, 88.0f, 0.12f, -0.3f, 3.0f);
  }
  Echo(&m);
  float peak = 0.0f;
  for (size_t i = 0; i < n; i++) peak = std::max(peak, std::max(std::fabs(m.left[i]), std::fabs(m.right[i])));
  // Peaks to 2.0, then a soft limiter: the impacts keep their edge while the
  // rest of the mix comes up to a fuller level.
  float drive = peak > 0.0f ? 2.0f / peak : 0.0f;
  auto limit = [](float x) {
    x = std::clamp(x, -3.0f, 3.0f);
    return x * (27.0f + x * x) / (27.0f + 9.0f * x * x);
  };
  std::vector<int16_t> pcm(n * 2);
  for (size_t i = 0; i < n; i++) {
    float t = static_cast<float>(i) / kRate;
    float fade = std::min(Clamp01(t / 1.5f + 0.1f), Clamp01((kLength - t) / 2.0f));
    float gain = 0.89f * 32767.0f * fade;
    float l = std::round(limit(m.left[i] * drive) * gain), r = std::round(limit(m.right[i] * drive) * gain);
    pcm[2 * i] = static_cast<int16_t>(std::clamp(l, -32768.0f, 32767.0f));
    pcm[2 * i + 1] = static_cast<int16_t>(std::clamp(r, -32768.0f, 32767.0f));
  }
  return pcm;
}

std::vector<uint8_t> EncodeMp3(const std::vector<int16_t>& pcm) {
  lame_global_flags* gf = lame_init();
  if (!gf) return {};
  lame_set_in_samplerate(gf, kRate);
  lame_set_out_samplerate(gf, kRate);
  lame_set_num_channels(gf, 2);
  lame_set_mode(gf, JOINT_STEREO);
  lame_set_brate(gf, 128);
  lame_set_quality(gf, 7);
  lame_set_bWriteVbrTag(gf, 0);
  if (lame_init_params(gf) < 0) {
    lame_close(gf);
    return {};
  }
  std::vector<uint8_t> out;
  const int chunk = 8192;
  std::vector<unsigned char> buffer(chunk * 5 / 4 + 7200);
  size_t frames = pcm.size() / 2;
  for (size_t i = 0; i < frames; i += chunk) {
    int count = static_cast<int>(std::min<size_t>(chunk, frames - i));
    int n = lame_encode_buffer_interleaved(gf, const_cast<short*>(pcm.data() + 2 * i), count, buffer.data(),
                                           static_cast<int>(buffer.size()));
    if (n < 0) {
      lame_close(gf);
      return {};
    }
    out.insert(out.end(), buffer.begin(), buffer.begin() + n);
  }
  int n = lame_encode_flush(gf, buffer.data(), static_cast<int>(buffer.size()));
  if (n > 0) out.insert(out.end(), buffer.begin(), buffer.begin() + n);
  lame_close(gf);
  return out;
}

void GenerateSoundtrack(AssetOutput* out) { OutputBytes(out, kSoundtrack, EncodeMp3(SynthesiseSoundtrack())); }
