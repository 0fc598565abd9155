// One generation of the whole asset set per test program, into a temporary
// directory, shared by every test that reads it.
#pragma once
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/asset_generator.h"

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

inline const GeneratedSet& Generated() {
  static GeneratedSet set = [] {
    GeneratedSet s{TempDir(), 0, {}};
    s.ok = GenerateAssets(s.dir.c_str(), ASSETS_ALL, &s.message);
    return s;
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
