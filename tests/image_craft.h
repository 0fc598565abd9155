// Tiny picture files crafted byte by byte, with the pixels each must decode
// to. The decoder tests compare against them; the fuzz seeds are these.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>
#include <unistd.h>

namespace craft {

using Bytes = std::vector<uint8_t>;
using Fields = std::initializer_list<std::pair<int64_t, int>>;  // value, byte count

inline void Put(Bytes* b, std::initializer_list<int> values) {
  for (int v : values) b->push_back(uint8_t(v));
}
inline void Le(Bytes* b, Fields fields) {
  for (auto [v, n] : fields)
    for (int i = 0; i < n; i++) b->push_back(uint8_t(v >> (8 * i)));
}
inline void Be(Bytes* b, Fields fields) {
  for (auto [v, n] : fields)
    for (int i = n - 1; i >= 0; i--) b->push_back(uint8_t(v >> (8 * i)));
}
inline void Text(Bytes* b, const char* s) {
  while (*s) b->push_back(uint8_t(*s++));
}
inline uint32_t Rgb(int r, int g, int b) { return (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b); }

// Writes bytes to name in a directory of this test process, removed when
// the process that made it ends; returns the absolute path.
inline std::string TempDirectory() {
  static std::string directory;
  static pid_t owner;
  if (directory.empty()) {
    char pattern[] = "/tmp/kv_image_XXXXXX";
    directory = mkdtemp(pattern) ? pattern : "/tmp";
    owner = getpid();
    std::atexit([] {
      if (getpid() == owner && directory != "/tmp") std::filesystem::remove_all(directory);
    });
  }
  return directory;
}

inline std::string WriteTemp(const std::string& name, const Bytes& bytes) {
  const std::string& directory = TempDirectory();
  std::string path = directory + "/" + name;
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

struct Sample {
  std::string name;  // its extension chooses the decoder
  Bytes bytes;
  int width, height;
  std::vector<uint32_t> pixels;  // top row first
};

inline Bytes PcxHeader(int version, int xMin, int yMin, int xMax, int yMax, int planes, int bytesPerLine) {
  Bytes b = {10, uint8_t(version), 1, 8};
  Le(&b, {{xMin, 2}, {yMin, 2}, {xMax, 2}, {yMax, 2}});
  b.resize(65);
  Le(&b, {{planes, 1}, {bytesPerLine, 2}});
  b.resize(128);
  return b;
}

inline Sample PcxEightBit() {
  // 3 x 2 at x 10..12, y 4..5, lines of 4 bytes. Row 0: 0xC0 alone is a
  // data byte; 0xFF repeats 5 63 times, cut at the line end. Row 1 starts
  // fresh: 1, a run of two 7s, pad 9. Entry i is (i, 255 - i, i / 2).
  Sample s{"pcx8.pcx", PcxHeader(5, 10, 4, 12, 5, 1, 4), 3, 2, {}};
  Put(&s.bytes, {0xC0, 0xFF, 0x05, 0x01, 0xC2, 0x07, 0x09, 0x0C});
  for (int i = 0; i < 256; i++) Put(&s.bytes, {i, 255 - i, i / 2});
  for (int i : {0xC0, 5, 5, 1, 7, 7}) s.pixels.push_back(Rgb(i, 255 - i, i / 2));
  return s;
}

inline Sample PcxTwentyFourBit() {
  // Width 3, 4 bytes per plane line: green starts at 4, blue at 8, and the
  // pad bytes would show if a plane were taken from the wrong offset.
  Sample s{"pcx24.pcx", PcxHeader(5, 0, 0, 2, 1, 3, 4), 3, 2, {}};
  Put(&s.bytes, {10, 20, 0xC2, 0xEE, 40, 50, 60, 0xC1, 0xE1, 70, 80, 90, 0xC1, 0xE2});
  Put(&s.bytes, {1, 2, 3, 4, 0xC3, 5, 0xC1, 0xF0, 0xC1, 0xC8, 0xC2, 9, 0x12});
  s.pixels = {Rgb(10, 40, 70), Rgb(20, 50, 80), Rgb(0xEE, 60, 90), Rgb(1, 5, 0xC8), Rgb(2, 5, 9), Rgb(3, 5, 9)};
  return s;
}

inline Sample PcxWithoutTable() {
  // A version 3 one-plane file has no colour table: grey levels.
  Sample s{"grey.pcx", PcxHeader(3, 0, 0, 1, 0, 1, 2), 2, 1, {}};
  Put(&s.bytes, {0x20, 0xC1, 0xF0});
  s.pixels = {Rgb(0x20, 0x20, 0x20), Rgb(0xF0, 0xF0, 0xF0)};
  return s;
}

inline Bytes TgaHeader(int idLength, int mapType, int type, int mapLength, int entryBits, int width, int height,
                       int descriptor = 0) {
  Bytes b;
  Le(&b, {{idLength, 1}, {mapType, 1}, {type, 1}, {0, 2}, {mapLength, 2}, {entryBits, 1}, {0, 4}});
  Le(&b, {{width, 2}, {height, 2}, {mapType ? 8 : 24, 1}, {descriptor, 1}});
  return b;
}

inline Sample TgaTrueColour(int descriptor, const char* name) {
  // The first stored row is the bottom one, whatever the descriptor says.
  Sample s{name, TgaHeader(0, 0, 2, 0, 0, 2, 2, descriptor), 2, 2, {}};
  Put(&s.bytes, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  s.pixels = {Rgb(9, 8, 7), Rgb(12, 11, 10), Rgb(3, 2, 1), Rgb(6, 5, 4)};
  return s;
}

inline Sample TgaRunTrueColour() {
  // 3 x 2: a run of 4 crosses the end of the first stored row, then a raw
  // packet of 2.
  Sample s{"rle.tga", TgaHeader(0, 0, 10, 0, 0, 3, 2), 3, 2, {}};
  Put(&s.bytes, {0x83, 0x10, 0x20, 0x30, 0x01, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
  uint32_t a = Rgb(0x30, 0x20, 0x10);
  s.pixels = {a, Rgb(3, 2, 1), Rgb(6, 5, 4), a, a, a};
  return s;
}

inline Sample TgaLongRun() {
  // 0xFF covers 128 pixels: all of 16 x 8 from one packet.
  Sample s{"run128.tga", TgaHeader(0, 0, 10, 0, 0, 16, 8), 16, 8, {}};
  Put(&s.bytes, {0xFF, 0x33, 0x22, 0x11});
  s.pixels.assign(128, Rgb(0x11, 0x22, 0x33));
  return s;
}

inline Sample TgaMapped(int type) {
  // A 3-byte identification field, a 24-bit map of red, green, blue; 2 x 2.
  // Type 9: one pixel, a raw packet of one, a run of two.
  Sample s{type == 1 ? "mapped.tga" : "maprle.tga", TgaHeader(3, 1, type, 3, 24, 2, 2), 2, 2, {}};
  Put(&s.bytes, {'a', 'b', 'c', 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00});
  if (type == 1) Put(&s.bytes, {0, 1, 2, 2});
  else Put(&s.bytes, {0x80, 0, 0x00, 1, 0x81, 2});
  s.pixels = {Rgb(0, 0, 255), Rgb(0, 0, 255), Rgb(255, 0, 0), Rgb(0, 255, 0)};
  return s;
}

// Both BMP headers and a table of `colours` entries (i*16, i*8, i*4, 0).
inline Bytes BmpHeaders(int width, int height, int bitCount, int compression, int colours, int dataSize) {
  Bytes b;
  uint32_t offset = 54 + colours * 4;
  Text(&b, "BM");
  Le(&b, {{offset + dataSize, 4}, {0, 4}, {offset, 4}, {40, 4}, {uint32_t(width), 4}, {uint32_t(height), 4}});
  Le(&b, {{1, 2}, {bitCount, 2}, {compression, 4}, {dataSize, 4}, {2835, 4}, {2835, 4}, {colours, 4}, {0, 4}});
  for (int i = 0; i < colours; i++) Put(&b, {i * 16, i * 8, i * 4, 0});
  return b;
}
inline uint32_t BmpColour(int i) { return Rgb(i * 4, i * 8, i * 16); }

inline Sample BmpEightBit() {
  // Width 5: 3 pad bytes per row, holding an index that would show.
  Sample s{"eight.bmp", BmpHeaders(5, 2, 8, 0, 4, 16), 5, 2, {}};
  Put(&s.bytes, {0, 1, 2, 3, 0, 3, 3, 3, 3, 2, 1, 0, 1, 3, 3, 3});
  for (int i : {3, 2, 1, 0, 1, 0, 1, 2, 3, 0}) s.pixels.push_back(BmpColour(i));
  return s;
}

inline Sample BmpTwentyFourBit() {
  // Width 5: 15 bytes of pixels and 1 pad byte per row.
  Sample s{"true.bmp", BmpHeaders(5, 2, 24, 0, 0, 32), 5, 2, {}};
  for (int y = 0; y < 2; y++) {
    for (int x = 0; x < 5; x++) Put(&s.bytes, {x, y * 10, 200});
    Put(&s.bytes, {0x77});
  }
  for (int y = 1; y >= 0; y--)
    for (int x = 0; x < 5; x++) s.pixels.push_back(Rgb(200, y * 10, x));
  return s;
}

inline Sample BmpRunLength() {
  // 5 x 2: a run of 2, an absolute run of 3 with its pad byte, end of line,
  // a run of 5, end of line, end of bitmap.
  Sample s{"rle.bmp", BmpHeaders(5, 2, 8, 1, 4, 16), 5, 2, {}};
  Put(&s.bytes, {2, 1, 0, 3, 2, 0, 1, 0, 0, 0, 5, 2, 0, 0, 0, 1});
  for (int i : {2, 2, 2, 2, 2, 1, 1, 2, 0, 1}) s.pixels.push_back(BmpColour(i));
  return s;
}

inline Sample BmpRunLengthSkips() {
  // 4 x 2: a row ended early by end of line, a delta of one pixel; the
  // skipped pixels are black.
  Sample s{"skip.bmp", BmpHeaders(4, 2, 8, 1, 4, 12), 4, 2, {}};
  Put(&s.bytes, {2, 1, 0, 0, 0, 2, 1, 0, 3, 2, 0, 1});
  s.pixels = {0, BmpColour(2), BmpColour(2), BmpColour(2), BmpColour(1), BmpColour(1), 0, 0};
  return s;
}

inline Sample BmpFourBit() {
  // Width 5: three bytes of indices, high nibble first, the last nibble and
  // the pad byte holding an index that would show.
  Sample s{"four.bmp", BmpHeaders(5, 2, 4, 0, 4, 8), 5, 2, {}};
  Put(&s.bytes, {0x32, 0x10, 0x13, 0x33, 0x01, 0x23, 0x03, 0x33});
  for (int i : {0, 1, 2, 3, 0, 3, 2, 1, 0, 1}) s.pixels.push_back(BmpColour(i));
  return s;
}

inline Sample BmpOneBit() {
  // Width 10: two bytes of bits, top bit first, padded to four with set bits.
  Sample s{"mono.bmp", BmpHeaders(10, 2, 1, 0, 2, 8), 10, 2, {}};
  Put(&s.bytes, {0xB2, 0xFF, 0xFF, 0xFF, 0x4D, 0x3F, 0xFF, 0xFF});
  for (int i : {0, 1, 0, 0, 1, 1, 0, 1, 0, 0, 1, 0, 1, 1, 0, 0, 1, 0, 1, 1})
    s.pixels.push_back(BmpColour(i));
  return s;
}

inline Sample BmpRunLengthFourBit() {
  // 5 x 2: a run of 3 alternating the two indices of its byte, a run of 2,
  // end of line; an absolute block of 5 (three bytes and a pad byte), end
  // of bitmap.
  Sample s{"rle4.bmp", BmpHeaders(5, 2, 4, 2, 4, 14), 5, 2, {}};
  Put(&s.bytes, {3, 0x12, 2, 0x32, 0, 0, 0, 5, 0x01, 0x23, 0x10, 0x00, 0, 1});
  for (int i : {0, 1, 2, 3, 1, 1, 2, 1, 3, 2}) s.pixels.push_back(BmpColour(i));
  return s;
}

// FORM, BMHD, an odd-length chunk to skip, CMAP (when given) and BODY.
inline Bytes IffFile(const char* formType, int width, int height, int planes, int masking, int compression,
                     const Bytes& cmap, const Bytes& body) {
  Bytes b;
  Text(&b, "FORM....");
  Text(&b, formType);
  Text(&b, "BMHD");
  Be(&b, {{20, 4}, {width, 2}, {height, 2}, {0, 4}, {planes, 1}, {masking, 1}, {compression, 1}, {0, 3}});
  Be(&b, {{0x0A0B, 2}, {width, 2}, {height, 2}});
  Text(&b, "DPI ");
  Be(&b, {{3, 4}, {0x01020300, 4}});
  for (auto [id, data] : {std::pair{"CMAP", cmap}, std::pair{"BODY", body}}) {
    if (data.empty()) continue;
    Text(&b, id);
    Be(&b, {{uint32_t(data.size()), 4}});
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) b.push_back(0);
  }
  Bytes length;
  Be(&length, {{uint32_t(b.size() - 8), 4}});
  std::copy(length.begin(), length.end(), b.begin() + 4);
  return b;
}
inline Bytes IffColours() { return {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}; }

// 3 x 2, two planes, ByteRun1. Indices 0 1 2 / 1 1 1: plane rows 40 00 |
// 20 00 and E0 00 | 00 00, as literal 2, no-op, literal 1, literal 1;
// literal 1, run of 3.
inline Bytes IffByteRunBody() { return {0x01, 0x40, 0x00, 0x80, 0x00, 0x20, 0x00, 0x00, 0x00, 0xE0, 0xFE, 0x00}; }

inline Sample IffByteRun() {
  Sample s{"packed.lbm", IffFile("ILBM", 3, 2, 2, 0, 1, IffColours(), IffByteRunBody()), 3, 2, {}};
  uint32_t r = Rgb(255, 0, 0);
  s.pixels = {0, r, Rgb(0, 255, 0), r, r, r};
  return s;
}

inline Sample IffPlainWithMask() {
  // 10 x 1, one plane and a mask plane stored plainly, 2 bytes each.
  Sample s{"mask.iff", IffFile("ILBM", 10, 1, 1, 1, 0, {10, 20, 30, 40, 50, 60}, {0xA5, 0x80, 0xFF, 0xFF}), 10, 1, {}};
  uint32_t a = Rgb(10, 20, 30), b = Rgb(40, 50, 60);
  s.pixels = {b, a, b, a, a, b, a, b, b, a};
  return s;
}

inline Sample IffChunky() {
  // PBM: a byte per pixel, rows padded to even. A run of four 1s; literal 3 2 0 0.
  Sample s{"chunky.lbm", IffFile("PBM ", 3, 2, 8, 0, 1, IffColours(), {0xFD, 1, 3, 3, 2, 0, 0}), 3, 2, {}};
  s.pixels = {Rgb(255, 0, 0), Rgb(255, 0, 0), Rgb(255, 0, 0), Rgb(0, 0, 255), Rgb(0, 255, 0), 0};
  return s;
}

// RIX and CEL: header, a 6-bit table (entry i is i & 63, i * 2 & 63,
// 63 - (i & 63)), then the indices.
inline Sample SixBit(const char* name, Bytes header, int width, int height, std::initializer_list<int> indices) {
  Sample s{name, header, width, height, {}};
  for (int i = 0; i < 256; i++) Put(&s.bytes, {i & 63, (i * 2) & 63, 63 - (i & 63)});
  for (int i : indices) {
    s.bytes.push_back(uint8_t(i));
    s.pixels.push_back(Rgb((i & 63) * 4, ((i * 2) & 63) * 4, (63 - (i & 63)) * 4));
  }
  return s;
}
inline Sample Rix() {
  return SixBit("pic.rix", {'R', 'I', 'X', '3', 3, 0, 2, 0, 0xAF, 0}, 3, 2, {0, 63, 64, 200, 255, 1});
}
inline Sample Cel() {
  Bytes header = {0x19, 0x91, 2, 0, 3, 0};
  header.resize(32);
  return SixBit("pic.cel", header, 2, 3, {63, 0, 7, 128, 255, 9});
}

// Every sample whose pixels are known exactly (JPEG is lossy).
inline std::vector<Sample> ExactSamples() {
  return {PcxEightBit(),     PcxTwentyFourBit(), PcxWithoutTable(), TgaTrueColour(0, "up.tga"),
          TgaTrueColour(0x20, "topdown.tga"), TgaRunTrueColour(), TgaLongRun(), TgaMapped(1),
          TgaMapped(9),      BmpEightBit(),      BmpTwentyFourBit(), BmpRunLength(),
          BmpRunLengthSkips(), BmpFourBit(),     BmpOneBit(),        BmpRunLengthFourBit(),
          IffByteRun(),     IffPlainWithMask(), IffChunky(), Rix(), Cel()};
}

// A JPEG file from the library's compressor (quality 100, no chroma
// subsampling); returns its path.
inline std::string WriteJpeg(const char* name, int width, int height, int components, J_COLOR_SPACE space,
                             const std::vector<uint8_t>& samples, bool progressive = false) {
  std::string path = WriteTemp(name, {});
  FILE* file = std::fopen(path.c_str(), "wb");
  jpeg_compress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = width;
  info.image_height = height;
  info.input_components = components;
  info.in_color_space = space;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 100, TRUE);
  for (int c = 0; c < info.num_components; c++) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
  if (progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPLE*>(samples.data() + info.next_scanline * width * components);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::fclose(file);
  return path;
}

}  // namespace craft
