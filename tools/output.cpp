#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <jpeglib.h>

#include "image/encode_pcx.h"
#include "image/encode_tga.h"
#include "tools/generator.h"

namespace {

void Fail(AssetOutput* out, const std::string& text) {
  out->failed++;
  if (out->message.empty()) out->message = text;
}

}  // namespace

std::string OutputPath(AssetOutput* out, const char* name) {
  std::string rel(name);
  for (char& ch : rel)
    if (ch == '\\') ch = '/';
  std::filesystem::path path = std::filesystem::path(out->dir) / rel;
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  return path.string();
}

void OutputBytes(AssetOutput* out, const char* name, const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) {
    Fail(out, std::string("cannot encode ") + name);
    return;
  }
  std::string path = OutputPath(out, name);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    Fail(out, "cannot write " + path);
    return;
  }
  size_t n = std::fwrite(bytes.data(), 1, bytes.size(), f);
  if (std::fclose(f) != 0 || n != bytes.size()) {
    Fail(out, "cannot write " + path);
    return;
  }
  out->written++;
}

// Baseline JPEG through the library's compression API, 4:2:0, integer DCT:
// the same bytes on every machine for the same pixels.
std::vector<uint8_t> EncodeJpeg(int width, int height, const uint32_t* pixels, int quality) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  cinfo.dct_method = JDCT_ISLOW;
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    const uint32_t* src = pixels + static_cast<size_t>(cinfo.next_scanline) * width;
    for (int x = 0; x < width; x++) {
      row[x * 3] = static_cast<uint8_t>(src[x] >> 16);
      row[x * 3 + 1] = static_cast<uint8_t>(src[x] >> 8);
      row[x * 3 + 2] = static_cast<uint8_t>(src[x]);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> bytes(buffer, buffer + size);
  std::free(buffer);
  return bytes;
}

void OutputJpeg(AssetOutput* out, const char* name, const Canvas& c, int quality) {
  std::vector<uint32_t> px = CanvasPixels(c);
  OutputBytes(out, name, EncodeJpeg(c.width, c.height, px.data(), quality));
}

void OutputPcx(AssetOutput* out, const char* name, const Canvas& c) {
  std::vector<uint32_t> px = CanvasPixels(c);
  OutputBytes(out, name, EncodePcx(c.width, c.height, px.data()));
}

void OutputTga(AssetOutput* out, const char* name, const Canvas& c, int runLength) {
  std::vector<uint32_t> px = CanvasPixels(c);
  OutputBytes(out, name, EncodeTga(c.width, c.height, px.data(), runLength));
}
