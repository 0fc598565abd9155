#include "tools/asset_generator.h"

#include <filesystem>
#include <thread>

#include "tools/gen_scenes.h"
#include "tools/generator.h"

namespace {

void GeneratePictureGroups(AssetOutput* out, int groups) {
  if (groups & ASSETS_PICTURES) {
    GenerateTitles(out);
    GeneratePictures(out);
    GenerateFaces(out);
    GenerateTextures(out);
    GenerateCityMaps(out);
  }
  if (groups & ASSETS_FLARES) GenerateFlares(out);
  if (groups & ASSETS_MORPH) GenerateMorphGrid(out);
  if (groups & ASSETS_SCENES) GenerateScenes(out);
}

}  // namespace

int GenerateAssets(const char* dir, int groups, std::string* message) {
  // The root exists before the two threads make their own subdirectories.
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  int missingBefore = FontMissingGlyphs();
  AssetOutput pictures{dir, 0, 0, {}};
  AssetOutput music{dir, 0, 0, {}};
  if (groups & ASSETS_MUSIC) {
    std::thread worker([&music] { GenerateSoundtrack(&music); });
    GeneratePictureGroups(&pictures, groups);
    worker.join();
  } else {
    GeneratePictureGroups(&pictures, groups);
  }
  if (FontMissingGlyphs() != missingBefore && pictures.message.empty()) {
    pictures.failed++;
    pictures.message = "a text uses a character the font has no glyph for";
  }
  if (message) *message = !pictures.message.empty() ? pictures.message : music.message;
  return pictures.failed == 0 && music.failed == 0;
}
