// One generation of the whole asset set per test program, into a temporary
// directory, shared by every test that reads it.
#pragma once
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/asset_generator.h"

// The groups these tests cover: pictures, flare sprites, morph grid, music.
inline constexpr int kPictureAndSoundGroups = ASSETS_PICTURES | ASSETS_FLARES | ASSETS_MORPH | ASSETS_MUSIC;

struct GeneratedSet {
  std::string dir;
  int ok;
  std::string message;
};

inline std::string MakeTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kv_assets_XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  return mkdtemp(buffer.data()) ? std::string(buffer.data()) : std::string();
}

// Removed when the program ends.
struct TempDirs {
  std::vector<std::string> dirs;
  ~TempDirs() {
    std::error_code ec;
    for (const std::string& d : dirs) std::filesystem::remove_all(d, ec);
  }
};

inline TempDirs& TestTempDirs() {
  static TempDirs dirs;
  return dirs;
}

inline std::string TempDir() {
  std::string d = MakeTempDir();
  TestTempDirs().dirs.push_back(d);
  return d;
}

// The set is generated once per build of the test program and kept in the
// build tree, keyed by the program file's size and time: CTest runs every
// test in a process of its own, and they all share that one set. A new
// build of the program (and so of the generator inside it) makes a new set
// and drops the old ones.
inline const GeneratedSet& Generated() {
  static GeneratedSet set = [] {
    namespace fs = std::filesystem;
    struct stat st = {};
    stat("/proc/self/exe", &st);
    std::string key = std::to_string(st.st_size) + "-" + std::to_string(st.st_mtim.tv_sec) + "-" +
                      std::to_string(st.st_mtim.tv_nsec);
    fs::path root = fs::path(KV_BINARY_DIR) / "tests" / "tools_generated";
    fs::path done = root / key, complete = root / (key + ".complete");
    std::error_code ec;
    if (fs::exists(complete, ec)) return GeneratedSet{done.string(), 1, {}};
    fs::create_directories(root, ec);
    for (const auto& e : fs::directory_iterator(root, ec))
      if (e.path().filename().string().find(key) == std::string::npos) fs::remove_all(e.path(), ec);
    std::string pattern = (root / ("making-" + key + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) return GeneratedSet{TempDir(), 0, "cannot make " + pattern};
    std::string making(buffer.data());
    GeneratedSet s{making, 0, {}};
    s.ok = GenerateAssets(making.c_str(), kPictureAndSoundGroups, &s.message);
    if (!s.ok) {
      TestTempDirs().dirs.push_back(making);
      return s;
    }
    // Another test process may have finished first; either set will do.
    fs::rename(making, done, ec);
    if (ec) {
      TestTempDirs().dirs.push_back(making);
      return GeneratedSet{making, 1, {}};
    }
    FILE* marker = std::fopen(complete.string().c_str(), "wb");
    if (marker) std::fclose(marker);
    return GeneratedSet{done.string(), 1, {}};
  }();
  return set;
}

// dir + show name ("gfx\\a.pcx" -> dir/gfx/a.pcx).
inline std::string AssetFile(const std::string& dir, const char* name) {
  std::string rel(name);
  for (char& c : rel)
    if (c == '\\') c = '/';
  return dir + "/" + rel;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  int c;
  while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  std::fclose(f);
  return bytes;
}
