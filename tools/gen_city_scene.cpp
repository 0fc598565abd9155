// The night city: an 8 x 8 grid of blocks 200 units apart with 50-unit
// streets, each block an object of its own (ground, road strips, corner
// lamp) plus its buildings, a harbour to the north, cars driving the
// streets and five cameras flying through on key-frame tracks. Every face
// uses one of the billboard materials the asset set-up textures, so the
// scene needs nothing from the default material. Seeded, so the same city
// comes out every time.
#include <cmath>
#include <cstdio>

#include "image/asset_names.h"
#include "tools/gen_scenes.h"

namespace {

Vec3 V(float x, float y, float z) { return Vec3{x, y, z}; }

// Billboard materials by the file they show (index into kCityMaps).
enum CityMap {
  BRICK1,
  BRICK2,
  WINDOW3,
  WINDOW1,
  WINDOW4,
  WINDOW5,
  CONCRETE1,
  GREEN,
  CONCRETE2,
  ASPHALT,
  ROAD,
  CROSSING,
  ROOF1,
  ROOF2,
  METAL1,
  METAL2,
  RUST1,
  RUST2,
  GLASS1,
  GLASS2,
  NEON1,
  NEON2,
  NEON3,
  SIGN1,
  SIGN2,
  DOOR,
  GARAGE,
  SEA2,
  SEA1,
  TILES,
  STONE,
  MARBLE,
  SKY,
  SAND,
  TREE,
  LAMP,
  FENCE,
  BUILD2,
  WINDOW3B,
  CAR1,
  CAR2,
  WINDOW2,
  BUILD1,
};
const std::string& Mat(int map) {
  static std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const AssetBinding& b : kCityMaps) n.push_back(b.material);
    return n;
  }();
  return names[map];
}

constexpr int kBlocks = 8;
constexpr float kPitch = 200.0f;    // block to block
constexpr float kStreet = 50.0f;    // street width
constexpr float kOrigin = -800.0f;  // west and south edge of the grid

// Centre line of street k (0..kBlocks) in either direction.
float StreetCentre(int k) { return kOrigin + kPitch * static_cast<float>(k) + 0.5f * kStreet; }

// A rectangle on the ground (z), mapped so its texture runs along x or y.
void Ground(SceneFileMesh* m, float x0, float y0, float x1, float y1, float z, float tile,
            bool alongY, int map) {
  if (alongY)
    KitPanel(m, V(x0, y1, z), V(0, y0 - y1, 0), V(x1 - x0, 0, 0), (y1 - y0) / tile,
             (x1 - x0) / tile, Mat(map));
  else
    KitPanel(m, V(x0, y0, z), V(x1 - x0, 0, 0), V(0, y1 - y0, 0), (x1 - x0) / tile,
             (y1 - y0) / tile, Mat(map));
}

// Box with its own texture scale on the walls: `across` units per repeat
// horizontally, `up` vertically.
void Building(SceneFileMesh* m, Vec3 lo, Vec3 hi, int walls, int roof, float across, float up) {
  float dx = hi.x - lo.x, dy = hi.y - lo.y, dz = hi.z - lo.z;
  const std::string& w = Mat(walls);
  KitPanel(m, V(lo.x, lo.y, hi.z), V(dx, 0, 0), V(0, dy, 0), dx / 80.0f, dy / 80.0f, Mat(roof));
  KitPanel(m, lo, V(dx, 0, 0), V(0, 0, dz), dx / across, dz / up, w);
  KitPanel(m, V(hi.x, hi.y, lo.z), V(-dx, 0, 0), V(0, 0, dz), dx / across, dz / up, w);
  KitPanel(m, V(lo.x, hi.y, lo.z), V(0, -dy, 0), V(0, 0, dz), dy / across, dz / up, w);
  KitPanel(m, V(hi.x, lo.y, lo.z), V(0, dy, 0), V(0, 0, dz), dy / across, dz / up, w);
}

// A board on two legs on a roof, lit sign in front, metal behind.
void Billboard(SceneFileMesh* m, float cx, float cy, float z, bool facingY, int sign) {
  const float half = 28.0f, lift = 12.0f, height = 26.0f;
  Vec3 along = facingY ? V(2 * half, 0, 0) : V(0, 2 * half, 0);
  Vec3 start = facingY ? V(cx - half, cy, z + lift) : V(cx, cy + half, z + lift);
  Vec3 back = facingY ? V(cx + half, cy + 0.5f, z + lift) : V(cx - 0.5f, cy - half, z + lift);
  if (!facingY) along = V(0, -2 * half, 0);
  KitPanel(m, start, along, V(0, 0, height), 1.0f, 1.0f, Mat(sign));
  KitPanel(m, back, V(-along.x, -along.y, 0), V(0, 0, height), 2.0f, 1.0f, Mat(METAL1));
  for (int leg = -1; leg <= 1; leg += 2) {
    float lx = facingY ? cx + leg * (half - 6) : cx + 1.5f;
    float ly = facingY ? cy + 1.5f : cy + leg * (half - 6);
    KitBox(m, V(lx - 1.5f, ly - 1.5f, z), V(lx + 1.5f, ly + 1.5f, z + lift), Mat(METAL2), "", "",
           20.0f);  // legs: sides only
  }
}

// Street lamp at a block corner: a post and a lantern, a few faces each.
void Lamp(SceneFileMesh* m, float x, float y) {
  KitBox(m, V(x - 1.5f, y - 1.5f, 0), V(x + 1.5f, y + 1.5f, 42), Mat(METAL2), "", "", 14.0f);
  KitBox(m, V(x - 4, y - 4, 42), V(x + 4, y + 4, 50), Mat(LAMP), Mat(METAL2), Mat(LAMP), 8.0f);
}

void Tree(SceneFileMesh* m, float x, float y, float size) {
  KitBox(m, V(x - 2, y - 2, 0), V(x + 2, y + 2, 0.4f * size), Mat(RUST2), "", "", 10.0f);
  KitLathe(m, V(x, y, 0.3f * size), V(x, y, 1.2f * size), V(1, 0, 0),
           {{0, 0, 0}, {0.35f, 0.42f * size, 0.42f * size}, {1, 0, 0}}, 6, 2.0f, 1.0f, Mat(TREE));
}

// Two-sided fence along one edge of a park.
void Fence(SceneFileMesh* m, Vec3 a, Vec3 b) {
  Vec3 e = V(b.x - a.x, b.y - a.y, 0);
  float length = std::sqrt(e.x * e.x + e.y * e.y);
  KitPanel(m, a, e, V(0, 0, 14), length / 30.0f, 1.0f, Mat(FENCE));
  KitPanel(m, b, V(-e.x, -e.y, 0), V(0, 0, 14), length / 30.0f, 1.0f, Mat(FENCE));
}

struct Style {
  int walls[4];
  float minHeight, maxHeight, across, up;
  int roof;
};
const Style kStyles[] = {
    {{WINDOW1, WINDOW3, WINDOW4, WINDOW5}, 70, 190, 60, 70, ROOF2},      // offices
    {{GLASS1, GLASS2, GLASS1, WINDOW2}, 160, 290, 50, 90, ROOF2},        // towers
    {{BRICK1, BRICK2, BRICK1, BUILD1}, 30, 80, 50, 50, ROOF1},           // brick rows
    {{METAL1, RUST1, METAL2, RUST2}, 22, 40, 60, 40, ROOF1},             // sheds
    {{CONCRETE1, CONCRETE2, BUILD2, WINDOW3B}, 50, 140, 70, 60, ROOF2},  // concrete blocks
};

// Buildings of one block: the lot split into one, two or four parts.
void BlockBuildings(SceneFile* s, Rng* rng, int bi, int bj, float x0, float y0) {
  float cx = static_cast<float>(bi) - 3.5f, cy = static_cast<float>(bj) - 3.5f;
  float centrality = 1.0f - std::sqrt(cx * cx + cy * cy) / 5.0f;  // taller downtown
  int split = RngInt(rng, 3);
  int lots = split == 0 ? 1 : (split == 1 ? 2 : 4);
  const float margin = 8.0f, gap = 10.0f, size = kPitch - kStreet;
  for (int k = 0; k < lots; k++) {
    float lx0 = x0 + margin, ly0 = y0 + margin, lx1 = x0 + size - margin, ly1 = y0 + size - margin;
    if (lots == 2) {
      float mid = x0 + 0.5f * size;
      if (k == 0)
        lx1 = mid - 0.5f * gap;
      else
        lx0 = mid + 0.5f * gap;
    } else if (lots == 4) {
      float midx = x0 + 0.5f * size, midy = y0 + 0.5f * size;
      if (k & 1)
        lx0 = midx + 0.5f * gap;
      else
        lx1 = midx - 0.5f * gap;
      if (k & 2)
        ly0 = midy + 0.5f * gap;
      else
        ly1 = midy - 0.5f * gap;
    }
    // Not every lot is built to its edges.
    float shrink = RngRange(rng, 0.0f, 12.0f);
    lx0 += shrink;
    ly0 += shrink;
    lx1 -= shrink;
    ly1 -= shrink;
    int style = RngInt(rng, 5);
    if (style == 1 && centrality < 0.45f) style = 0;
    const Style& st = kStyles[style];
    float h =
        st.minHeight + (st.maxHeight - st.minHeight) * RngUnit(rng) * (0.5f + 0.5f * centrality);
    char name[24];
    std::snprintf(name, sizeof name, "Bldg%d%d_%d", bi, bj, k);
    SceneFileMesh m;
    m.name = name;
    int walls = st.walls[RngInt(rng, 4)];
    if (style == 2 || style == 4) {
      // Shop fronts and doors along the ground floor.
      Building(&m, V(lx0, ly0, 0), V(lx1, ly1, 18), RngInt(rng, 2) ? DOOR : GARAGE, ROOF1, 40, 18);
      Building(&m, V(lx0, ly0, 18), V(lx1, ly1, h), walls, st.roof, st.across, st.up);
    } else if (style == 1) {
      // Towers end in a band of sky-coloured glass.
      Building(&m, V(lx0, ly0, 0), V(lx1, ly1, h - 30), walls, st.roof, st.across, st.up);
      Building(&m, V(lx0 + 6, ly0 + 6, h - 30), V(lx1 - 6, ly1 - 6, h), SKY, MARBLE, 60, 30);
    } else {
      Building(&m, V(lx0, ly0, 0), V(lx1, ly1, h), walls, st.roof, st.across, st.up);
    }
    if (RngInt(rng, 3) == 0) {
      const int signs[5] = {NEON1, NEON2, NEON3, SIGN1, SIGN2};
      bool facingY = RngInt(rng, 2) != 0;
      Billboard(&m, 0.5f * (lx0 + lx1), 0.5f * (ly0 + ly1), h, facingY, signs[RngInt(rng, 5)]);
    }
    SceneAddMesh(s, m);
  }
}

// A park: lawn or sand, trees, a fence round it.
void Park(SceneFileMesh* m, Rng* rng, float x0, float y0) {
  float size = kPitch - kStreet;
  bool beach = RngInt(rng, 3) == 0;
  Ground(m, x0, y0, x0 + size, y0 + size, 0.5f, 50.0f, false, beach ? SAND : GREEN);
  for (int i = 0; i < 4; i++)
    Tree(m, x0 + RngRange(rng, 25, size - 25), y0 + RngRange(rng, 25, size - 25),
         RngRange(rng, 28, 44));
  Fence(m, V(x0 + 4, y0 + 4, 0), V(x0 + size - 4, y0 + 4, 0));
  Fence(m, V(x0 + size - 4, y0 + size - 4, 0), V(x0 + 4, y0 + size - 4, 0));
}

// Camera keys along a polyline at constant speed: the eye at `height`, the
// target a stretch ahead (`lead` of the whole length) and `drop` lower.
std::vector<CameraKey> Flight(const std::vector<Vec3>& points, int frames, int every, float lead,
                              float drop) {
  std::vector<float> at(points.size(), 0.0f);
  for (size_t i = 1; i < points.size(); i++) {
    float dx = points[i].x - points[i - 1].x, dy = points[i].y - points[i - 1].y;
    float dz = points[i].z - points[i - 1].z;
    at[i] = at[i - 1] + std::sqrt(dx * dx + dy * dy + dz * dz);
  }
  float total = at.back();
  auto point = [&](float d) {
    if (d >= total) d = total;
    size_t i = 1;
    while (i + 1 < points.size() && at[i] < d) i++;
    float u = (d - at[i - 1]) / (at[i] - at[i - 1]);
    const Vec3& a = points[i - 1];
    const Vec3& b = points[i];
    return V(a.x + (b.x - a.x) * u, a.y + (b.y - a.y) * u, a.z + (b.z - a.z) * u);
  };
  std::vector<CameraKey> keys;
  float ahead = lead * total;
  for (int f = 0; f <= frames; f += every) {
    float d = total * static_cast<float>(f) / static_cast<float>(frames) * (1.0f - lead);
    Vec3 eye = point(d), target = point(d + ahead);
    target.z -= drop;
    keys.push_back(CameraKey{f, eye, target});
  }
  return keys;
}

}  // namespace

SceneFile CityScene() {
  SceneFile s;
  for (const AssetBinding& b : kCityMaps) s.materials.push_back(b.material);
  s.lastFrame = 400;
  Rng rng = MakeRng(0x5CE3E3);

  for (int bj = 0; bj < kBlocks; bj++)
    for (int bi = 0; bi < kBlocks; bi++) {
      float x0 = kOrigin + kPitch * bi, y0 = kOrigin + kPitch * bj;
      float bx = x0 + kStreet, by = y0 + kStreet, size = kPitch - kStreet;
      char name[24];
      std::snprintf(name, sizeof name, "Ground%d%d", bi, bj);
      SceneFileMesh g;
      g.name = name;
      Ground(&g, x0, y0, bx, by, 0, kStreet, false, CROSSING);
      Ground(&g, bx, y0, x0 + kPitch, by, 0, kStreet, false, ROAD);
      Ground(&g, x0, by, bx, y0 + kPitch, 0, kStreet, true, ROAD);
      bool park = RngInt(&rng, 7) == 0;
      if (park)
        Park(&g, &rng, bx, by);
      else
        Ground(&g, bx, by, bx + size, by + size, 0.5f, 50.0f, false,
               RngInt(&rng, 2) ? TILES : STONE);
      if ((bi + bj) % 2 == 0) Lamp(&g, bx + 5, by + 5);
      SceneAddMesh(&s, g);
      if (!park) BlockBuildings(&s, &rng, bi, bj, bx, by);
    }

  // The last street on the east and north edges, the quay and the water.
  SceneFileMesh edge;
  edge.name = "EastStreet";
  float end = kOrigin + kPitch * kBlocks;
  Ground(&edge, end, kOrigin, end + kStreet, end + kStreet, 0, kStreet, true, ROAD);
  SceneAddMesh(&s, edge);
  edge = SceneFileMesh();
  edge.name = "NorthStreet";
  Ground(&edge, kOrigin, end, end, end + kStreet, 0, kStreet, false, ROAD);
  SceneAddMesh(&s, edge);
  edge = SceneFileMesh();
  edge.name = "Quay";
  KitBox(&edge, V(kOrigin - 200, end + kStreet, -12), V(end + 250, end + kStreet + 20, 0),
         Mat(STONE), Mat(STONE), "", 40.0f);
  SceneAddMesh(&s, edge);
  edge = SceneFileMesh();
  edge.name = "Harbour";
  Ground(&edge, kOrigin - 600, end + kStreet + 20, end + 650, end + 900, -8, 120, false, SEA2);
  SceneAddMesh(&s, edge);
  edge = SceneFileMesh();
  edge.name = "Bay";
  Ground(&edge, end + 250, kOrigin - 600, end + 650, end + kStreet + 20, -8, 120, false, SEA1);
  SceneAddMesh(&s, edge);
  // Waste ground round the other two sides.
  edge = SceneFileMesh();
  edge.name = "Outskirts";
  Ground(&edge, kOrigin - 600, kOrigin - 600, end + 250, kOrigin, -0.5f, 100, false, ASPHALT);
  Ground(&edge, kOrigin - 600, kOrigin, kOrigin, end + kStreet + 20, -0.5f, 100, false, ASPHALT);
  Ground(&edge, end + kStreet, kOrigin, end + 250, end + kStreet, -0.5f, 100, false, ASPHALT);
  SceneAddMesh(&s, edge);

  // Cars driving the streets: each a mesh about its own centre, moved by
  // its node's position track from one end of its street to the other.
  for (int c = 0; c < 24; c++) {
    bool alongX = c % 2 == 0;
    int street = 1 + RngInt(&rng, kBlocks - 1);
    float lane = (RngInt(&rng, 2) ? 1.0f : -1.0f) * 11.0f;
    float across = StreetCentre(street) + lane;
    float from = kOrigin + RngRange(&rng, 0, 800), to = from + (lane > 0 ? 1.0f : -1.0f) * 800.0f;
    if (to > end) {
      from -= 800.0f;
      to -= 800.0f;
    }
    if (to < kOrigin) {
      from += 800.0f;
      to += 800.0f;
    }
    Vec3 a = alongX ? V(from, across, 0) : V(across, from, 0);
    Vec3 b = alongX ? V(to, across, 0) : V(across, to, 0);
    char name[16];
    std::snprintf(name, sizeof name, "Car%02d", c + 1);
    SceneFileMesh car;
    car.name = name;
    car.origin = a;
    float hx = alongX ? 18.0f : 8.0f, hy = alongX ? 8.0f : 18.0f;
    const std::string& paint = Mat(c % 3 == 0 ? CAR2 : CAR1);
    KitBox(&car, V(a.x - hx, a.y - hy, 1), V(a.x + hx, a.y + hy, 8), paint, paint, "", 36.0f);
    KitBox(&car, V(a.x - 0.6f * hx, a.y - 0.6f * hy, 8), V(a.x + 0.6f * hx, a.y + 0.6f * hy, 13),
           Mat(GLASS1), paint, "", 20.0f);
    SceneAddMesh(&s, car);
    s.nodes.back().position.keys = {{0, a, {}}, {400, b, {}}};
  }

  // Moonlight, the glow of the harbour, the city's own light in the sky and
  // the street lamps' bounce: every wall faces at least two of them, so the
  // facades keep their colours under the scene's low ambient light.
  SceneAddLight(&s, "Moon", V(-2500, -1800, 3200), V(0.7f, 0.75f, 0.95f));
  SceneAddLight(&s, "Glow", V(1800, 2400, 260), V(0.95f, 0.65f, 0.4f));
  SceneAddLight(&s, "Sky", V(0, 0, 1500), V(0.55f, 0.55f, 0.65f));
  SceneAddLight(&s, "Lamps", V(2600, -2000, 400), V(0.6f, 0.55f, 0.5f));
  SceneAddLight(&s, "Bounce", V(-2600, 2200, 300), V(0.45f, 0.45f, 0.6f));

  float r0 = StreetCentre(2), r1 = StreetCentre(6), r3 = StreetCentre(8);
  float w0 = StreetCentre(0), w3 = StreetCentre(3), w5 = StreetCentre(5), w7 = StreetCentre(7);
  // 0: down the streets at the height of the first floors.
  SceneAddCamera(&s, "Street",
                 Flight({V(w0, r0, 40), V(w7, r0, 40), V(w7, r1, 45), V(w3, r1, 45), V(w3, r3, 40),
                         V(w3 + 120, r3, 60)},
                        400, 16, 0.04f, 8.0f),
                 60.0f);
  // 1: high over the roofs, looking down ahead.
  SceneAddCamera(&s, "High",
                 Flight({V(-620, -620, 330), V(-100, -250, 320), V(450, 300, 310),
                         V(350, 850, 330), V(-450, 650, 340)},
                        400, 16, 0.08f, 260.0f),
                 60.0f);
  // 2: a wide circle over the roofs round downtown.
  SceneAddCamera(&s, "Circle",
                 Flight({V(-100, -650, 340), V(550, -550, 360), V(650, 100, 340), V(300, 600, 370),
                         V(-450, 500, 360), V(-650, -150, 340), V(-100, -650, 340)},
                        400, 16, 0.03f, 160.0f),
                 60.0f);
  // 3: along the quay and back into town.
  SceneAddCamera(&s, "Quay",
                 Flight({V(-900, 900, 30), V(w7, 900, 40), V(w7, r1, 60), V(w5, r1, 50),
                         V(w5, r0, 45), V(w0, r0, 40)},
                        400, 16, 0.04f, 10.0f),
                 60.0f);
  // 4: up from a side street into the sky.
  SceneAddCamera(&s, "Rise",
                 Flight({V(w3, -900, 22), V(w3, -350, 60), V(w3, 0, 200), V(w3 - 100, 300, 360),
                         V(w3 - 300, 600, 420)},
                        400, 16, 0.1f, 0.0f),
                 60.0f);
  return s;
}
