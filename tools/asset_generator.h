// The asset generator: writes every picture, texture, flare sprite, the
// morph grid, the 3D scenes, motions and visibility lists and the soundtrack
// into a data directory, under the names of image/asset_names.h.
// Deterministic to the byte.
#pragma once
#include <string>

enum AssetGroup {
  ASSETS_PICTURES = 1,  // gfx, textures, 3d2\maps, 3d3
  ASSETS_FLARES = 2,
  ASSETS_MORPH = 4,
  ASSETS_MUSIC = 8,
  ASSETS_SCENES = 16,  // .3ds scenes, motions, the city's visibility lists
  ASSETS_ALL = 31,
};

// Returns 1 when every file of the chosen groups was written; otherwise 0
// with the first failure in message. The music is made on a second thread
// while the pictures are drawn.
int GenerateAssets(const char* dir, int groups, std::string* message);
