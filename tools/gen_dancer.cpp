// The dancer: a stylised fashion model of sixteen separate meshes, each
// modelled about its own joint so a motion file can place it with one
// matrix. She stands at the origin facing -y, z-up, about 178 units (one
// unit a centimetre) tall.
#include <cmath>

#include "image/asset_names.h"
#include "tools/gen_scenes.h"

namespace {

Vec3 V(float x, float y, float z) { return Vec3{x, y, z}; }

// Mirror of a point for the left side: the figure's right is -x.
Vec3 Side(float sign, Vec3 p) { return V(sign * p.x, p.y, p.z); }

// Rows of a z-up row-vector rotation.
Mat4 RotX(float a) {
  float c = Cos(a), s = Sin(a);
  return Mat4{{1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1}};
}
Mat4 RotY(float a) {
  float c = Cos(a), s = Sin(a);
  return Mat4{{c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1}};
}
Mat4 RotZ(float a) {
  float c = Cos(a), s = Sin(a);
  return Mat4{{c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
}
Mat4 Move(Vec3 t) { return Mat4{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, t.x, t.y, t.z, 1}}; }

Mat4 Product(const Mat4& a, const Mat4& b) {
  Mat4 out;
  MatMul(a, b, &out);
  return out;
}

// One mesh per part, vertices in the rest pose; its frame's origin is the
// joint, so the loader keeps the part's points relative to it.
SceneFileMesh NewPart(int part) {
  SceneFileMesh mesh;
  mesh.name = kDancerPartTable[part].name;
  mesh.origin = kDancerPartTable[part].joint;
  if (DancerPartMirrored(part)) mesh.axes[0] = V(-1, 0, 0);
  return mesh;
}

// Planar (x, z) mapping over a box, for the face and the front panels.
void PlanarMap(SceneFileMesh* mesh, size_t from, float x0, float x1, float z0, float z1) {
  for (size_t i = from; i < mesh->vertices.size(); i++) {
    mesh->mapping[2 * i] = (mesh->vertices[i].x - x0) / (x1 - x0);
    mesh->mapping[2 * i + 1] = (mesh->vertices[i].z - z0) / (z1 - z0);
  }
}

// Faces from `from` on whose normal points backwards (+y) move to the back
// material's group.
void SplitBack(SceneFileMesh* mesh, size_t from, const std::string& front,
               const std::string& back) {
  std::vector<SceneFileGroup> groups;
  SceneFileGroup f{front, {}}, b{back, {}};
  for (const SceneFileGroup& g : mesh->groups)
    if (g.material != front) groups.push_back(g);
  for (const SceneFileGroup& g : mesh->groups) {
    if (g.material != front) continue;
    for (uint16_t i : g.faces) {
      const SceneFileFace& face = mesh->faces[i];
      const Vec3& p0 = mesh->vertices[face.a];
      const Vec3& p1 = mesh->vertices[face.b];
      const Vec3& p2 = mesh->vertices[face.c];
      float e1x = p1.x - p0.x, e1z = p1.z - p0.z, e2x = p2.x - p0.x, e2z = p2.z - p0.z;
      float ny = e1z * e2x - e1x * e2z;  // y of (p1 - p0) x (p2 - p0)
      (i >= from && ny > 0.0f ? b : f).faces.push_back(i);
    }
  }
  if (!f.faces.empty()) groups.push_back(f);
  if (!b.faces.empty()) groups.push_back(b);
  mesh->groups = groups;
}

// Limb of round section from joint a to end b; radii along its length.
void Limb(SceneFileMesh* mesh, Vec3 a, Vec3 b, Vec3 side, std::vector<LatheRing> rings,
          const char* material) {
  KitLathe(mesh, a, b, side, rings, 12, 1.0f, 1.0f, material);
}

// Limb from joint a to joint b whose ends are half balls centred on the
// joints (radius capA behind a, capB beyond b; 0 for an open-ended taper to
// a point at the joint). Both parts meeting at a joint hold a ball about it,
// so the joint stays closed however far it bends. `body` gives the radii
// between the joints (t in 0..1 from a to b), without end points.
void CappedLimb(SceneFileMesh* mesh, Vec3 a, Vec3 b, Vec3 side, float capA, float capB,
                const std::vector<LatheRing>& body, const char* material) {
  const Vec3 d = V(b.x - a.x, b.y - a.y, b.z - a.z);
  const float len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  const Vec3 u = V(d.x / len, d.y / len, d.z / len);
  const float total = capA + len + capB;
  const Vec3 from = V(a.x - u.x * capA, a.y - u.y * capA, a.z - u.z * capA);
  const Vec3 to = V(b.x + u.x * capB, b.y + u.y * capB, b.z + u.z * capB);
  // Heights up a half ball and the radius there, as fractions of its radius.
  const float cap[3][2] = {{0.0f, 0.0f}, {0.4f, 0.8f}, {1.0f, 1.0f}};
  std::vector<LatheRing> rings;
  if (capA > 0.0f) {
    for (const auto& c : cap) rings.push_back({c[0] * capA / total, c[1] * capA, c[1] * capA});
  } else {
    rings.push_back({0.0f, 0.0f, 0.0f});
  }
  for (const LatheRing& r : body) rings.push_back({(capA + r.t * len) / total, r.rx, r.ry});
  if (capB > 0.0f) {
    for (int i = 2; i >= 0; i--)
      rings.push_back({(total - cap[i][0] * capB) / total, cap[i][1] * capB, cap[i][1] * capB});
  } else {
    rings.push_back({1.0f, 0.0f, 0.0f});
  }
  KitLathe(mesh, from, to, side, rings, 12, 1.0f, 1.0f, material);
}

void AddArm(SceneFile* scene, float sign, int upper, int lower, int hand) {
  Vec3 shoulder = kDancerPartTable[upper].joint, elbow = kDancerPartTable[lower].joint;
  Vec3 wrist = kDancerPartTable[hand].joint;
  SceneFileMesh m = NewPart(upper);
  CappedLimb(&m, V(shoulder.x, 0, shoulder.z), V(elbow.x, 0, elbow.z), V(1, 0, 0), 4.3f, 3.4f,
             {{0.1f, 4.5f, 4.4f}, {0.9f, 3.5f, 3.4f}}, "skin");
  SceneAddMesh(scene, m);
  m = NewPart(lower);
  CappedLimb(&m, V(elbow.x, 0, elbow.z), V(wrist.x, 0, wrist.z), V(1, 0, 0), 3.4f, 2.3f,
             {{0.35f, 3.6f, 3.5f}, {0.92f, 2.4f, 2.4f}}, "ArmGlove");
  SceneAddMesh(scene, m);
  m = NewPart(hand);
  CappedLimb(&m, V(wrist.x, 0, wrist.z), Side(sign, V(-18.0f, -1.5f, wrist.z - 15.0f)), V(1, 0, 0),
             2.3f, 0.0f, {{0.1f, 1.9f, 3.0f}, {0.45f, 1.8f, 4.1f}, {0.8f, 1.4f, 3.3f}},
             "ArmGlove");
  SceneAddMesh(scene, m);
}

void AddLeg(SceneFile* scene, float sign, int upper, int lower, int foot) {
  Vec3 hip = kDancerPartTable[upper].joint, knee = kDancerPartTable[lower].joint;
  Vec3 ankle = kDancerPartTable[foot].joint;
  // The thigh starts inside the briefs, slim at its top, so it does not
  // push through them when the leg swings.
  SceneFileMesh m = NewPart(upper);
  CappedLimb(&m, V(hip.x, 0, hip.z), V(knee.x, 0, knee.z), V(1, 0, 0), 5.6f, 4.8f,
             {{0.08f, 6.6f, 6.8f}, {0.3f, 7.6f, 7.8f}, {0.9f, 4.9f, 5.0f}}, "skin");
  SceneAddMesh(scene, m);
  m = NewPart(lower);
  CappedLimb(&m, V(knee.x, 0, knee.z), V(ankle.x, 0, ankle.z), V(1, 0, 0), 4.8f, 2.9f,
             {{0.1f, 4.7f, 4.9f}, {0.25f, 5.0f, 5.6f}, {0.55f, 4.0f, 4.3f}, {0.88f, 2.8f, 2.9f}},
             "skin");
  SceneAddMesh(scene, m);
  // A pointed shoe on a thin heel, in the bodice's red so it reads against
  // a dark floor; the instep closes over the ankle.
  m = NewPart(foot);
  Limb(&m, Side(sign, V(-8.5f, 5.0f, 5.0f)), Side(sign, V(-8.5f, -17.0f, 1.5f)), V(0, 0, 1),
       {{0, 0, 0}, {0.08f, 3.6f, 3.0f}, {0.4f, 3.4f, 3.6f}, {0.85f, 1.6f, 2.8f}, {1, 0, 0}},
       "ChestFront");
  CappedLimb(&m, V(ankle.x, 0, ankle.z), Side(sign, V(-8.5f, -6.0f, 3.0f)), V(1, 0, 0), 3.0f, 2.6f,
             {{0.5f, 2.8f, 2.8f}}, "ChestFront");
  Limb(&m, Side(sign, V(-8.5f, 4.5f, 3.5f)), Side(sign, V(-8.5f, 5.0f, 0.0f)), V(1, 0, 0),
       {{0, 0, 0}, {0.1f, 1.2f, 1.2f}, {0.95f, 0.6f, 0.6f}, {1, 0, 0}}, "black");
  SceneAddMesh(scene, m);
}

}  // namespace

const DancerPart kDancerPartTable[kDancerParts] = {
    {kDancerPartNames[0], -1, {0.0f, 0.0f, 100.0f}},
    {kDancerPartNames[1], DP_HIP, {0.0f, 0.0f, 106.0f}},
    {kDancerPartNames[2], DP_CHEST, {0.0f, 0.0f, 145.0f}},
    {kDancerPartNames[3], DP_NECK, {0.0f, 0.0f, 154.0f}},
    {kDancerPartNames[4], DP_CHEST, {-18.5f, 0.0f, 140.0f}},
    {kDancerPartNames[5], DP_ARM_UPPER_R, {-18.5f, 0.0f, 112.0f}},
    {kDancerPartNames[6], DP_ARM_LOWER_R, {-18.5f, 0.0f, 88.0f}},
    {kDancerPartNames[7], DP_CHEST, {18.5f, 0.0f, 140.0f}},
    {kDancerPartNames[8], DP_ARM_UPPER_L, {18.5f, 0.0f, 112.0f}},
    {kDancerPartNames[9], DP_ARM_LOWER_L, {18.5f, 0.0f, 88.0f}},
    {kDancerPartNames[10], DP_HIP, {-8.5f, 0.0f, 92.0f}},
    {kDancerPartNames[11], DP_LEG_UPPER_R, {-8.5f, 0.0f, 50.0f}},
    {kDancerPartNames[12], DP_LEG_LOWER_R, {-8.5f, 0.0f, 8.0f}},
    {kDancerPartNames[13], DP_HIP, {8.5f, 0.0f, 92.0f}},
    {kDancerPartNames[14], DP_LEG_UPPER_L, {8.5f, 0.0f, 50.0f}},
    {kDancerPartNames[15], DP_LEG_LOWER_L, {8.5f, 0.0f, 8.0f}},
};

void AddDancer(SceneFile* scene) {
  SceneFileMesh m = NewPart(DP_HIP);
  KitLathe(&m, V(0, 0, 81.0f), V(0, 0, 110.0f), V(1, 0, 0),
           {{0, 0, 0},
            {0.1f, 10.5f, 7.5f},
            {0.35f, 16.0f, 10.5f},
            {0.62f, 16.2f, 10.8f},
            {0.85f, 13.0f, 9.0f},
            {1, 0, 0}},
           16, 1.0f, 1.0f, "HipFront");
  PlanarMap(&m, 0, -16.5f, 16.5f, 81.0f, 110.0f);
  SplitBack(&m, 0, "HipFront", "HipBack");
  SceneAddMesh(scene, m);

  m = NewPart(DP_CHEST);
  KitLathe(&m, V(0, 0, 103.0f), V(0, 0, 150.0f), V(1, 0, 0),
           {{0, 0, 0},
            {0.04f, 12.5f, 8.5f},
            {0.22f, 11.8f, 8.3f},
            {0.5f, 14.5f, 9.8f},
            {0.66f, 15.5f, 11.6f},
            {0.84f, 17.5f, 9.6f},
            {0.94f, 15.0f, 7.4f},
            {1, 0, 0}},
           16, 1.0f, 1.0f, "ChestFront");
  PlanarMap(&m, 0, -17.5f, 17.5f, 103.0f, 150.0f);
  SplitBack(&m, 0, "ChestFront", "ChestBack");
  // Rounded shoulders about the arms' joints, so each arm turns in a socket
  // of the bodice and no gap opens between them.
  for (int arm : {DP_ARM_UPPER_R, DP_ARM_UPPER_L}) {
    const Vec3 j = kDancerPartTable[arm].joint;
    KitLathe(&m, V(j.x, 0, j.z - 4.6f), V(j.x, 0, j.z + 4.6f), V(1, 0, 0),
             {{0, 0, 0},
              {0.067f, 2.3f, 2.3f},
              {0.25f, 4.0f, 4.0f},
              {0.5f, 4.6f, 4.6f},
              {0.75f, 4.0f, 4.0f},
              {0.933f, 2.3f, 2.3f},
              {1, 0, 0}},
             10, 1.0f, 1.0f, "ChestFront");
  }
  SceneAddMesh(scene, m);

  m = NewPart(DP_NECK);
  KitLathe(&m, V(0, 0.5f, 143.0f), V(0, 0.5f, 157.0f), V(1, 0, 0),
           {{0, 0, 0}, {0.05f, 4.6f, 4.8f}, {0.95f, 3.9f, 4.2f}, {1, 0, 0}}, 10, 1.0f, 1.0f,
           "skin");
  SceneAddMesh(scene, m);

  // The face on the front of an egg, hair behind and in a bun.
  m = NewPart(DP_HEAD);
  KitLathe(&m, V(0, -0.5f, 151.0f), V(0, -0.5f, 177.5f), V(1, 0, 0),
           {{0, 0, 0},
            {0.1f, 5.0f, 6.0f},
            {0.3f, 7.6f, 9.4f},
            {0.55f, 8.6f, 10.2f},
            {0.8f, 7.8f, 9.6f},
            {0.95f, 4.8f, 5.8f},
            {1, 0, 0}},
           16, 1.0f, 1.0f, "face");
  PlanarMap(&m, 0, -8.8f, 8.8f, 151.0f, 177.5f);
  SplitBack(&m, 0, "face", "hair");
  KitLathe(&m, V(0, 7.0f, 175.0f), V(0, 16.0f, 169.0f), V(1, 0, 0),
           {{0, 0, 0}, {0.25f, 4.8f, 4.8f}, {0.6f, 5.2f, 5.2f}, {1, 0, 0}}, 10, 2.0f, 1.0f, "hair");
  SceneAddMesh(scene, m);

  AddArm(scene, 1.0f, DP_ARM_UPPER_R, DP_ARM_LOWER_R, DP_HAND_R);
  AddArm(scene, -1.0f, DP_ARM_UPPER_L, DP_ARM_LOWER_L, DP_HAND_L);
  AddLeg(scene, 1.0f, DP_LEG_UPPER_R, DP_LEG_LOWER_R, DP_FOOT_R);
  AddLeg(scene, -1.0f, DP_LEG_UPPER_L, DP_LEG_LOWER_L, DP_FOOT_L);
}

bool DancerPartMirrored(int part) {
  switch (part) {
    case DP_HIP:
    case DP_CHEST:
    case DP_NECK:
    case DP_ARM_UPPER_R:
    case DP_ARM_LOWER_R:
    case DP_HAND_R:
    case DP_LEG_UPPER_R:
    case DP_LEG_LOWER_R:
    case DP_FOOT_R:
      return true;
    default:
      return false;
  }
}

void DancerWorld(const DancerPose& pose, Mat4 world[kDancerParts]) {
  // frame: each joint's place and turn; the mirrored parts' meshes are
  // stored mirrored in x and are turned back on the way out.
  Mat4 frame[kDancerParts];
  for (int i = 0; i < kDancerParts; i++) {
    const DancerPart& part = kDancerPartTable[i];
    const Vec3& a = pose.turn[i];
    Mat4 local = Product(Product(RotZ(a.z), RotY(a.y)), RotX(a.x));
    if (part.parent < 0) {
      frame[i] = Product(Product(local, RotZ(pose.heading)), Move(pose.hip));
    } else {
      const Vec3& pj = kDancerPartTable[part.parent].joint;
      Vec3 offset = V(part.joint.x - pj.x, part.joint.y - pj.y, part.joint.z - pj.z);
      frame[i] = Product(Product(local, Move(offset)), frame[part.parent]);
    }
  }
  float lowest = 0.0f;
  if (pose.grounded) {
    // Heel and toe of both shoes: the lowest of them rests on the floor.
    const Vec3 sole[2] = {{0.0f, 4.8f, -8.0f}, {0.0f, -17.0f, -6.6f}};
    lowest = 1e9f;
    for (int foot : {DP_FOOT_R, DP_FOOT_L})
      for (const Vec3& point : sole) {
        Vec3 p;
        MatTransformPoint(point, frame[foot], &p);
        if (p.z < lowest) lowest = p.z;
      }
  }
  const Mat4 mirror = {{-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
  for (int i = 0; i < kDancerParts; i++) {
    world[i] = DancerPartMirrored(i) ? Product(mirror, frame[i]) : frame[i];
    world[i].m[14] -= lowest;
  }
}
