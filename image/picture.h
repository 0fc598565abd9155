// The one in-memory picture form: width x height pixels 0x00RRGGBB, top row
// first, no gaps. Decoders, the front end that picks one by extension, and
// the constructors for full-size pictures and power-of-two textures.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct Picture {
  int32_t width;
  int32_t height;
  int32_t sizeCode;  // TextureSizeCode for texture pictures; unset otherwise
  uint32_t* pixels;
};

// Size of the file most recently opened by any decoder.
extern int32_t LastPictureWidth;
extern int32_t LastPictureHeight;

// With pixels null: size query only. With an array of at least
// width x height pixels: also decodes into it. A file that cannot be read
// prints the show's message and ends the process with status 1.
void LoadPicture(const char* fileName, uint32_t* pixels);

// LoadPicture for a caller whose array is fixed in advance: a file of more
// than capacity pixels is refused (message, status 1) instead of overrunning
// the array.
void LoadPictureInto(const char* fileName, uint32_t* pixels, int64_t capacity);

Picture* CreatePicture(const char* fileName);
Picture* CreateTexturePicture(const char* fileName);

int RoundTextureSize(int n);
int TextureSizeCode(int width, int height);
int ResampleNearest(const uint32_t* source, uint32_t* target, int sourceWidth, int sourceHeight);
void FlipRows(int width, int height, uint32_t* pixels);
long FileLength(FILE* file);

// ---------------------------------------------------------------------------
// The decoding core. It never prints and never ends the process: it answers
// with 1 (done) or 0 (refused) and fills a PictureResult; the front end above
// prints the message and exits. Tests, fuzz harnesses and the asset
// generator's round trips call it directly.

enum PictureStatus {
  PICTURE_OK = 0,
  PICTURE_FAILED = 1,          // missing, foreign or malformed file; message for standard output
  PICTURE_LIBRARY_FAILED = 2,  // the JPEG library's own fatal error; its message, for standard error
};

struct PictureResult {
  int32_t width = 0;  // set as soon as the header has been read
  int32_t height = 0;
  int status = PICTURE_OK;
  std::string message;  // the complete line, newline included, when refused
  std::string warning;  // set when the picture was left without decoded pixels
  std::string reason;   // the system's reason a refused file could not be read
};

// Largest picture (in pixels) any decoder accepts; a header claiming more is
// refused before anything is allocated. Fuzz harnesses lower it.
extern int64_t PictureMaxPixels;

// One decoder: reads the open file from its start; fileName only names the
// file in messages. pixels null: header only. Otherwise pixels holds
// capacity pixels, and a picture larger than that is refused.
typedef int (*PictureDecoder)(FILE* file, const char* fileName, uint32_t* pixels, int64_t capacity,
                              PictureResult* result);

int DecodePcx(FILE* file, const char* fileName, uint32_t* pixels, int64_t capacity, PictureResult* result);
int DecodeTga(FILE* file, const char* fileName, uint32_t* pixels, int64_t capacity, PictureResult* result);
int DecodeBmp(FILE* file, const char* fileName, uint32_t* pixels, int64_t capacity, PictureResult* result);
int DecodeIff(FILE* file, const char* fileName, uint32_t* pixels, int64_t capacity, PictureResult* result);
int DecodeRix(FILE* file, const char* fileName, uint32_t* pixels, int64_t capacity, PictureResult* result);
int DecodeCel(FILE* file, const char* fileName, uint32_t* pixels, int64_t capacity, PictureResult* result);
int DecodeJpg(FILE* file, const char* fileName, uint32_t* pixels, int64_t capacity, PictureResult* result);

// The decoder LoadPicture would choose for fileName (last extension, cut to
// three characters, ASCII case ignored), or null with the front end's
// message in result.
PictureDecoder FindPictureDecoder(const char* fileName, PictureResult* result);

// LoadPicture without printing or exiting: picks the decoder, opens the file
// through the asset paths ("rb"), decodes, closes. Also sets
// LastPictureWidth/LastPictureHeight once the header has been read.
int DecodePicture(const char* fileName, uint32_t* pixels, int64_t capacity, PictureResult* result);

// Size query and decode in one: the whole picture into a vector sized to it.
// For round-trip tests of the file writers.
int DecodePictureFile(const char* fileName, std::vector<uint32_t>* pixels, int32_t* width, int32_t* height,
                      std::string* message);
