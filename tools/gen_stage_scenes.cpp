// The scenes around the dancer and the single-object scenes: the catwalk
// hall, the box room, the dance floor, the blob, the cube and the ringed
// object of the flare scene. Cameras are keyed against the clocks the
// effects run each scene at (22.5 frames a second), and every face uses a
// material the asset set-up gives a texture, so none is drawn untextured.
#include <cstdio>
#include <iterator>

#include "image/asset_names.h"
#include "tools/gen_scenes.h"

namespace {

constexpr float kTwoPi = 6.28318531f;

Vec3 V(float x, float y, float z) { return Vec3{x, y, z}; }

// Camera keys round a centre: `turns` of a circle from angle a0 (radians,
// 0 on +x, counter-clockwise seen from above) over frames f0..f1.
std::vector<CameraKey> Orbit(int f0, int f1, int steps, Vec3 centre, float radius, float a0,
                             float turns, float z0, float z1, Vec3 target) {
  std::vector<CameraKey> keys;
  for (int i = 0; i <= steps; i++) {
    float u = static_cast<float>(i) / static_cast<float>(steps);
    float a = a0 + kTwoPi * turns * u;
    int frame = f0 + (f1 - f0) * i / steps;
    keys.push_back(CameraKey{
        frame, V(centre.x + radius * Cos(a), centre.y + radius * Sin(a), z0 + (z1 - z0) * u),
        target});
  }
  return keys;
}

// Two spots above the stage, in front and to her right, for the effects
// that light the figure through projectors.
void Spots(SceneFile* s) {
  SceneAddLight(s, "Spot01", V(0, -450, 420), V(1.0f, 0.95f, 0.9f));
  SceneAddLight(s, "Spot02", V(-300, 50, 320), V(0.9f, 0.7f, 0.5f));
}

// Rotates the vertices of a mesh from `first` on: a quarter turn that takes
// z to y (about x) or z to x (about y).
void QuarterTurn(SceneFileMesh* mesh, size_t first, bool aboutX) {
  for (size_t i = first; i < mesh->vertices.size(); i++) {
    Vec3& p = mesh->vertices[i];
    p = aboutX ? V(p.x, -p.z, p.y) : V(p.z, p.y, -p.x);
  }
}

// The inside of a box facing in: floor and ceiling in one material, the
// walls in another, carrying their texture once from floor to ceiling.
void Room(SceneFileMesh* m, Vec3 lo, Vec3 hi, const std::string& walls, const std::string& floor,
          float tile) {
  float dx = hi.x - lo.x, dy = hi.y - lo.y, dz = hi.z - lo.z;
  // In grids, so the big panels do not swim when seen along them.
  KitGridPanel(m, lo, V(dx, 0, 0), V(0, dy, 0), dx / tile, dy / tile, 6, 6, floor);
  KitGridPanel(m, V(lo.x, lo.y, hi.z), V(0, dy, 0), V(dx, 0, 0), dy / tile, dx / tile, 6, 6, floor);
  KitGridPanel(m, V(hi.x, lo.y, lo.z), V(-dx, 0, 0), V(0, 0, dz), dx / tile, 1.0f, 6, 2, walls);
  KitGridPanel(m, V(lo.x, hi.y, lo.z), V(dx, 0, 0), V(0, 0, dz), dx / tile, 1.0f, 6, 2, walls);
  KitGridPanel(m, V(lo.x, lo.y, lo.z), V(0, dy, 0), V(0, 0, dz), dy / tile, 1.0f, 6, 2, walls);
  KitGridPanel(m, V(hi.x, hi.y, lo.z), V(0, -dy, 0), V(0, 0, dz), dy / tile, 1.0f, 6, 2, walls);
}

std::vector<std::string> DancerMaterials() {
  return std::vector<std::string>(std::begin(kDancerMaterialNames), std::end(kDancerMaterialNames));
}

SceneFileMesh Named(const char* name) {
  SceneFileMesh m;
  m.name = name;
  return m;
}

// A row of poles along one side of the runway with gold knobs, and the
// sagging ropes between them.
void PolesAndRopes(SceneFile* s, float x, const char* poles, const char* ropes) {
  SceneFileMesh p = Named(poles), r = Named(ropes);
  const float top = 95.0f, sag = 9.0f;
  for (int i = 0; i < 8; i++) {
    float y = -280.0f + 80.0f * static_cast<float>(i);
    KitLathe(&p, V(x, y, -40), V(x, y, top), V(1, 0, 0),
             {{0, 0, 0}, {0.01f, 2.6f, 2.6f}, {0.99f, 2.6f, 2.6f}, {1, 0, 0}}, 8, 1.0f, 1.0f,
             "Pole");
    KitLathe(&p, V(x, y, top - 3.0f), V(x, y, top + 7.0f), V(1, 0, 0),
             {{0, 0, 0}, {0.25f, 4.2f, 4.2f}, {0.6f, 4.6f, 4.6f}, {1, 0, 0}}, 8, 1.0f, 1.0f,
             "Gold");
    if (i == 7) break;
    float z = top - 10.0f;
    for (int half = 0; half < 2; half++) {
      float y0 = y + 40.0f * static_cast<float>(half);
      float z0 = half ? z - sag : z, z1 = half ? z : z - sag;
      KitLathe(&r, V(x, y0, z0), V(x, y0 + 40.0f, z1), V(1, 0, 0),
               {{0, 1.8f, 1.8f}, {1, 1.8f, 1.8f}}, 6, 1.0f, 2.0f, "Rope");
    }
  }
  SceneAddMesh(s, p);
  SceneAddMesh(s, r);
}

}  // namespace

// The hall: a runway 120 wide and 600 long (front end at y = -300) on a dark
// floor, poles with ropes along both sides, the portrait board at the back.
// Motion 1 walks her from y = 230 to -210 and back; motion 2 poses at -210.
SceneFile CatwalkScene() {
  SceneFile s;
  s.materials = DancerMaterials();
  for (const char* name : kCatwalkPropMaterials) s.materials.push_back(name);
  s.materials.push_back(kCatwalkPortraitMaterial);
  s.lastFrame = 400;
  AddDancer(&s);

  SceneFileMesh m = Named("Runway");
  KitGridPanel(&m, V(-60, -300, 0), V(120, 0, 0), V(0, 600, 0), 1.0f, 5.0f, 2, 10, "Cat_Floor");
  KitPanel(&m, V(-60, -300, -40), V(120, 0, 0), V(0, 0, 40), 1.0f, 1.0f, "Cat_Side");
  KitPanel(&m, V(60, -300, -40), V(0, 600, 0), V(0, 0, 40), 4.0f, 1.0f, "Cat_Side");
  KitPanel(&m, V(-60, 300, -40), V(0, -600, 0), V(0, 0, 40), 4.0f, 1.0f, "Cat_Side");
  SceneAddMesh(&s, m);

  m = Named("Trim");
  KitBox(&m, V(-63, -303, -2), V(-58, 300, 1.5f), "Gold", "Gold", "", 20.0f);
  KitBox(&m, V(58, -303, -2), V(63, 300, 1.5f), "Gold", "Gold", "", 20.0f);
  KitBox(&m, V(-58, -303, -2), V(58, -298, 1.5f), "Gold", "Gold", "", 20.0f);
  SceneAddMesh(&s, m);

  m = Named("Hall");
  Room(&m, V(-700, -800, -40), V(700, 500, 560), "Cat_Side", "Cat_Floor", 200.0f);
  SceneAddMesh(&s, m);

  PolesAndRopes(&s, -82.0f, "Poles_R", "Ropes_R");
  PolesAndRopes(&s, 82.0f, "Poles_L", "Ropes_L");

  m = Named("Board");
  KitGridPanel(&m, V(-110, 330, 30), V(220, 0, 0), V(0, 0, 240), 1.0f, 1.0f, 6, 6,
               kCatwalkPortraitMaterial);
  KitBox(&m, V(-122, 331, 18), V(122, 340, 30), "Gold", "Gold", "Gold", 24.0f);
  KitBox(&m, V(-122, 331, 270), V(122, 340, 282), "Gold", "Gold", "Gold", 24.0f);
  KitBox(&m, V(-122, 331, 30), V(-110, 340, 270), "Gold", "Gold", "", 24.0f);
  KitBox(&m, V(110, 331, 30), V(122, 340, 270), "Gold", "Gold", "", 24.0f);
  KitBox(&m, V(-80, 334, -40), V(-70, 344, 18), "Gold", "", "", 24.0f);
  KitBox(&m, V(70, 334, -40), V(80, 344, 18), "Gold", "", "", 24.0f);
  SceneAddMesh(&s, m);

  Spots(&s);

  // 0: the long view from the front, rows at 0-3.85, 6.5-9.68 and 12-14 s.
  SceneAddCamera(&s, "Front",
                 {{0, V(0, -560, 95), V(0, 0, 110)},
                  {90, V(0, -500, 110), V(0, -40, 105)},
                  {146, V(20, -480, 150), V(0, 40, 95)},
                  {220, V(-30, -500, 170), V(0, 120, 90)},
                  {270, V(0, -540, 110), V(0, 40, 110)},
                  {320, V(0, -490, 115), V(0, -20, 110)},
                  {400, V(0, -460, 120), V(0, -60, 110)}},
                 60.0f);
  // 1: beside the runway as she walks back to the board (9.68-12 s).
  SceneAddCamera(&s, "Side",
                 {{0, V(260, -100, 120), V(0, 0, 100)},
                  {218, V(260, 30, 120), V(0, 100, 100)},
                  {252, V(250, 170, 125), V(0, 215, 105)},
                  {270, V(240, 220, 130), V(0, 240, 110)},
                  {400, V(230, 260, 140), V(0, 260, 110)}},
                 60.0f);
  // 2: three-quarter view of the front end while she poses (3.85-6.5 s).
  SceneAddCamera(&s, "Pose",
                 {{0, V(-200, -360, 120), V(0, -210, 110)},
                  {87, V(-190, -350, 125), V(0, -210, 110)},
                  {146, V(-140, -320, 140), V(0, -210, 115)},
                  {400, V(-120, -300, 150), V(0, -210, 120)}},
                 60.0f);
  // 3: one slow turn round the front end, high enough to pass over the
  // poles and ropes.
  SceneAddCamera(
      &s, "Orbit",
      Orbit(0, 400, 16, V(0, -210, 0), 240.0f, -2.2f, 1.0f, 135.0f, 175.0f, V(0, -210, 105)), 60.0f);
  // 4: up from the shoes to the face, close.
  SceneAddCamera(&s, "Close",
                 {{0, V(45, -300, 25), V(0, -210, 15)},
                  {90, V(40, -300, 90), V(0, -210, 95)},
                  {187, V(25, -290, 160), V(0, -210, 158)},
                  {400, V(-30, -290, 165), V(0, -210, 160)}},
                 45.0f);
  // 5: a quick push in on the face.
  SceneAddCamera(&s, "Face",
                 {{0, V(0, -440, 175), V(0, -210, 160)},
                  {45, V(0, -275, 163), V(0, -210, 160)},
                  {400, V(0, -265, 162), V(0, -210, 160)}},
                 45.0f);
  // 6: the last pull back, from her face up over the whole hall.
  SceneAddCamera(&s, "Final",
                 {{0, V(0, -285, 165), V(0, -210, 160)},
                  {100, V(40, -420, 200), V(0, -210, 130)},
                  {225, V(0, -720, 420), V(0, 0, 60)},
                  {400, V(0, -760, 440), V(0, 0, 60)}},
                 60.0f);
  return s;
}

// Cameras shared by the box room and the blob scene, so the blob's floor
// lines up with the dancer whichever scene lends the view.
void BoxCameras(SceneFile* s) {
  SceneAddCamera(s, "Front",
                 {{0, V(0, -270, 135), V(0, 0, 100)},
                  {200, V(60, -250, 120), V(0, 0, 95)},
                  {400, V(0, -270, 135), V(0, 0, 100)}},
                 60.0f);
  SceneAddCamera(s, "Low",
                 Orbit(0, 400, 16, V(0, 0, 0), 290.0f, -1.57f, 1.0f, 50.0f, 70.0f, V(0, 0, 110)),
                 60.0f);
  SceneAddCamera(s, "High",
                 Orbit(0, 400, 16, V(0, 0, 0), 330.0f, -1.2f, 1.0f, 230.0f, 150.0f, V(0, 0, 60)),
                 60.0f);
  SceneAddCamera(s, "Above",
                 Orbit(0, 400, 8, V(0, 0, 0), 120.0f, 0.0f, -1.0f, 360.0f, 360.0f, V(0, 0, 60)),
                 60.0f);
}

// A laced red room with a dark floor and the dancer in the middle; every surface
// uses one of the dancer's materials, the only ones this scene gets
// textures for.
SceneFile BoxScene() {
  SceneFile s;
  s.materials = DancerMaterials();
  s.lastFrame = 400;
  AddDancer(&s);
  SceneFileMesh m = Named("Room");
  Room(&m, V(-420, -420, -3), V(420, 420, 450), "ChestBack", "black", 140.0f);
  SceneAddMesh(&s, m);
  Spots(&s);
  BoxCameras(&s);
  return s;
}

// The blob: "Box02", a slab of wobbly outline whose flat top lies at the
// dancer's floor level, for her reflection.
SceneFile BlobScene() {
  SceneFile s;
  s.materials = {"mymat"};
  s.lastFrame = 400;
  SceneFileMesh m = Named("Box02");
  const int n = 48;
  int centre = KitVertex(&m, V(0, 0, 0), 0.5f, 0.5f);
  std::vector<int> top, mid, bottom;
  for (int i = 0; i <= n; i++) {
    float a = kTwoPi * static_cast<float>(i) / static_cast<float>(n);
    float r = 165.0f + 22.0f * Sin(3.0f * a) + 12.0f * Cos(5.0f * a + 0.7f);
    float c = Cos(a), sn = Sin(a);
    top.push_back(KitVertex(&m, V(r * c, r * sn, 0), 0.5f + 0.5f * r * c / 200.0f,
                            0.5f + 0.5f * r * sn / 200.0f));
    float u = 3.0f * static_cast<float>(i) / static_cast<float>(n);
    mid.push_back(KitVertex(&m, V((r + 10.0f) * c, (r + 10.0f) * sn, -14.0f), u, 0.5f));
    bottom.push_back(KitVertex(&m, V(r * c, r * sn, -30.0f), u, 0.0f));
  }
  for (int i = 0; i < n; i++) {
    KitFace(&m, centre, top[i], top[i + 1], "mymat");
    KitQuad(&m, mid[i], mid[i + 1], top[i + 1], top[i], "mymat");
    KitQuad(&m, bottom[i], bottom[i + 1], mid[i + 1], mid[i], "mymat");
  }
  SceneAddMesh(&s, m);
  Spots(&s);
  BoxCameras(&s);
  return s;
}

// The dance floor: lit tiles in a raised square on a parquet ground, stone
// pillars round it and a gradient sky wall all round.
SceneFile FloorScene() {
  SceneFile s;
  s.materials = DancerMaterials();
  for (const AssetBinding& b : kFloorMaps) s.materials.push_back(b.material);
  s.lastFrame = 400;
  AddDancer(&s);

  SceneFileMesh m = Named("DanceFloor");
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++)
      KitPanel(&m, V(-160.0f + 80.0f * x, -160.0f + 80.0f * y, 0), V(80, 0, 0), V(0, 80, 0), 1.0f,
               1.0f, "dancefloor");
  KitBox(&m, V(-160, -160, -12), V(160, 160, 0), "step", "", "", 12.0f);
  SceneAddMesh(&s, m);

  m = Named("Steps");
  KitBox(&m, V(-220, -220, -12), V(220, -160, -5), "step", "step", "", 60.0f);
  KitBox(&m, V(-220, 160, -12), V(220, 220, -5), "step", "step", "", 60.0f);
  KitBox(&m, V(-220, -160, -12), V(-160, 160, -5), "step", "step", "", 60.0f);
  KitBox(&m, V(160, -160, -12), V(220, 160, -5), "step", "step", "", 60.0f);
  SceneAddMesh(&s, m);

  m = Named("Ground");
  KitPanel(&m, V(-700, -700, -12), V(1400, 0, 0), V(0, 1400, 0), 6.0f, 6.0f, "floor");
  SceneAddMesh(&s, m);

  // The inside of a cylinder.
  m = Named("Sky");
  KitLathe(&m, V(0, 0, -12), V(0, 0, 420), V(1, 0, 0), {{0, 680, 680}, {1, 680, 680}}, 32, 4.0f,
           1.0f, "gradient");
  KitFlip(&m, 0);
  SceneAddMesh(&s, m);

  for (int i = 0; i < 6; i++) {
    char name[16];
    std::snprintf(name, sizeof name, "Pillar%02d", i + 1);
    m = Named(name);
    float a = kTwoPi * (static_cast<float>(i) + 0.5f) / 6.0f;
    Vec3 base = V(390.0f * Cos(a), 390.0f * Sin(a), -12.0f);
    KitLathe(&m, base, V(base.x, base.y, 320.0f), V(1, 0, 0),
             {{0, 0, 0},
              {0.001f, 26, 26},
              {0.05f, 26, 26},
              {0.06f, 19, 19},
              {0.93f, 17, 17},
              {0.95f, 25, 25},
              {0.999f, 25, 25},
              {1, 0, 0}},
             12, 2.0f, 4.0f, "stone");
    SceneAddMesh(&s, m);
  }
  Spots(&s);

  // Every camera stays inside the ring of pillars (their inner faces at a
  // radius of 364), so no pillar comes between a camera and the dancer.
  SceneAddCamera(&s, "Front",
                 {{0, V(0, -320, 190), V(0, 0, 75)},
                  {160, V(80, -290, 160), V(0, 0, 80)},
                  {400, V(-60, -310, 185), V(0, 0, 75)}},
                 60.0f);
  SceneAddCamera(&s, "Round",
                 Orbit(0, 340, 16, V(0, 0, 0), 300.0f, -1.57f, 1.0f, 230.0f, 160.0f, V(0, 0, 80)),
                 60.0f);
  SceneAddCamera(&s, "Crane",
                 {{0, V(0, -260, 390), V(0, 0, 0)},
                  {157, V(0, -260, 390), V(0, 0, 0)},
                  {240, V(-190, -250, 220), V(0, 0, 60)},
                  {315, V(-240, -190, 75), V(0, 0, 100)},
                  {400, V(-250, -150, 65), V(0, 0, 100)}},
                 60.0f);
  return s;
}

// A textured cube turning in front of an orbiting camera.
SceneFile CubeScene() {
  SceneFile s;
  s.materials = {"MATERIAL #1"};
  s.lastFrame = 400;
  SceneFileMesh m = Named("Cube");
  KitBox(&m, V(-50, -50, -50), V(50, 50, 50), "MATERIAL #1", "MATERIAL #1", "MATERIAL #1", 100.0f);
  SceneAddMesh(&s, m);
  SceneAddLight(&s, "Light01", V(-200, -300, 250), V(1, 1, 1));
  SceneAddCamera(&s, "Orbit",
                 Orbit(0, 400, 16, V(0, 0, 0), 260.0f, -1.57f, 1.0f, 120.0f, 120.0f, V(0, 0, 0)),
                 60.0f);
  return s;
}

// Three interlocked rings about a core, centred on the origin where the
// first light sits; the second light circles outside them at radius 180.
SceneFile ObjectScene() {
  SceneFile s;
  s.lastFrame = 450;
  SceneFileMesh m = Named("Dings");
  KitTorus(&m, V(0, 0, 0), 100.0f, 13.0f, 40, 12, 6.0f, 1.0f, "");
  size_t second = m.vertices.size();
  KitTorus(&m, V(0, 0, 0), 80.0f, 11.0f, 36, 12, 5.0f, 1.0f, "");
  QuarterTurn(&m, second, true);
  size_t third = m.vertices.size();
  KitTorus(&m, V(0, 0, 0), 60.0f, 9.0f, 32, 10, 4.0f, 1.0f, "");
  QuarterTurn(&m, third, false);
  KitLathe(&m, V(0, 0, -24), V(0, 0, 24), V(1, 0, 0),
           {{0, 0, 0}, {0.15f, 14, 14}, {0.5f, 24, 24}, {0.85f, 14, 14}, {1, 0, 0}}, 16, 2.0f, 1.0f,
           "");
  SceneAddMesh(&s, m);
  SceneAddLight(&s, "Light01", V(0, 0, 0), V(0.6f, 0.9f, 0.4f));
  SceneAddLight(&s, "Light02", V(0, 180, 0), V(0.6f, 0.4f, 0.8f));
  // One turn round the rings that pushes in twice and rises and dips, so
  // the framing keeps changing over the flare row's twenty seconds; never
  // nearer than 150 to the centre (the outer ring reaches 113).
  std::vector<CameraKey> orbit;
  for (int i = 0; i <= 36; i++) {
    float u = static_cast<float>(i) / 36.0f;
    float a = -1.57f + kTwoPi * u;
    float r = 210.0f + 60.0f * Cos(2.0f * kTwoPi * u);
    float z = 60.0f + 110.0f * Sin(1.5f * kTwoPi * u);
    orbit.push_back(CameraKey{450 * i / 36, V(r * Cos(a), r * Sin(a), z), V(0, 0, 0)});
  }
  SceneAddCamera(&s, "Orbit", orbit, 60.0f);
  SceneAddCamera(&s, "Near",
                 Orbit(0, 450, 18, V(0, 0, 0), 205.0f, 0.0f, -1.0f, 120.0f, 120.0f, V(0, 0, 0)),
                 60.0f);
  return s;
}
