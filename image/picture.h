// The one in-memory picture form: width x height pixels 0x00RRGGBB, top row
// first, no gaps. Decoders, the front end that picks one by extension, and
// the constructors for full-size pictures and power-of-two textures.
#pragma once
#include <cstdint>
#include <cstdio>

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

Picture* CreatePicture(const char* fileName);
Picture* CreateTexturePicture(const char* fileName);

int RoundTextureSize(int n);
int TextureSizeCode(int width, int height);
int ResampleNearest(const uint32_t* source, uint32_t* target, int sourceWidth, int sourceHeight);
void FlipRows(int width, int height, uint32_t* pixels);
long FileLength(FILE* file);
