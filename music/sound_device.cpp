#include "music/sound_device.h"

#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "platform/audio.h"

namespace {

SoundDevice device;
// Every record handed out; they go with the device.
std::vector<std::unique_ptr<SoundBuffer>> records;

// Level 0..255 to hundredths of a decibel: 1000 x ln(level / 255), the
// division taken as a multiply by 1/255, truncated; level 0 is silence.
void BuildVolumeTable(int32_t* table) {
  table[0] = kPlatformVolumeMin;
  const double step = 1.0 / 255.0;
  for (int i = 1; i < 256; ++i) table[i] = static_cast<int32_t>(1000.0 * std::log(i * step));
}

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

}  // namespace

const SoundDevice* SoundDeviceState() { return &device; }

int SoundStart(int rate, int bits) {
  if (device.initialised) return 1;
  if (!PlatformAudioOpen(rate)) return 0;
  device.device = 1;
  BuildVolumeTable(device.VolumeTable);
  device.rate = rate;
  device.bits = bits;
  device.initialised = 1;
  return 1;
}

void SoundRelease() {
  if (!device.initialised || !device.device) return;
  PlatformAudioClose();
  records.clear();
  device.device = 0;
  device.initialised = 0;
}

SoundBuffer* SoundBufferCreate(uint32_t bytes, int rate, int bits) {
  std::unique_ptr<SoundBuffer> record(new (std::nothrow) SoundBuffer{});
  if (!record) return nullptr;
  PlatformAudioBuffer* platform = PlatformAudioBufferCreate(bytes, rate, bits);
  if (!platform) return nullptr;
  record->buffer = platform;
  record->bits = bits;
  record->rate = rate;
  SoundBuffer* raw = record.get();
  records.push_back(std::move(record));
  return raw;
}

int SoundBufferLock(SoundBuffer* buffer, uint32_t offset, uint32_t bytes) {
  if (!buffer) return 0;
  if (buffer->isLocked) SoundBufferUnlock(buffer);
  if (!PlatformAudioBufferLock(buffer->buffer, offset, bytes, &buffer->lockPointer1,
                               &buffer->lockBytes1, &buffer->lockPointer2,
                               &buffer->lockBytes2)) {
    // Nothing may be written through a lock that was refused.
    buffer->isLocked = 0;
    buffer->lockPointer1 = buffer->lockPointer2 = nullptr;
    buffer->lockBytes1 = buffer->lockBytes2 = 0;
    return 0;
  }
  buffer->isLocked = 1;
  return 1;
}

int SoundBufferUnlock(SoundBuffer* buffer) {
  if (!buffer) return 0;
  if (!buffer->isLocked) return 1;
  if (!PlatformAudioBufferUnlock(buffer->buffer, buffer->lockPointer1, buffer->lockBytes1,
                                 buffer->lockPointer2, buffer->lockBytes2))
    return 0;
  buffer->isLocked = 0;
  return 1;
}

// Position, frequency, volume, pan, then play; each setting is recorded
// only when the platform took it.
int SoundBufferPlay(SoundBuffer* buffer, uint32_t position, int rate, int volume, int pan) {
  if (!buffer) return 0;
  PlatformAudioBufferSetPosition(buffer->buffer, position);
  if (PlatformAudioBufferSetFrequency(buffer->buffer, rate)) buffer->rate = rate;
  volume = Clamp(volume, 0, 255);
  if (PlatformAudioBufferSetVolume(buffer->buffer, device.VolumeTable[volume]))
    buffer->volume = volume;
  pan = Clamp(pan, -127, 127);
  if (PlatformAudioBufferSetPan(buffer->buffer, pan * 10000 / 127)) buffer->pan = pan;
  return PlatformAudioBufferPlay(buffer->buffer, buffer->looping & 1);
}

void SoundBufferStop(SoundBuffer* buffer) {
  if (buffer) PlatformAudioBufferStop(buffer->buffer);
}

uint32_t SoundBufferPosition(SoundBuffer* buffer) {
  uint32_t play = 0;
  if (!buffer || !PlatformAudioBufferPosition(buffer->buffer, &play, nullptr))
    return kSoundPositionUnknown;
  return play;
}

int SoundBufferSize(SoundBuffer* buffer, uint32_t* bytes) {
  if (!buffer || !bytes) return 0;
  return PlatformAudioBufferSize(buffer->buffer, bytes);
}
