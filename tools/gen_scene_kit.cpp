// Shapes and scene assembly for the generated .3ds files. Every shape is
// wound counter-clockwise seen from outside, as scene files are, and carries
// its own mapping so no mesh falls back to the loader's normal projection.
#include <cmath>
#include <utility>

#include "tools/gen_scenes.h"

namespace {

Vec3 V(float x, float y, float z) { return Vec3{x, y, z}; }
Vec3 Plus(Vec3 a, Vec3 b) { return V(a.x + b.x, a.y + b.y, a.z + b.z); }
Vec3 Minus(Vec3 a, Vec3 b) { return V(a.x - b.x, a.y - b.y, a.z - b.z); }
Vec3 Times(Vec3 a, float s) { return V(a.x * s, a.y * s, a.z * s); }
float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Cross(Vec3 a, Vec3 b) {
  return V(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
float Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
Vec3 Unit(Vec3 a) {
  float l = Length(a);
  return l > 0.0f ? Times(a, 1.0f / l) : a;
}

constexpr float kTwoPi = 6.28318531f;

int16_t NextNodeNumber(const SceneFile& scene) { return static_cast<int16_t>(scene.nodes.size()); }

}  // namespace

int KitVertex(SceneFileMesh* mesh, Vec3 p, float u, float v) {
  mesh->vertices.push_back(p);
  mesh->mapping.push_back(u);
  mesh->mapping.push_back(v);
  return static_cast<int>(mesh->vertices.size()) - 1;
}

void KitFace(SceneFileMesh* mesh, int a, int b, int c, const std::string& material) {
  uint16_t index = static_cast<uint16_t>(mesh->faces.size());
  mesh->faces.push_back(SceneFileFace{static_cast<uint16_t>(a), static_cast<uint16_t>(b),
                                      static_cast<uint16_t>(c), 0});
  if (material.empty()) return;  // stays on the scene's default material
  for (SceneFileGroup& g : mesh->groups)
    if (g.material == material) {
      g.faces.push_back(index);
      return;
    }
  mesh->groups.push_back(SceneFileGroup{material, {index}});
}

void KitQuad(SceneFileMesh* mesh, int a, int b, int c, int d, const std::string& material) {
  KitFace(mesh, a, b, c, material);
  KitFace(mesh, a, c, d, material);
}

void KitFlip(SceneFileMesh* mesh, size_t firstFace) {
  for (size_t i = firstFace; i < mesh->faces.size(); i++)
    std::swap(mesh->faces[i].b, mesh->faces[i].c);
}

void KitPanel(SceneFileMesh* mesh, Vec3 o, Vec3 e1, Vec3 e2, float ru, float rv,
              const std::string& material) {
  int a = KitVertex(mesh, o, 0.0f, 0.0f);
  int b = KitVertex(mesh, Plus(o, e1), ru, 0.0f);
  int c = KitVertex(mesh, Plus(Plus(o, e1), e2), ru, rv);
  int d = KitVertex(mesh, Plus(o, e2), 0.0f, rv);
  KitQuad(mesh, a, b, c, d, material);
}

void KitGridPanel(SceneFileMesh* mesh, Vec3 o, Vec3 e1, Vec3 e2, float ru, float rv, int n1, int n2,
                  const std::string& material) {
  std::vector<int> at;
  for (int j = 0; j <= n2; j++)
    for (int i = 0; i <= n1; i++) {
      float f1 = static_cast<float>(i) / static_cast<float>(n1);
      float f2 = static_cast<float>(j) / static_cast<float>(n2);
      at.push_back(KitVertex(mesh, Plus(o, Plus(Times(e1, f1), Times(e2, f2))), ru * f1, rv * f2));
    }
  for (int j = 0; j < n2; j++)
    for (int i = 0; i < n1; i++) {
      int a = at[j * (n1 + 1) + i];
      KitQuad(mesh, a, a + 1, a + n1 + 2, a + n1 + 1, material);
    }
}

void KitBox(SceneFileMesh* mesh, Vec3 lo, Vec3 hi, const std::string& sides, const std::string& top,
            const std::string& bottom, float tile) {
  float dx = hi.x - lo.x, dy = hi.y - lo.y, dz = hi.z - lo.z;
  if (!bottom.empty()) KitPanel(mesh, lo, V(0, dy, 0), V(dx, 0, 0), dy / tile, dx / tile, bottom);
  if (!top.empty())
    KitPanel(mesh, V(lo.x, lo.y, hi.z), V(dx, 0, 0), V(0, dy, 0), dx / tile, dy / tile, top);
  if (sides.empty()) return;
  KitPanel(mesh, lo, V(dx, 0, 0), V(0, 0, dz), dx / tile, dz / tile, sides);
  KitPanel(mesh, V(hi.x, hi.y, lo.z), V(-dx, 0, 0), V(0, 0, dz), dx / tile, dz / tile, sides);
  KitPanel(mesh, V(lo.x, hi.y, lo.z), V(0, -dy, 0), V(0, 0, dz), dy / tile, dz / tile, sides);
  KitPanel(mesh, V(hi.x, lo.y, lo.z), V(0, dy, 0), V(0, 0, dz), dy / tile, dz / tile, sides);
}

void KitLathe(SceneFileMesh* mesh, Vec3 a, Vec3 b, Vec3 side, const std::vector<LatheRing>& rings,
              int segments, float uRepeat, float vRepeat, const std::string& material) {
  Vec3 axis = Minus(b, a);
  Vec3 w = Unit(axis);
  Vec3 s = Unit(Minus(side, Times(w, Dot(side, w))));
  Vec3 t = Cross(w, s);  // s, t, w right-handed: angles run counter-clockwise about w
  std::vector<int> first(rings.size());
  for (size_t k = 0; k < rings.size(); k++) {
    const LatheRing& r = rings[k];
    Vec3 centre = Plus(a, Times(axis, r.t));
    float v = r.t * vRepeat;
    first[k] = static_cast<int>(mesh->vertices.size());
    if (r.rx == 0.0f && r.ry == 0.0f) {
      KitVertex(mesh, centre, 0.5f * uRepeat, v);
      continue;
    }
    for (int j = 0; j <= segments; j++) {
      float angle = kTwoPi * static_cast<float>(j) / static_cast<float>(segments);
      Vec3 p = Plus(centre, Plus(Times(s, r.rx * Cos(angle)), Times(t, r.ry * Sin(angle))));
      KitVertex(mesh, p, uRepeat * static_cast<float>(j) / static_cast<float>(segments), v);
    }
  }
  for (size_t k = 0; k + 1 < rings.size(); k++) {
    bool lowPole = rings[k].rx == 0.0f && rings[k].ry == 0.0f;
    bool highPole = rings[k + 1].rx == 0.0f && rings[k + 1].ry == 0.0f;
    if (lowPole && highPole) continue;
    for (int j = 0; j < segments; j++) {
      int a0 = first[k] + (lowPole ? 0 : j), a1 = first[k] + (lowPole ? 0 : j + 1);
      int b0 = first[k + 1] + (highPole ? 0 : j), b1 = first[k + 1] + (highPole ? 0 : j + 1);
      if (lowPole)
        KitFace(mesh, a0, b1, b0, material);
      else if (highPole)
        KitFace(mesh, a0, a1, b0, material);
      else
        KitQuad(mesh, a0, a1, b1, b0, material);
    }
  }
}

void KitTorus(SceneFileMesh* mesh, Vec3 centre, float major, float minor, int segments, int sides,
              float uRepeat, float vRepeat, const std::string& material) {
  int first = static_cast<int>(mesh->vertices.size());
  for (int i = 0; i <= segments; i++) {
    float theta = kTwoPi * static_cast<float>(i) / static_cast<float>(segments);
    for (int j = 0; j <= sides; j++) {
      float phi = kTwoPi * static_cast<float>(j) / static_cast<float>(sides);
      float ring = major + minor * Cos(phi);
      Vec3 p = Plus(centre, V(ring * Cos(theta), ring * Sin(theta), minor * Sin(phi)));
      KitVertex(mesh, p, uRepeat * static_cast<float>(i) / static_cast<float>(segments),
                vRepeat * static_cast<float>(j) / static_cast<float>(sides));
    }
  }
  int row = sides + 1;
  for (int i = 0; i < segments; i++)
    for (int j = 0; j < sides; j++) {
      int p = first + i * row + j;
      KitQuad(mesh, p, p + row, p + row + 1, p + 1, material);
    }
}

void SceneAddMesh(SceneFile* scene, SceneFileMesh mesh) {
  SceneFileNode node{};
  node.kind = kChunkMeshNode;
  node.name = mesh.name;
  node.number = NextNodeNumber(*scene);
  scene->nodes.push_back(node);
  scene->meshes.push_back(std::move(mesh));
}

void SceneAddLight(SceneFile* scene, const std::string& name, Vec3 position, Vec3 colour) {
  scene->lights.push_back(SceneFileLight{name, position, true, colour});
  SceneFileNode node{};
  node.kind = kChunkLightNode;
  node.name = name;
  node.number = NextNodeNumber(*scene);
  node.position.keys.push_back(SceneFileVectorKey{0, position, {}});
  node.colour.keys.push_back(SceneFileVectorKey{0, colour, {}});
  scene->nodes.push_back(node);
}

void SceneAddCamera(SceneFile* scene, const std::string& name, const std::vector<CameraKey>& keys,
                    float fov) {
  float half = 0.5f * fov * (kTwoPi / 360.0f);
  SceneFileCamera camera;
  camera.name = name;
  camera.position = keys.front().eye;
  camera.target = keys.front().target;
  camera.lens = 18.0f * Cos(half) / Sin(half);  // 36-unit film across the view
  scene->cameras.push_back(camera);

  SceneFileNode eye{};
  eye.kind = kChunkCameraNode;
  eye.name = name;
  eye.number = NextNodeNumber(*scene);
  for (const CameraKey& k : keys)
    eye.position.keys.push_back(SceneFileVectorKey{k.frame, k.eye, {}});
  eye.fov.keys.push_back(SceneFileScalarKey{0, fov, {}});
  eye.roll.keys.push_back(SceneFileScalarKey{0, 0.0f, {}});
  scene->nodes.push_back(eye);

  SceneFileNode target{};
  target.kind = kChunkTargetNode;
  target.name = name;
  target.number = NextNodeNumber(*scene);
  for (const CameraKey& k : keys)
    target.position.keys.push_back(SceneFileVectorKey{k.frame, k.target, {}});
  scene->nodes.push_back(target);
}
