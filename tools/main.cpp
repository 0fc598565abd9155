// kv_assetgen DIR: writes the whole asset set into DIR, then the marker file
// by which the show recognises a complete set when it searches for its data.
#include <cstdio>
#include <string>

#include "platform/system.h"
#include "tools/asset_generator.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kv_assetgen DIR\n");
    return 1;
  }
  std::string message;
  if (!GenerateAssets(argv[1], ASSETS_ALL, &message)) {
    std::fprintf(stderr, "kv_assetgen: %s\n", message.c_str());
    return 1;
  }
  // Written last, so an interrupted run leaves no set that looks complete.
  std::string marker = std::string(argv[1]) + "/" + kPlatformDataMarker;
  FILE* f = std::fopen(marker.c_str(), "wb");
  bool written = f && std::fputs("Kestrivane data set\n", f) >= 0;
  if (!f || std::fclose(f) != 0 || !written) {
    std::fprintf(stderr, "kv_assetgen: cannot write %s\n", marker.c_str());
    return 1;
  }
  return 0;
}
