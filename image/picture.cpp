// Loader front end, constructors and the picture helpers the decoders share.
#include "image/picture.h"

#include <cstdlib>
#include <cstring>

#include "image/data_file.h"
#include "image/picture_reader.h"
#include "platform/system.h"

int32_t LastPictureWidth;
int32_t LastPictureHeight;

// 8192 x 8192: far beyond any picture of the show, small enough that
// width * height * 4 never overflows and the allocation stays plausible.
int64_t PictureMaxPixels = int64_t{1} << 26;

namespace {

struct PictureFormat {
  char extension[4];
  PictureDecoder decoder;
  const char* notFound;  // printed when the file cannot be opened
};

// Searched in order; the first row whose extension matches wins.
const PictureFormat PictureFormatTable[9] = {
    {"PCX", DecodePcx, "PCX file not found\n"},     {"TGA", DecodeTga, "TGA file not found\n"},
    {"BMP", DecodeBmp, "BMP file not found\n"},     {"IFF", DecodeIff, "LBM/IFF file not found\n"},
    {"LBM", DecodeIff, "LBM/IFF file not found\n"}, {"RIX", DecodeRix, "RIX file not found\n"},
    {"SCX", DecodeRix, "RIX file not found\n"},     {"JPG", DecodeJpg, "JPG file not found (%s)\n"},
    {"CEL", DecodeCel, "CEL file not found\n"},
};

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

const PictureFormat* FindFormat(const char* fileName, PictureResult* result) {
  const char* dot = std::strrchr(fileName, '.');
  if (!dot) {
    PictureRefuse(result, "sorry, unable to detect filetype of file: %s\n", fileName);
    return nullptr;
  }
  char extension[4] = {};
  std::strncpy(extension, dot + 1, 3);
  for (const PictureFormat& format : PictureFormatTable) {
    int equal = 1;
    for (int i = 0; i < 4 && equal; i++) equal = AsciiUpper(extension[i]) == format.extension[i];
    if (equal) return &format;
  }
  PictureRefuse(result, "sorry, files of .%s type are not supported\n", extension);
  return nullptr;
}

// The format's message, then the line naming the full path with the reason.
[[noreturn]] void EndWithMessage(const char* fileName, const PictureResult& result) {
  FILE* stream = result.status == PICTURE_LIBRARY_FAILED ? stderr : stdout;
  std::fputs(result.message.c_str(), stream);
  std::fflush(stream);
  ReportDataFile(fileName, result.reason.empty() ? std::string("refused") : result.reason);
  std::exit(1);
}

}  // namespace

int PictureRefuse(PictureResult* result, const char* format, const char* fileName) {
  char line[1024];
  std::snprintf(line, sizeof line, format, fileName);
  result->message = line;
  if (result->status == PICTURE_OK) result->status = PICTURE_FAILED;
  return 0;
}

int PictureFileHolds(FILE* file, long offset, int64_t count) {
  long at = std::ftell(file);
  if (std::fseek(file, 0, SEEK_END) != 0) return 1;  // not seekable: nothing to check against
  long length = std::ftell(file);
  std::fseek(file, at, SEEK_SET);
  return length >= 0 && count <= int64_t{length} - offset;
}

void PictureLeaveUndecoded(PictureResult* result, const char* fileName) {
  char line[1024];
  std::snprintf(line, sizeof line, "%s is left without decoded pixels: its variant is not read\n", fileName);
  result->warning = line;
}

int PictureAcceptSize(PictureResult* result, int64_t width, int64_t height, const uint32_t* pixels,
                      int64_t capacity, const char* invalidFormat, const char* fileName) {
  if (width <= 0 || height <= 0 || width > PictureMaxPixels || height > PictureMaxPixels ||
      width * height > PictureMaxPixels)
    return PictureRefuse(result, invalidFormat, fileName);
  result->width = static_cast<int32_t>(width);
  result->height = static_cast<int32_t>(height);
  if (pixels && width * height > capacity) {
    result->reason = "larger than the picture it is loaded into";
    return PictureRefuse(result, "%s is larger than the picture it is loaded into\n", fileName);
  }
  return 1;
}

PictureDecoder FindPictureDecoder(const char* fileName, PictureResult* result) {
  const PictureFormat* format = FindFormat(fileName, result);
  return format ? format->decoder : nullptr;
}

int DecodePicture(const char* fileName, uint32_t* pixels, int64_t capacity, PictureResult* result) {
  const PictureFormat* format = FindFormat(fileName, result);
  if (!format) {
    result->reason = "unknown file type";
    return 0;
  }
  FILE* file = OpenDataFile(fileName, &result->reason);
  if (!file) return PictureRefuse(result, format->notFound, fileName);
  int ok = format->decoder(file, fileName, pixels, capacity, result);
  if (!ok && result->reason.empty()) {
    result->reason = DamagedAtByte(std::ftell(file));
    if (result->status == PICTURE_LIBRARY_FAILED) result->reason += " (" + result->message.substr(0, result->message.size() - 1) + ")";
  }
  std::fclose(file);
  if (result->width > 0) {
    LastPictureWidth = result->width;
    LastPictureHeight = result->height;
  }
  return ok;
}

int DecodePictureFile(const char* fileName, std::vector<uint32_t>* pixels, int32_t* width, int32_t* height,
                      std::string* message) {
  PictureResult result;
  int ok = DecodePicture(fileName, nullptr, 0, &result);
  if (ok) {
    int64_t count = int64_t{result.width} * result.height;
    pixels->assign(static_cast<size_t>(count), 0);
    result = PictureResult();
    ok = DecodePicture(fileName, pixels->data(), count, &result);
  }
  if (width) *width = result.width;
  if (height) *height = result.height;
  if (message) *message = result.message;
  return ok;
}

void LoadPictureInto(const char* fileName, uint32_t* pixels, int64_t capacity) {
  PictureResult result;
  if (!DecodePicture(fileName, pixels, capacity, &result)) EndWithMessage(fileName, result);
  if (!result.warning.empty()) {
    std::fputs(result.warning.c_str(), stderr);
    ReportDataFile(fileName, "read with a warning");
  }
}

void LoadPicture(const char* fileName, uint32_t* pixels) { LoadPictureInto(fileName, pixels, INT64_MAX); }

Picture* CreatePicture(const char* fileName) {
  Picture* picture = static_cast<Picture*>(std::malloc(sizeof(Picture)));
  if (!picture) return nullptr;
  LoadPicture(fileName, nullptr);
  picture->width = LastPictureWidth;
  picture->height = LastPictureHeight;
  int64_t count = int64_t{picture->width} * picture->height;
  // Zeroed, so a variant left undecoded shows black, never heap contents.
  picture->pixels = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(count), 4));
  if (!picture->pixels) {
    std::free(picture);
    return nullptr;
  }
  LoadPictureInto(fileName, picture->pixels, count);
  return picture;
}

Picture* CreateTexturePicture(const char* fileName) {
  Picture* picture = static_cast<Picture*>(std::malloc(sizeof(Picture)));
  if (!picture) return nullptr;
  LoadPicture(fileName, nullptr);
  int sourceWidth = LastPictureWidth;
  int sourceHeight = LastPictureHeight;
  picture->width = RoundTextureSize(sourceWidth);
  picture->height = RoundTextureSize(sourceHeight);
  int64_t count = int64_t{sourceWidth} * sourceHeight;
  uint32_t* source = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(count), 4));
  if (!source) {
    std::free(picture);
    return nullptr;
  }
  LoadPictureInto(fileName, source, count);
  picture->pixels = static_cast<uint32_t*>(std::malloc(size_t{4} * picture->width * picture->height));
  if (!picture->pixels) {
    std::free(source);
    std::free(picture);
    return nullptr;
  }
  picture->sizeCode = ResampleNearest(source, picture->pixels, sourceWidth, sourceHeight);
  std::free(source);
  return picture;
}

int RoundTextureSize(int n) {
  if (n >= 256) return 256;
  int size = 32;
  while (size < n) size <<= 1;
  return size;
}

int TextureSizeCode(int width, int height) {
  static const int16_t kSizes[16][2] = {{256, 256}, {128, 128}, {64, 64},  {32, 32},  {256, 128}, {256, 64},
                                        {256, 32},  {128, 256}, {128, 64}, {128, 32}, {64, 256},  {64, 128},
                                        {64, 32},   {32, 256},  {32, 128}, {32, 64}};
  for (int code = 1; code <= 16; code++)
    if (kSizes[code - 1][0] == width && kSizes[code - 1][1] == height) return code;
  return 0;
}

// Nearest-neighbour in 16.16 fixed point, no half-texel offset: target pixel
// 0 copies source pixel 0. The steps are kept in 64 bits so that a source
// wider than 32767 cannot overflow the shift.
int ResampleNearest(const uint32_t* source, uint32_t* target, int sourceWidth, int sourceHeight) {
  int targetWidth = RoundTextureSize(sourceWidth);
  int targetHeight = RoundTextureSize(sourceHeight);
  int64_t stepX = (int64_t{sourceWidth} << 16) / targetWidth;
  int64_t stepY = (int64_t{sourceHeight} << 16) / targetHeight;
  int64_t v = 0;
  for (int j = 0; j < targetHeight; j++, v += stepY) {
    const uint32_t* row = source + (v >> 16) * sourceWidth;
    uint32_t* out = target + static_cast<int64_t>(j) * targetWidth;
    int64_t u = 0;
    for (int i = 0; i < targetWidth; i++, u += stepX) out[i] = row[u >> 16];
  }
  return TextureSizeCode(targetWidth, targetHeight);
}

void FlipRows(int width, int height, uint32_t* pixels) {
  if (width <= 0 || height < 2) return;
  size_t rowBytes = size_t{4} * width;
  uint32_t* temp = static_cast<uint32_t*>(std::malloc(rowBytes));
  if (!temp) return;
  for (int i = 0; i < height / 2; i++) {
    uint32_t* top = pixels + static_cast<size_t>(i) * width;
    uint32_t* bottom = pixels + static_cast<size_t>(height - 1 - i) * width;
    std::memcpy(temp, top, rowBytes);
    std::memcpy(top, bottom, rowBytes);
    std::memcpy(bottom, temp, rowBytes);
  }
  std::free(temp);
}

long FileLength(FILE* file) {
  std::fseek(file, 0, SEEK_SET);
  std::fseek(file, 0, SEEK_END);
  long length = std::ftell(file);
  std::fseek(file, 0, SEEK_SET);
  return length;
}
