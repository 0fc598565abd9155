// The remaining full-size pictures: the blue dancer, the runway from above,
// the rendered 3D still, the two end-scroller layers, the glow-dot sprite
// and the overlay the dots' background is multiplied with.
#include <iterator>

#include "image/asset_names.h"
#include "tools/generator.h"

namespace {

// A dancer in mid-leap built from limbs: joints in picture space.
struct Pose {
  Pt head, neck, hip, elbowL, handL, elbowR, handR, kneeL, footL, kneeR, footR;
};

void PaintDancer(Canvas* c, const Pose& p, float scale, Rgb colour, float alpha) {
  auto limb = [&](Pt a, Pt b, float w0, float w1) {
    // Tapered: two overlapping capsules.
    Pt m{(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f};
    StrokeSegment(c, a.x, a.y, m.x, m.y, w0 * scale, colour, alpha);
    StrokeSegment(c, m.x, m.y, b.x, b.y, w1 * scale, colour, alpha);
  };
  FillEllipse(c, p.head.x, p.head.y, 9 * scale, 11 * scale, 0.2f, colour, alpha);
  limb(p.neck, p.hip, 20, 15);
  limb(p.neck, p.elbowL, 7, 6);
  limb(p.elbowL, p.handL, 6, 4);
  limb(p.neck, p.elbowR, 7, 6);
  limb(p.elbowR, p.handR, 6, 4);
  limb(p.hip, p.kneeL, 11, 8);
  limb(p.kneeL, p.footL, 8, 5);
  limb(p.hip, p.kneeR, 11, 8);
  limb(p.kneeR, p.footR, 8, 5);
  // A skirt flaring from the hip.
  FillPolygon(c, {{p.hip.x - 10 * scale, p.hip.y - 6 * scale}, {p.hip.x + 12 * scale, p.hip.y - 6 * scale},
                  {p.hip.x + 34 * scale, p.hip.y + 24 * scale}, {p.hip.x - 30 * scale, p.hip.y + 20 * scale}},
              colour, alpha);
}

const Pose kLeap = {{164, 62},  {160, 78},  {150, 130}, {128, 60},  {112, 36},  {190, 70},
                    {222, 58},  {120, 150}, {92, 176},  {176, 160}, {196, 198}};

Canvas BluePicture() {
  Canvas c = MakeCanvas(320, 240, Hex(0));
  Shade(&c, [](float x, float y) {
    float beam = Clamp01(1.0f - std::fabs((x - 160) - (y - 240) * 0.35f) / (30.0f + y * 0.4f));
    Rgb sky = Mix(Hex(0x061838), Hex(0x0A0C20), y / 240.0f);
    return Add(sky, Scale(Hex(0x3A78D8), 0.55f * beam * beam));
  });
  // Floor with the reflection of the leap.
  for (int y = 206; y < 240; y++)
    for (int x = 0; x < 320; x++) At(&c, x, y) = Mix(At(&c, x, y), Hex(0x040A1A), 0.7f);
  Pose mirror = kLeap;
  for (Pt* pt : {&mirror.head, &mirror.neck, &mirror.hip, &mirror.elbowL, &mirror.handL, &mirror.elbowR,
                 &mirror.handR, &mirror.kneeL, &mirror.footL, &mirror.kneeR, &mirror.footR})
    pt->y = 412.0f - pt->y;
  PaintDancer(&c, mirror, 1.0f, Hex(0x2050A0), 0.25f);
  // Rim light behind, then the figure in dark blue.
  Canvas rim = MakeCanvas(320, 240, Hex(0));
  PaintDancer(&rim, kLeap, 1.25f, Hex(0x8CD0FF), 1.0f);
  BlurCanvas(&rim, 4, 2);
  for (size_t i = 0; i < c.px.size(); i++) c.px[i] = Add(c.px[i], Scale(rim.px[i], 0.8f));
  PaintDancer(&c, kLeap, 1.0f, Hex(0x0A1430), 1.0f);
  AddGlow(&c, 160, 10, 80, Hex(0x6090FF), 2.0f);
  Rng rng = MakeRng(71);
  for (int i = 0; i < 60; i++)  // dust in the beam
    FillEllipse(&c, RngRange(&rng, 90, 230), RngRange(&rng, 0, 200), 0.9f, 0.9f, 0, Hex(0xB0D8FF),
                RngRange(&rng, 0.2f, 0.7f));
  return c;
}

Canvas RunwayFromAbove() {
  Canvas c = MakeCanvas(320, 240, Hex(0));
  Shade(&c, [](float x, float y) {
    float depth = 1.0f / (1.0f + (240.0f - y) / 70.0f);  // runway narrows to the top
    float half = 30.0f + 110.0f * depth;
    float d = std::fabs(x - 160.0f);
    Rgb floor = Mix(Hex(0x02040C), Hex(0x0C1A3A), depth);
    if (d < half) {
      float plank = 0.5f + 0.5f * Sin((240.0f - y) * 0.9f / (depth + 0.2f));
      floor = Mix(Hex(0x101C3C), Hex(0x243C70), 0.3f * plank + 0.5f * depth);
      floor = Add(floor, Scale(Hex(0x4060C0), Clamp01(1.0f - d / 6.0f)));
    }
    return floor;
  });
  for (int i = 0; i < 18; i++) {  // lamps along both edges
    float t = i / 17.0f, y = 240.0f - 230.0f * t * t;
    float depth = 1.0f / (1.0f + (240.0f - y) / 70.0f), half = 30.0f + 110.0f * depth;
    for (int side = -1; side <= 1; side += 2) AddGlow(&c, 160 + side * (half + 4), y, 10 * depth + 3, Hex(0x90C0FF), 2.0f);
  }
  Pose small = kLeap;
  for (Pt* pt : {&small.head, &small.neck, &small.hip, &small.elbowL, &small.handL, &small.elbowR, &small.handR,
                 &small.kneeL, &small.footL, &small.kneeR, &small.footR})
    *pt = Pt{160 + (pt->x - 160) * 0.5f, 120 + (pt->y - 120) * 0.5f};
  PaintDancer(&c, small, 0.5f, Hex(0x000000), 0.7f);
  return c;
}

// A small ray tracer: three spheres over a chequered floor under a sky.
struct Sphere {
  float x, y, z, r;
  Rgb colour;
  float mirror;
};
const Sphere kSpheres[3] = {{-1.4f, 1.0f, 7.5f, 1.0f, Hex(0xE0A830), 0.45f},
                            {1.2f, 0.8f, 7.0f, 0.8f, Hex(0xD0D8E0), 0.8f},
                            {0.0f, 0.5f, 5.4f, 0.5f, Hex(0xD02848), 0.25f}};

Rgb Trace(float ox, float oy, float oz, float dx, float dy, float dz, int depth) {
  float best = 1e9f;
  int hit = -1;
  for (int i = 0; i < 3; i++) {
    const Sphere& s = kSpheres[i];
    float px = ox - s.x, py = oy - s.y, pz = oz - s.z;
    float b = px * dx + py * dy + pz * dz, cc = px * px + py * py + pz * pz - s.r * s.r;
    float disc = b * b - cc;
    if (disc < 0) continue;
    float t = -b - std::sqrt(disc);
    if (t > 1e-3f && t < best) best = t, hit = i;
  }
  const float lx = -0.5f, ly = 0.75f, lz = -0.45f;  // light direction, normalised enough
  float floorT = dy < 0 ? -oy / dy : 1e9f;
  if (hit < 0 && floorT < 1e9f) {
    float hx = ox + dx * floorT, hz = oz + dz * floorT;
    bool check = (static_cast<int>(std::floor(hx)) + static_cast<int>(std::floor(hz))) & 1;
    Rgb base = check ? Hex(0x283048) : Hex(0xC8C0B8);
    float shadow = 1.0f;
    for (const Sphere& s : kSpheres) {
      float px = hx - s.x, py = -s.y, pz = hz - s.z;
      float b = px * lx + py * ly + pz * lz, cc = px * px + py * py + pz * pz - s.r * s.r;
      if (b * b - cc > 0 && -b - std::sqrt(b * b - cc) > 0) shadow = 0.45f;
    }
    float fog = Clamp01(floorT / 30.0f);
    return Mix(Scale(base, shadow), Hex(0x302850), fog);
  }
  if (hit < 0) {
    float t = Clamp01(dy * 2.0f);
    return Mix(Hex(0xF0A0B0), Hex(0x182068), std::sqrt(t));
  }
  const Sphere& s = kSpheres[hit];
  float hx = ox + dx * best, hy = oy + dy * best, hz = oz + dz * best;
  float nx = (hx - s.x) / s.r, ny = (hy - s.y) / s.r, nz = (hz - s.z) / s.r;
  float diffuse = std::max(0.0f, nx * lx + ny * ly + nz * lz);
  float dn = dx * nx + dy * ny + dz * nz;
  float rx = dx - 2 * dn * nx, ry = dy - 2 * dn * ny, rz = dz - 2 * dn * nz;
  float highlight = Pow(std::max(0.0f, rx * lx + ry * ly + rz * lz), 60.0f);
  Rgb c = Scale(s.colour, 0.2f + 0.8f * diffuse);
  if (depth > 0) c = Mix(c, Mul(Trace(hx, hy, hz, rx, ry, rz, depth - 1), Add(s.colour, Hex(0x404040))), s.mirror);
  return Add(c, Scale(Hex(0xFFFFFF), 0.8f * highlight));
}

Canvas RenderedStill() {
  Canvas c = MakeCanvas(320, 240, Hex(0));
  for (int y = 0; y < 240; y++)
    for (int x = 0; x < 320; x++) {
      Rgb sum{0, 0, 0};
      for (int s = 0; s < 4; s++) {
        float sx = (x + 0.25f + 0.5f * (s & 1) - 160.0f) / 240.0f, sy = (120.0f - y - 0.25f - 0.5f * (s >> 1)) / 240.0f;
        sy -= 0.15f;  // look slightly down
        float len = std::sqrt(sx * sx + sy * sy + 1.0f);
        sum = Add(sum, Trace(0.0f, 1.6f, 0.0f, sx / len, sy / len, 1.0f / len, 2));
      }
      At(&c, x, y) = Scale(sum, 0.25f);
    }
  return c;
}

struct CreditLine {
  const char* text;
  int scale;
  int gap;  // pixels below
};

const CreditLine kCredits[] = {
    {"Kestrivane", 4, 10},
    {"a real-time show", 2, 44},
    {"direction", 1, 6},
    {"fashion, dance and light", 2, 28},
    {"code", 1, 6},
    {"a software renderer", 2, 4},
    {"in 320 x 240", 2, 28},
    {"3d engine", 1, 6},
    {"scenes, splines, metaballs", 2, 28},
    {"graphics", 1, 6},
    {"every picture drawn", 2, 4},
    {"by its own code", 2, 28},
    {"motion", 1, 6},
    {"a dancer in five dances", 2, 28},
    {"music", 1, 6},
    {"composed and synthesised", 2, 44},
    {"thank you for watching", 2, 40},
    {"Kestrivane", 3, 0},
};

// scroll1: the sharp text; scroll2: the same lines as soft coloured bands
// behind it, since that layer is smeared.
void ScrollPictures(Canvas* sharp, Canvas* soft) {
  *sharp = MakeCanvas(kGfxScroll1.width, kGfxScroll1.height, Hex(0));
  *soft = MakeCanvas(kGfxScroll2.width, kGfxScroll2.height, Hex(0));
  const TextStyle heading = {Hex(0x80B8FF), Hex(0x5070C0), Hex(0), 0, Hex(0), 0};
  const TextStyle body = {Hex(0xFFFFFF), Hex(0xFFD8A0), Hex(0), 0, Hex(0), 0};
  const TextStyle name = {Hex(0xFFF0D0), Hex(0xE09040), Hex(0), 0, Hex(0), 0};
  // The lines fill the picture from its 16th row to its 16th last, so text
  // is on screen within a quarter second of the scroll's start and until a
  // quarter second before its end (it moves about 70 rows a second): the
  // gaps between lines are stretched to fit.
  const int top = 16, bottom = kGfxScroll1.height - 10;  // the last line ends in blank rows
  int glyphs = 0, gaps = 0;
  const int lines = static_cast<int>(std::size(kCredits));
  for (int i = 0; i < lines; i++) {
    glyphs += kGlyphRows * kCredits[i].scale;
    if (i + 1 < lines) gaps += kCredits[i].gap;
  }
  const float stretch = gaps > 0 ? static_cast<float>(bottom - top - glyphs) / gaps : 0.0f;
  float y = static_cast<float>(top);
  int index = 0;
  for (const CreditLine& line : kCredits) {
    const TextStyle& style = line.scale >= 3 ? name : (line.scale == 1 ? heading : body);
    const int row = static_cast<int>(y + 0.5f);
    DrawTextCentred(sharp, line.text, row, line.scale, style);
    TextStyle glow = style;
    glow.top = index % 2 ? Hex(0xC040FF) : Hex(0x3090FF);
    glow.bottom = index % 2 ? Hex(0xFF4080) : Hex(0x40E0C0);
    DrawTextCentred(soft, line.text, row, line.scale, glow);
    y += static_cast<float>(kGlyphRows * line.scale) + stretch * static_cast<float>(line.gap);
    index++;
  }
  BlurCanvas(soft, 2, 2);
  for (Rgb& p : soft->px) p = Scale(p, 1.8f);
}

Canvas GlowSprite() {
  Canvas c = MakeCanvas(256, 256, Hex(0));
  Shade(&c, [](float x, float y) {
    float dx = (x - 128.0f) / 128.0f, dy = (y - 128.0f) / 128.0f;
    float d = std::sqrt(dx * dx + dy * dy);
    // A small hot core with a thin star and a faint halo: dots drawn close
    // together stay apart instead of adding up to one white patch. Core,
    // arms and halo all fall steeply, so a dot that passes next to the
    // camera (drawn hundreds of pixels wide) lights a small spot rather
    // than washing the whole frame.
    float fall = Clamp01(1.0f - d);
    float core = Pow(fall, 12.0f);
    float star = Pow(fall, 4.0f) * (Exp(-std::fabs(dx) * 80.0f) + Exp(-std::fabs(dy) * 80.0f)) * 0.4f;
    Rgb c = Add(Scale(Hex(0xFFE8F4), core), Scale(Hex(0xC0D8FF), star));
    return Add(c, Scale(Hex(0xFF80C0), 0.10f * Pow(fall, 6.0f)));
  });
  return c;
}

Canvas Overlay() {
  Canvas c = MakeCanvas(320, 240, Hex(0));
  Shade(&c, [](float x, float y) {
    float cx = Fract(x / 16.0f) - 0.5f, cy = Fract(y / 16.0f) - 0.5f;
    float cell = 1.0f - Smooth(0.30f, 0.48f, std::max(std::fabs(cx), std::fabs(cy)));
    float vignette = 1.0f - 0.6f * Smooth(0.4f, 1.1f, Hypot((x - 160) / 160.0f, (y - 120) / 120.0f));
    float level = (120.0f + 135.0f * cell) * vignette;
    return Rgb{level, level * 0.96f, level};
  });
  return c;
}

}  // namespace

void GeneratePictures(AssetOutput* out) {
  OutputJpeg(out, kGfxKBlue.name, BluePicture(), 90);
  OutputJpeg(out, kGfxKTopB.name, RunwayFromAbove(), 90);
  OutputJpeg(out, kGfx3da.name, RenderedStill(), 92);
  Canvas sharp, soft;
  ScrollPictures(&sharp, &soft);
  OutputJpeg(out, kGfxScroll1.name, sharp, 92);
  OutputJpeg(out, kGfxScroll2.name, soft, 90);
  OutputJpeg(out, kGfxSprite.name, GlowSprite(), 92);
  OutputJpeg(out, kGfxOverlay.name, Overlay(), 90);
}
