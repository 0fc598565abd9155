// kv_assetgen DIR: writes the whole asset set into DIR.
#include <cstdio>
#include <string>

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
  return 0;
}
