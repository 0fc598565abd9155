#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/material_library.h"
#include "engine/scene.h"

namespace {

std::unique_ptr<Scene> NewScene() {
  auto scene = std::make_unique<Scene>();
  EXPECT_EQ(SceneCreate(scene.get(), 3, 2, 1, 0, 0, 0), 1);
  return scene;
}

const uint32_t kTexels[4] = {1, 2, 3, 4};

TEST(EngineMaterial, LookupsFindTheFirstOfEqualNamesExactly) {
  auto scene = NewScene();
  Material* skin = MaterialAdd(scene.get(), "skin");
  Material* twin = MaterialAdd(scene.get(), "skin");
  Material* other = MaterialAdd(scene.get(), "Material #18");
  ASSERT_NE(twin, nullptr);
  EXPECT_EQ(scene->materialCount, 4);
  EXPECT_EQ(skin, &scene->materials[1]);
  EXPECT_EQ(twin, &scene->materials[2]);
  struct Case {
    const char* name;
    Material* want;
  } cases[] = {
      {"vrn5_defmat", &scene->materials[0]},
      {"skin", skin},
      {"Material #18", other},
      {"Skin", nullptr},
      {"ski", nullptr},
      {"skins", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) EXPECT_EQ(MaterialFind(scene.get(), c.name), c.want) << c.name;

  EXPECT_EQ(TextureLibraryBind(scene.get(), "skin", kTexels, 0x200, 0, 1), 1);
  EXPECT_EQ(skin->textureReady, 1);
  EXPECT_EQ(twin->textureReady, 0);
}

TEST(EngineMaterial, TheTableRefusesMaterialsBeyondItsRoom) {
  auto scene = NewScene();
  for (int i = 1; i < kSceneMaterialCapacity; i++)
    ASSERT_NE(MaterialAdd(scene.get(), "m"), nullptr) << i;
  EXPECT_EQ(scene->materialCount, kSceneMaterialCapacity);
  SceneCapacity before = scene->capacity;
  EXPECT_EQ(MaterialAdd(scene.get(), "one too many"), nullptr);
  EXPECT_EQ(scene->materialCount, kSceneMaterialCapacity);
  EXPECT_EQ(std::memcmp(&before, &scene->capacity, sizeof(before)), 0);
}

TEST(EngineMaterial, TexturesSetSizesAndAddressingByCode) {
  struct Case {
    int32_t sizeCode;
    int32_t width, height;  // width and height after binding, from 5 x 6
    int32_t uShift, uMask, vShift, vMask, ready;
  } cases[] = {
      {1, 256, 256, 16, 0xFF, 8, 0xFF00, 1},   {2, 128, 128, 17, 0x7F, 10, 0x3F80, 1},
      {3, 64, 64, 18, 0x3F, 12, 0xFC0, 1},     {4, 32, 32, 19, 0x1F, 14, 0x3E0, 1},
      {7, 5, 6, 16, 0xFF, 11, 0x1F00, 1},      {16, 5, 6, 19, 0x1F, 13, 0x7E0, 1},
      {0, 5, 6, 0, 0, 0, 0, 0},                {17, 5, 6, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    Material m = {};
    m.width = 5, m.height = 6;
    MaterialSetTexture(&m, 0x300, 7, kTexels, c.sizeCode);
    EXPECT_EQ(m.mode, 0x300);
    EXPECT_EQ(m.modeParam, 7);
    EXPECT_EQ(m.texels, kTexels);
    EXPECT_EQ(m.sizeCode, c.sizeCode);
    EXPECT_EQ(m.width, c.width) << c.sizeCode;
    EXPECT_EQ(m.height, c.height) << c.sizeCode;
    EXPECT_EQ(m.uShift, c.uShift) << c.sizeCode;
    EXPECT_EQ(m.uMask, c.uMask) << c.sizeCode;
    EXPECT_EQ(m.vShift, c.vShift) << c.sizeCode;
    EXPECT_EQ(m.vMask, c.vMask) << c.sizeCode;
    EXPECT_EQ(m.textureReady, c.ready) << c.sizeCode;
  }
}

TEST(EngineMaterial, BindingAnUnknownNamePrintsTwoLinesAndChangesNothing) {
  auto scene = NewScene();
  MaterialAdd(scene.get(), "floor");
  std::vector<unsigned char> before(sizeof(Scene));
  std::memcpy(before.data(), scene.get(), sizeof(Scene));
  testing::internal::CaptureStdout();
  int bound = TextureLibraryBind(scene.get(), "Cat_Floor", kTexels, 0x200, 0, 1);
  std::fflush(stdout);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(bound, 0);
  EXPECT_EQ(printed, "Cat_Floor\ntexture not in library\n");
  EXPECT_EQ(std::memcmp(before.data(), scene.get(), sizeof(Scene)), 0);
}

TEST(EngineMaterial, FacesDrawWithTheirMaterialOnlyOnceItHasATexture) {
  auto scene = NewScene();
  Material* glove = MaterialAdd(scene.get(), "ArmGlove");
  Mesh* mesh = SceneAddMesh(scene.get(), "arm");
  Face* faces = MeshAddFaces(mesh, 2);
  ASSERT_NE(faces, nullptr);
  faces[1].material = glove;
  Material* defaults = &scene->materials[0];

  EXPECT_EQ(FaceDrawMaterial(&faces[0]), defaults);
  EXPECT_EQ(FaceDrawMaterial(&faces[1]), defaults);  // no texture yet

  // A texture on the default material changes every face without its own.
  TextureLibraryBind(scene.get(), "vrn5_defmat", kTexels, -1, 0, 1);
  EXPECT_EQ(defaults->mode, -1);
  EXPECT_EQ(FaceDrawMaterial(&faces[1]), defaults);

  TextureLibraryBind(scene.get(), "ArmGlove", kTexels, 0x200, 0, 2);
  EXPECT_EQ(FaceDrawMaterial(&faces[0]), defaults);
  EXPECT_EQ(FaceDrawMaterial(&faces[1]), glove);
}

TEST(EngineMaterial, ColourGoesToTheNamedMaterialOnly) {
  auto scene = NewScene();
  Material* mymat = MaterialAdd(scene.get(), "mymat");
  EXPECT_EQ(MaterialSetColour(scene.get(), "mymat", 1.0f, 0.5f, 0.25f, 0.7f), 1);
  EXPECT_EQ(mymat->colour[0], 1.0f);
  EXPECT_EQ(mymat->colour[1], 0.5f);
  EXPECT_EQ(mymat->colour[2], 0.25f);
  EXPECT_EQ(mymat->opacity, 0.7f);
  EXPECT_EQ(scene->materials[0].opacity, 0.0f);
  EXPECT_EQ(MaterialSetColour(scene.get(), "nothing", 1.0f, 1.0f, 1.0f, 1.0f), 0);
}

}  // namespace
