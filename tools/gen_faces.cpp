// The two portraits and everything made from them: the full-size stills,
// the portrait textures, the face textures and pictures, and the morph grid
// whose points sit on the same features in both faces. Both faces are drawn
// from one parametric model, so the grid can be computed from the model
// rather than traced by hand.
#include "effects/morph.h"
#include "image/asset_names.h"
#include "tools/generator.h"

namespace {

struct FaceLook {
  float cx, cy, hw, hh;            // face oval: centre, half width, half height
  float eyeY, eyeDx, eyeW, eyeH;   // eye line, half distance, eye half width and height
  float noseY, mouthY, mouthW, lipH;
  float hairHalf, hairTop, hairBottom;
  int longHair;
  float gaze;  // iris offset along x
  uint32_t bgTop, bgBottom, skin, skinDark, hair, hairLight, iris, lips, cloth;
  uint32_t seed;
};

// First portrait: warm, long auburn hair swept to one side.
const FaceLook kFace1 = {160, 116, 58, 82,  106, 27, 14, 6.0f, 136, 161, 21, 6.0f, 92, 24, 236,
                         1,   1.5f, 0x1E5E66, 0x08161C, 0xF2C4A0, 0xB97A5C, 0x6A2418, 0xC8603A,
                         0x3C7A50, 0xB8283C, 0x20181C, 11};
// Second portrait: cool, black bob with a straight fringe, turned slightly.
const FaceLook kFace2 = {168, 122, 53, 76,  111, 24, 13, 6.5f, 142, 166, 18, 7.0f, 78, 38, 178,
                         0,   -2.0f, 0x5A2468, 0x10061A, 0xD7A285, 0x8E5E4E, 0x141018, 0x4A4060,
                         0x4A3226, 0x8A1E52, 0xE8E0D0, 23};

// Half width of the face oval at height y; the jaw narrows below the centre.
float FaceHalfWidth(const FaceLook& f, float y) {
  float s = (y - f.cy) / f.hh;
  if (s <= -1.0f || s >= 1.0f) return 0.0f;
  float w = f.hw * std::sqrt(1.0f - s * s);
  if (s > 0.0f) w *= 1.0f - 0.22f * s * s * s;
  return w;
}

std::vector<Pt> FaceOutline(const FaceLook& f) {
  std::vector<Pt> pts;
  for (int i = 0; i < 72; i++) {
    float a = static_cast<float>(i) / 72.0f * 6.2831853f;
    float s = Sin(a), c = Cos(a);
    float jaw = s > 0.0f ? 1.0f - 0.22f * s * s * s : 1.0f;
    pts.push_back({f.cx + f.hw * c * jaw, f.cy + f.hh * s});
  }
  return pts;
}

void PaintBackground(Canvas* c, const FaceLook& f) {
  Rgb top = Hex(f.bgTop), bottom = Hex(f.bgBottom);
  Shade(c, [&](float x, float y) {
    float t = y / c->height;
    Rgb base = Mix(top, bottom, t);
    float d = Hypot(x - f.cx + 30.0f, y - f.cy + 30.0f) / 220.0f;
    return Add(base, Scale(top, 0.6f * Clamp01(1.0f - d)));
  });
  Rng rng = MakeRng(f.seed);
  for (int i = 0; i < 14; i++) {  // out-of-focus lights behind the head
    float x = RngRange(&rng, 0, 320), y = RngRange(&rng, 0, 200), r = RngRange(&rng, 6, 18);
    FillEllipse(c, x, y, r, r, 0, Add(Hex(f.bgTop), Hex(0x404040)), 0.25f, 2.0f);
  }
}

void PaintHairBack(Canvas* c, const FaceLook& f) {
  Rgb hair = Hex(f.hair), light = Hex(f.hairLight);
  auto shade = [&](float x, float y) {
    float streak = 0.5f + 0.5f * Sin(x * 0.21f + Sin(y * 0.05f) * 3.0f);
    return Mix(hair, light, 0.35f * streak * Clamp01(1.0f - (y - f.hairTop) / 260.0f));
  };
  if (f.longHair) {
    float top = f.hairTop, mid = f.cy;
    PaintShape(
        c, f.cx - f.hairHalf, top, f.cx + f.hairHalf, f.hairBottom,
        [&](float x, float y) {
          float head = SdEllipse(x, y, f.cx, mid - 8.0f, f.hairHalf, mid - top + 8.0f, 0);
          float fall = SdBox(x, y, f.cx, (mid + f.hairBottom) * 0.5f, f.hairHalf * (0.9f + 0.1f * (y - mid) / 120.0f),
                             (f.hairBottom - mid) * 0.5f, 18.0f);
          return std::min(head, fall);
        },
        shade);
  } else {
    PaintShape(
        c, f.cx - f.hairHalf, f.hairTop, f.cx + f.hairHalf, f.hairBottom,
        [&](float x, float y) {
          return SdBox(x, y, f.cx, (f.hairTop + f.hairBottom) * 0.5f, f.hairHalf,
                       (f.hairBottom - f.hairTop) * 0.5f, 40.0f);
        },
        shade);
  }
}

void PaintBody(Canvas* c, const FaceLook& f) {
  Rgb skin = Hex(f.skin), dark = Hex(f.skinDark), cloth = Hex(f.cloth);
  float neckTop = f.cy + f.hh * 0.6f;
  PaintShape(
      c, f.cx - 40, neckTop, f.cx + 40, 240,
      [&](float x, float y) { return SdBox(x, y, f.cx, neckTop + 50.0f, f.hw * 0.42f, 50.0f, 8.0f); },
      [&](float x, float y) {
        return Mix(skin, dark, 0.35f + 0.4f * Clamp01((x - f.cx) / 30.0f) + 0.3f * Clamp01((f.cy + f.hh + 8 - y) / 14.0f));
      });
  // Shoulders and a V neckline.
  float shoulderY = f.cy + f.hh + 52.0f;
  PaintShape(
      c, 0, shoulderY - 40, 320, 240,
      [&](float x, float y) {
        float body = SdEllipse(x, y, f.cx, shoulderY + 60.0f, 150.0f, 95.0f, 0);
        float vee = SdPolygon({{f.cx - 34, shoulderY - 30}, {f.cx + 34, shoulderY - 30}, {f.cx, shoulderY + 34}}, x, y);
        return std::max(body, -vee);
      },
      [&](float x, float y) {
        float fold = 0.5f + 0.5f * Sin(x * 0.08f + y * 0.03f);
        return Mix(cloth, Scale(cloth, 0.55f), 0.3f * fold + 0.3f * Clamp01((y - shoulderY) / 80.0f));
      });
}

void PaintFace(Canvas* c, const FaceLook& f) {
  Rgb skin = Hex(f.skin), dark = Hex(f.skinDark);
  std::vector<Pt> outline = FaceOutline(f);
  PaintShape(
      c, f.cx - f.hw, f.cy - f.hh, f.cx + f.hw, f.cy + f.hh,
      [&](float x, float y) { return SdPolygon(outline, x, y); },
      [&](float x, float y) {
        float inside = -SdPolygon(outline, x, y);
        float light = Clamp01(0.5f + 0.5f * ((f.cx - 18 - x) / f.hw + (f.cy - 30 - y) / f.hh) * 0.7f);
        float edge = 1.0f - Smooth(0.0f, 16.0f, inside);
        return Mix(skin, dark, 0.55f * edge + 0.35f * (1.0f - light));
      });
  // Cheeks.
  for (int side = -1; side <= 1; side += 2)
    FillEllipse(c, f.cx + side * f.hw * 0.55f, f.noseY + 4, 15, 9, 0, Hex(f.lips), 0.18f, 8.0f);
}

void PaintEye(Canvas* c, const FaceLook& f, int side) {
  float ex = f.cx + side * f.eyeDx, ey = f.eyeY;
  float inner = ex - side * f.eyeW, outer = ex + side * f.eyeW;
  // Socket shadow.
  FillEllipse(c, ex, ey - 3, f.eyeW * 1.4f, f.eyeH * 2.2f, 0, Hex(f.skinDark), 0.35f, 6.0f);
  std::vector<Pt> almond;
  BezierPoints(&almond, {inner, ey}, {ex, ey - f.eyeH * 2.1f}, {outer, ey - 2.0f}, 12);
  BezierPoints(&almond, {outer, ey - 2.0f}, {ex, ey + f.eyeH * 1.5f}, {inner, ey}, 12);
  FillPolygon(c, almond, Hex(0xF4F0EA));
  float ix = ex + f.gaze, ir = f.eyeH * 1.15f;
  auto clipped = [&](float cx, float cy, float r) {
    return [&almond, cx, cy, r](float x, float y) {
      return std::max(SdCircle(x, y, cx, cy, r), SdPolygon(almond, x, y));
    };
  };
  Rgb iris = Hex(f.iris);
  PaintShape(c, ix - ir, ey - ir, ix + ir, ey + ir, clipped(ix, ey - 0.5f, ir),
             [&](float x, float y) {
               float d = Hypot(x - ix, y - ey) / ir;
               return Mix(Scale(iris, 1.3f), Scale(iris, 0.5f), d);
             });
  PaintSolid(c, ix - 4, ey - 4, ix + 4, ey + 4, clipped(ix, ey - 0.5f, ir * 0.45f), Hex(0x080608));
  FillEllipse(c, ix - 2.0f, ey - 2.5f, 1.6f, 1.6f, 0, Hex(0xFFFFFF), 0.9f);
  // Upper lid line with a wing past the outer corner.
  std::vector<Pt> lid;
  BezierPoints(&lid, {inner, ey}, {ex, ey - f.eyeH * 2.1f}, {outer, ey - 2.0f}, 12);
  lid.push_back({outer + side * 6.0f, ey - 6.0f});
  for (size_t i = 0; i + 1 < lid.size(); i++) {
    float w = 1.5f + 1.6f * static_cast<float>(i) / lid.size();
    StrokeSegment(c, lid[i].x, lid[i].y, lid[i + 1].x, lid[i + 1].y, w, Hex(0x140A0C));
  }
  // Brow: a tapered arc above the eye.
  std::vector<Pt> brow;
  BezierPoints(&brow, {inner - side * 2.0f, ey - 13.0f}, {ex, ey - 22.0f}, {outer + side * 5.0f, ey - 14.0f}, 10);
  for (size_t i = 0; i + 1 < brow.size(); i++) {
    float w = 3.6f - 2.4f * static_cast<float>(i) / brow.size();
    StrokeSegment(c, brow[i].x, brow[i].y, brow[i + 1].x, brow[i + 1].y, w, Scale(Hex(f.hair), 0.8f), 0.9f);
  }
}

void PaintNose(Canvas* c, const FaceLook& f) {
  Rgb dark = Hex(f.skinDark);
  std::vector<Pt> side;
  BezierPoints(&side, {f.cx + 5, f.eyeY + 4}, {f.cx + 8, f.noseY - 10}, {f.cx + 6, f.noseY - 1}, 8);
  for (size_t i = 0; i + 1 < side.size(); i++)
    StrokeSegment(c, side[i].x, side[i].y, side[i + 1].x, side[i + 1].y, 3.0f, dark, 0.3f);
  FillEllipse(c, f.cx, f.noseY - 3, 5, 3.5f, 0, Hex(0xFFFFFF), 0.15f, 3.0f);
  FillEllipse(c, f.cx - 5, f.noseY + 1, 3, 1.6f, 0.3f, Scale(dark, 0.6f), 0.6f);
  FillEllipse(c, f.cx + 5, f.noseY + 1, 3, 1.6f, -0.3f, Scale(dark, 0.6f), 0.6f);
}

void PaintLips(Canvas* c, const FaceLook& f) {
  float mx = f.cx, my = f.mouthY, w = f.mouthW, h = f.lipH;
  Rgb lips = Hex(f.lips);
  std::vector<Pt> upper;
  BezierPoints(&upper, {mx - w, my}, {mx - w * 0.5f, my - h * 0.6f}, {mx - 5, my - h}, 6);
  BezierPoints(&upper, {mx - 5, my - h}, {mx, my - h * 0.5f}, {mx + 5, my - h}, 4);
  BezierPoints(&upper, {mx + 5, my - h}, {mx + w * 0.5f, my - h * 0.6f}, {mx + w, my}, 6);
  BezierPoints(&upper, {mx + w, my}, {mx, my + 1.5f}, {mx - w, my}, 8);
  FillPolygon(c, upper, Scale(lips, 0.8f));
  std::vector<Pt> lower;
  BezierPoints(&lower, {mx - w, my}, {mx, my + 1.5f}, {mx + w, my}, 8);
  BezierPoints(&lower, {mx + w, my}, {mx, my + h * 2.6f}, {mx - w, my}, 12);
  FillPolygon(c, lower, lips);
  FillEllipse(c, mx - 3, my + h * 0.8f, w * 0.35f, h * 0.3f, 0, Hex(0xFFFFFF), 0.35f, 2.0f);
  StrokeSegment(c, mx - w, my, mx + w, my, 1.2f, Scale(lips, 0.35f), 0.8f);
}

void PaintHairFront(Canvas* c, const FaceLook& f) {
  Rgb hair = Hex(f.hair), light = Hex(f.hairLight);
  std::vector<Pt> fringe;
  if (f.longHair) {
    // Side-swept: from the parting down across the forehead to the far temple.
    float part = f.cx - 22;
    BezierPoints(&fringe, {part, f.hairTop + 4}, {f.cx + 70, f.hairTop - 4}, {f.cx + f.hw + 10, f.eyeY - 4}, 12);
    fringe.push_back({f.cx + f.hw + 24, f.eyeY + 60});
    fringe.push_back({f.cx + f.hw - 2, f.eyeY + 40});
    BezierPoints(&fringe, {f.cx + f.hw - 4, f.eyeY - 8}, {f.cx + 10, f.eyeY - 30}, {part - 6, f.eyeY - 40}, 12);
    BezierPoints(&fringe, {part - 6, f.eyeY - 40}, {f.cx - f.hw - 6, f.eyeY - 30}, {f.cx - f.hw - 8, f.eyeY + 20}, 8);
    fringe.push_back({f.cx - f.hw - 16, f.eyeY + 30});
    BezierPoints(&fringe, {f.cx - f.hw - 18, f.eyeY}, {f.cx - f.hw - 10, f.hairTop}, {part, f.hairTop + 4}, 8);
  } else {
    // Straight-cut fringe and the bob's sides framing the cheeks.
    float cut = f.eyeY - 20;
    BezierPoints(&fringe, {f.cx - f.hw - 10, f.hairTop + 40}, {f.cx, f.hairTop - 44}, {f.cx + f.hw + 10, f.hairTop + 40}, 14);
    fringe.push_back({f.cx + f.hw + 12, f.mouthY + 8});
    fringe.push_back({f.cx + f.hw - 6, f.mouthY + 8});
    fringe.push_back({f.cx + f.hw - 12, cut});
    fringe.push_back({f.cx - f.hw + 12, cut});
    fringe.push_back({f.cx - f.hw + 6, f.mouthY + 8});
    fringe.push_back({f.cx - f.hw - 12, f.mouthY + 8});
  }
  PaintShape(
      c, 0, 0, 320, 240, [&](float x, float y) { return SdPolygon(fringe, x, y); },
      [&](float x, float y) {
        float streak = 0.5f + 0.5f * Sin(x * 0.35f + y * 0.12f + Sin(y * 0.07f) * 2.0f);
        return Mix(hair, light, 0.45f * streak * streak);
      });
  // Loose strands catch the light.
  Rng rng = MakeRng(f.seed + 5);
  for (int i = 0; i < 26; i++) {
    float x = f.cx + RngRange(&rng, -f.hairHalf, f.hairHalf), y = RngRange(&rng, f.hairTop + 10, f.eyeY - 10);
    float dx = RngRange(&rng, -14, 14), dy = RngRange(&rng, 12, 30);
    if (std::fabs(x - f.cx) < f.hw * 0.8f && y > f.eyeY - 36) continue;
    StrokeSegment(c, x, y, x + dx, y + dy, 1.0f, light, 0.35f);
  }
}

void PaintEarrings(Canvas* c, const FaceLook& f) {
  for (int side = -1; side <= 1; side += 2) {
    float x = f.cx + side * (f.hw + 2), y = f.noseY + 14;
    FillEllipse(c, x, y, 3.5f, 3.5f, 0, Hex(0xF0C860));
    FillEllipse(c, x, y + 9, 2.5f, 5.0f, 0, Hex(0xE8B040));
    FillEllipse(c, x - 1, y - 1, 1.0f, 1.0f, 0, Hex(0xFFFFF0), 0.9f);
  }
}

Canvas PaintPortrait(const FaceLook& f) {
  Canvas c = MakeCanvas(320, 240, Hex(0));
  PaintBackground(&c, f);
  PaintHairBack(&c, f);
  PaintBody(&c, f);
  PaintFace(&c, f);
  for (int side = -1; side <= 1; side += 2) PaintEye(&c, f, side);
  PaintNose(&c, f);
  PaintLips(&c, f);
  PaintHairFront(&c, f);
  if (f.longHair) PaintEarrings(&c, f);
  Shade(&c, [&c](float x, float y) {  // vignette
    float d = Hypot((x - 160) / 200.0f, (y - 120) / 160.0f);
    return Scale(At(&c, static_cast<int>(x), static_cast<int>(y)), 1.0f - 0.45f * Smooth(0.6f, 1.2f, d));
  });
  return c;
}

// Bilinear resample of a source region (x0, y0, size w x h) to width x height.
Canvas Crop(const Canvas& src, float x0, float y0, float w, float h, int width, int height) {
  Canvas out = MakeCanvas(width, height, Hex(0));
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) {
      float sx = x0 + (x + 0.5f) * w / width - 0.5f, sy = y0 + (y + 0.5f) * h / height - 0.5f;
      int ix = std::clamp(static_cast<int>(std::floor(sx)), 0, src.width - 2);
      int iy = std::clamp(static_cast<int>(std::floor(sy)), 0, src.height - 2);
      float tx = Clamp01(sx - ix), ty = Clamp01(sy - iy);
      Rgb a = Mix(src.px[iy * src.width + ix], src.px[iy * src.width + ix + 1], tx);
      Rgb b = Mix(src.px[(iy + 1) * src.width + ix], src.px[(iy + 1) * src.width + ix + 1], tx);
      At(&out, x, y) = Mix(a, b, ty);
    }
  return out;
}

float Luma(Rgb c) { return 0.299f * c.r + 0.587f * c.g + 0.114f * c.b; }

// Glowing line drawing of a portrait on black: the luminance edges, coloured
// along the height, blurred into a halo and added back sharp.
Canvas NeonLines(const Canvas& src, Rgb topColour, Rgb bottomColour) {
  Canvas edges = MakeCanvas(src.width, src.height, Hex(0));
  for (int y = 1; y < src.height - 1; y++)
    for (int x = 1; x < src.width - 1; x++) {
      auto l = [&](int dx, int dy) { return Luma(src.px[(y + dy) * src.width + x + dx]); };
      float gx = l(1, -1) + 2 * l(1, 0) + l(1, 1) - l(-1, -1) - 2 * l(-1, 0) - l(-1, 1);
      float gy = l(-1, 1) + 2 * l(0, 1) + l(1, 1) - l(-1, -1) - 2 * l(0, -1) - l(1, -1);
      float k = Smooth(40.0f, 160.0f, std::sqrt(gx * gx + gy * gy));
      At(&edges, x, y) = Scale(Mix(topColour, bottomColour, static_cast<float>(y) / src.height), k);
    }
  Canvas glow = edges;
  BlurCanvas(&glow, 3, 2);
  for (size_t i = 0; i < edges.px.size(); i++) edges.px[i] = Add(edges.px[i], Scale(glow.px[i], 1.6f));
  return edges;
}

// Grid point of a face on row r, column c: rows run top edge, forehead, eyes,
// nose, mouth, chin, bottom edge; columns run left edge, hair, face outline,
// eye, centre line and mirrored, right edge.
MorphPoint FacePoint(const FaceLook& f, int r, int c) {
  const float rowY[7] = {0.0f, f.cy - f.hh * 0.62f, f.eyeY, f.noseY, f.mouthY, f.cy + f.hh, 240.0f};
  int feature = std::clamp(r, 1, 5);  // outer rows share the columns of the row next to them
  float y = rowY[feature];
  float half = FaceHalfWidth(f, std::min(y, f.cy + f.hh * 0.92f));
  float eye = std::min(f.eyeDx, 0.6f * half);
  const float columnX[9] = {0.0f, f.cx - f.hairHalf, f.cx - half, f.cx - eye, f.cx,
                            f.cx + eye, f.cx + half, f.cx + f.hairHalf, 320.0f};
  float x = columnX[c];
  return MorphPoint{static_cast<int32_t>(std::floor(x + 0.5f)), static_cast<int32_t>(std::floor(rowY[r] + 0.5f))};
}

}  // namespace

void PortraitGrid(MorphGrid* grid) {
  for (int r = 0; r < kMorphRows; r++)
    for (int c = 0; c < kMorphColumns; c++) {
      grid->first[r][c] = FacePoint(kFace1, r, c);
      MorphPoint p = FacePoint(kFace2, r, c);
      grid->second[r][c] = MorphPoint{p.x + 320, p.y};
    }
}

void GenerateFaces(AssetOutput* out) {
  Canvas p1 = PaintPortrait(kFace1);
  Canvas p2 = PaintPortrait(kFace2);
  OutputJpeg(out, kGfxPortrait1.name, p1, 92);
  OutputJpeg(out, kGfxPortrait2.name, p2, 92);
  OutputJpeg(out, kTexPortrait1.name, Crop(p1, 40, 0, 240, 240, 256, 256), 90);
  OutputJpeg(out, kTexPortrait2.name, Crop(p2, 48, 0, 240, 240, 256, 256), 90);

  // First warp texture: a close crop of the first face, colours pushed.
  Canvas face = Crop(p1, 90, 62, 140, 140, 256, 256);
  for (Rgb& px : face.px) px = Rgb{px.r * 1.15f, px.g * 0.9f, px.b * 1.1f + 10.0f};
  OutputJpeg(out, kTexFace.name, face, 90);

  // Face pictures: the back one is multiplied (a pale, high-key print of the
  // second face), the front one is added (the first face as glowing lines).
  Canvas back = p2;
  for (Rgb& px : back.px) {
    float l = Luma(px);
    px = Mix(Hex(0xFFFFFF), Hex(0x9AA8D8), Clamp01(1.0f - l / 150.0f));
  }
  OutputJpeg(out, kGfxFaceBack.name, back, 90);
  OutputJpeg(out, kGfxFaceFront.name, NeonLines(p1, Hex(0xFF70C0), Hex(0x60E0FF)), 90);

  // Double exposure: the two faces in two colours, one mirrored.
  Canvas dbl = MakeCanvas(320, 240, Hex(0));
  for (int y = 0; y < 240; y++)
    for (int x = 0; x < 320; x++) {
      float a = Luma(At(&p1, x, y)) / 255.0f, b = Luma(At(&p2, 319 - x, y)) / 255.0f;
      At(&dbl, x, y) = Add(Scale(Hex(0xFF6A3A), a * a * 1.1f), Scale(Hex(0x3AC8FF), b * b * 1.1f));
    }
  OutputJpeg(out, kGfxKDouble.name, dbl, 90);
}

void GenerateMorphGrid(AssetOutput* out) {
  MorphGrid grid = {};
  PortraitGrid(&grid);
  std::vector<uint8_t> bytes(kMorphFileSize);
  MorphFileEncode(grid, bytes.data());
  OutputBytes(out, kMorphGrid, bytes);
}
