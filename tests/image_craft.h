// Tiny picture files crafted byte by byte, with the pixels each must decode
// to. The decoder tests compare against them, and the fuzz seeds are written
// from them.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace craft {

using Bytes = std::vector<uint8_t>;

inline void Put(Bytes* b, std::initializer_list<int> values) {
  for (int v : values) b->push_back(static_cast<uint8_t>(v));
}
inline void Le16(Bytes* b, uint32_t v) { Put(b, {int(v & 0xFF), int((v >> 8) & 0xFF)}); }
inline void Le32(Bytes* b, uint32_t v) {
  Le16(b, v & 0xFFFF);
  Le16(b, v >> 16);
}
inline void Be16(Bytes* b, uint32_t v) { Put(b, {int((v >> 8) & 0xFF), int(v & 0xFF)}); }
inline void Be32(Bytes* b, uint32_t v) {
  Be16(b, v >> 16);
  Be16(b, v & 0xFFFF);
}
inline void Text(Bytes* b, const char* s) {
  while (*s) b->push_back(static_cast<uint8_t>(*s++));
}
// Writes bytes to name inside a directory of this test process; returns
// the absolute path.
inline std::string WriteTemp(const std::string& name, const Bytes& bytes) {
  static std::string directory;
  if (directory.empty()) {
    char pattern[] = "/tmp/kv_image_XXXXXX";
    directory = mkdtemp(pattern) ? pattern : "/tmp";
  }
  std::string path = directory + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

inline uint32_t Rgb(int r, int g, int b) { return (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b); }

struct Sample {
  std::string name;  // file name; its extension chooses the decoder
  Bytes bytes;
  int width;
  int height;
  std::vector<uint32_t> pixels;  // top row first
};

// --- PCX -------------------------------------------------------------------

inline Bytes PcxHeader(int version, int xMin, int yMin, int xMax, int yMax, int planes, int bytesPerLine) {
  Bytes b(128, 0);
  b[0] = 10;
  b[1] = uint8_t(version);
  b[2] = 1;
  b[3] = 8;
  b[4] = uint8_t(xMin), b[5] = uint8_t(xMin >> 8);
  b[6] = uint8_t(yMin), b[7] = uint8_t(yMin >> 8);
  b[8] = uint8_t(xMax), b[9] = uint8_t(xMax >> 8);
  b[10] = uint8_t(yMax), b[11] = uint8_t(yMax >> 8);
  b[65] = uint8_t(planes);
  b[66] = uint8_t(bytesPerLine), b[67] = uint8_t(bytesPerLine >> 8);
  return b;
}

inline void PcxPalette(Bytes* b, uint8_t table[768]) {
  b->push_back(0x0C);
  b->insert(b->end(), table, table + 768);
}

inline Sample PcxEightBit() {
  // 3 x 2 at x 10..12, y 4..5; lines of 4 bytes (one pad byte).
  Sample s{"pcx8.pcx", PcxHeader(5, 10, 4, 12, 5, 1, 4), 3, 2, {}};
  // Row 0: 0xC0 alone is a data byte; 0xFF repeats 5 63 times, cut at the
  // line end. Row 1 starts fresh: 1, a run of two 7s, then pad 9.
  Put(&s.bytes, {0xC0, 0xFF, 0x05, 0x01, 0xC2, 0x07, 0x09});
  uint8_t table[768];
  for (int i = 0; i < 256; i++) table[i * 3] = uint8_t(i), table[i * 3 + 1] = uint8_t(255 - i), table[i * 3 + 2] = uint8_t(i / 2);
  PcxPalette(&s.bytes, table);
  auto c = [](int i) { return Rgb(i, 255 - i, i / 2); };
  s.pixels = {c(0xC0), c(5), c(5), c(1), c(7), c(7)};
  return s;
}

inline Sample PcxTwentyFourBit() {
  // Width 3 with 4 bytes per plane line: green starts at 4, blue at 8. The
  // pad bytes hold values that show up if a plane is taken from the wrong
  // offset. The red plane's last pixel and pad form one run.
  Sample s{"pcx24.pcx", PcxHeader(5, 0, 0, 2, 1, 3, 4), 3, 2, {}};
  Put(&s.bytes, {10, 20, 0xC2, 0xEE, 40, 50, 60, 0xC1, 0xE1, 70, 80, 90, 0xC1, 0xE2});
  Put(&s.bytes, {1, 2, 3, 4, 0xC3, 5, 0xC1, 0xF0, 0xC1, 0xC8, 0xC2, 9, 0x12});
  s.pixels = {Rgb(10, 40, 70), Rgb(20, 50, 80), Rgb(0xEE, 60, 90), Rgb(1, 5, 0xC8), Rgb(2, 5, 9), Rgb(3, 5, 9)};
  return s;
}

inline Sample PcxWithoutTable() {
  // A version 3 one-plane file carries no colour table: grey levels.
  Sample s{"grey.pcx", PcxHeader(3, 0, 0, 1, 0, 1, 2), 2, 1, {}};
  Put(&s.bytes, {0x20, 0xC1, 0xF0});
  s.pixels = {Rgb(0x20, 0x20, 0x20), Rgb(0xF0, 0xF0, 0xF0)};
  return s;
}

// --- TGA -------------------------------------------------------------------

inline Bytes TgaHeader(int idLength, int mapType, int type, int mapLength, int entryBits, int width, int height,
                       int descriptor = 0) {
  Bytes b;
  Put(&b, {idLength, mapType, type, 0, 0});
  Le16(&b, mapLength);
  Put(&b, {entryBits, 0, 0, 0, 0});
  Le16(&b, width);
  Le16(&b, height);
  Put(&b, {mapType ? 8 : 24, descriptor});
  return b;
}

inline Sample TgaTrueColour(int descriptor, const char* name) {
  // Rows stored bottom first: the file's first row is the picture's last,
  // whatever the descriptor says.
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
  // 0xFF covers 128 pixels: 16 x 8 from one packet.
  Sample s{"run128.tga", TgaHeader(0, 0, 10, 0, 0, 16, 8), 16, 8, {}};
  Put(&s.bytes, {0xFF, 0x33, 0x22, 0x11});
  s.pixels.assign(128, Rgb(0x11, 0x22, 0x33));
  return s;
}

inline Sample TgaMapped(int type) {
  // An identification field of 3 bytes, a 24-bit map of 3 entries, 2 x 2.
  Sample s{type == 1 ? "mapped.tga" : "maprle.tga", TgaHeader(3, 1, type, 3, 24, 2, 2), 2, 2, {}};
  Put(&s.bytes, {'a', 'b', 'c'});
  Put(&s.bytes, {0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00});  // red, green, blue
  if (type == 1) Put(&s.bytes, {0, 1, 2, 2});
  else Put(&s.bytes, {0x80, 0, 0x00, 1, 0x81, 2});  // one pixel, raw one, run of two
  s.pixels = {Rgb(0, 0, 255), Rgb(0, 0, 255), Rgb(255, 0, 0), Rgb(0, 255, 0)};
  return s;
}

// --- BMP -------------------------------------------------------------------

inline Bytes BmpHeaders(int width, int height, int bitCount, int compression, int colours, int dataSize) {
  Bytes b;
  int offset = 54 + colours * 4;
  Text(&b, "BM");
  Le32(&b, offset + dataSize);
  Le32(&b, 0);
  Le32(&b, offset);
  Le32(&b, 40);
  Le32(&b, width);
  Le32(&b, height);
  Le16(&b, 1);
  Le16(&b, bitCount);
  Le32(&b, compression);
  Le32(&b, dataSize);
  Le32(&b, 2835);
  Le32(&b, 2835);
  Le32(&b, colours);
  Le32(&b, 0);
  return b;
}

inline void BmpTable(Bytes* b, int colours) {
  for (int i = 0; i < colours; i++) Put(b, {i * 16, i * 8, i * 4, 0});  // blue, green, red, reserved
}
inline uint32_t BmpColour(int i) { return Rgb(i * 4, i * 8, i * 16); }

inline Sample BmpEightBit() {
  // Width 5: 3 pad bytes per row, set to a valid index that would show.
  Sample s{"eight.bmp", BmpHeaders(5, 2, 8, 0, 4, 16), 5, 2, {}};
  BmpTable(&s.bytes, 4);
  Put(&s.bytes, {0, 1, 2, 3, 0, 3, 3, 3});  // bottom row
  Put(&s.bytes, {3, 2, 1, 0, 1, 3, 3, 3});  // top row
  s.pixels = {BmpColour(3), BmpColour(2), BmpColour(1), BmpColour(0), BmpColour(1),
              BmpColour(0), BmpColour(1), BmpColour(2), BmpColour(3), BmpColour(0)};
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
  Sample s{"rle.bmp", BmpHeaders(5, 2, 8, 1, 4, 18), 5, 2, {}};
  BmpTable(&s.bytes, 4);
  Put(&s.bytes, {2, 1, 0, 3, 2, 0, 1, 0, 0, 0, 5, 2, 0, 0, 0, 1});
  uint32_t c1 = BmpColour(1), c2 = BmpColour(2), c0 = BmpColour(0);
  s.pixels = {c2, c2, c2, c2, c2, c1, c1, c2, c0, c1};
  return s;
}

inline Sample BmpRunLengthSkips() {
  // 4 x 2: a row ended early by end of line, a delta of one pixel; skipped
  // pixels are black.
  Sample s{"skip.bmp", BmpHeaders(4, 2, 8, 1, 4, 12), 4, 2, {}};
  BmpTable(&s.bytes, 4);
  Put(&s.bytes, {2, 1, 0, 0, 0, 2, 1, 0, 3, 2, 0, 1});
  uint32_t c1 = BmpColour(1), c2 = BmpColour(2);
  s.pixels = {0, c2, c2, c2, c1, c1, 0, 0};
  return s;
}

// --- LBM/IFF ---------------------------------------------------------------

inline Bytes IffFile(const char* formType, int width, int height, int planes, int masking, int compression,
                     const Bytes& cmap, const Bytes& body) {
  Bytes b;
  Text(&b, "FORM");
  Le32(&b, 0);  // patched below
  Text(&b, formType);
  Text(&b, "BMHD");
  Be32(&b, 20);
  Be16(&b, width);
  Be16(&b, height);
  Be16(&b, 0);
  Be16(&b, 0);
  Put(&b, {planes, masking, compression, 0});
  Be16(&b, 0);
  Put(&b, {10, 11});
  Be16(&b, width);
  Be16(&b, height);
  Text(&b, "DPI ");  // a chunk to skip, odd length with its pad byte
  Be32(&b, 3);
  Put(&b, {1, 2, 3, 0});
  if (!cmap.empty()) {
    Text(&b, "CMAP");
    Be32(&b, uint32_t(cmap.size()));
    b.insert(b.end(), cmap.begin(), cmap.end());
    if (cmap.size() & 1) b.push_back(0);
  }
  Text(&b, "BODY");
  Be32(&b, uint32_t(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  if (body.size() & 1) b.push_back(0);
  uint32_t formLength = uint32_t(b.size() - 8);
  b[4] = uint8_t(formLength >> 24), b[5] = uint8_t(formLength >> 16), b[6] = uint8_t(formLength >> 8),
  b[7] = uint8_t(formLength);
  return b;
}

inline Bytes IffColours() { return {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}; }

// 3 x 2, two planes, ByteRun1. Indices 0 1 2 / 1 1 1; each plane row is
// 2 bytes: row 0 is 40 00 | 20 00, row 1 is E0 00 | 00 00.
inline Bytes IffByteRunBody() {
  return {0x01, 0x40, 0x00, 0x80, 0x00, 0x20, 0x00, 0x00,  // literal 2, no-op, literal 1, literal 1
          0x00, 0xE0, 0xFE, 0x00};                          // literal 1, run of 3
}

inline Sample IffByteRun() {
  Sample s{"packed.lbm", IffFile("ILBM", 3, 2, 2, 0, 1, IffColours(), IffByteRunBody()), 3, 2, {}};
  uint32_t r = Rgb(255, 0, 0);
  s.pixels = {0, r, Rgb(0, 255, 0), r, r, r};
  return s;
}

inline Sample IffPlainWithMask() {
  // 10 x 1, one plane plus a mask plane, stored plainly: a row is 2 plane
  // bytes and 2 mask bytes.
  Bytes body = {0xA5, 0x80, 0xFF, 0xFF};
  Sample s{"mask.iff", IffFile("ILBM", 10, 1, 1, 1, 0, {10, 20, 30, 40, 50, 60}, body), 10, 1, {}};
  uint32_t a = Rgb(10, 20, 30), b = Rgb(40, 50, 60);
  s.pixels = {b, a, b, a, a, b, a, b, b, a};
  return s;
}

inline Sample IffChunky() {
  // PBM: one byte per pixel, rows padded to even; 3 x 2, ByteRun1.
  Bytes body = {0xFD, 0x01, 0x03, 0x03, 0x02, 0x00, 0x00};  // run of four 1s; literal 3 2 0 0
  Sample s{"chunky.lbm", IffFile("PBM ", 3, 2, 8, 0, 1, IffColours(), body), 3, 2, {}};
  s.pixels = {Rgb(255, 0, 0), Rgb(255, 0, 0), Rgb(255, 0, 0), Rgb(0, 0, 255), Rgb(0, 255, 0), 0};
  return s;
}

// --- RIX and CEL -----------------------------------------------------------

inline void SixBitTable(Bytes* b) {
  for (int i = 0; i < 256; i++) Put(b, {i & 63, (i * 2) & 63, 63 - (i & 63)});
}
inline uint32_t SixBitColour(int i) { return Rgb((i & 63) * 4, ((i * 2) & 63) * 4, (63 - (i & 63)) * 4); }

inline Sample Rix() {
  Sample s{"pic.rix", {}, 3, 2, {}};
  Text(&s.bytes, "RIX3");
  Le16(&s.bytes, 3);
  Le16(&s.bytes, 2);
  Put(&s.bytes, {0xAF, 0});
  SixBitTable(&s.bytes);
  Put(&s.bytes, {0, 63, 64, 200, 255, 1});
  for (int i : {0, 63, 64, 200, 255, 1}) s.pixels.push_back(SixBitColour(i));
  return s;
}

inline Sample Cel() {
  Sample s{"pic.cel", {}, 2, 3, {}};
  Le16(&s.bytes, 0x9119);
  Le16(&s.bytes, 2);
  Le16(&s.bytes, 3);
  while (s.bytes.size() < 32) s.bytes.push_back(0);
  SixBitTable(&s.bytes);
  Put(&s.bytes, {63, 0, 7, 128, 255, 9});
  for (int i : {63, 0, 7, 128, 255, 9}) s.pixels.push_back(SixBitColour(i));
  return s;
}

// Every sample whose pixels are known exactly (JPEG is lossy: its tests
// make their own files).
inline std::vector<Sample> ExactSamples() {
  return {PcxEightBit(),  PcxTwentyFourBit(), PcxWithoutTable(), TgaTrueColour(0, "up.tga"),
          TgaTrueColour(0x20, "topdown.tga"), TgaRunTrueColour(), TgaLongRun(), TgaMapped(1), TgaMapped(9),
          BmpEightBit(),  BmpTwentyFourBit(), BmpRunLength(),    BmpRunLengthSkips(), IffByteRun(),
          IffPlainWithMask(), IffChunky(), Rix(), Cel()};
}

// A JPEG file made by the library's compressor (quality 100, no chroma
// subsampling); returns its path.
inline std::string WriteJpeg(const char* name, int width, int height, int components, J_COLOR_SPACE space,
                             const std::vector<uint8_t>& samples, bool progressive = false) {
  std::string path = craft::WriteTemp(name, {});
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
