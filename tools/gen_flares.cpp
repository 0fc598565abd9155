// The nine ghost sprites of a lens flare: small discs, rings and a hexagon
// in soft colours on black, since they are added over the frame and tinted
// by the light's colour. Headerless RGB, row by row from the top.
#include "image/asset_names.h"
#include "tools/generator.h"

namespace {

enum FlareShape { FLARE_DISC, FLARE_RING, FLARE_HEX, FLARE_HALO };

struct FlareLook {
  FlareShape shape;
  uint32_t colour;
};

// In the order of the flare table.
const FlareLook kLooks[9] = {
    {FLARE_HALO, 0xC08040}, {FLARE_DISC, 0x4070D0}, {FLARE_DISC, 0x50C060},
    {FLARE_DISC, 0xF0F0E0}, {FLARE_HEX, 0x9050C0},  {FLARE_RING, 0xD06040},
    {FLARE_DISC, 0xE0C060}, {FLARE_RING, 0x40B0B0}, {FLARE_DISC, 0xA060E0},
};

float HexDistance(float x, float y) {
  x = std::fabs(x);
  y = std::fabs(y);
  return std::max(x * 0.8660254f + y * 0.5f, y);
}

}  // namespace

std::vector<uint8_t> FlareSpriteBytes(int index, int width, int height) {
  const FlareLook& look = kLooks[index];
  Rgb colour = Hex(look.colour);
  std::vector<uint8_t> bytes;
  float cx = width * 0.5f, cy = height * 0.5f, r = std::min(width, height) * 0.5f;
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) {
      float dx = (x + 0.5f - cx) / r, dy = (y + 0.5f - cy) / r;
      float d = std::sqrt(dx * dx + dy * dy), k = 0.0f;
      switch (look.shape) {
        // Each shape is dark by the time it reaches the sprite's edge.
        case FLARE_DISC: k = Clamp01((0.8f - d) * 3.5f) * (0.55f + 0.45f * (1.0f - d)); break;
        case FLARE_RING: k = Clamp01(1.0f - std::fabs(d - 0.55f) * 5.0f) + 0.15f * Clamp01(0.8f - d); break;
        case FLARE_HEX: k = Clamp01((0.75f - HexDistance(dx, dy)) * 4.0f) * (0.5f + 0.5f * d); break;
        case FLARE_HALO:
          k = Clamp01(1.0f - std::fabs(d - 0.78f) * 7.0f) * 0.9f + 0.25f * Clamp01(1.0f - d) * (1.0f - d);
          break;
      }
      Rgb p = Scale(colour, k);
      uint32_t packed = PackRgb(p);
      bytes.push_back(static_cast<uint8_t>(packed >> 16));
      bytes.push_back(static_cast<uint8_t>(packed >> 8));
      bytes.push_back(static_cast<uint8_t>(packed));
    }
  return bytes;
}

void GenerateFlares(AssetOutput* out) {
  for (int i = 0; i < 9; i++) {
    const AssetPicture& f = kFlareSprites[i];
    OutputBytes(out, f.name, FlareSpriteBytes(i, f.width, f.height));
  }
}
