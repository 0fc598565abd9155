// The night city's billboard textures: facades with lit windows, street
// surfaces, roofs, metal, neon signs, water, sky, cars. One painter per kind,
// each given its own seed, so no two files repeat.
#include <cstring>

#include "image/asset_names.h"
#include "tools/generator.h"

namespace {

enum MapKind {
  MAP_FACADE, MAP_GLASS, MAP_BRICK, MAP_CONCRETE, MAP_ASPHALT, MAP_ROAD, MAP_CROSSING, MAP_GRAVEL,
  MAP_TAR, MAP_CORRUGATED, MAP_PLATE, MAP_RUST, MAP_NEON, MAP_SIGN, MAP_DOOR, MAP_SHUTTER, MAP_SEA,
  MAP_TILES, MAP_STONE, MAP_MARBLE, MAP_SKY, MAP_SAND, MAP_TREE, MAP_GRASS, MAP_LAMP, MAP_FENCE, MAP_CAR,
};

struct MapLook {
  const char* file;  // name inside 3d2\maps
  MapKind kind;
  uint32_t colour;
  uint32_t accent;
  const char* text;  // neon and sign words
};

const MapLook kLooks[] = {
    {"brick1.jpg", MAP_BRICK, 0x7A3424, 0x9A9088, nullptr},
    {"brick2.jpg", MAP_BRICK, 0x4A3A3A, 0x706860, nullptr},
    {"window3.jpg", MAP_FACADE, 0x2A2C34, 0xFFD890, nullptr},
    {"window1.jpg", MAP_FACADE, 0x3A3026, 0xFFC870, nullptr},
    {"window4.jpg", MAP_FACADE, 0x1C2430, 0xA8D8FF, nullptr},
    {"window5.jpg", MAP_FACADE, 0x40403C, 0xFFE8B0, nullptr},
    {"concrt1.jpg", MAP_CONCRETE, 0x6A6A68, 0, nullptr},
    {"green.jpg", MAP_GRASS, 0x1C4A1C, 0x3A7A2A, nullptr},
    {"concrt2.jpg", MAP_CONCRETE, 0x585E66, 0, nullptr},
    {"asphalt.jpg", MAP_ASPHALT, 0x3A3A40, 0, nullptr},
    {"road1.jpg", MAP_ROAD, 0x38383E, 0xE8E0C0, nullptr},
    {"road2.jpg", MAP_CROSSING, 0x38383E, 0xE8E8E8, nullptr},
    {"roof1.jpg", MAP_GRAVEL, 0x4A4844, 0, nullptr},
    {"roof2.jpg", MAP_TAR, 0x18181C, 0x707880, nullptr},
    {"metal1.jpg", MAP_CORRUGATED, 0x6A7480, 0, nullptr},
    {"metal2.jpg", MAP_PLATE, 0x8890A0, 0, nullptr},
    {"rust1.jpg", MAP_RUST, 0x8A4018, 0x40302A, nullptr},
    {"rust2.jpg", MAP_RUST, 0xA05020, 0x5A5048, nullptr},
    {"glass1.jpg", MAP_GLASS, 0x10283A, 0x70B8E0, nullptr},
    {"glass2.jpg", MAP_GLASS, 0x1A1A30, 0xC0A0FF, nullptr},
    {"neon1.jpg", MAP_NEON, 0xFF3090, 0x100810, "HOTEL"},
    {"neon2.jpg", MAP_NEON, 0x30E0FF, 0x081018, "OPEN"},
    {"neon3.jpg", MAP_NEON, 0xFFB020, 0x100C08, "24H"},
    {"sign1.jpg", MAP_SIGN, 0xE05A30, 0x180C20, "Kestrivane"},
    {"sign2.jpg", MAP_SIGN, 0x30A0E0, 0x0C1420, "dance"},
    {"door1.jpg", MAP_DOOR, 0x3A2418, 0xFFD080, nullptr},
    {"garage.jpg", MAP_SHUTTER, 0x7A7E84, 0, nullptr},
    {"sea2.jpg", MAP_SEA, 0x061428, 0xC8D8F0, nullptr},
    {"sea1.jpg", MAP_SEA, 0x0A1020, 0xF0C890, nullptr},
    {"tiles1.jpg", MAP_TILES, 0xD8DCE0, 0x8A9098, nullptr},
    {"stone1.jpg", MAP_STONE, 0x7A7468, 0, nullptr},
    {"marble.jpg", MAP_MARBLE, 0xE0DCD4, 0x686470, nullptr},
    {"sky1.jpg", MAP_SKY, 0x02040E, 0x1A1A48, nullptr},
    {"sand.jpg", MAP_SAND, 0xB8A070, 0, nullptr},
    {"tree1.jpg", MAP_TREE, 0x0C2A10, 0x2A6A24, nullptr},
    {"lamp.jpg", MAP_LAMP, 0x303438, 0xFFE0A0, nullptr},
    {"fence.jpg", MAP_FENCE, 0x788088, 0x2A2E34, nullptr},
    {"build2.jpg", MAP_FACADE, 0x28242A, 0xFF9C60, nullptr},
    {"car1.jpg", MAP_CAR, 0xC01828, 0x101014, nullptr},
    {"car2.jpg", MAP_CAR, 0x2050B0, 0x101014, nullptr},
    {"window2.jpg", MAP_FACADE, 0x343A44, 0xFFF0C8, nullptr},
    {"build1.jpg", MAP_FACADE, 0x4A4238, 0xFFCC80, nullptr},
};

float Noise(float x, float y, uint32_t seed, float cell) { return Fbm(x / cell, y / cell, seed, 4, static_cast<int>(256 / cell)); }

// A facade: wall with a grid of windows, some lit, some dark with a
// reflection, a few with a blind half down.
void Facade(Canvas* c, const MapLook& m, uint32_t seed) {
  Rgb wall = Hex(m.colour), lit = Hex(m.accent);
  int cols = 4 + static_cast<int>(seed % 3), rows = 6 + static_cast<int>(seed % 4);
  float cw = 256.0f / cols, rh = 256.0f / rows;
  Shade(c, [&](float x, float y) {
    int cx = static_cast<int>(x / cw), cy = static_cast<int>(y / rh);
    float u = Fract(x / cw), v = Fract(y / rh);
    Rgb w = Scale(wall, 1.3f + 0.5f * Noise(x, y, seed, 32.0f));
    if (u < 0.18f || u > 0.82f || v < 0.22f || v > 0.86f) return w;
    float on = Hash01(cx, cy, seed);
    if (on < 0.62f) {  // lit, warmer towards the bottom of the pane
      float blind = Hash01(cx, cy, seed + 1) < 0.3f && v < 0.5f ? 0.55f : 1.0f;
      return Scale(Mix(lit, Scale(lit, 0.7f), v), blind * (0.62f + 0.2f * Hash01(cx, cy, seed + 2)));
    }
    float glint = Clamp01(1.0f - std::fabs(u - v * 0.6f - 0.2f) * 6.0f);
    return Add(Hex(0x1A1E2A), Scale(Hex(0x304060), 0.5f * glint));
  });
}

void Glass(Canvas* c, const MapLook& m, uint32_t seed) {
  Rgb deep = Hex(m.colour), sheen = Hex(m.accent);
  Shade(c, [&](float x, float y) {
    float u = Fract(x / 32.0f), v = Fract(y / 21.333334f);
    if (u < 0.06f || v < 0.08f) return Hex(0x40444C);
    int cx = static_cast<int>(x / 32.0f), cy = static_cast<int>(y / 21.333334f);
    float refl = 0.5f + 0.5f * Sin((x * 0.3f - y) / 40.0f);
    Rgb pane = Mix(deep, sheen, 0.35f * refl * refl);
    return Hash01(cx, cy, seed) < 0.15f ? Add(pane, Scale(Hex(0xFFE0A0), 0.6f)) : pane;
  });
}

void Brick(Canvas* c, const MapLook& m, uint32_t seed) {
  Shade(c, [&](float x, float y) {
    int row = static_cast<int>(y / 16.0f);
    float bx = x + (row & 1) * 16.0f;
    float u = Fract(bx / 32.0f), v = Fract(y / 16.0f);
    if (u < 0.06f || v < 0.12f) return Hex(m.accent);
    float shade = 0.75f + 0.5f * Hash01(static_cast<int>(bx / 32.0f), row, seed);
    return Scale(Hex(m.colour), shade * (0.85f + 0.3f * Noise(x, y, seed + 1, 8.0f)));
  });
}

void Speckle(Canvas* c, uint32_t colour, uint32_t seed, float cell, float grain) {
  Shade(c, [&](float x, float y) {
    float n = Noise(x, y, seed, cell);
    float g = Hash01(static_cast<int>(x), static_cast<int>(y), seed + 3);
    return Scale(Hex(colour), 0.7f + 0.5f * n + grain * (g - 0.5f));
  });
}

// A street runs along the map's x axis: a dashed centre line and two edge
// lines run with it, so a camera driving along the street sees them slide
// along themselves instead of crossing its view line by line.
void Road(Canvas* c, const MapLook& m, uint32_t seed, int crossing) {
  Speckle(c, m.colour, seed, 16.0f, 0.3f);
  for (int y = 0; y < 256; y++)
    for (int x = 0; x < 256; x++) {
      bool paint = crossing ? (Fract(x / 42.666668f) < 0.5f && y > 40 && y < 216)
                            : (std::fabs(y - 128.0f) < 5.0f && Fract(x / 128.0f) < 0.6f) ||
                                  std::fabs(y - 16.0f) < 3.0f || std::fabs(y - 240.0f) < 3.0f;
      // Worn paint, not fresh: bright stripes across the line of sight
      // turn to crawling lines in the distance.
      if (paint) At(c, x, y) = Mix(At(c, x, y), Hex(m.accent), crossing ? 0.3f : 0.4f);
    }
}

void Tar(Canvas* c, const MapLook& m, uint32_t seed) {
  Speckle(c, m.colour, seed, 32.0f, 0.2f);
  Rng rng = MakeRng(seed);
  for (int i = 0; i < 4; i++) {  // vents and hatches
    float x = RngRange(&rng, 30, 226), y = RngRange(&rng, 30, 226);
    PaintSolid(c, x - 20, y - 20, x + 20, y + 20, [=](float px, float py) { return SdBox(px, py, x, y, 16, 12, 3); },
               Hex(m.accent));
    for (int k = -2; k <= 2; k++) StrokeSegment(c, x - 12, y + k * 4.0f, x + 12, y + k * 4.0f, 1.2f, Hex(0x202428));
  }
}

void Corrugated(Canvas* c, const MapLook& m, uint32_t seed) {
  Shade(c, [&](float x, float y) {
    // Broad, shallow ridges: the sheets line the streets and are seen edge-on.
    float ridge = 0.75f + 0.25f * Sin(x / 256.0f * 6.2831853f * 8.0f);
    return Scale(Hex(m.colour), ridge * (0.8f + 0.3f * Noise(x, y, seed, 32.0f)));
  });
}

void Plate(Canvas* c, const MapLook& m, uint32_t seed) {
  Shade(c, [&](float x, float y) {
    float u = Fract((x + y) / 22.627417f) - 0.5f, v = Fract((x - y) / 22.627417f) - 0.5f;
    float bump = Clamp01(1.0f - Hypot(u * 3.0f, v) * 3.0f);
    return Scale(Hex(m.colour), 0.6f + 0.25f * Noise(x, y, seed, 64.0f) + 0.5f * bump);
  });
}

void Rust(Canvas* c, const MapLook& m, uint32_t seed) {
  Shade(c, [&](float x, float y) {
    float n = Noise(x, y, seed, 32.0f);
    float streak = Noise(x * 4.0f, y * 0.25f, seed + 1, 32.0f);
    float rust = Smooth(0.35f, 0.65f, n * 0.7f + streak * 0.5f);
    return Scale(Mix(Hex(m.accent), Hex(m.colour), rust), 0.7f + 0.5f * Hash01(static_cast<int>(x), static_cast<int>(y), seed));
  });
}

// Neon: tubes of glowing letters on a dark wall.
void Neon(Canvas* c, const MapLook& m, uint32_t seed) {
  Speckle(c, m.accent, seed, 32.0f, 0.1f);
  int len = static_cast<int>(std::strlen(m.text));
  int scale = std::min(8, 250 / (len * kGlyphAdvance));
  Canvas glow = MakeCanvas(256, 256, Hex(0));
  TextStyle tube = {Hex(m.colour), Hex(m.colour), Hex(0), 0, Hex(0), 0};
  DrawTextCentred(&glow, m.text, 128 - kGlyphRows * scale / 2 + scale, scale, tube);
  Canvas halo = glow;
  BlurCanvas(&halo, 6, 3);
  for (size_t i = 0; i < c->px.size(); i++) {
    Rgb core = glow.px[i];
    Rgb hot = Mix(core, Hex(0xFFFFFF), 0.5f);
    c->px[i] = Add(Add(c->px[i], Scale(halo.px[i], 2.2f)), core.r + core.g + core.b > 0 ? hot : Hex(0));
  }
}

// Billboard: a lit poster with a word and a stripe, framed.
void Sign(Canvas* c, const MapLook& m, uint32_t seed) {
  Shade(c, [&](float x, float y) {
    if (x < 10 || x > 246 || y < 40 || y > 216) return Hex(0x202024);
    float t = (y - 40.0f) / 176.0f;
    return Add(Mix(Hex(m.accent), Scale(Hex(m.colour), 0.5f), t), Scale(Hex(0xFFFFFF), 0.05f * Noise(x, y, seed, 32.0f)));
  });
  int len = static_cast<int>(std::strlen(m.text));
  int scale = std::min(6, 230 / (len * kGlyphAdvance));
  TextStyle style = {Hex(0xFFFFFF), Hex(m.colour), Hex(0x000000), 1, Hex(0), 0};
  DrawTextCentred(c, m.text, 100, scale, style);
  StrokeSegment(c, 30, 170, 226, 170, 4, Hex(m.colour));
  for (int i = 0; i < 4; i++) AddGlow(c, 40.0f + i * 58.0f, 30.0f, 20.0f, Hex(0xFFF0D0), 2.0f);
}

void Door(Canvas* c, const MapLook& m, uint32_t seed) {
  Speckle(c, 0x5A5650, seed, 32.0f, 0.15f);
  PaintShape(c, 64, 40, 192, 256, [](float x, float y) { return SdBox(x, y, 128, 150, 60, 110, 2); },
             [&](float x, float y) { return Scale(Hex(m.colour), 0.8f + 0.4f * Noise(x * 0.2f, y * 3.0f, seed, 8.0f)); });
  PaintSolid(c, 80, 60, 176, 130, [](float x, float y) { return SdBox(x, y, 128, 95, 44, 30, 2); }, Hex(m.accent));
  FillEllipse(c, 176, 160, 4, 4, 0, Hex(0xD0B060));
  AddGlow(c, 128, 28, 40, Hex(m.accent), 2.0f);
}

void Shutter(Canvas* c, const MapLook& m, uint32_t seed) {
  Shade(c, [&](float x, float y) {
    float slat = Fract(y / 10.666667f);
    float shade = slat < 0.15f ? 0.5f : 0.85f + 0.15f * Sin(slat * 3.1415927f);
    float dirt = Noise(x, y, seed, 32.0f);
    return Scale(Mix(Hex(m.colour), Hex(0x403830), Smooth(0.5f, 0.9f, dirt) * Clamp01(y / 256.0f)), shade);
  });
}

// Night water: dark swell with a column of reflected light.
void Sea(Canvas* c, const MapLook& m, uint32_t seed) {
  Shade(c, [&](float x, float y) {
    float wave = Noise(x * 0.5f, y * 4.0f, seed, 32.0f);
    float column = Clamp01(1.0f - std::fabs(x - 128.0f) / (40.0f + y * 0.2f));
    float sparkle = Smooth(0.62f, 0.75f, wave) * column;
    return Add(Scale(Hex(m.colour), 0.7f + 0.6f * wave), Scale(Hex(m.accent), sparkle));
  });
}

void Tiles(Canvas* c, const MapLook& m, uint32_t seed) {
  Shade(c, [&](float x, float y) {
    float u = Fract(x / 32.0f), v = Fract(y / 32.0f);
    if (u < 0.05f || v < 0.05f) return Hex(m.accent);
    return Scale(Hex(m.colour), 0.85f + 0.15f * Hash01(static_cast<int>(x / 32), static_cast<int>(y / 32), seed));
  });
}

void Marble(Canvas* c, const MapLook& m, uint32_t seed) {
  Shade(c, [&](float x, float y) {
    float n = Noise(x, y, seed, 64.0f);
    float vein = Pow(std::fabs(Sin((x + y) / 256.0f * 6.2831853f * 2.0f + n * 8.0f)), 0.3f);
    return Mix(Hex(m.accent), Hex(m.colour), vein);
  });
}

void Sky(Canvas* c, const MapLook& m, uint32_t seed) {
  Shade(c, [&](float x, float y) {
    Rgb base = Mix(Hex(m.colour), Hex(m.accent), y / 256.0f);
    float star = Hash01(static_cast<int>(x), static_cast<int>(y), seed);
    return star > 0.996f ? Add(base, Scale(Hex(0xFFFFFF), (star - 0.996f) * 200.0f)) : base;
  });
  FillEllipse(c, 190, 60, 16, 16, 0, Hex(0xF0F0E0));
  AddGlow(c, 190, 60, 60, Hex(0x303050), 2.0f);
}

void Tree(Canvas* c, const MapLook& m, uint32_t seed) {
  Shade(c, [&](float, float y) { return Mix(Hex(0x04060C), Hex(0x0A0C18), y / 256.0f); });
  StrokeSegment(c, 128, 256, 128, 150, 18, Hex(0x2A1A10));
  Rng rng = MakeRng(seed);
  for (int i = 0; i < 90; i++) {
    float a = RngRange(&rng, 0, 6.2831853f), r = RngRange(&rng, 0, 90);
    float x = 128 + Cos(a) * r, y = 110 + Sin(a) * r * 0.8f;
    FillEllipse(c, x, y, RngRange(&rng, 10, 22), RngRange(&rng, 8, 16), a,
                Mix(Hex(m.colour), Hex(m.accent), Clamp01((140.0f - y) / 140.0f + RngRange(&rng, -0.2f, 0.2f))));
  }
}

void Grass(Canvas* c, const MapLook& m, uint32_t seed) {
  Shade(c, [&](float x, float y) {
    float blade = Noise(x * 4.0f, y * 0.5f, seed, 32.0f);
    float clump = Noise(x, y, seed + 1, 64.0f);
    return Mix(Hex(m.colour), Hex(m.accent), Clamp01(blade * 0.7f + clump * 0.6f - 0.2f));
  });
}

void Lamp(Canvas* c, const MapLook& m, uint32_t) {
  Shade(c, [](float, float y) { return Mix(Hex(0x06080E), Hex(0x101420), y / 256.0f); });
  StrokeSegment(c, 128, 256, 128, 60, 8, Hex(m.colour));
  StrokeSegment(c, 128, 60, 170, 44, 6, Hex(m.colour));
  AddGlow(c, 176, 54, 90, Hex(m.accent), 2.5f);
  FillEllipse(c, 176, 50, 14, 6, 0, Hex(0xFFFFF0));
}

void Fence(Canvas* c, const MapLook& m, uint32_t seed) {
  Speckle(c, m.accent, seed, 32.0f, 0.1f);
  // A coarse mesh of thick wire: a fine one turns to glitter at a distance.
  for (int i = -4; i < 8; i++) {
    float o = i * 64.0f;
    StrokeSegment(c, o, 0, o + 256, 256, 6.0f, Hex(m.colour), 0.4f);
    StrokeSegment(c, o + 256, 0, o, 256, 6.0f, Hex(m.colour), 0.4f);
  }
  for (float x : {4.0f, 252.0f}) StrokeSegment(c, x, 0, x, 256, 6, Scale(Hex(m.colour), 0.8f));
}

// A car from the side: body, cabin with windows, wheels, lights.
void Car(Canvas* c, const MapLook& m, uint32_t seed) {
  Shade(c, [&](float, float y) { return Mix(Hex(0x080A10), Hex(0x1A1C22), y / 256.0f); });
  Rgb body = Hex(m.colour);
  std::vector<Pt> shell = {{16, 170}, {20, 140}, {70, 130}, {100, 96}, {170, 94}, {204, 128}, {240, 136}, {244, 170}};
  PaintShape(c, 16, 94, 244, 170, [&](float x, float y) { return SdPolygon(shell, x, y); },
             [&](float x, float y) { return Mix(Scale(body, 1.3f), Scale(body, 0.55f), Clamp01((y - 94.0f) / 76.0f) + 0.1f * Noise(x, y, seed, 64.0f)); });
  FillPolygon(c, {{108, 102}, {136, 102}, {136, 128}, {82, 128}}, Hex(0x2A3A50));
  FillPolygon(c, {{142, 102}, {166, 102}, {192, 128}, {142, 128}}, Hex(0x2A3A50));
  for (float x : {62.0f, 196.0f}) {
    FillEllipse(c, x, 170, 22, 22, 0, Hex(m.accent));
    FillEllipse(c, x, 170, 11, 11, 0, Hex(0x9098A0));
  }
  AddGlow(c, 238, 146, 24, Hex(0xFFF0C0), 2.0f);
  AddGlow(c, 20, 146, 16, Hex(0xFF2020), 2.0f);
  StrokeSegment(c, 30, 146, 230, 146, 1.5f, Scale(body, 1.6f), 0.6f);
}

// Passes of the pre-filter per kind: the ground and the facades are seen
// edge-on along the streets, so their detail is blurred hardest.
int FilterPasses(MapKind kind) {
  switch (kind) {
    case MAP_FACADE: case MAP_GLASS: case MAP_FENCE: return 8;
    case MAP_ASPHALT: case MAP_ROAD: case MAP_CROSSING: case MAP_TILES: case MAP_CONCRETE:
    case MAP_STONE: case MAP_GRAVEL: case MAP_SAND: case MAP_BRICK: return 6;
    default: return 2;
  }
}

}  // namespace

void GenerateCityMaps(AssetOutput* out) {
  uint32_t seed = 500;
  for (const MapLook& m : kLooks) {
    Canvas c = MakeCanvas(256, 256, Hex(0));
    seed += 17;
    switch (m.kind) {
      case MAP_FACADE: Facade(&c, m, seed); break;
      case MAP_GLASS: Glass(&c, m, seed); break;
      case MAP_BRICK: Brick(&c, m, seed); break;
      case MAP_CONCRETE: Speckle(&c, m.colour, seed, 32.0f, 0.25f); break;
      case MAP_ASPHALT: Speckle(&c, m.colour, seed, 16.0f, 0.4f); break;
      case MAP_ROAD: Road(&c, m, seed, 0); break;
      case MAP_CROSSING: Road(&c, m, seed, 1); break;
      case MAP_GRAVEL: Speckle(&c, m.colour, seed, 4.0f, 0.6f); break;
      case MAP_TAR: Tar(&c, m, seed); break;
      case MAP_CORRUGATED: Corrugated(&c, m, seed); break;
      case MAP_PLATE: Plate(&c, m, seed); break;
      case MAP_RUST: Rust(&c, m, seed); break;
      case MAP_NEON: Neon(&c, m, seed); break;
      case MAP_SIGN: Sign(&c, m, seed); break;
      case MAP_DOOR: Door(&c, m, seed); break;
      case MAP_SHUTTER: Shutter(&c, m, seed); break;
      case MAP_SEA: Sea(&c, m, seed); break;
      case MAP_TILES: Tiles(&c, m, seed); break;
      case MAP_STONE: Speckle(&c, m.colour, seed, 32.0f, 0.3f); break;
      case MAP_MARBLE: Marble(&c, m, seed); break;
      case MAP_SKY: Sky(&c, m, seed); break;
      case MAP_SAND: Speckle(&c, m.colour, seed, 8.0f, 0.35f); break;
      case MAP_TREE: Tree(&c, m, seed); break;
      case MAP_GRASS: Grass(&c, m, seed); break;
      case MAP_LAMP: Lamp(&c, m, seed); break;
      case MAP_FENCE: Fence(&c, m, seed); break;
      case MAP_CAR: Car(&c, m, seed); break;
    }
    // Seen from far off and at grazing angles, a texel is often smaller
    // than a pixel: detail finer than two texels would sparkle as the
    // camera moves.
    PreFilter(&c, FilterPasses(m.kind));
    std::string name = std::string("3d2\\maps\\") + m.file;
    OutputJpeg(out, name.c_str(), c, 88);
  }
}
