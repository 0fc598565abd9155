// Platform audio: one stereo 16-bit output device and any number of looping
// one-channel sample rings played through it by our own mixer. The rings
// behave like hardware secondary buffers: lock a byte range (one or two
// regions when the range wraps), write, unlock; frequency, volume and pan are
// set per ring; the play cursor is the byte offset the mixer has reached.
//
// The mixer runs in SDL's audio callback. In capture mode no SDL device is
// opened: a virtual device of the same format stands in and the caller pulls
// the mix synchronously with PlatformAudioPull.
#pragma once
#include <cstdint>

struct PlatformAudioBuffer;

// Opens the device: stereo, 16-bit, at rate where the device allows (else
// the device's own rate). Returns 1, or 0 when there is no audio device.
int PlatformAudioOpen(int rate);
// The rate of the virtual device of capture mode, when not 0, instead of the
// one PlatformAudioOpen asks for: a capture is not bound to what a sound
// card offers. Set before opening.
void PlatformAudioSetCaptureRate(int rate);
// Closes the device and frees every ring.
void PlatformAudioClose();
// The device's sample rate; 0 when no device is open.
int PlatformAudioRate();

// Mixes exactly frames stereo frames into stereo (left, right interleaved),
// advancing every play cursor. Only for the virtual device of capture mode;
// returns the frames mixed, 0 without a virtual device.
int PlatformAudioPull(int16_t* stereo, int frames);

// The loudness of the whole mix, 0..100 percent (default 100), set by the
// listener. Kept when the device is closed and opened again.
void PlatformAudioSetMasterVolume(int percent);
int PlatformAudioMasterVolume();

// Volume and pan limits, in hundredths of a decibel.
constexpr int kPlatformVolumeMin = -10000;  // silence
constexpr int kPlatformVolumeMax = 0;
constexpr int kPlatformPanLeft = -10000;    // right side silent
constexpr int kPlatformPanRight = 10000;    // left side silent
constexpr int kPlatformFrequencyMin = 100;
constexpr int kPlatformFrequencyMax = 200000;

// A ring of bytes holding one channel of unsigned 8-bit or signed 16-bit
// samples, filled with silence. Null without a device or for a size that is
// zero, too large or not a whole number of samples.
PlatformAudioBuffer* PlatformAudioBufferCreate(uint32_t bytes, int rate, int bits);

// Locks bytes from offset. A range running past the end continues at the
// start of the ring in a second region; otherwise region 2 is null and 0.
// The regions hold the ring's bytes; what is written there reaches the ring
// at unlock, in one piece for the mixer. Fails for an offset outside the
// ring, a size of 0 or above the ring's size, or a ring already locked.
int PlatformAudioBufferLock(PlatformAudioBuffer* buffer, uint32_t offset, uint32_t bytes,
                            void** region1, uint32_t* bytes1, void** region2, uint32_t* bytes2);
// Gives the regions back; they must be those the lock returned.
int PlatformAudioBufferUnlock(PlatformAudioBuffer* buffer, void* region1, uint32_t bytes1,
                              void* region2, uint32_t bytes2);

int PlatformAudioBufferSetPosition(PlatformAudioBuffer* buffer, uint32_t offset);
int PlatformAudioBufferSetFrequency(PlatformAudioBuffer* buffer, int rate);
int PlatformAudioBufferSetVolume(PlatformAudioBuffer* buffer, int volume);
int PlatformAudioBufferSetPan(PlatformAudioBuffer* buffer, int pan);
int PlatformAudioBufferGetVolume(PlatformAudioBuffer* buffer, int* volume);
int PlatformAudioBufferGetPan(PlatformAudioBuffer* buffer, int* pan);
int PlatformAudioBufferPlay(PlatformAudioBuffer* buffer, int looping);
int PlatformAudioBufferStop(PlatformAudioBuffer* buffer);
// The play cursor and the write cursor (the first byte the mixer has not yet
// read ahead), in bytes. Either pointer may be null.
int PlatformAudioBufferPosition(PlatformAudioBuffer* buffer, uint32_t* play, uint32_t* write);
int PlatformAudioBufferSize(PlatformAudioBuffer* buffer, uint32_t* bytes);
