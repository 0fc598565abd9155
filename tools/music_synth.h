// The soundtrack's instruments. Each writes into a Stem: one section's own
// stereo mix and echo send, covering the section and the tails that ring on
// past its end. Oscillators read a sine table and filters are state-variable
// filters, all in float from the generator's exact functions and a seeded
// noise source, so the same samples come out on every machine.
#pragma once
#include <cstdint>
#include <vector>

inline constexpr int kMusicRate = 44100;

struct Stem {
  int first = 0;  // show-clock sample of element 0
  std::vector<float> left, right, send;
  uint32_t noise = 1;
};
Stem MakeStem(float from, float to, uint32_t seed);
inline int MusicSample(float t) { return static_cast<int>(t * kMusicRate); }

float MidiHz(float note);

// Drums.
void Kick(Stem* s, float t, float amp, float punch);
void Snare(Stem* s, float t, float amp);
void Clap(Stem* s, float t, float amp);
void Hat(Stem* s, float t, float amp, float decay, float pan);
void Tom(Stem* s, float t, float note, float amp);
void Crash(Stem* s, float t, float amp);
// Crash with a low boom under it: the picture's flashes and blackouts.
void Impact(Stem* s, float t, float amp);
// Noise swept up through a band-pass over dur seconds, loudest at its end.
void Riser(Stem* s, float t, float dur, float amp);

// Pitched voices; bright 0..1 opens the filters.
void Bass(Stem* s, float t, float dur, float note, float amp, float bright);
void Pad(Stem* s, float t, float dur, const float* notes, int count, float amp, float bright);
void Lead(Stem* s, float t, float dur, float note, float amp, float bright, float pan);
void Pluck(Stem* s, float t, float note, float amp, float pan, float bright);
void Bell(Stem* s, float t, float note, float amp, float pan);

// The stem's echo: its send through two fed-back taps, one per side, mixed in.
void Echo(Stem* s, float leftDelay, float rightDelay, float feedback, float mix);

// Gain that brings samples [a, b) of a stereo pair to the given loudness
// (LUFS: K-weighted mean square, gated in 400 ms blocks as loudness meters
// gate); 1 for silence.
float GainToLoudness(const std::vector<float>& left, const std::vector<float>& right, int a, int b, float lufs);
