// The sound device and its streaming buffers: one output device, opened once,
// and looping one-channel PCM buffers with lock/unlock, play (position, rate,
// volume, pan), stop and the play position. Stereo music plays through two
// such buffers panned hard left and hard right.
#pragma once
#include <cstdint>

struct PlatformAudioBuffer;

// Process-wide device state.
struct SoundDevice {
  int32_t initialised;
  int32_t device;  // 1 while the platform device is open
  int32_t rate;    // samples per second asked for at start
  int32_t bits;    // bits per sample asked for at start
  int32_t VolumeTable[256];  // hundredths of a decibel for levels 0..255
};

struct SoundBuffer {
  PlatformAudioBuffer* buffer;
  int32_t bits;     // 8 or 16
  int32_t rate;     // samples per second, follows a successful frequency change
  int32_t volume;   // last level 0..255 set
  int32_t pan;      // last pan -127..127 set
  int32_t looping;  // bit 0: play loops
  int32_t isLocked;
  void* lockPointer1;
  uint32_t lockBytes1;
  void* lockPointer2;  // the start of the buffer when the locked range wraps
  uint32_t lockBytes2;
};

constexpr uint32_t kSoundPositionUnknown = 0xFFFFFFFFu;

const SoundDevice* SoundDeviceState();

int SoundStart(int rate, int bits);
void SoundRelease();

SoundBuffer* SoundBufferCreate(uint32_t bytes, int rate, int bits);
int SoundBufferLock(SoundBuffer* buffer, uint32_t offset, uint32_t bytes);
int SoundBufferUnlock(SoundBuffer* buffer);
int SoundBufferPlay(SoundBuffer* buffer, uint32_t position, int rate, int volume, int pan);
void SoundBufferStop(SoundBuffer* buffer);
// Play position in bytes, or kSoundPositionUnknown.
uint32_t SoundBufferPosition(SoundBuffer* buffer);
// Capabilities: 1 and the buffer's size in bytes, or 0.
int SoundBufferSize(SoundBuffer* buffer, uint32_t* bytes);
