// The textures directory and the dance floor's textures. Textures that the
// warps and the rasterizer address with wrap-around are built from periodic
// functions and tileable noise, so they repeat without a seam.
#include "image/asset_names.h"
#include "tools/generator.h"

namespace {

constexpr float kTau = 6.2831853f;

Canvas Texture(const AssetPicture& a) { return MakeCanvas(a.width, a.height, Hex(0)); }

// Colour ramp through evenly spaced stops.
Rgb Ramp(const std::vector<uint32_t>& stops, float t) {
  t = Clamp01(t) * (stops.size() - 1);
  size_t i = std::min(static_cast<size_t>(t), stops.size() - 2);
  return Mix(Hex(stops[i]), Hex(stops[i + 1]), t - i);
}

Canvas Fabric(const AssetPicture& a, uint32_t base, uint32_t sheen, uint32_t seed) {
  Canvas c = Texture(a);
  float w = static_cast<float>(a.width);
  Shade(&c, [&](float x, float y) {
    float weave = 0.5f + 0.25f * Sin(x * kTau / 4.0f) * Sin(y * kTau / 4.0f);
    float fold = Fbm(x / w * 4.0f, y / w * 4.0f, seed, 3, 4);
    float light = 0.5f + 0.5f * Sin((x + y * 0.3f) / w * kTau * 2.0f + fold * 3.0f);
    return Mix(Scale(Hex(base), 0.85f + 0.3f * weave), Hex(sheen), 0.45f * light * light);
  });
  return c;
}

Canvas Skin() {
  Canvas c = Texture(kTexSkin);
  Shade(&c, [](float x, float y) {
    float n = Fbm(x / 16.0f, y / 16.0f, 3, 4, 8);
    float pore = Hash01(static_cast<int>(x), static_cast<int>(y), 9);
    return Scale(Mix(Hex(0xE9B998), Hex(0xD79C7E), n), 0.97f + 0.04f * pore);
  });
  return c;
}

Canvas Glove() {
  Canvas c = Texture(kTexArmGlove);
  Shade(&c, [](float x, float y) {
    float n = Fbm(x / 32.0f, y / 16.0f, 41, 3, 4);
    float band = Pow(0.5f + 0.5f * Sin(x / 128.0f * kTau * 2.0f + n * 2.5f), 6.0f);
    Rgb base = Mix(Hex(0x120A18), Hex(0x8A6AAE), band * 0.9f);
    bool stitch = std::fabs(x - 64.0f) < 0.8f && static_cast<int>(y) % 6 < 3;
    return stitch ? Hex(0x5A4A6A) : base;
  });
  return c;
}

// Satin bodice panel; back adds lacing, front a row of sequins.
Canvas Bodice(const AssetPicture& a, int back) {
  Canvas c = Fabric(a, 0x8A1424, 0xF06070, back ? 52 : 51);
  for (int x = 16; x < 128; x += 24)  // boning seams
    StrokeSegment(&c, static_cast<float>(x), 0, static_cast<float>(x), 128, 2.0f, Hex(0x400810), 0.6f);
  if (back) {
    for (int i = 0; i < 8; i++) {
      float y0 = 6.0f + i * 15.0f, y1 = y0 + 15.0f;
      StrokeSegment(&c, 56, y0, 72, y1, 2.5f, Hex(0xE8C060));
      StrokeSegment(&c, 72, y0, 56, y1, 2.5f, Hex(0xC89840));
      FillEllipse(&c, 56, y0, 2.5f, 2.5f, 0, Hex(0x201008));
      FillEllipse(&c, 72, y0, 2.5f, 2.5f, 0, Hex(0x201008));
    }
  } else {
    Rng rng = MakeRng(53);
    for (int i = 0; i < 120; i++) {
      float x = RngRange(&rng, 0, 128), y = RngRange(&rng, 0, 128);
      FillEllipse(&c, x, y, 2.2f, 2.2f, 0, Hex(0xFFD0A0), RngRange(&rng, 0.25f, 0.6f));
    }
    StrokeSegment(&c, 64, 0, 64, 128, 3.0f, Hex(0xE8C060));
  }
  return c;
}

// Pleated skirt; the front carries a belt with a buckle.
Canvas Skirt(const AssetPicture& a, int front) {
  Canvas c = Texture(a);
  Shade(&c, [](float x, float y) {
    float pleat = Fract(x / 16.0f);
    float shade = pleat < 0.5f ? 0.6f + 0.8f * pleat : 1.0f - 0.8f * (pleat - 0.5f);
    return Scale(Mix(Hex(0x18080E), Hex(0x6A1424), y / 128.0f), shade * 1.2f);
  });
  for (int y = 0; y < 14; y++)
    for (int x = 0; x < 128; x++) At(&c, x, y) = Mix(Hex(0x0C0808), Hex(0x302020), y < 2 || y > 11 ? 1.0f : 0.0f);
  if (front) {
    PaintSolid(&c, 50, 0, 78, 14, [](float x, float y) { return std::fabs(SdBox(x, y, 64, 7, 12, 6, 2)) - 1.5f; },
               Hex(0xF0C860));
  } else {
    FillEllipse(&c, 54, 10, 10, 5, 0.4f, Hex(0x8A1424));
    FillEllipse(&c, 74, 10, 10, 5, -0.4f, Hex(0x8A1424));
    FillEllipse(&c, 64, 9, 4, 4, 0, Hex(0xA02030));
  }
  return c;
}

// Highlight map for environment mapping, also the pattern of the stage's
// projector lights: a broad warm-white pool with a bright core, falling off
// smoothly to a faintly blue rim, so a lit surface keeps most of its colour.
Canvas Phong() {
  Canvas c = Texture(kTexPhong);
  Shade(&c, [](float x, float y) {
    float d = Hypot(x - 128.0f, y - 128.0f) / 128.0f;
    float diffuse = Clamp01(1.0f - d * d);
    float highlight = Pow(Clamp01(1.0f - d), 8.0f);
    return Add(Add(Scale(Hex(0xC8C0B4), diffuse * diffuse * (3.0f - 2.0f * diffuse)),
                   Scale(Hex(0x182030), 1.0f - diffuse)),
               Scale(Hex(0xFFFFFF), highlight * 0.5f));
  });
  return c;
}

Canvas Panel() {
  Canvas c = Texture(kTexCube);
  Shade(&c, [](float x, float y) {
    float n = Fbm(x / 32.0f, y / 32.0f, 61, 4, 8);
    float edge = std::min(std::min(x, 256.0f - x), std::min(y, 256.0f - y));
    Rgb metal = Mix(Hex(0x404A5A), Hex(0x8894A8), n);
    if (edge < 10.0f) metal = Scale(metal, edge < 3.0f ? 1.5f : 0.6f);
    float ring = std::fabs(Hypot(x - 128.0f, y - 128.0f) - 70.0f);
    return Add(metal, Scale(Hex(0x30C0FF), Clamp01(1.0f - ring / 6.0f)));
  });
  for (float x : {20.0f, 236.0f})
    for (float y : {20.0f, 236.0f}) FillEllipse(&c, x, y, 5, 5, 0, Hex(0xC0C8D8));
  TextStyle s = {Hex(0xE0F4FF), Hex(0x60B0E0), Hex(0x0A1420), 2, Hex(0), 0};
  DrawText(&c, "K", 128 - 25, 128 - 35, 10, s);
  return c;
}

// Smooth tileable colour fields for the warps and the blob.
Canvas ColourField(const AssetPicture& a, uint32_t seed, const std::vector<uint32_t>& ramp, float cells) {
  Canvas c = Texture(a);
  int period = static_cast<int>(cells);
  Shade(&c, [&](float x, float y) {
    float u = x / a.width * cells, v = y / a.height * cells;
    float warp = Fbm(u, v, seed + 1, 3, period);
    float t = Fbm(u + warp * 2.0f, v - warp * 2.0f, seed, 4, period);
    return Ramp(ramp, Smooth(0.25f, 0.75f, t));
  });
  return c;
}

// Metaball surface maps: a pool of light in one tint, brightest a little
// above and left of the centre, dark towards the edges. Built from raised
// cosines of the texel position, so the map is smooth and repeats without a
// seam: the lens warps read it with wrap-around addressing.
Canvas MetaTexture(const AssetPicture& a, uint32_t dark, uint32_t mid, uint32_t light) {
  Canvas c = Texture(a);
  Shade(&c, [&](float x, float y) {
    float cx = 0.5f - 0.5f * Cos(x / 256.0f * kTau), cy = 0.5f - 0.5f * Cos(y / 256.0f * kTau);
    float hx = 0.5f - 0.5f * Cos((x + 16.0f) / 256.0f * kTau);
    float hy = 0.5f - 0.5f * Cos((y + 24.0f) / 256.0f * kTau);
    float body = cx * cy, spot = Pow(hx * hy, 6.0f);
    return Add(Ramp({dark, mid, light}, 0.15f + 0.85f * body), Scale(Hex(0xFFFFFF), 0.35f * spot));
  });
  return c;
}

// Periodic plasma: every term repeats over 256 pixels.
Canvas Plasma() {
  Canvas c = Texture(kTexCmap1);
  Shade(&c, [](float x, float y) {
    float u = x / 256.0f * kTau, v = y / 256.0f * kTau;
    float p = Sin(u) + Sin(v * 2.0f + Sin(u)) + Sin(u + v) * 0.7f + Sin(3.0f * u - 2.0f * v) * 0.4f;
    float t = 0.5f + p / 6.2f;
    return Rgb{127.5f + 127.5f * Sin(t * kTau * 1.0f), 127.5f + 127.5f * Sin(t * kTau * 1.0f + 2.1f),
               127.5f + 127.5f * Sin(t * kTau * 1.0f + 4.2f)};
  });
  return c;
}

Canvas Flower() {
  Canvas c = Texture(kTexFlower);
  for (int i = 0; i < 6; i++) {
    float a = i * kTau / 6.0f;
    float px = 32 + Cos(a) * 15, py = 32 + Sin(a) * 15;
    PaintShape(&c, px - 16, py - 16, px + 16, py + 16,
               [=](float x, float y) { return SdEllipse(x, y, px, py, 15, 8, a); },
               [=](float x, float y) {
                 float d = Hypot(x - 32, y - 32) / 30.0f;
                 return Mix(Hex(0xFFF0F8), Hex(0xE03C8C), d);
               });
  }
  FillEllipse(&c, 32, 32, 8, 8, 0, Hex(0xF8C020));
  FillEllipse(&c, 30, 30, 3, 3, 0, Hex(0xFFF0A0), 0.8f, 2.0f);
  return c;
}

Canvas CatwalkSide() {
  Canvas c = Texture(kTexCatSide);
  Shade(&c, [](float x, float y) {
    // Velvet hung in broad folds, with a sheen across its upper part.
    float gloss = Pow(Clamp01(1.0f - std::fabs(y - 80.0f) / 90.0f), 2.0f);
    float fold = 0.8f + 0.2f * Sin(x / 256.0f * kTau * 8.0f);
    Rgb base = Scale(Add(Hex(0x9684AC), Scale(Hex(0x8A8CA8), gloss)), fold);
    // Broad satin trims rather than thin chrome: the far walls show them
    // a pixel or two tall, where a hard bright line would crawl.
    float trim = std::max(Exp(-Pow(std::fabs(y - 20.0f) / 7.0f, 2.0f)),
                          Exp(-Pow(std::fabs(y - 236.0f) / 7.0f, 2.0f)));
    return Mix(base, Hex(0xB0B6C8), 0.55f * trim);
  });
  // Few, broad wall lights: small bright points sparkle in the distance.
  for (int i = 0; i < 4; i++) AddGlow(&c, 32.0f + i * 64.0f, 128.0f, 24.0f, Hex(0xC8BC98), 2.0f);
  return c;
}

// Gold ornament: broad, faint diamonds in a narrow range of golds. The
// trims it covers are a few pixels wide on screen, where a fine or stepped
// pattern of dark and bright gold would sparkle (softened again before it is
// written, see below).
Canvas Gold() {
  Canvas c = Texture(kTexGold);
  Shade(&c, [](float x, float y) {
    float u = Fract(x / 64.0f) - 0.5f, v = Fract(y / 64.0f) - 0.5f;
    float diamond = std::fabs(u) + std::fabs(v);
    float level = 0.48f + 0.1f * Cos(diamond * kTau);
    return Ramp({0x4A2C08, 0xB07818, 0xF0C850, 0xFFF0B0}, level);
  });
  return c;
}

// Chrome pole: a cylinder's shading across, constant along its length.
Canvas Pole() {
  Canvas c = Texture(kTexPole);
  Shade(&c, [](float x, float y) {
    float s = (x - 32.0f) / 32.0f;
    float n = std::sqrt(Clamp01(1.0f - s * s));
    float highlight = Pow(Clamp01(1.0f - std::fabs(s + 0.35f) * 4.0f), 2.0f);
    float ring = Fract(y / 64.0f) < 0.04f ? 0.6f : 1.0f;
    return Scale(Add(Scale(Hex(0x8890A0), n), Scale(Hex(0xFFFFFF), highlight)), ring);
  });
  return c;
}

Canvas Rope() {
  Canvas c = Texture(kTexRope);
  Shade(&c, [](float x, float y) {
    float strand = Fract((x + y) / 21.333334f);
    float round = Sin(strand * 3.1415927f);
    float fibre = Fbm((x - y) / 4.0f, (x + y) / 32.0f, 81, 3, 0);
    return Scale(Mix(Hex(0x6A4E2A), Hex(0xE0C890), round), 0.75f + 0.35f * fibre);
  });
  return c;
}

Canvas CatwalkFloor() {
  Canvas c = Texture(kTexCatFloor);
  Shade(&c, [](float x, float y) {
    float gx = Fract(x / 64.0f), gy = Fract(y / 64.0f);
    bool grout = gx < 0.04f || gy < 0.04f;
    float refl = Pow(Clamp01(1.0f - std::fabs(Fract((x - y * 0.4f) / 128.0f) - 0.5f) * 5.0f), 2.0f);
    Rgb tile = Add(Hex(0x4A4858), Scale(Hex(0x8088A0), refl * 0.6f));
    if (grout) tile = Mix(tile, Hex(0x24242C), 0.5f);
    // The runway's centre line, with soft sides: the hall floor repeats it
    // far off, where a hard-edged line would crawl.
    return Mix(tile, Hex(0xE8E8F0), 0.7f * Clamp01(1.0f - std::fabs(x - 128.0f) / 8.0f));
  });
  return c;
}

// The lens glow: a bright core, a soft halo and faint rays, black at the edge.
Canvas LightGlow() {
  Canvas c = Texture(kTexLight);
  Shade(&c, [](float x, float y) {
    float dx = x - 64.0f, dy = y - 64.0f, d = Hypot(dx, dy) / 64.0f;
    float a = Atan2(dy, dx);
    float rays = Pow(std::fabs(Cos(a * 6.0f)), 20.0f) * Clamp01(1.0f - d) * 0.5f;
    float glow = Pow(Clamp01(1.0f - d), 2.5f) + Pow(Clamp01(1.0f - d), 12.0f);
    return Scale(Hex(0xFFFFFF), Clamp01(glow + rays) * 1.0f);
  });
  return c;
}

Canvas FloorGradient() {
  Canvas c = MakeCanvas(256, 256, Hex(0));
  Shade(&c, [](float, float y) { return Ramp({0x200838, 0x6A1E6A, 0xE05A48, 0xF8B040}, y / 256.0f); });
  return c;
}

Canvas Parquet() {
  Canvas c = MakeCanvas(256, 256, Hex(0));
  Shade(&c, [](float x, float y) {
    int bx = static_cast<int>(x / 32.0f), by = static_cast<int>(y / 32.0f);
    bool across = (bx + by) & 1;
    float grain = Fbm(across ? x / 3.0f : x / 40.0f, across ? y / 40.0f : y / 3.0f, 91 + bx * 7 + by * 13, 3, 0);
    float gx = Fract(x / 32.0f), gy = Fract(y / 32.0f);
    bool seam = gx < 0.03f || gy < 0.03f;
    Rgb wood = Mix(Hex(0x5A3018), Hex(0xB87840), grain);
    return seam ? Hex(0x2A1408) : wood;
  });
  return c;
}

Canvas Step() {
  Canvas c = MakeCanvas(256, 256, Hex(0));
  Shade(&c, [](float x, float y) {
    if (y < 24.0f) return Fract((x + y) / 32.0f) < 0.5f ? Hex(0xF0C020) : Hex(0x181818);
    float n = Fbm(x / 16.0f, y / 16.0f, 95, 3, 16);
    return Mix(Hex(0x303440), Hex(0x606878), n);
  });
  for (int i = 0; i < 8; i++) AddGlow(&c, 16.0f + i * 32.0f, 40.0f, 10.0f, Hex(0x80C0FF), 2.0f);
  return c;
}

// Light-up dance floor: a 4 x 4 grid of glowing coloured squares.
Canvas DanceFloorTiles() {
  Canvas c = MakeCanvas(256, 256, Hex(0));
  const uint32_t colours[4] = {0xFF3080, 0x30C0FF, 0xFFD030, 0x60FF80};
  Shade(&c, [&](float x, float y) {
    int tx = static_cast<int>(x / 64.0f), ty = static_cast<int>(y / 64.0f);
    float u = Fract(x / 64.0f) - 0.5f, v = Fract(y / 64.0f) - 0.5f;
    float edge = std::max(std::fabs(u), std::fabs(v));
    float glow = 1.0f - Smooth(0.1f, 0.46f, edge);
    Rgb colour = Hex(colours[(tx * 3 + ty * 2 + tx * ty) & 3]);
    return edge > 0.47f ? Hex(0x101018) : Add(Scale(colour, 0.35f + 0.65f * glow), Scale(Hex(0xFFFFFF), 0.3f * glow * glow));
  });
  return c;
}

Canvas Stone(uint32_t seed) {
  Canvas c = MakeCanvas(256, 256, Hex(0));
  Shade(&c, [seed](float x, float y) {
    int row = static_cast<int>(y / 64.0f);
    float bx = x + (row & 1) * 64.0f;
    float u = Fract(bx / 128.0f), v = Fract(y / 64.0f);
    float joint = std::min(std::min(u * 128.0f, (1.0f - u) * 128.0f), std::min(v * 64.0f, (1.0f - v) * 64.0f));
    float n = Fbm(x / 16.0f, y / 16.0f, seed, 5, 16);
    Rgb stone = Mix(Hex(0x5A5650), Hex(0xA8A298), n);
    return Scale(stone, 0.55f + 0.45f * Smooth(0.0f, 4.0f, joint));
  });
  return c;
}

}  // namespace

void GenerateTextures(AssetOutput* out) {
  OutputJpeg(out, kTexBlack.name, Fabric(kTexBlack, 0x101016, 0x40404C, 31), 90);
  OutputJpeg(out, kTexSkin.name, Skin(), 90);
  OutputJpeg(out, kTexArmGlove.name, Glove(), 90);
  // The sequins and seams are softened: the bodice is seen small and moving.
  Canvas bodice = Bodice(kTexChestFront, 0);
  PreFilter(&bodice, 1);
  OutputJpeg(out, kTexChestFront.name, bodice, 90);
  OutputJpeg(out, kTexChestBack.name, Bodice(kTexChestBack, 1), 90);
  OutputJpeg(out, kTexHipFront.name, Skirt(kTexHipFront, 1), 90);
  OutputJpeg(out, kTexHipBack.name, Skirt(kTexHipBack, 0), 90);
  OutputJpeg(out, kTexPhong.name, Phong(), 92);
  OutputJpeg(out, kTexCube.name, Panel(), 90);
  OutputJpeg(out, kTexBlob.name, ColourField(kTexBlob, 101, {0x200830, 0xC02870, 0xFF9040, 0xFFF0C0}, 4.0f), 90);
  OutputJpeg(out, kTexMeta1.name, MetaTexture(kTexMeta1, 0x301800, 0xC08020, 0xFFF0C0), 90);
  OutputJpeg(out, kTexMeta2.name, MetaTexture(kTexMeta2, 0x001830, 0x2090C0, 0xD0F8FF), 90);
  OutputJpeg(out, kTexMeta3.name, MetaTexture(kTexMeta3, 0x300020, 0xC02090, 0xFFD0F0), 90);
  OutputJpeg(out, kTexMeta4.name, MetaTexture(kTexMeta4, 0x102000, 0x60C020, 0xF0FFD0), 90);
  OutputJpeg(out, kTexCmap1.name, Plasma(), 92);
  OutputPcx(out, kTexFlower.name, Flower());
  // The hall's walls and floor repeat far into the distance behind the
  // runway: filtered so their pattern does not shimmer there.
  Canvas side = CatwalkSide();
  PreFilter(&side, 3);
  OutputJpeg(out, kTexCatSide.name, side, 90);
  // The gold's band edges are softened so the thin trims do not sparkle.
  Canvas gold = Gold();
  PreFilter(&gold, 6);
  OutputTga(out, kTexGold.name, gold, 1);
  OutputTga(out, kTexPole.name, Pole(), 0);
  OutputJpeg(out, kTexRope.name, Rope(), 90);
  Canvas floor = CatwalkFloor();
  PreFilter(&floor, 4);
  OutputJpeg(out, kTexCatFloor.name, floor, 90);
  OutputJpeg(out, kTexLight.name, LightGlow(), 92);

  OutputJpeg(out, kFloorMaps[0].name, FloorGradient(), 90);
  // The dance floor's surfaces are seen at grazing angles: filtered so no
  // detail is finer than the texel pitch at the cameras' distances.
  const Canvas floors[4] = {Parquet(), Step(), DanceFloorTiles(), Stone(97)};
  for (int i = 0; i < 4; i++) {
    Canvas c = floors[i];
    PreFilter(&c, i == 0 ? 3 : 1);
    OutputJpeg(out, kFloorMaps[i + 1].name, c, 90);
  }
}
