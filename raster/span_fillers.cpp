// The span family: the per-pixel inner loops. Each draws RasterState.count
// pixels of one row from RasterState.colour, fetching one texel per pixel
// through the material's shift-and-mask addressing (textures repeat both
// ways), and stores its advanced pointers and interpolants back so that the
// next 16-pixel piece of a perspective row continues without a break.
//
// Every interpolant steps on every pixel, also where the depth test failed.
// Depth passes when the new value is greater than or equal to the stored one.
// Products and saturating sums come from MulTable and AddTable, which fix the
// rounding of every output pixel.
#include "raster/raster.h"

namespace {

// Interpolants wrap like the 32-bit registers they model.
inline int32_t Step(int32_t a, int32_t d) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(d));
}

// The addressing constants of the current texture, loaded once per span.
struct Addressing {
  const uint32_t* texels;
  int32_t uShift;
  int32_t uMask;
  int32_t vShift;
  int32_t vMask;
};

inline Addressing LoadAddressing(const RasterStateRecord& s) {
  return {s.texels, s.uShift & 31, s.uMask, s.vShift & 31, s.vMask};
}

inline uint32_t Fetch(const Addressing& a, int32_t u, int32_t v) {
  return a.texels[((u >> a.uShift) & a.uMask) + ((v >> a.vShift) & a.vMask)];
}

inline uint32_t Channel(uint32_t pixel, int shift) { return (pixel >> shift) & 0xFF; }

inline uint32_t Pack(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

// Each channel of the texel scaled by its own light level.
inline uint32_t Light(uint32_t t, int32_t r, int32_t g, int32_t b) {
  return Pack(MulTable[Channel(t, 16) * 256 + ((r >> 16) & 0xFF)],
              MulTable[Channel(t, 8) * 256 + ((g >> 16) & 0xFF)],
              MulTable[Channel(t, 0) * 256 + ((b >> 16) & 0xFF)]);
}

// Saturating add of a texel scaled through one MulTable row.
inline uint32_t AddScaled(uint32_t d, uint32_t t, const uint8_t* row) {
  return Pack(AddTable[Channel(d, 16) * 256 + row[Channel(t, 16)]],
              AddTable[Channel(d, 8) * 256 + row[Channel(t, 8)]],
              AddTable[Channel(d, 0) * 256 + row[Channel(t, 0)]]);
}

// MulTable entry for channel value c at a 16.16 level: row c, column the
// level's integer part, not masked, so a level that strays just below 0 at a triangle's rim reads the
// end of the row before (c = 5 at level -1 gives Mul[4][255]). Only an entry
// beyond either end of the table is held at that end.
inline uint32_t ShadeEntry(uint32_t c, int32_t level) {
  const int32_t i = static_cast<int32_t>(c) * 256 + (level >> 16);
  return MulTable[i < 0 ? 0 : (i > 0xFFFF ? 0xFFFF : i)];
}

}  // namespace

// Calls the selected routine unless the edges have crossed.
void SpanGuard() {
  if (RasterState.count >= 0) RasterState.span();
}

// Plain texture copy with depth: the common opaque surface.
void SpanCopyDepth() {
  RasterStateRecord& s = RasterState;
  const Addressing a = LoadAddressing(s);
  uint32_t* dst = s.colour;
  int32_t* zp = s.depth;
  int32_t u = s.u, v = s.v, z = s.z;
  const int32_t du = s.du, dv = s.dv, dz = s.dz;
  for (int32_t n = s.count; n > 0; --n) {
    if (z >= *zp) {
      *dst = Fetch(a, u, v);
      *zp = z;
    }
    ++dst;
    ++zp;
    u = Step(u, du);
    v = Step(v, dv);
    z = Step(z, dz);
  }
  s.colour = dst;
  s.depth = zp;
  s.u = u;
  s.v = v;
  s.z = z;
}

// Texture copy over whatever is there; the depth buffer is not touched.
void SpanCopy() {
  RasterStateRecord& s = RasterState;
  const Addressing a = LoadAddressing(s);
  uint32_t* dst = s.colour;
  int32_t u = s.u, v = s.v;
  const int32_t du = s.du, dv = s.dv;
  for (int32_t n = s.count; n > 0; --n) {
    *dst++ = Fetch(a, u, v);
    u = Step(u, du);
    v = Step(v, dv);
  }
  s.colour = dst;
  s.u = u;
  s.v = v;
}

// Texel darkened by one light level, no depth. The caller keeps the level
// within 0..255; its integer part is used as it is.
void SpanShade() {
  RasterStateRecord& s = RasterState;
  const Addressing a = LoadAddressing(s);
  uint32_t* dst = s.colour;
  int32_t u = s.u, v = s.v, level = s.level;
  const int32_t du = s.du, dv = s.dv, dlevel = s.dlevel;
  for (int32_t n = s.count; n > 0; --n) {
    const uint32_t t = Fetch(a, u, v);
    *dst++ = Pack(ShadeEntry(Channel(t, 16), level), ShadeEntry(Channel(t, 8), level),
                  ShadeEntry(Channel(t, 0), level));
    u = Step(u, du);
    v = Step(v, dv);
    level = Step(level, dlevel);
  }
  s.colour = dst;
  s.u = u;
  s.v = v;
  s.level = level;
}

// Texel lit per channel with depth. Level 255 gives at most 254.
void SpanRgbDepth() {
  RasterStateRecord& s = RasterState;
  const Addressing a = LoadAddressing(s);
  uint32_t* dst = s.colour;
  int32_t* zp = s.depth;
  int32_t u = s.u, v = s.v, z = s.z, r = s.red, g = s.green, b = s.blue;
  const int32_t du = s.du, dv = s.dv, dz = s.dz, dr = s.dred, dg = s.dgreen, db = s.dblue;
  for (int32_t n = s.count; n > 0; --n) {
    if (z >= *zp) {
      *dst = Light(Fetch(a, u, v), r, g, b);
      *zp = z;
    }
    ++dst;
    ++zp;
    u = Step(u, du);
    v = Step(v, dv);
    z = Step(z, dz);
    r = Step(r, dr);
    g = Step(g, dg);
    b = Step(b, db);
  }
  s.colour = dst;
  s.depth = zp;
  s.u = u;
  s.v = v;
  s.z = z;
  s.red = r;
  s.green = g;
  s.blue = b;
}

// Texel lit per channel, no depth.
void SpanRgb() {
  RasterStateRecord& s = RasterState;
  const Addressing a = LoadAddressing(s);
  uint32_t* dst = s.colour;
  int32_t u = s.u, v = s.v, r = s.red, g = s.green, b = s.blue;
  const int32_t du = s.du, dv = s.dv, dr = s.dred, dg = s.dgreen, db = s.dblue;
  for (int32_t n = s.count; n > 0; --n) {
    *dst++ = Light(Fetch(a, u, v), r, g, b);
    u = Step(u, du);
    v = Step(v, dv);
    r = Step(r, dr);
    g = Step(g, dg);
    b = Step(b, db);
  }
  s.colour = dst;
  s.u = u;
  s.v = v;
  s.red = r;
  s.green = g;
  s.blue = b;
}

// Half texel plus half frame, with depth. Mul[128][c] is c >> 1 for every c,
// so both halves are taken with one shift and mask per word.
void SpanHalfDepth() {
  RasterStateRecord& s = RasterState;
  const Addressing a = LoadAddressing(s);
  uint32_t* dst = s.colour;
  int32_t* zp = s.depth;
  int32_t u = s.u, v = s.v, z = s.z;
  const int32_t du = s.du, dv = s.dv, dz = s.dz;
  for (int32_t n = s.count; n > 0; --n) {
    if (z >= *zp) {
      const uint32_t t = Fetch(a, u, v);
      *dst = ((*dst >> 1) & 0x7F7F7F) + ((t >> 1) & 0x7F7F7F);
      *zp = z;
    }
    ++dst;
    ++zp;
    u = Step(u, du);
    v = Step(v, dv);
    z = Step(z, dz);
  }
  s.colour = dst;
  s.depth = zp;
  s.u = u;
  s.v = v;
  s.z = z;
}

// Lit texel added onto the frame behind the depth test, without writing depth:
// glows and flares that must not hide what is drawn after them.
void SpanAddLevelTest() {
  RasterStateRecord& s = RasterState;
  const Addressing a = LoadAddressing(s);
  uint32_t* dst = s.colour;
  int32_t* zp = s.depth;
  int32_t u = s.u, v = s.v, z = s.z, level = s.level;
  const int32_t du = s.du, dv = s.dv, dz = s.dz, dlevel = s.dlevel;
  for (int32_t n = s.count; n > 0; --n) {
    if (z >= *zp) *dst = AddScaled(*dst, Fetch(a, u, v), MulTable + ((level >> 16) & 0xFF) * 256);
    ++dst;
    ++zp;
    u = Step(u, du);
    v = Step(v, dv);
    z = Step(z, dz);
    level = Step(level, dlevel);
  }
  s.colour = dst;
  s.depth = zp;
  s.u = u;
  s.v = v;
  s.z = z;
  s.level = level;
}

// Lit texel added onto the frame, with depth test and write.
void SpanAddLevelDepth() {
  RasterStateRecord& s = RasterState;
  const Addressing a = LoadAddressing(s);
  uint32_t* dst = s.colour;
  int32_t* zp = s.depth;
  int32_t u = s.u, v = s.v, z = s.z, level = s.level;
  const int32_t du = s.du, dv = s.dv, dz = s.dz, dlevel = s.dlevel;
  for (int32_t n = s.count; n > 0; --n) {
    if (z >= *zp) {
      *dst = AddScaled(*dst, Fetch(a, u, v), MulTable + ((level >> 16) & 0xFF) * 256);
      *zp = z;
    }
    ++dst;
    ++zp;
    u = Step(u, du);
    v = Step(v, dv);
    z = Step(z, dz);
    level = Step(level, dlevel);
  }
  s.colour = dst;
  s.depth = zp;
  s.u = u;
  s.v = v;
  s.z = z;
  s.level = level;
}

// Texel scaled by the opacity row taken at mode selection, added onto the
// frame; no depth.
void SpanAddOpacity() {
  RasterStateRecord& s = RasterState;
  const Addressing a = LoadAddressing(s);
  const uint8_t* row = s.opacityRow;
  uint32_t* dst = s.colour;
  int32_t u = s.u, v = s.v;
  const int32_t du = s.du, dv = s.dv;
  for (int32_t n = s.count; n > 0; --n) {
    *dst = AddScaled(*dst, Fetch(a, u, v), row);
    ++dst;
    u = Step(u, du);
    v = Step(v, dv);
  }
  s.colour = dst;
  s.u = u;
  s.v = v;
}

// The same with depth test and write.
void SpanAddOpacityDepth() {
  RasterStateRecord& s = RasterState;
  const Addressing a = LoadAddressing(s);
  const uint8_t* row = s.opacityRow;
  uint32_t* dst = s.colour;
  int32_t* zp = s.depth;
  int32_t u = s.u, v = s.v, z = s.z;
  const int32_t du = s.du, dv = s.dv, dz = s.dz;
  for (int32_t n = s.count; n > 0; --n) {
    if (z >= *zp) {
      *dst = AddScaled(*dst, Fetch(a, u, v), row);
      *zp = z;
    }
    ++dst;
    ++zp;
    u = Step(u, du);
    v = Step(v, dv);
    z = Step(z, dz);
  }
  s.colour = dst;
  s.depth = zp;
  s.u = u;
  s.v = v;
  s.z = z;
}
