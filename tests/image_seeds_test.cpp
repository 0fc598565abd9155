// The fuzz seed corpora are the crafted test files. With KV_WRITE_SEEDS set
// the test writes them into fuzz/seeds/<format>/ first; either way every
// committed seed must decode, or the fuzzers would start from refusals.
#include <dirent.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "image/picture.h"
#include "tests/image_craft.h"

namespace {

const std::string kSeeds = std::string(KV_SOURCE_DIR) + "/fuzz/seeds/";

// Seed directory of a file: its extension in lower case, LBM filed as IFF.
std::string SeedDirectory(const std::string& name) {
  std::string extension = name.substr(name.rfind('.') + 1);
  for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
  return extension == "lbm" ? "iff" : extension;
}

void WriteSeed(const std::string& name, const craft::Bytes& bytes) {
  std::string directory = kSeeds + SeedDirectory(name);
  mkdir(directory.c_str(), 0755);
  FILE* file = std::fopen((directory + "/" + name).c_str(), "wb");
  ASSERT_NE(file, nullptr) << directory;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

craft::Bytes ReadAll(const std::string& path) {
  craft::Bytes bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  for (int c; file && (c = std::getc(file)) != EOF;) bytes.push_back(uint8_t(c));
  if (file) std::fclose(file);
  return bytes;
}

void WriteAllSeeds() {
  for (const craft::Sample& sample : craft::ExactSamples()) WriteSeed(sample.name, sample.bytes);
  std::vector<uint8_t> rgb(24 * 16 * 3), grey(24 * 16);
  for (size_t i = 0; i < rgb.size(); i++) rgb[i] = uint8_t(i * 7);
  for (size_t i = 0; i < grey.size(); i++) grey[i] = uint8_t(i * 3);
  WriteSeed("colour.jpg", ReadAll(craft::WriteJpeg("seed_colour.jpg", 24, 16, 3, JCS_RGB, rgb)));
  WriteSeed("grey.jpg", ReadAll(craft::WriteJpeg("seed_grey.jpg", 24, 16, 1, JCS_GRAYSCALE, grey)));
  WriteSeed("progressive.jpg", ReadAll(craft::WriteJpeg("seed_prog.jpg", 24, 16, 3, JCS_RGB, rgb, true)));
}

TEST(Seeds, EveryCommittedSeedDecodes) {
  if (std::getenv("KV_WRITE_SEEDS")) WriteAllSeeds();
  const char* formats[] = {"pcx", "tga", "bmp", "iff", "rix", "cel", "jpg"};
  for (const char* format : formats) {
    SCOPED_TRACE(format);
    std::string directory = kSeeds + format;
    DIR* dir = opendir(directory.c_str());
    ASSERT_NE(dir, nullptr) << "no seeds in " << directory;
    int seeds = 0;
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      std::string path = directory + "/" + entry->d_name;
      SCOPED_TRACE(path);
      std::vector<uint32_t> pixels;
      std::string message;
      EXPECT_EQ(DecodePictureFile(path.c_str(), &pixels, nullptr, nullptr, &message), 1) << message;
      seeds++;
    }
    closedir(dir);
    EXPECT_GT(seeds, 0);
  }
}

}  // namespace
