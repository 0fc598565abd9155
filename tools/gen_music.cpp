// The soundtrack: composed on the show's own timeline and synthesised here,
// then encoded as MPEG-1 Layer III with its gapless header. Each scene change
// starts a section with its own groove, harmony, layers and loudness, and
// opens on a hit. Inside a section the music moves in four-bar phrases: the
// layers change from phrase to phrase, drums, bass lines, arpeggios and
// melodies are drawn anew for every bar or phrase from a generator seeded by
// section and bar, and phrase ends carry fills. The white flashes get a crash
// and a low impact; the beat section keeps a kick every 0.8 s that the bass
// ducks under. Each section is rendered on its own, brought to its loudness,
// summed, limited under the peak ceiling and faded out by the show's end.
// Everything is float from seeded noise, so the same bytes come out on every
// run.
#include <lame/lame.h>

#include "image/asset_names.h"
#include "tools/generator.h"
#include "tools/music_plan.h"
#include "tools/music_synth.h"

namespace {

constexpr float kLength = 270.0f;  // seconds of file; silent after the show's end
constexpr float kStep = kMusicBeat / 4;
constexpr float kBar = 4 * kMusicBeat;

// A minor, natural: scale degree d (any integer) to a MIDI note.
float Degree(int d, int octave) {
  static const int steps[7] = {0, 2, 3, 5, 7, 8, 10};
  int o = (d >= 0 ? d / 7 : (d - 6) / 7);
  int k = d - o * 7;
  return static_cast<float>(57 + 12 * (octave + o) + steps[k]);
}

const int kProgressions[6][4] = {{0, 5, 2, 6}, {3, 0, 5, 6}, {0, 4, 5, 6}, {0, 6, 5, 4}, {5, 6, 0, 0}, {0, 3, 4, 0}};

enum Layer {
  KICK = 1 << 0,
  SNARE = 1 << 1,
  CLAP = 1 << 2,
  HATS = 1 << 3,    // offbeat eighths
  HATS16 = 1 << 4,  // sixteenths
  BASS = 1 << 5,
  PAD = 1 << 6,
  LEAD = 1 << 7,
  ARP = 1 << 8,
  BELL = 1 << 9,
  FILL = 1 << 10,   // a drum fill in the last bar of the phrase
  RISER = 1 << 11,  // noise rising into the next section
  ROLL = 1 << 12,   // snare roll growing through the phrase
};
enum Groove { SPARSE, FOUR, BREAK, HALF };
enum BassStyle { EIGHTHS, LONG, SYNC };

struct SectionPlan {
  Groove groove;
  BassStyle bass;
  int progA, progB;  // even and odd phrases
  float lufs;
  float bright;      // filter openness, 0..1
  int layers[5];     // per phrase; later phrases keep the last entry (0 ends the list)
};

// One entry per section of the music plan.
const SectionPlan kPlans[kMusicSections] = {
    // 0: catwalk and titles, building from a bare pad
    {SPARSE, LONG, 0, 3, -18.5f, 0.5f,
     {PAD | BELL, PAD | BELL | HATS | BASS, PAD | HATS | BASS | KICK | ARP | FILL,
      PAD | HATS | BASS | KICK | SNARE | ARP | FILL, PAD | HATS16 | BASS | KICK | SNARE | LEAD | RISER}},
    // 1: zoom, warps and flares
    {FOUR, EIGHTHS, 1, 0, -14.0f, 0.85f,
     {KICK | SNARE | HATS | BASS | PAD | LEAD | FILL, KICK | SNARE | HATS16 | BASS | ARP | BELL | FILL,
      KICK | SNARE | CLAP | HATS | BASS | PAD | LEAD | FILL, KICK | SNARE | HATS16 | BASS | PAD | ARP | LEAD | FILL,
      KICK | CLAP | HATS16 | BASS | PAD | ARP | RISER}},
    // 2: portraits and words
    {BREAK, SYNC, 2, 4, -15.0f, 0.6f,
     {KICK | CLAP | HATS | BASS | PAD | ARP | FILL, KICK | SNARE | HATS16 | BASS | PAD | BELL | ARP | FILL,
      KICK | SNARE | HATS16 | BASS | LEAD | RISER}},
    // 3: over the city
    {FOUR, EIGHTHS, 3, 2, -14.5f, 0.8f,
     {KICK | CLAP | HATS16 | BASS | ARP | FILL, KICK | SNARE | HATS | BASS | PAD | LEAD | FILL,
      KICK | SNARE | CLAP | HATS16 | BASS | ARP | RISER}},
    // 4: the dancer
    {FOUR, EIGHTHS, 0, 1, -13.8f, 0.9f,
     {KICK | SNARE | HATS | BASS | PAD | LEAD | FILL, KICK | SNARE | CLAP | HATS16 | BASS | PAD | ARP | BELL | RISER}},
    // 5: back on the catwalk
    {BREAK, LONG, 2, 3, -16.0f, 0.45f,
     {KICK | HATS | BASS | PAD | BELL | FILL, KICK | SNARE | HATS | BASS | PAD | ARP | FILL,
      KICK | SNARE | HATS16 | BASS | PAD | LEAD | RISER}},
    // 6: through the city streets, the fullest section
    {FOUR, SYNC, 1, 4, -13.5f, 1.0f,
     {KICK | SNARE | HATS16 | BASS | PAD | LEAD | ARP | FILL, KICK | SNARE | CLAP | HATS16 | BASS | PAD | BELL | ARP | FILL,
      KICK | SNARE | HATS | BASS | LEAD | RISER}},
    // 7: the dancer in the box
    {BREAK, EIGHTHS, 3, 5, -14.5f, 0.6f,
     {KICK | SNARE | HATS | BASS | ARP | FILL, KICK | SNARE | CLAP | HATS16 | BASS | PAD | LEAD | FILL,
      KICK | SNARE | HATS16 | BASS | BELL | RISER}},
    // 8: metaballs, floating in before the beat comes back
    {BREAK, LONG, 0, 2, -16.0f, 0.6f,
     {PAD | ARP | LEAD, KICK | HATS | BASS | PAD | ARP | BELL | FILL, KICK | SNARE | HATS16 | BASS | PAD | LEAD | FILL,
      KICK | SNARE | HATS | BASS | PAD | ARP}},
    // 9: the quiet break
    {SPARSE, LONG, 4, 4, -25.0f, 0.3f, {PAD | BELL | BASS}},
    // 10: the dots: a roll building into the beat section
    {SPARSE, LONG, 3, 3, -17.0f, 0.7f, {ROLL | ARP | BASS | RISER}},
    // 11: the beat section: a kick every 0.8 s, a flash on many of them
    {HALF, EIGHTHS, 1, 0, -13.0f, 1.0f,
     {KICK | CLAP | HATS16 | BASS | PAD | ARP, KICK | CLAP | HATS | BASS | PAD | LEAD, KICK | CLAP | HATS16 | BASS | ARP | BELL}},
    // 12: the dance floor
    {FOUR, SYNC, 0, 3, -14.0f, 0.8f,
     {KICK | SNARE | HATS | BASS | LEAD | FILL, KICK | SNARE | HATS16 | BASS | PAD | ARP | FILL,
      KICK | CLAP | HATS | BASS | PAD | BELL | LEAD | FILL, KICK | SNARE | HATS16 | BASS | ARP | LEAD | FILL,
      KICK | SNARE | CLAP | HATS16 | BASS | PAD | RISER}},
    // 13: the city again
    {BREAK, SYNC, 3, 1, -15.0f, 0.8f,
     {KICK | HATS16 | BASS | ARP | FILL, KICK | SNARE | HATS | BASS | PAD | BELL | FILL, KICK | SNARE | HATS16 | BASS | LEAD}},
    // 14: picture fades over the city
    {SPARSE, LONG, 2, 0, -16.5f, 0.45f, {KICK | HATS | PAD | LEAD, KICK | SNARE | HATS | BASS | PAD | ARP | RISER}},
    // 15: the last catwalk
    {FOUR, EIGHTHS, 1, 1, -13.5f, 1.0f, {KICK | SNARE | CLAP | HATS16 | BASS | PAD | LEAD | ARP}},
    // 16: the end scroller, winding down
    {SPARSE, LONG, 0, 4, -16.0f, 0.5f,
     {KICK | HATS | BASS | PAD | LEAD | BELL, HATS | BASS | PAD | ARP | LEAD, PAD | BELL}},
};

// Drum patterns, one character per sixteenth of a bar, four variants each.
const char* const kKicks[4][4] = {
    {"x...............", "x.......x.......", "x.........x.....", "x.......x.....x."},  // SPARSE
    {"x...x...x...x...", "x...x...x...x.x.", "x...x...x.x.x...", "x...x..xx...x..."},  // FOUR
    {"x.....x...x.....", "x.....x...x..x..", "x..x..x...x.....", "x.....x.x.....x."},  // BREAK
    {"x.......x.......", "x.......x.......", "x.......x.......", "x.......x......."},  // HALF: never between
};
const char* const kSnares[4] = {"....x.......x...", "....x..x....x...", "....x.......x.x.", "....x....x..x..x"};
// Bass lines: per eighth (EIGHTHS) or sixteenth (SYNC) a step above the
// chord's root (o octave, f fifth, s seventh, r root, . rest).
const char* const kBassEighths[6] = {"rrrrrrrr", "rorrorro", "rrfrrorf", "r.rorfro", "rrrsrrfo", "ror.rofs"};
const char* const kBassSync[6] = {"r..r..r...r..o..", "r..o..r...f..r..", "r.r..r..r.o..f..", "r..r..o.r..s..f.",
                                  "r.....r.o.r..r..", "r..r.r..o..r.f.o"};
// Lead rhythms: start and length in sixteenths, -1 ends.
const int kLeadRhythms[6][8][2] = {
    {{0, 6}, {6, 2}, {8, 4}, {12, 4}, {-1, 0}},
    {{0, 3}, {3, 3}, {6, 2}, {8, 8}, {-1, 0}},
    {{2, 2}, {4, 4}, {10, 2}, {12, 4}, {-1, 0}},
    {{0, 4}, {4, 2}, {6, 2}, {8, 2}, {10, 2}, {12, 4}, {-1, 0}},
    {{0, 8}, {8, 6}, {14, 2}, {-1, 0}},
    {{0, 2}, {2, 2}, {4, 4}, {8, 3}, {11, 5}, {-1, 0}},
};

// White flashes of the fade envelope, and the title blackouts.
const float kFlashes[] = {29.3f,  90.0f,  144.6f, 180.6f, 181.5f, 182.7f, 183.6f, 184.5f, 185.5f, 186.4f, 187.3f,
                          188.2f, 189.1f, 190.0f, 190.9f, 191.7f, 192.6f, 195.0f, 202.0f, 217.0f, 247.2f};
const float kBlackouts[] = {3.9f, 6.5f, 9.65f, 22.3f, 27.3f, 80.0f, 99.0f, 173.65f, 224.0f};
// The word pictures appear on these.
const float kWordTimes[] = {58.0f, 61.75f, 65.3f, 69.0f};

struct Context {
  Stem* stem;
  const SectionPlan* plan;
  int section;
  float start, end;
};

bool Before(const Context& c, float t) { return t < c.end - 0.02f; }

void Drums(const Context& c, float bt, int layers, bool lastBar, Rng* rng) {
  const SectionPlan& p = *c.plan;
  const char* kick = kKicks[p.groove][RngInt(rng, 4)];
  const char* snare = kSnares[RngInt(rng, 4)];
  bool fill = (layers & FILL) && lastBar && p.groove != HALF;
  int fillKind = RngInt(rng, 3), fillFrom = RngInt(rng, 2) ? 12 : 8;
  bool open = RngInt(rng, 3) == 0;
  for (int k = 0; k < 16; k++) {
    float t = bt + k * kStep;
    if (!Before(c, t)) break;
    if (fill && k >= fillFrom) {
      float grow = static_cast<float>(k - fillFrom + 1) / (16 - fillFrom);
      if (fillKind == 0) Snare(c.stem, t, 0.25f + 0.3f * grow);
      if (fillKind == 1 && (k % 2 == 0 || k >= 14)) Tom(c.stem, t, 52.0f - 2.0f * (k - fillFrom), 0.55f);
      if (fillKind == 2) (k % 2 ? Snare(c.stem, t, 0.3f + 0.2f * grow) : Kick(c.stem, t, 0.6f, 0.5f));
      continue;
    }
    if ((layers & KICK) && kick[k] == 'x') Kick(c.stem, t, p.groove == HALF ? 1.0f : (k == 0 ? 0.75f : 0.62f), 0.6f);
    if ((layers & SNARE) && p.groove != HALF && snare[k] == 'x') Snare(c.stem, t, k % 4 == 0 ? 0.5f : 0.18f);
    if ((layers & CLAP) && k % 8 == 4) Clap(c.stem, t, 0.45f);
    if ((layers & HATS) && k % 4 == 2) Hat(c.stem, t, 0.3f, open && k == 14 ? 9.0f : 38.0f, 0.3f);
    if (layers & HATS16) Hat(c.stem, t, k % 4 == 2 ? 0.3f : (k % 2 ? 0.12f : 0.18f), 50.0f, -0.25f);
  }
  if (layers & ROLL)
    for (float t = bt, step = kStep * 2; t < bt + kBar && Before(c, t); t += step) {
      float k = Clamp01((t - c.start) / (c.end - c.start));
      Snare(c.stem, t, 0.1f + 0.45f * k);
      step = k < 0.5f ? kStep * 2 : kStep;
    }
}

void BassLine(const Context& c, float bt, int chord, int nextChord, bool lastBar, Rng* rng) {
  const SectionPlan& p = *c.plan;
  float root = Degree(chord, -2), lv = 0.24f;
  auto note = [&](char ch) {
    switch (ch) {
      case 'o': return root + 12.0f;
      case 'f': return root + 7.0f;
      case 's': return root + 10.0f;
      default: return root;
    }
  };
  if (p.bass == LONG) {
    float len = kBar - 0.05f;
    if (RngInt(rng, 2)) {  // a pick-up into the next chord
      len = 14 * kStep - 0.03f;
      float to = Degree(nextChord, -2) + (RngInt(rng, 2) ? 12.0f : 0.0f);
      if (Before(c, bt + 14 * kStep)) Bass(c.stem, bt + 14 * kStep, kStep * 1.8f, to - 1.0f, lv * 0.7f, p.bright);
    }
    Bass(c.stem, bt, std::min(len, c.end - bt - 0.05f), root, lv, 0.4f * p.bright);
    return;
  }
  const char* line = p.bass == EIGHTHS ? kBassEighths[RngInt(rng, 6)] : kBassSync[RngInt(rng, 6)];
  int steps = p.bass == EIGHTHS ? 8 : 16;
  float len = kBar / steps;
  for (int k = 0; k < steps; k++) {
    float t = bt + k * len;
    if (!Before(c, t) || line[k] == '.') continue;
    float amp = lv;
    int sixteenth = k * 16 / steps;
    if (p.groove == HALF && sixteenth % 8 == 0) amp *= 0.35f;  // under the kick
    if (p.groove == HALF && sixteenth % 8 == 2) amp *= 0.6f;   // and recovering
    float n = note(line[k]);
    if (lastBar && k == steps - 1) n = Degree(nextChord, -2) + 12.0f;  // lead into the next bar
    Bass(c.stem, t, std::max(len * 0.8f, len - 0.06f), n, amp, p.bright);
  }
}

void Chords(const Context& c, float bt, int chord, int phrase) {
  float notes[4] = {Degree(chord, 0), Degree(chord + 2, 0), Degree(chord + 4, 0), Degree(chord + 6, 0)};
  int count = phrase % 2 ? 4 : 3;  // a seventh on odd phrases
  Pad(c.stem, bt, std::min(kBar, c.end - bt), notes, count, 0.045f, c.plan->bright);
}

void Arpeggio(const Context& c, float bt, int chord, int phrase, Rng* rng) {
  static const int tones[8] = {0, 2, 4, 7, 9, 11, 14, 7};
  int shape = (phrase + c.section) % 4, rate = c.plan->bright > 0.7f ? 1 : 2;  // sixteenths or eighths
  int span = 4 + RngInt(rng, 4);
  for (int k = 0; k < 16; k += rate) {
    float t = bt + k * kStep;
    if (!Before(c, t)) break;
    int i = k / rate, at;
    switch (shape) {
      case 0: at = i % span; break;
      case 1: at = span - 1 - i % span; break;
      case 2: at = (i / span) % 2 ? span - 1 - i % span : i % span; break;
      default: at = RngInt(rng, span); break;
    }
    float accent = k % 4 == 0 ? 1.0f : 0.7f;
    Pluck(c.stem, t, Degree(chord + tones[at], 1), 0.14f * accent, (i & 1) ? 0.35f : -0.35f, c.plan->bright);
  }
}

// A melody for one phrase: a rhythm per bar, pitches walking the scale and
// landing on chord tones on the strong sixteenths; the phrase ends on the root.
void Melody(const Context& c, float pt, const int* chords, Rng* rng) {
  int degree = 4 + RngInt(rng, 3);
  for (int bar = 0; bar < 4; bar++) {
    float bt = pt + bar * kBar;
    const int(*rhythm)[2] = kLeadRhythms[RngInt(rng, 6)];
    for (int k = 0; rhythm[k][0] >= 0; k++) {
      float t = bt + rhythm[k][0] * kStep;
      if (!Before(c, t)) return;
      int step = rhythm[k][0];
      degree += RngInt(rng, 5) - 2;
      degree = std::clamp(degree, 0, 11);
      if (step % 8 == 0) {  // nearest chord tone
        int rel = ((degree - chords[bar]) % 7 + 7) % 7;
        if (rel == 1 || rel == 3 || rel == 5) degree -= 1;
        if (rel == 6) degree += 1;
      }
      bool end = bar == 3 && rhythm[k + 1][0] < 0;
      if (end) degree = chords[bar] + 7 * (degree >= chords[bar] + 7 ? 1 : 0);
      float len = std::min(rhythm[k][1] * kStep * 0.9f, c.end - t - 0.05f);
      Lead(c.stem, t, len, Degree(degree, 1), 0.09f, c.plan->bright, 0.1f * (RngInt(rng, 3) - 1));
    }
  }
}

void Bells(const Context& c, float bt, int chord, Rng* rng) {
  for (int k = 0; k < 16; k += 2)
    if (RngInt(rng, 4) == 0 || k == 0) {
      float t = bt + k * kStep;
      if (!Before(c, t)) return;
      Bell(c.stem, t, Degree(chord + 2 * RngInt(rng, 3), 2), 0.08f, RngRange(rng, -0.5f, 0.5f));
    }
}

void ComposeSection(const Context& c) {
  const SectionPlan& p = *c.plan;
  int bars = static_cast<int>((c.end - c.start - 0.05f) / kBar) + 1;
  for (int phrase = 0; phrase * 4 < bars; phrase++) {
    int layers = p.layers[0];
    for (int k = 1; k <= phrase && k < 5 && p.layers[k]; k++) layers = p.layers[k];
    const int* prog = kProgressions[phrase % 2 ? p.progB : p.progA];
    const int* nextProg = kProgressions[phrase % 2 ? p.progA : p.progB];
    float pt = c.start + phrase * 4 * kBar;
    Rng phraseRng = MakeRng(static_cast<uint64_t>(c.section) * 1000 + phrase * 17 + 5);
    if (layers & LEAD) Melody(c, pt, prog, &phraseRng);
    if (phrase > 0 && (layers & KICK)) Crash(c.stem, pt, 0.25f);
    for (int bar = 0; bar < 4 && phrase * 4 + bar < bars; bar++) {
      float bt = pt + bar * kBar;
      bool lastBar = bar == 3 || phrase * 4 + bar == bars - 1;
      int chord = prog[bar], next = bar < 3 ? prog[bar + 1] : nextProg[0];
      Rng rng = MakeRng(static_cast<uint64_t>(c.section) * 1000 + (phrase * 4 + bar) * 31 + 700);
      Drums(c, bt, layers, lastBar, &rng);
      if (layers & BASS) BassLine(c, bt, chord, next, lastBar, &rng);
      if (layers & PAD) Chords(c, bt, chord, phrase);
      if (layers & ARP) Arpeggio(c, bt, chord, phrase, &rng);
      if (layers & BELL) Bells(c, bt, chord, &rng);
    }
    if ((layers & RISER) && (phrase + 1) * 4 >= bars) {
      float from = std::max(c.start, c.end - 2 * kBar);
      Riser(c.stem, from, c.end - from, 0.25f);
    }
  }
  // The section opens on a hit, so every scene change is heard.
  if (c.section > 0) {
    if (p.lufs < -20.0f) {
      Bell(c.stem, c.start, Degree(kProgressions[p.progA][0], 1), 0.3f, 0.0f);
      Impact(c.stem, c.start, 0.3f);
    } else {
      Crash(c.stem, c.start, 0.45f);
      Kick(c.stem, c.start, 0.8f, 1.0f);
    }
  }
}

// Keeps samples under the ceiling with a gain that ramps down over 2 ms
// ahead of each peak and recovers over 80 ms.
void Limit(std::vector<float>* left, std::vector<float>* right, float ceiling) {
  size_t n = left->size();
  std::vector<float> g(n);
  for (size_t i = 0; i < n; i++) {
    float peak = std::max(std::fabs((*left)[i]), std::fabs((*right)[i]));
    g[i] = peak > ceiling ? ceiling / peak : 1.0f;
  }
  const float attack = 1.0f / MusicSample(0.002f), release = 1.0f / MusicSample(0.08f);
  for (size_t i = n - 1; i-- > 0;) g[i] = std::min(g[i], g[i + 1] + attack);
  for (size_t i = 1; i < n; i++) g[i] = std::min(g[i], g[i - 1] + release);
  for (size_t i = 0; i < n; i++) {
    (*left)[i] = std::clamp((*left)[i] * g[i], -ceiling, ceiling);
    (*right)[i] = std::clamp((*right)[i] * g[i], -ceiling, ceiling);
  }
}

}  // namespace

std::vector<int16_t> SynthesiseSoundtrack() {
  size_t n = static_cast<size_t>(kLength * kMusicRate);
  std::vector<float> left(n), right(n);
  for (int s = 0; s < kMusicSections; s++) {
    float start = kMusicSectionStarts[s], end = s + 1 < kMusicSections ? kMusicSectionStarts[s + 1] : kMusicEnd;
    Stem stem = MakeStem(start, std::min(kLength, end + 3.0f), 977u * (s + 1));
    Context c{&stem, &kPlans[s], s, start, end};
    ComposeSection(c);
    // In the beat section the flashes fall between the kicks: a crash alone
    // there, so no low boom blurs the 0.8 s pulse.
    for (float t : kFlashes)
      if (t >= start && t < end) (kPlans[s].groove == HALF && t > start ? Crash(&stem, t, 0.6f) : Impact(&stem, t, 0.7f));
    for (float t : kBlackouts)
      if (t >= start && t < end) Impact(&stem, t, 0.35f);
    for (float t : kWordTimes)
      if (t >= start && t < end) {
        Bell(&stem, t, 81.0f, 0.25f, 0.3f);
        Pluck(&stem, t + 0.02f, 88.0f, 0.15f, -0.3f, 1.0f);
      }
    Echo(&stem, 3 * kStep, 4.5f * kStep, 0.4f, 0.3f);
    // A breath before the next section's hit: the last 40 ms dip, and what
    // rings on past the end dies away within half a second.
    int e = MusicSample(end) - stem.first;
    for (int i = 0; i < static_cast<int>(stem.left.size()); i++) {
      float u = static_cast<float>(i - e) / kMusicRate, g = 1.0f;
      if (u > -0.04f) g = u < 0.0f ? 1.0f - 0.8f * (u + 0.04f) / 0.04f : 0.2f * std::max(0.0f, 1.0f - u / 0.5f);
      stem.left[i] *= g;
      stem.right[i] *= g;
    }
    float gain = GainToLoudness(stem.left, stem.right, 0, e, kPlans[s].lufs);
    for (size_t i = 0; i < stem.left.size() && stem.first + i < n; i++) {
      left[stem.first + i] += gain * stem.left[i];
      right[stem.first + i] += gain * stem.right[i];
    }
  }
  // A high-pass at about 10 Hz takes off the offset that kicks and notes
  // starting at phase zero leave.
  for (std::vector<float>* channel : {&left, &right}) {
    float x1 = 0.0f, y1 = 0.0f;
    for (float& x : *channel) {
      float y = x - x1 + 0.9986f * y1;
      x1 = x;
      x = y1 = y;
    }
  }
  Limit(&left, &right, Pow(10.0f, -2.5f / 20.0f));  // the encoding adds up to a decibel between samples
  std::vector<int16_t> pcm(n * 2);
  for (size_t i = 0; i < n; i++) {
    // In over the first second and a half; out from 262 s to silence just
    // before the show's end.
    float t = static_cast<float>(i) / kMusicRate;
    float out = Clamp01((kMusicEnd - 0.2f - t) / 3.8f);
    float fade = std::min(Clamp01(t / 1.5f + 0.1f), out * out);
    float l = std::round(left[i] * fade * 32767.0f), r = std::round(right[i] * fade * 32767.0f);
    pcm[2 * i] = static_cast<int16_t>(std::clamp(l, -32768.0f, 32767.0f));
    pcm[2 * i + 1] = static_cast<int16_t>(std::clamp(r, -32768.0f, 32767.0f));
  }
  return pcm;
}

std::vector<uint8_t> EncodeMp3(const std::vector<int16_t>& pcm) {
  lame_global_flags* gf = lame_init();
  if (!gf) return {};
  lame_set_in_samplerate(gf, kMusicRate);
  lame_set_out_samplerate(gf, kMusicRate);
  lame_set_num_channels(gf, 2);
  lame_set_mode(gf, JOINT_STEREO);
  lame_set_brate(gf, 128);
  lame_set_quality(gf, 7);
  // The header frame tells a decoder the encoder's delay and padding, so a
  // gapless decoder starts the music on the first sample and the hits land
  // on the cuts.
  lame_set_bWriteVbrTag(gf, 1);
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
  // The encoder left room for the header frame at the start; fill it in.
  size_t tag = lame_get_lametag_frame(gf, buffer.data(), buffer.size());
  lame_close(gf);
  if (tag == 0 || tag > buffer.size() || tag > out.size()) return {};
  std::copy(buffer.begin(), buffer.begin() + tag, out.begin());
  return out;
}

void GenerateSoundtrack(AssetOutput* out) { OutputBytes(out, kSoundtrack, EncodeMp3(SynthesiseSoundtrack())); }
