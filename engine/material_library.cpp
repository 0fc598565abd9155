#include "engine/material_library.h"

#include <cstdio>
#include <cstring>

#include "engine/scene.h"
#include "raster/raster.h"

Material* MaterialAdd(Scene* scene, const char* name) {
  if (scene->materialCount < 0 || scene->materialCount >= kSceneMaterialCapacity) return nullptr;
  Material* material = &scene->materials[scene->materialCount++];
  std::memset(material, 0, sizeof(*material));
  SetName(material->name, name);
  material->textureReady = 0;
  return material;
}

Material* MaterialFind(Scene* scene, const char* name) {
  for (int i = 0; i < scene->materialCount; i++)
    if (NameEquals(scene->materials[i].name, name)) return &scene->materials[i];
  return nullptr;
}

void MaterialSetTexture(Material* material, int32_t mode, int32_t modeParam,
                        const uint32_t* texels, int32_t sizeCode) {
  material->mode = mode;
  material->modeParam = modeParam;
  material->texels = texels;
  material->sizeCode = sizeCode;
  if (sizeCode >= 1 && sizeCode <= 4) material->width = material->height = 512 >> sizeCode;
  SetTextureAddressing(material);
}

int TextureLibraryBind(Scene* scene, const char* name, const uint32_t* texels, int32_t mode,
                       int32_t modeParam, int32_t sizeCode) {
  Material* material = MaterialFind(scene, name);
  if (material == nullptr) {
    std::printf("%s\n", name);
    std::printf("texture not in library\n");
    return 0;
  }
  MaterialSetTexture(material, mode, modeParam, texels, sizeCode);
  return 1;
}

int MaterialSetColour(Scene* scene, const char* name, float r, float g, float b, float opacity) {
  Material* material = MaterialFind(scene, name);
  if (material == nullptr) return 0;
  material->colour[0] = r;
  material->colour[1] = g;
  material->colour[2] = b;
  material->opacity = opacity;
  return 1;
}

Material* FaceDrawMaterial(const Face* face) {
  if (face->material != nullptr && face->material->textureReady == 1) return face->material;
  return face->fallbackMaterial;
}
