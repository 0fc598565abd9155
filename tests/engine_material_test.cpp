#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/engine_owned_scene.h"
#include "engine/material_library.h"
#include "engine/scene.h"

namespace {

OwnedScene NewScene() {
  auto scene = MakeOwnedScene();
  EXPECT_EQ(SceneCreate(scene.get(), 3, 2, 1, 0, 0, 0), 1);
  return scene;
}

const uint32_t kTexels[4] = {1, 2, 3, 4};

TEST(EngineMaterial, LookupsFindTheFirstOfEqualNamesExactly) {
  auto scene = NewScene();
  Material* skin = MaterialAdd(scene.get(), "skin");
  Material* twin = MaterialAdd(scene.get(), "skin");
  Material* other = MaterialAdd(scene.get(), "Material #18");
  EXPECT_EQ(twin, &scene->materials[2]);
  EXPECT_EQ(MaterialFind(scene.get(), "vrn5_defmat"), &scene->materials[0]);
  EXPECT_EQ(MaterialFind(scene.get(), "skin"), skin);
  EXPECT_EQ(MaterialFind(scene.get(), "Material #18"), other);
  for (const char* name : {"Skin", "ski", "skins", ""})
    EXPECT_EQ(MaterialFind(scene.get(), name), nullptr);

  EXPECT_EQ(TextureLibraryBind(scene.get(), "skin", kTexels, 0x200, 0, 1), 1);
  EXPECT_EQ(MaterialSetColour(scene.get(), "skin", 1.0f, 0.5f, 0.25f, 0.7f), 1);
  EXPECT_TRUE(skin->textureReady == 1 && skin->opacity == 0.7f && skin->colour[1] == 0.5f);
  EXPECT_TRUE(twin->textureReady == 0 && twin->opacity == 0.0f);
  EXPECT_EQ(MaterialSetColour(scene.get(), "nothing", 1, 1, 1, 1), 0);
}

TEST(EngineMaterial, TheTableRefusesMaterialsBeyondItsRoom) {
  auto scene = NewScene();
  for (int i = 1; i < kSceneMaterialCapacity; i++)
    ASSERT_NE(MaterialAdd(scene.get(), "m"), nullptr);
  EXPECT_EQ(MaterialAdd(scene.get(), "one too many"), nullptr);
  EXPECT_EQ(scene->materialCount, kSceneMaterialCapacity);
}

TEST(EngineMaterial, SquareCodesSetTheSizeAndEveryCodeTheAddressing) {
  Material square = {}, wide = {};
  wide.width = wide.height = 5;
  MaterialSetTexture(&square, 0x300, 7, kTexels, 2);
  MaterialSetTexture(&wide, 0x300, 7, kTexels, 7);  // 256 x 32: size left alone
  EXPECT_TRUE(square.width == 128 && square.height == 128 && square.textureReady == 1);
  EXPECT_TRUE(wide.width == 5 && wide.height == 5 && wide.textureReady == 1);
  EXPECT_TRUE(wide.mode == 0x300 && wide.modeParam == 7 && wide.texels == kTexels);
  EXPECT_EQ(wide.vShift, 11);
  EXPECT_EQ(wide.vMask, 0x1F00);
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

}  // namespace
