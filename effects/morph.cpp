#include "effects/morph.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "display/toolkit.h"
#include "effects/effects.h"
#include "effects/frames.h"
#include "effects/slots.h"
#include "image/asset_names.h"
#include "image/data_file.h"
#include "platform/system.h"
#include "show/fade.h"

const char kMorphMagic[kMorphMagicSize] = "QET HAR KULT MORPHEPROGRAM";
MorphGrid Morph;
int32_t RowOffsetTable[240];
int32_t MorphPictureHeight;

namespace {

bool morphFirstCall = true;

// A file larger than this is read only this far; no grid needs more.
constexpr size_t kMorphReadLimit = 1 << 20;

int32_t ReadInt32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}

void WriteInt32(uint8_t* p, int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Float to int, truncating, with values out of range (and NaN) held at the
// ends of the int range instead of undefined.
inline int32_t TruncToInt(float f) {
  if (!(f > -2147483648.0f)) return INT_MIN;
  if (f >= 2147483648.0f) return INT_MAX;
  return static_cast<int32_t>(f);
}

inline int32_t FloatBits(float f) {
  int32_t bits;
  std::memcpy(&bits, &f, 4);
  return bits;
}

// Compared as 32-bit patterns, so every negative value (and negative NaN)
// counts as below 1.0 and a positive NaN as above the upper bounds.
void ClampVertex(MorphVertex* p) {
  static const int32_t one = FloatBits(1.0f);
  static const int32_t right = FloatBits(318.0f);
  static const int32_t bottom = FloatBits(239.0f);
  int32_t xb = FloatBits(p->x), yb = FloatBits(p->y);
  if (xb < one)
    p->x = 0.0f;
  else if (xb > right)
    p->x = 320.0f;
  if (yb < one)
    p->y = 0.0f;
  else if (yb >= bottom)
    p->y = 240.0f;
}

inline int ClampInt(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

int MorphFileParse(const uint8_t* data, size_t size, MorphGrid* grid, const char** message) {
  if (size < static_cast<size_t>(kMorphMagicSize) ||
      std::memcmp(data, kMorphMagic, kMorphMagicSize) != 0) {
    *message = "not a morph file";
    return MORPH_FILE_BAD_MAGIC;
  }
  if (size < static_cast<size_t>(kMorphHeaderSize)) {
    *message = "morph file ends in its header";
    return MORPH_FILE_SHORT;
  }
  const int32_t columns = ReadInt32(data + kMorphMagicSize);
  const int32_t rows = ReadInt32(data + kMorphMagicSize + 4);
  const bool cut = columns > kMorphColumns || rows > kMorphRows || columns < 0 || rows < 0;
  const int64_t keptColumns = ClampInt(columns, 0, kMorphColumns);
  const int64_t keptRows = ClampInt(rows, 0, kMorphRows);
  bool shortFile = false;
  // Records lie row by row at their declared stride; those past the grid's
  // room are skipped, those past the end of the data are missing.
  for (int64_t r = 0; r < keptRows && !shortFile; ++r) {
    for (int64_t c = 0; c < keptColumns; ++c) {
      uint64_t offset = kMorphHeaderSize + static_cast<uint64_t>(kMorphRecordSize) *
                                               static_cast<uint64_t>(r * columns + c);
      int32_t* fields[4] = {&grid->first[r][c].x, &grid->first[r][c].y, &grid->second[r][c].x,
                            &grid->second[r][c].y};
      for (int f = 0; f < 4; ++f) {
        if (offset + 4 > size) {
          shortFile = true;
          break;
        }
        *fields[f] = ReadInt32(data + offset);
        offset += 4;
      }
      if (shortFile) break;
    }
  }
  if (shortFile) {
    *message = "morph file ends before its last point";
    return MORPH_FILE_SHORT;
  }
  if (cut) {
    *message = "morph file declares a grid larger than 9 x 7; only what fits was read";
    return MORPH_FILE_CUT;
  }
  *message = "morph file read";
  return MORPH_FILE_OK;
}

void MorphFileEncode(const MorphGrid& grid, uint8_t* out) {
  std::memcpy(out, kMorphMagic, kMorphMagicSize);
  WriteInt32(out + kMorphMagicSize, kMorphColumns);
  WriteInt32(out + kMorphMagicSize + 4, kMorphRows);
  uint8_t* p = out + kMorphHeaderSize;
  for (int r = 0; r < kMorphRows; ++r) {
    for (int c = 0; c < kMorphColumns; ++c, p += kMorphRecordSize) {
      WriteInt32(p, grid.first[r][c].x);
      WriteInt32(p + 4, grid.first[r][c].y);
      WriteInt32(p + 8, grid.second[r][c].x);
      WriteInt32(p + 12, grid.second[r][c].y);
    }
  }
}

int LoadMorphFile(const char* path) {
  // The show goes on whatever the file holds, but anything short of a
  // whole grid is said on standard error with the file's full path.
  std::string reason;
  FILE* file = OpenDataFile(path, &reason);
  if (!file) {
    ReportDataFile(path, reason + ": the morph grid stays as it was");
    return MORPH_FILE_MISSING;
  }
  // Room for what the file holds (up to the limit), not the limit itself:
  // a grid is about a kilobyte.
  long length = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
  std::rewind(file);
  size_t room = length >= 0 && size_t(length) < kMorphReadLimit ? size_t(length) + 1 : kMorphReadLimit;
  std::vector<uint8_t> data(room);
  size_t size = std::fread(data.data(), 1, data.size(), file);
  std::fclose(file);
  const char* message = nullptr;
  int status = MorphFileParse(data.data(), size, &Morph, &message);
  if (status != MORPH_FILE_OK) ReportDataFile(path, message);
  return status;
}

int SaveMorphFile(const char* path, const MorphGrid& grid) {
  FILE* file = PlatformOpenAsset(path, "wb");
  if (!file) return 0;
  uint8_t image[kMorphFileSize];
  MorphFileEncode(grid, image);
  size_t written = std::fwrite(image, 1, sizeof image, file);
  int closed = std::fclose(file);
  return written == sizeof image && closed == 0 ? 1 : 0;
}

void MorphSetup() {
  for (int y = 0; y < 240; ++y) RowOffsetTable[y] = y * 320;
  MorphPictureHeight = 240;
}

// Affine filler: texture coordinates step in 16.16 across a scanline, edges
// are walked in float. Vertices are clamped to the frame rather than
// clipped, so nothing is ever written outside it; the texel is held inside
// the source as well, so a grid that points off the picture smears its edge
// instead of reading past it.
void DrawMorphTriangle(MorphVertex* a, MorphVertex* b, MorphVertex* c, uint32_t* target,
                       const uint32_t* source) {
  ClampVertex(a);
  ClampVertex(b);
  ClampVertex(c);
  MorphVertex* p0 = a;
  MorphVertex* p1 = b;
  MorphVertex* p2 = c;
  if (p2->y < p1->y) std::swap(p1, p2);
  if (p2->y < p0->y) std::swap(p0, p2);
  if (p1->y < p0->y) std::swap(p0, p1);

  const int y0 = static_cast<int>(std::ceil(p0->y));
  const int y1 = static_cast<int>(std::ceil(p1->y));
  const int y2 = static_cast<int>(std::ceil(p2->y));
  if (y0 == y1 && y1 == y2) return;

  const float d = (p2->x - p0->x) * (p1->y - p0->y) - (p1->x - p0->x) * (p2->y - p0->y);
  if (d == 0.0f) return;

  const float dudx = ((p1->y - p0->y) * (p2->u - p0->u) - (p2->y - p0->y) * (p1->u - p0->u)) / d;
  const float dvdx = ((p1->y - p0->y) * (p2->v - p0->v) - (p2->y - p0->y) * (p1->v - p0->v)) / d;
  const float dudy = ((p2->x - p0->x) * (p1->u - p0->u) - (p1->x - p0->x) * (p2->u - p0->u)) / d;
  const float dvdy = ((p2->x - p0->x) * (p1->v - p0->v) - (p1->x - p0->x) * (p2->v - p0->v)) / d;
  const int32_t dudxFixed = TruncToInt(dudx * 65536.0f);
  const int32_t dvdxFixed = TruncToInt(dvdx * 65536.0f);

  float slope02 = 0.0f, slope01 = 0.0f, slope12 = 0.0f;
  if (p2->y - p0->y > 0.0f) slope02 = (p2->x - p0->x) / (p2->y - p0->y);
  if (p1->y - p0->y > 0.0f) slope01 = (p1->x - p0->x) / (p1->y - p0->y);
  if (p2->y - p1->y > 0.0f) slope12 = (p2->x - p1->x) / (p2->y - p1->y);

  bool longRight;
  if (p0->y == p1->y)
    longRight = p0->x > p1->x;
  else if (p1->y == p2->y)
    longRight = p2->x > p1->x;
  else
    longRight = slope02 > slope01;

  // Edge positions at the first scanline centre each edge covers.
  float xLong = p0->x + (static_cast<float>(y0) - p0->y) * slope02;
  float xShort = p0->x + (static_cast<float>(y0) - p0->y) * slope01;
  float slopeShort = slope01;
  // Texture position along the left edge, and its per-scanline step.
  float uLeft = 0.0f, vLeft = 0.0f, uStep = 0.0f, vStep = 0.0f;
  auto startLeft = [&](const MorphVertex* from, int y, float slope) {
    float dy = static_cast<float>(y) - from->y;
    uStep = dudy + slope * dudx;
    vStep = dvdy + slope * dvdx;
    uLeft = from->u + dy * uStep;
    vLeft = from->v + dy * vStep;
  };
  if (longRight)
    startLeft(p0, y0, slope01);
  else
    startLeft(p0, y0, slope02);

  for (int y = y0; y < y2; ++y) {
    if (y == y1) {
      xShort = p1->x + (static_cast<float>(y1) - p1->y) * slope12;
      slopeShort = slope12;
      if (longRight) startLeft(p1, y1, slope12);
    }
    const float xl = longRight ? xShort : xLong;
    const float xr = longRight ? xLong : xShort;
    const int left = ClampInt(TruncToInt(std::ceil(xl)), 0, 320);
    const int right = ClampInt(TruncToInt(std::ceil(xr)), 0, 320);
    const int count = right - left;
    if (count > 0 && y >= 0 && y < 240) {
      const float prestep = static_cast<float>(left) - xl;
      uint32_t u = static_cast<uint32_t>(TruncToInt((uLeft + prestep * dudx) * 65536.0f));
      uint32_t v = static_cast<uint32_t>(TruncToInt((vLeft + prestep * dvdx) * 65536.0f));
      uint32_t* out = target + y * 320 + left;
      for (int i = 0; i < count; ++i) {
        int column = ClampInt(static_cast<int32_t>(u) >> 16, 0, 319);
        int row = ClampInt(static_cast<int32_t>(v) >> 16, 0, 239);
        out[i] = source[RowOffsetTable[row] + column];
        u += static_cast<uint32_t>(dudxFixed);
        v += static_cast<uint32_t>(dvdxFixed);
      }
    }
    xLong += slope02;
    xShort += slopeShort;
    uLeft += uStep;
    vLeft += vStep;
  }
}

namespace {

// Warps source into target along the grid: screen corner = from + w x (to -
// from), texture corner = from; from and to are the two pictures' points.
void WarpPass(uint32_t* target, const uint32_t* source, float w, bool fromSecond) {
  auto corner = [&](int r, int c) {
    const MorphPoint& a = Morph.first[r][c];
    const MorphPoint& b = Morph.second[r][c];
    float ax = static_cast<float>(a.x), ay = static_cast<float>(a.y);
    float bx = static_cast<float>(static_cast<int64_t>(b.x) - 320), by = static_cast<float>(b.y);
    MorphVertex v;
    if (fromSecond)
      v = {bx + w * (ax - bx), by + w * (ay - by), bx, by};
    else
      v = {ax + w * (bx - ax), ay + w * (by - ay), ax, ay};
    return v;
  };
  for (int r = 0; r < kMorphRows - 1; ++r) {
    for (int c = 0; c < kMorphColumns - 1; ++c) {
      MorphVertex v0 = corner(r, c), v1 = corner(r, c + 1), v2 = corner(r + 1, c);
      DrawMorphTriangle(&v0, &v1, &v2, target, source);
      MorphVertex w0 = corner(r + 1, c + 1), w1 = corner(r, c + 1), w2 = corner(r + 1, c);
      DrawMorphTriangle(&w0, &w1, &w2, target, source);
    }
  }
}

}  // namespace

void RenderMorph(uint32_t* target1, uint32_t* target2, const uint32_t* first,
                 const uint32_t* second, float t) {
  if (!(t > 0.0f)) t = 0.0f;
  if (t > 1.0f) t = 1.0f;
  WarpPass(target1, first, t, false);
  WarpPass(target2, second, 1.0f - t, true);
  if (FadeOperations.CrossFade)
    FadeOperations.CrossFade(target1, target1, target2, static_cast<int>(255.0f * t), kFramePixels);
}

void MorphResetFirstCall() { morphFirstCall = true; }

// The second portrait turning into the first over the row; the morph file
// is read on the first frame only.
KV_EFFECT(MorphEffect) {
  (void)t;
  (void)start;
  (void)end;
  (void)param;
  if (morphFirstCall) {
    LoadMorphFile(kMorphGrid);
    morphFirstCall = false;
  }
  const uint32_t* first = FramePicture(kPicPortrait1);
  const uint32_t* second = FramePicture(kPicPortrait2);
  if (!first || !second) return 0;
  RenderMorph(ScratchFrame[1], ScratchFrame[0], first, second, 1.0f - progress);
  SaturatingAdd(pixels, pixels, ScratchFrame[1], kFramePixels);
  return 0;
}
