// The capture writer in a browser. There is no ffmpeg and no disk to fill
// with frames there, so a capture cannot open; what remains is the PNG writer
// for the screenshot key, which writes into the virtual file system and hands
// the file to the page to offer as a download. The PNG is stored without
// compression (deflate's stored blocks), so no zlib is needed.
#include <emscripten.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/capture.h"
#include "platform/web/png_store.h"

int CaptureOpen(const char* path, int, int) {
  std::fprintf(stderr, "Kestrivane: cannot capture to %s in a browser (use the desktop program)\n",
               path ? path : "");
  return 0;
}

int CaptureAudio(const int16_t*, int) { return 0; }
int CaptureClose() { return 0; }
int CaptureIsOpen() { return 0; }
void CaptureSetDuration(double) {}
int CaptureFrame(const uint32_t*, int, int, int) { return 0; }
int CaptureFrameCount() { return 0; }
void CaptureHold(int) {}
// The choices of a video capture are accepted and unused: no capture opens.
int CaptureSetChoices(int, const char*, std::string*) { return 1; }
std::string CaptureFindProgram(const char*) { return std::string(); }

int CaptureWritePng(const char* path, const uint32_t* pixels, int width, int height,
                    int pitchPixels, int, std::string* error) {
  std::vector<uint8_t> png;
  if (!PngStore(pixels, width, height, pitchPixels, &png)) {
    *error = std::string("cannot encode ") + path;
    return 0;
  }
  FILE* f = std::fopen(path, "wb");
  if (!f) {
    *error = std::string("cannot write ") + path;
    return 0;
  }
  bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    *error = std::string("cannot write ") + path;
    return 0;
  }
  // The page offers the file as a download when it asks to be told.
  EM_ASM({ if (Module.kvSaved) Module.kvSaved(UTF8ToString($0)); }, path);
  return 1;
}
