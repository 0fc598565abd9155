// The soundtrack player: decodes "music\elt56.mp3", read a piece at a time,
// into blocks of exactly half a channel buffer (written into the idle half as
// they are decoded) and keeps the idle halves of its looping
// channel buffers (left and right, or one centre buffer) filled from the main
// loop. The buffer whose play position serves as the show's sound clock is
// the left one in stereo and the centre one in mono.
#pragma once
#include <cstdint>

#include "music/sound_device.h"

constexpr uint32_t kMp3ChannelBufferSize = 0x190000;  // 1638400 bytes
constexpr uint32_t kMp3HalfSize = 0xC8000;            // 819200 bytes
constexpr uint32_t kMp3BlockSize = 0x190000;          // interleaved decoder output per block
constexpr int kMp3DeviceRate = 22050;
constexpr int kMp3DeviceBits = 16;

struct Mp3Player {
  int32_t noSound;     // while set, start, update, play and shutdown do nothing
  int32_t eightBit;    // "/mp3_8bit"
  int32_t encoding;    // 1 signed 16-bit, 4 signed 8-bit
  int32_t stereo;      // 0 with "/mp3_mono"
  int32_t downSample;  // 0, 1, 2: output rate = file rate / 1, 2, 4
  int32_t channels;    // -1: both
  int32_t nextHalf;    // buffer half the next block goes to
  int32_t buffersPending;
  int32_t playing;
  int32_t endOfData;
  int32_t firstUpdate;
  float lastUpdateTime;
  SoundBuffer* left;
  SoundBuffer* right;
  SoundBuffer* centre;
  SoundBuffer* ClockBuffer;
  int32_t sampleBits;  // 16 when encoding is 1, else 8
  int32_t outputRate;  // the decoder's output rate, known after the first frame
};

// The player as it starts: sound off, 16-bit stereo at the file's rate.
Mp3Player Mp3PlayerDefaults();

// 1: the show may go on (music ready, or "/nosound"); 0: no sound device or
// no decodable soundtrack, the show should warn and run silent.
int Mp3Start(const char* commandLine);
// 1 when the last Mp3Start returned 0 because the soundtrack could not be
// read or decoded; it has then already named the file, and the warning
// about the sound device does not apply.
int Mp3SoundtrackFailed();
void Mp3Play();
// Per display frame, t = wall-clock seconds: decodes a bounded number of MP3
// frames, only while the play cursor is in the half not written next.
void Mp3Update(float t);
void Mp3Shutdown();

// Stops the channel buffers where they are (paused 1) or plays them on from
// there (0). Does nothing without music.
void Mp3Pause(int paused);
// Moves the music to the given second of the soundtrack: the decoder seeks
// there, the first half of every channel buffer is filled anew and play
// starts at its beginning (or waits there while paused). *clockSeconds, when
// not null, gets the instant of the first sample actually reached. Returns 0
// without music or when the decoder cannot seek.
int Mp3Seek(double seconds, double* clockSeconds);
// The buffer the sound clock reads; null when there is none.
SoundBuffer* Mp3ClockBuffer();

// The player's state, for the clock and for inspection.
const Mp3Player* Mp3State();

// Reads the music switches into player (not "/nosound").
void Mp3ReadSwitches(Mp3Player* player, const char* commandLine);

// Splits bytes of interleaved decoder output into the player's channel
// buffers at half nextHalf, then moves nextHalf on. A short block leaves the
// rest of the half silent. A missing buffer or one that cannot be locked
// gets nothing.
void Mp3WriteBlock(Mp3Player* player, const uint8_t* block, uint32_t bytes);

// Rounds one update allows: 5 on the first, else trunc(elapsed x 65), at
// least 1.
int Mp3UpdateRounds(int firstUpdate, float t, float lastUpdateTime);
