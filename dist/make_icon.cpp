// kv_icon DATA_DIR OUT_DIR: the program's icon, drawn from the show's own
// data: the leaping dancer of gfx/kblue.jpg cut to a square, written as
// OUT_DIR/hicolor/NxN/apps/kestrivane.png at the sizes desktops ask for, with
// rounded corners. The 192-pixel square is the picture's own pixels; smaller
// sizes average the square's pixels by the area each covers.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "image/asset_names.h"
#include "image/picture.h"

namespace {

// The square around the dancer, in the picture's pixels.
constexpr int kCropX = 64;
constexpr int kCropY = 24;
constexpr int kCropSide = 192;
constexpr int kSizes[] = {16, 24, 32, 48, 64, 128, 192};

// Averages a side x side block of 0x00RRGGBB pixels down to size x size RGBA
// bytes, every target pixel weighted by how much of each source pixel it
// covers, and fades the corners out along a circle of a sixth of the size.
std::vector<uint8_t> Shrink(const std::vector<uint32_t>& square, int side, int size) {
  std::vector<uint8_t> rgba(static_cast<size_t>(size) * size * 4);
  double scale = static_cast<double>(side) / size;
  double radius = size / 6.0;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      double sum[3] = {0, 0, 0};
      double weight = 0;
      double y0 = y * scale, y1 = (y + 1) * scale;
      double x0 = x * scale, x1 = (x + 1) * scale;
      for (int sy = static_cast<int>(y0); sy < side && sy < y1; ++sy) {
        double wy = std::min<double>(sy + 1, y1) - std::max<double>(sy, y0);
        for (int sx = static_cast<int>(x0); sx < side && sx < x1; ++sx) {
          double w = wy * (std::min<double>(sx + 1, x1) - std::max<double>(sx, x0));
          uint32_t p = square[static_cast<size_t>(sy) * side + sx];
          sum[0] += w * ((p >> 16) & 0xFF);
          sum[1] += w * ((p >> 8) & 0xFF);
          sum[2] += w * (p & 0xFF);
          weight += w;
        }
      }
      // Distance past the corner circle, measured from the pixel's centre.
      double cx = std::clamp(x + 0.5, radius, size - radius);
      double cy = std::clamp(y + 0.5, radius, size - radius);
      double outside = std::hypot(x + 0.5 - cx, y + 0.5 - cy) - radius;
      double alpha = std::clamp(0.5 - outside, 0.0, 1.0);
      uint8_t* out = &rgba[(static_cast<size_t>(y) * size + x) * 4];
      for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(std::lround(sum[c] / weight));
      out[3] = static_cast<uint8_t>(std::lround(alpha * 255));
    }
  }
  return rgba;
}

bool WritePng(const std::string& path, const std::vector<uint8_t>& rgba, int size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = false;
  if (info && !setjmp(png_jmpbuf(png))) {
    png_init_io(png, f);
    png_set_IHDR(png, info, size, size, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < size; ++y)
      png_write_row(png, const_cast<png_bytep>(&rgba[static_cast<size_t>(y) * size * 4]));
    png_write_end(png, nullptr);
    ok = true;
  }
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kv_icon DATA_DIR OUT_DIR\n");
    return 1;
  }
  std::string name = kGfxKBlue.name;
  std::replace(name.begin(), name.end(), '\\', '/');
  // Absolute, so the picture loader does not take it from its own data directory.
  std::string source = (std::filesystem::absolute(argv[1]) / name).string();
  std::vector<uint32_t> pixels;
  int32_t width = 0, height = 0;
  std::string message;
  if (!DecodePictureFile(source.c_str(), &pixels, &width, &height, &message)) {
    std::fprintf(stderr, "kv_icon: %s: %s", source.c_str(), message.c_str());
    return 1;
  }
  if (width < kCropX + kCropSide || height < kCropY + kCropSide) {
    std::fprintf(stderr, "kv_icon: %s is %dx%d, too small for the icon's square\n",
                 source.c_str(), width, height);
    return 1;
  }
  std::vector<uint32_t> square(static_cast<size_t>(kCropSide) * kCropSide);
  for (int y = 0; y < kCropSide; ++y)
    std::copy_n(&pixels[static_cast<size_t>(kCropY + y) * width + kCropX], kCropSide,
                &square[static_cast<size_t>(y) * kCropSide]);
  for (int size : kSizes) {
    std::string s = std::to_string(size);
    std::filesystem::path dir = std::filesystem::path(argv[2]) / "hicolor" / (s + "x" + s) / "apps";
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    std::string path = (dir / "kestrivane.png").string();
    if (!WritePng(path, Shrink(square, kCropSide, size), size)) {
      std::fprintf(stderr, "kv_icon: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
