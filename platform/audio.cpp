#include "platform/audio.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/system.h"

namespace {

// The resampler is a windowed-sinc interpolator: kTaps source samples around
// the read position, weighted by one of kPhases precomputed kernels chosen by
// the position's fraction. Its cut-off follows the lower of the two rates, so
// a ring played below its own rate is low-passed instead of aliasing.
constexpr int kTaps = 64;
constexpr int kHalfTaps = kTaps / 2;
constexpr int kPhaseBits = 10;
constexpr int kPhases = 1 << kPhaseBits;
constexpr double kKaiserBeta = 9.0;
constexpr double kPassFraction = 0.85;  // of the lower Nyquist frequency
constexpr uint64_t kOne = uint64_t(1) << 32;
constexpr int kChunkFrames = 256;

}  // namespace

struct PlatformAudioBuffer {
  std::unique_ptr<uint8_t[]> data;
  uint32_t size = 0;     // bytes
  uint32_t samples = 0;  // size / blockAlign
  int bits = 16;
  int blockAlign = 2;
  int rate = 22050;
  int volume = 0;
  int pan = 0;
  // Main thread only: the lock that is out. Locked regions point into a
  // scratch copy of just the locked bytes (grown to the largest lock, never
  // the whole ring again); unlocking copies them into the ring under the
  // device lock, so the mixer never reads bytes while they are being written.
  std::unique_ptr<uint8_t[]> mirror;
  uint32_t mirrorSize = 0;
  uint32_t lockOffset = 0;
  bool locked = false;
  void* lock1 = nullptr;
  uint32_t lockBytes1 = 0;
  void* lock2 = nullptr;
  uint32_t lockBytes2 = 0;
  // Shared with the mixer: changed only under the device lock.
  bool playing = false;
  bool looping = false;
  uint64_t position = 0;  // source samples, 32.32 fixed point
  uint64_t step = kOne;   // source samples per device frame, 32.32
  float gainLeft = 1.0f;
  float gainRight = 1.0f;
  std::unique_ptr<float[]> kernel;  // kPhases x kTaps, null: rates equal
};

namespace {

struct AudioDevice {
  int open = 0;
  int isVirtual = 0;
  SDL_AudioDeviceID id = 0;
  int rate = 0;
  std::vector<std::unique_ptr<PlatformAudioBuffer>> buffers;
};

AudioDevice device;
int masterVolume = 100;  // percent, changed under the device lock
int captureRate = 0;     // of the virtual device; 0: as asked

// Holds the device lock for as long as it lives; the virtual device is only
// touched from the main thread and needs none.
struct AudioGuard {
  AudioGuard() {
    if (device.id) SDL_LockAudioDevice(device.id);
  }
  ~AudioGuard() {
    if (device.id) SDL_UnlockAudioDevice(device.id);
  }
  AudioGuard(const AudioGuard&) = delete;
  AudioGuard& operator=(const AudioGuard&) = delete;
};

bool Owned(const PlatformAudioBuffer* buffer) {
  if (!buffer || !device.open) return false;
  for (const auto& b : device.buffers)
    if (b.get() == buffer) return true;
  return false;
}

// Amplitude for an attenuation in hundredths of a decibel; the bottom of
// the range is true silence.
double Attenuation(int hundredths) {
  if (hundredths <= kPlatformVolumeMin) return 0.0;
  return std::pow(10.0, hundredths / 2000.0);
}

// Zeroth-order modified Bessel function, for the Kaiser window.
double BesselI0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 40; ++k) {
    term *= (x / (2.0 * k)) * (x / (2.0 * k));
    sum += term;
    if (term < sum * 1e-17) break;
  }
  return sum;
}

// Kernel table for playing a ring of sourceRate at deviceRate. Phase p holds
// the weights of taps -kHalfTaps+1 .. kHalfTaps around the read position
// floor(pos) for the fraction p / kPhases, normalised to unit gain at DC.
std::unique_ptr<float[]> MakeKernel(int sourceRate, int deviceRate) {
  if (sourceRate == deviceRate || deviceRate <= 0) return nullptr;
  std::unique_ptr<float[]> table(new (std::nothrow) float[size_t(kPhases) * kTaps]);
  if (!table) return nullptr;
  double ratio = std::min(1.0, double(deviceRate) / sourceRate);
  double cutoff = 0.5 * ratio * kPassFraction;  // cycles per source sample
  double i0Beta = BesselI0(kKaiserBeta);
  double weights[kTaps];
  for (int p = 0; p < kPhases; ++p) {
    double frac = double(p) / kPhases;
    double sum = 0.0;
    for (int k = 0; k < kTaps; ++k) {
      double d = (k - kHalfTaps + 1) - frac;
      double r = d / kHalfTaps;
      double window = std::fabs(r) >= 1.0 ? 0.0
                                          : BesselI0(kKaiserBeta * std::sqrt(1.0 - r * r)) / i0Beta;
      double x = 2.0 * cutoff * d;
      double sinc = x == 0.0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
      weights[k] = 2.0 * cutoff * sinc * window;
      sum += weights[k];
    }
    for (int k = 0; k < kTaps; ++k) table[size_t(p) * kTaps + k] = float(weights[k] / sum);
  }
  return table;
}

uint64_t StepFor(int sourceRate, int deviceRate) {
  if (deviceRate <= 0) return kOne;
  return (uint64_t(sourceRate) << 32) / uint64_t(deviceRate);
}

void UpdateGains(PlatformAudioBuffer* b) {
  double gain = Attenuation(b->volume);
  double left = gain * (b->pan > 0 ? Attenuation(-b->pan) : 1.0);
  double right = gain * (b->pan < 0 ? Attenuation(b->pan) : 1.0);
  b->gainLeft = float(left);
  b->gainRight = float(right);
}

inline float SampleAt(const PlatformAudioBuffer* b, uint32_t index) {
  if (b->bits == 16) {
    int16_t v;
    std::memcpy(&v, b->data.get() + size_t(index) * 2, 2);
    return float(v);
  }
  return float((int(b->data[index]) - 128) * 256);
}

// One source value at the ring's current position.
inline float Resample(const PlatformAudioBuffer* b) {
  uint32_t whole = uint32_t(b->position >> 32);
  if (!b->kernel) return SampleAt(b, whole);
  uint32_t phase = uint32_t(b->position & 0xFFFFFFFFu) >> (32 - kPhaseBits);
  const float* w = b->kernel.get() + size_t(phase) * kTaps;
  // First tap: whole - kHalfTaps + 1, taken around the ring.
  int64_t first = int64_t(whole) - kHalfTaps + 1;
  uint32_t n = b->samples;
  uint32_t start = uint32_t(((first % n) + n) % n);
  float acc = 0.0f;
  if (start + kTaps <= n) {
    for (int k = 0; k < kTaps; ++k) acc += w[k] * SampleAt(b, start + k);
  } else {
    uint32_t index = start;
    for (int k = 0; k < kTaps; ++k) {
      acc += w[k] * SampleAt(b, index);
      if (++index == n) index = 0;
    }
  }
  return acc;
}

// Adds frames of one playing ring into the stereo accumulator.
void MixBuffer(PlatformAudioBuffer* b, float* acc, int frames) {
  const uint64_t end = uint64_t(b->samples) << 32;
  for (int j = 0; j < frames; ++j) {
    float s = Resample(b);
    acc[2 * j] += s * b->gainLeft;
    acc[2 * j + 1] += s * b->gainRight;
    b->position += b->step;
    if (b->position >= end) {
      if (!b->looping) {
        b->playing = false;
        b->position = 0;
        return;
      }
      b->position %= end;
    }
  }
}

// Mixes frames stereo frames of every playing ring; the caller holds the
// device lock or is the only thread.
void Mix(int16_t* out, int frames) {
  float acc[kChunkFrames * 2];
  while (frames > 0) {
    int n = std::min(frames, kChunkFrames);
    std::fill(acc, acc + n * 2, 0.0f);
    for (auto& b : device.buffers)
      if (b->playing) MixBuffer(b.get(), acc, n);
    if (masterVolume != 100) {
      // Percent steps heard as even steps of loudness: the square of the
      // fraction.
      float f = float(masterVolume) / 100.0f;
      for (int i = 0; i < n * 2; ++i) acc[i] *= f * f;
    }
    for (int i = 0; i < n * 2; ++i) {
      long v = std::lrint(acc[i]);
      out[i] = int16_t(std::clamp(v, -32768L, 32767L));
    }
    out += n * 2;
    frames -= n;
  }
}

void SDLCALL AudioCallback(void*, Uint8* stream, int len) {
  Mix(reinterpret_cast<int16_t*>(stream), len / 4);
}

// Frames per callback: about 12 ms, so that the play cursor moves in small
// steps for a clock that reads it.
Uint16 CallbackFrames(int rate) {
  Uint16 frames = 64;
  while (frames < 4096 && frames * 90 < rate) frames *= 2;
  return frames;
}

}  // namespace

int PlatformAudioOpen(int rate) {
  if (device.open) return 1;
  if (rate < 8000 || rate > 192000) rate = 22050;
  if (PlatformCaptureMode()) {
    device.open = 1;
    device.isVirtual = 1;
    device.rate = captureRate > 0 ? captureRate : rate;
    return 1;
  }
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = CallbackFrames(rate);
  want.callback = AudioCallback;
  SDL_AudioSpec have{};
  SDL_AudioDeviceID id =
      SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
  if (id == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return 0;
  }
  device.open = 1;
  device.isVirtual = 0;
  device.id = id;
  device.rate = have.freq;
  SDL_PauseAudioDevice(id, 0);
  return 1;
}

void PlatformAudioClose() {
  if (!device.open) return;
  if (device.id) {
    SDL_CloseAudioDevice(device.id);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  device.buffers.clear();
  device = AudioDevice{};
}

void PlatformAudioSetCaptureRate(int rate) {
  captureRate = rate >= 8000 && rate <= 192000 ? rate : 0;
}

void PlatformAudioSetMasterVolume(int percent) {
  AudioGuard guard;
  masterVolume = std::clamp(percent, 0, 100);
}

int PlatformAudioMasterVolume() { return masterVolume; }

int PlatformAudioRate() { return device.open ? device.rate : 0; }

int PlatformAudioPull(int16_t* stereo, int frames) {
  if (!device.open || !device.isVirtual || !stereo || frames <= 0) return 0;
  Mix(stereo, frames);
  return frames;
}

PlatformAudioBuffer* PlatformAudioBufferCreate(uint32_t bytes, int rate, int bits) {
  if (!device.open) return nullptr;
  if (bits != 8 && bits != 16) return nullptr;
  if (rate < kPlatformFrequencyMin || rate > kPlatformFrequencyMax) return nullptr;
  uint32_t align = uint32_t(bits / 8);
  if (bytes < 4 || bytes > 0x0FFFFFFFu || bytes % align) return nullptr;
  std::unique_ptr<PlatformAudioBuffer> b(new (std::nothrow) PlatformAudioBuffer);
  if (!b) return nullptr;
  b->data.reset(new (std::nothrow) uint8_t[bytes]);
  if (!b->data) return nullptr;
  std::memset(b->data.get(), bits == 8 ? 0x80 : 0, bytes);
  b->size = bytes;
  b->bits = bits;
  b->blockAlign = int(align);
  b->samples = bytes / align;
  b->rate = rate;
  b->step = StepFor(rate, device.rate);
  b->kernel = MakeKernel(rate, device.rate);
  if (rate != device.rate && !b->kernel) return nullptr;
  UpdateGains(b.get());
  PlatformAudioBuffer* raw = b.get();
  AudioGuard guard;
  device.buffers.push_back(std::move(b));
  return raw;
}

int PlatformAudioBufferLock(PlatformAudioBuffer* buffer, uint32_t offset, uint32_t bytes,
                            void** region1, uint32_t* bytes1, void** region2, uint32_t* bytes2) {
  if (!Owned(buffer) || !region1 || !bytes1 || buffer->locked) return 0;
  if (offset >= buffer->size || bytes == 0 || bytes > buffer->size) return 0;
  uint32_t first = std::min(bytes, buffer->size - offset);
  uint32_t second = bytes - first;
  if (second && (!region2 || !bytes2)) return 0;
  // Without a mixer thread (the virtual device of a capture) nothing reads the
  // ring while it is written: the regions are the ring itself.
  if (!device.id) {
    uint8_t* ring = buffer->data.get();
    *region1 = ring + offset;
    *bytes1 = first;
    if (region2) *region2 = second ? ring : nullptr;
    if (bytes2) *bytes2 = second;
    buffer->locked = true;
    buffer->lockOffset = offset;
    buffer->lock1 = *region1;
    buffer->lockBytes1 = first;
    buffer->lock2 = second ? ring : nullptr;
    buffer->lockBytes2 = second;
    return 1;
  }
  if (buffer->mirrorSize < bytes) {
    buffer->mirror.reset(new (std::nothrow) uint8_t[bytes]);
    buffer->mirrorSize = buffer->mirror ? bytes : 0;
    if (!buffer->mirror) return 0;
  }
  // The mixer only reads the ring, so it can be copied without the lock.
  // The wrapped part follows the first in the scratch.
  uint8_t* mirror = buffer->mirror.get();
  std::memcpy(mirror, buffer->data.get() + offset, first);
  std::memcpy(mirror + first, buffer->data.get(), second);
  *region1 = mirror;
  *bytes1 = first;
  if (region2) *region2 = second ? mirror + first : nullptr;
  if (bytes2) *bytes2 = second;
  buffer->locked = true;
  buffer->lockOffset = offset;
  buffer->lock1 = *region1;
  buffer->lockBytes1 = first;
  buffer->lock2 = second ? mirror + first : nullptr;
  buffer->lockBytes2 = second;
  return 1;
}

int PlatformAudioBufferUnlock(PlatformAudioBuffer* buffer, void* region1, uint32_t bytes1,
                              void* region2, uint32_t bytes2) {
  if (!Owned(buffer) || !buffer->locked) return 0;
  if (region1 != buffer->lock1 || bytes1 > buffer->lockBytes1) return 0;
  if (region2 && (region2 != buffer->lock2 || bytes2 > buffer->lockBytes2)) return 0;
  size_t offset = buffer->lockOffset;
  if (region1 != buffer->data.get() + offset) {
    AudioGuard guard;
    std::memcpy(buffer->data.get() + offset, region1, bytes1);
    if (region2) std::memcpy(buffer->data.get(), region2, bytes2);
  }
  buffer->locked = false;
  buffer->lock1 = buffer->lock2 = nullptr;
  buffer->lockBytes1 = buffer->lockBytes2 = 0;
  return 1;
}

int PlatformAudioBufferSetPosition(PlatformAudioBuffer* buffer, uint32_t offset) {
  if (!Owned(buffer) || offset >= buffer->size) return 0;
  AudioGuard guard;
  buffer->position = uint64_t(offset / uint32_t(buffer->blockAlign)) << 32;
  return 1;
}

int PlatformAudioBufferSetFrequency(PlatformAudioBuffer* buffer, int rate) {
  if (!Owned(buffer) || rate < kPlatformFrequencyMin || rate > kPlatformFrequencyMax) return 0;
  if (rate == buffer->rate) return 1;
  // Built outside the lock: the callback must never wait on the table.
  std::unique_ptr<float[]> kernel = MakeKernel(rate, device.rate);
  if (rate != device.rate && !kernel) return 0;
  {
    AudioGuard guard;
    buffer->rate = rate;
    buffer->step = StepFor(rate, device.rate);
    buffer->kernel.swap(kernel);
  }
  return 1;
}

int PlatformAudioBufferSetVolume(PlatformAudioBuffer* buffer, int volume) {
  if (!Owned(buffer) || volume < kPlatformVolumeMin || volume > kPlatformVolumeMax) return 0;
  AudioGuard guard;
  buffer->volume = volume;
  UpdateGains(buffer);
  return 1;
}

int PlatformAudioBufferSetPan(PlatformAudioBuffer* buffer, int pan) {
  if (!Owned(buffer) || pan < kPlatformPanLeft || pan > kPlatformPanRight) return 0;
  AudioGuard guard;
  buffer->pan = pan;
  UpdateGains(buffer);
  return 1;
}

int PlatformAudioBufferGetVolume(PlatformAudioBuffer* buffer, int* volume) {
  if (!Owned(buffer) || !volume) return 0;
  *volume = buffer->volume;
  return 1;
}

int PlatformAudioBufferGetPan(PlatformAudioBuffer* buffer, int* pan) {
  if (!Owned(buffer) || !pan) return 0;
  *pan = buffer->pan;
  return 1;
}

int PlatformAudioBufferPlay(PlatformAudioBuffer* buffer, int looping) {
  if (!Owned(buffer)) return 0;
  AudioGuard guard;
  buffer->looping = looping != 0;
  buffer->playing = true;
  return 1;
}

int PlatformAudioBufferStop(PlatformAudioBuffer* buffer) {
  if (!Owned(buffer)) return 0;
  AudioGuard guard;
  buffer->playing = false;
  return 1;
}

int PlatformAudioBufferPosition(PlatformAudioBuffer* buffer, uint32_t* play, uint32_t* write) {
  if (!Owned(buffer)) return 0;
  uint64_t position;
  {
    AudioGuard guard;
    position = buffer->position;
  }
  uint32_t sample = uint32_t(position >> 32);
  uint32_t ahead = buffer->kernel ? uint32_t(kHalfTaps) : 1u;
  uint32_t align = uint32_t(buffer->blockAlign);
  if (play) *play = sample * align;
  if (write) *write = uint32_t((uint64_t(sample) + ahead) % buffer->samples) * align;
  return 1;
}

int PlatformAudioBufferSize(PlatformAudioBuffer* buffer, uint32_t* bytes) {
  if (!Owned(buffer) || !bytes) return 0;
  *bytes = buffer->size;
  return 1;
}
