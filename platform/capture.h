// Offline capture: every presented frame, as the screen shows it, and the
// sound the show played, written to a video (through the ffmpeg program) or to
// a directory of numbered PNG frames plus a WAV file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Opens a capture. PATH ending in ".mp4", ".mkv" or ".webm" is a video made by
// ffmpeg, upscaled 4x nearest-neighbour, with the sound muxed in; any other
// PATH is a directory (created when missing) of "frame-000000.png" ... and
// "sound.wav". audioRate 0 means no sound track. Returns 1, or prints a
// message to standard error and returns 0 when ffmpeg is missing or PATH
// cannot be written.
int CaptureOpen(const char* path, int framesPerSecond, int audioRate);

// Interleaved stereo 16-bit samples at audioRate: the samples of one frame.
int CaptureAudio(const int16_t* stereo, int frames);

// Finishes the files: pads the sound to the length of the pictures and, for a
// video, muxes it in. Returns 1 on success.
int CaptureClose();

// 1 between a successful CaptureOpen and CaptureClose.
int CaptureIsOpen();

// Optional length of the show in seconds; with it the progress line on
// standard error becomes a bar.
void CaptureSetDuration(double seconds);

// One frame of 0x00RRGGBB pixels, row 0 at the top. The platform video calls
// this at each unlock in capture mode; dropped when no capture is open. Every
// frame must have the size of the first.
int CaptureFrame(const uint32_t* pixels, int width, int height, int pitchPixels);

// While held, frames handed to CaptureFrame are passed over (the run-up to
// the first frame of a part of the show). Released by CaptureOpen.
void CaptureHold(int on);

// Frames written since CaptureOpen.
int CaptureFrameCount();

// Writes 0x00RRGGBB pixels as an 8-bit RGB PNG. compressionLevel is zlib's
// 0..9. Returns 1, or 0 with *error set.
int CaptureWritePng(const char* path, const uint32_t* pixels, int width, int height,
                    int pitchPixels, int compressionLevel, std::string* error);

// Searches PATH for an executable program; returns its full path or "".
std::string CaptureFindProgram(const char* name);

// MD5 of a frame as the PNG frames hold it: the red, green and blue bytes of
// every pixel, rows from the top, as 32 lowercase hex digits. The same value
// "ffmpeg -i frame-%06d.png -f framemd5" reports for an RGB frame.
std::string CaptureFrameMd5(const uint32_t* pixels, int width, int height, int pitchPixels);

// MD5 of bytes as 32 lowercase hex digits.
std::string CaptureMd5(const void* data, size_t size);
