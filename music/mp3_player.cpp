#include "music/mp3_player.h"

#include <mpg123.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/system.h"

namespace {

constexpr const char* kSoundtrack = "music\\elt56.mp3";
constexpr int kMaxRoundsPerUpdate = 1000000;  // keeps a wild clock from overflowing

Mp3Player player = Mp3PlayerDefaults();

// The decoder, the soundtrack it reads from and where its output stands.
struct Decoder {
  mpg123_handle* handle = nullptr;
  // The soundtrack stays open and goes to the decoder a piece at a time, so
  // that neither the file nor a copy of it is held in memory.
  FILE* file = nullptr;
  size_t fileSize = 0;
  size_t fed = 0;  // bytes of file handed to the decoder so far
  std::unique_ptr<uint8_t[]> piece;
  // Bytes of interleaved output already in the half nextHalf of the channel
  // buffers: the decoded samples go straight there, not through a block of
  // their own.
  uint32_t blockFill = 0;
  // The rest of the frame that filled a half, for the next one.
  std::vector<uint8_t> held;
};

Decoder decoder;

// The rest of the first block decodes beside the show's other set-up work;
// every entry point below waits for it before it touches the player.
std::thread prefill;

bool paused = false;                // Mp3Pause stopped the buffers
uint32_t pausedAt[3] = {0, 0, 0};  // left, right, centre

// 1-based position of the first occurrence of name in line, 0 when absent;
// case-sensitive, no word boundaries, like every switch of the show.
int FindSwitch(const char* line, const char* name) {
  if (!line || std::strlen(line) < 2) return 0;
  const char* hit = std::strstr(line, name);
  return hit ? int(hit - line) + 1 : 0;
}

void CloseDecoder() {
  if (decoder.handle) {
    mpg123_close(decoder.handle);
    mpg123_delete(decoder.handle);
  }
  if (decoder.file) std::fclose(decoder.file);
  decoder = Decoder{};
}

bool ConfigureDecoder(const Mp3Player& p) {
  int err = MPG123_OK;
  decoder.handle = mpg123_new(nullptr, &err);
  if (!decoder.handle) return false;
  mpg123_handle* h = decoder.handle;
  long flags = MPG123_FORCE_STEREO | MPG123_QUIET;
  if (p.eightBit) flags |= MPG123_FORCE_8BIT;
  if (mpg123_param(h, MPG123_ADD_FLAGS, flags, 0.0) != MPG123_OK) return false;
  if (mpg123_param(h, MPG123_DOWN_SAMPLE, p.downSample, 0.0) != MPG123_OK) return false;
  if (mpg123_format_none(h) != MPG123_OK) return false;
  int encoding = p.encoding == 1 ? MPG123_ENC_SIGNED_16 : MPG123_ENC_SIGNED_8;
  const long* rates = nullptr;
  size_t count = 0;
  mpg123_rates(&rates, &count);
  for (size_t i = 0; i < count; ++i)
    if (mpg123_format(h, rates[i], MPG123_STEREO, encoding) != MPG123_OK) return false;
  return true;
}

// The decoder copies what it is fed and lets go of it once decoded, so the
// file is read a piece at a time as the decoder asks for more.
constexpr size_t kFeedBytes = 16384;

// Hands the decoder the next piece of the file; false when all of it is in.
// A file that has become shorter since the start (or cannot be read further)
// gives what it still has, and the music ends there.
bool FeedMore() {
  if (!decoder.file || decoder.fed >= decoder.fileSize) return false;
  size_t n = std::min(kFeedBytes, decoder.fileSize - decoder.fed);
  size_t got = std::fread(decoder.piece.get(), 1, n, decoder.file);
  if (got < n) decoder.fileSize = decoder.fed + got;
  if (got == 0) return false;
  if (mpg123_feed(decoder.handle, decoder.piece.get(), got) != MPG123_OK) return false;
  decoder.fed += got;
  return true;
}

// Set when the last start found the soundtrack unusable (and said so).
int soundtrackFailed = 0;

// The soundtrack named, with its full path and the reason, instead of the
// warning about the sound device.
void ReportSoundtrack(const char* reason) {
  soundtrackFailed = 1;
  char text[512];
  std::snprintf(text, sizeof text, "Warning! Unable to read the soundtrack %s, using nosound.", kSoundtrack);
  PlatformMessageBox(text, "Kestrivane");
  std::fprintf(stderr, "%s: %s\n", PlatformAssetPath(kSoundtrack).c_str(), reason);
}

// Opens the soundtrack, measures it and opens the decoder on its first piece.
bool LoadSoundtrack() {
  FILE* f = PlatformOpenAsset(kSoundtrack, "rb");
  if (!f) {
    ReportSoundtrack(errno == ENOENT ? "not found" : errno == EACCES ? "permission denied" : std::strerror(errno));
    return false;
  }
  long size = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
  bool ok = size > 0 && std::fseek(f, 0, SEEK_SET) == 0;
  if (ok) decoder.piece.reset(new (std::nothrow) uint8_t[kFeedBytes]);
  if (!ok || !decoder.piece) {
    std::fclose(f);
    ReportSoundtrack(size == 0 ? "empty" : "read error");
    return false;
  }
  decoder.file = f;
  decoder.fileSize = size_t(size);
  decoder.fed = 0;
  if (mpg123_open_feed(decoder.handle) != MPG123_OK) return false;
  if (!FeedMore()) {
    ReportSoundtrack("read error");
    return false;
  }
  return true;
}

// The channel buffers, made once the first frame has told the output rate.
void CreateChannelBuffers(Mp3Player* p) {
  p->sampleBits = p->encoding == 1 ? 16 : 8;
  if (p->stereo) {
    p->left = SoundBufferCreate(kMp3ChannelBufferSize, p->outputRate, p->sampleBits);
    if (!p->left) PlatformMessageBox("Unable to allocate left channel buffer!", "Kestrivane");
    p->right = SoundBufferCreate(kMp3ChannelBufferSize, p->outputRate, p->sampleBits);
    if (!p->right) PlatformMessageBox("Unable to allocate right channel buffer!", "Kestrivane");
    if (p->left) p->left->looping |= 1;
    if (p->right) p->right->looping |= 1;
    p->ClockBuffer = p->left;
  } else {
    p->centre = SoundBufferCreate(kMp3ChannelBufferSize, p->outputRate, p->sampleBits);
    if (p->centre) p->centre->looping |= 1;
    p->ClockBuffer = p->centre;
  }
}

// Locks bytes of a channel buffer from offset; a refused lock is reported
// with the channel's name (when report is set) and the buffer is left alone.
SoundBuffer* LockRegion(SoundBuffer* buffer, uint32_t offset, uint32_t bytes, const char* name,
                        bool report) {
  if (!buffer) return nullptr;
  if (!SoundBufferLock(buffer, offset, bytes)) {
    if (report) PlatformMessageBox(name, "fail");
    return nullptr;
  }
  return buffer;
}

// Samples the locked first region can take, and silence for what the block
// leaves of it.
uint32_t Capacity(SoundBuffer* b, uint32_t frames, int sampleBytes) {
  uint32_t room = b->lockBytes1 / uint32_t(sampleBytes);
  if (frames < room) {
    std::memset(static_cast<uint8_t*>(b->lockPointer1) + size_t(frames) * sampleBytes,
                sampleBytes == 1 ? 0x80 : 0, size_t(room - frames) * sampleBytes);
    return frames;
  }
  return room;
}

inline int16_t Load16(const uint8_t* p) {
  int16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

inline void Store16(void* base, uint32_t k, int16_t v) {
  std::memcpy(static_cast<uint8_t*>(base) + size_t(k) * 2, &v, 2);
}

// Stereo frames the half of a channel buffer holds: one block.
uint32_t HalfFrames(const Mp3Player* p) { return p->sampleBits == 8 ? kMp3HalfSize : kMp3HalfSize / 2; }

// The channel writer for part of a half: locks room samples of every channel
// buffer from sample at of half nextHalf, splits frames stereo frames of
// interleaved decoder output into them, leaves the rest of the room silent
// and unlocks. A missing buffer or one that cannot be locked gets nothing.
void WriteRegion(Mp3Player* p, uint32_t at, uint32_t room, const uint8_t* block, uint32_t frames,
                 bool report) {
  const bool eight = p->sampleBits == 8;
  const uint32_t sampleBytes = eight ? 1u : 2u;
  const uint32_t offset = uint32_t(p->nextHalf) * kMp3HalfSize + at * sampleBytes;
  const uint32_t bytes = room * sampleBytes;
  if (p->stereo) {
    SoundBuffer* l = LockRegion(p->left, offset, bytes, "left", report);
    SoundBuffer* r = LockRegion(p->right, offset, bytes, "right", report);
    if (eight) {
      // Signed decoder bytes to unsigned buffer bytes.
      if (l) {
        uint8_t* d = static_cast<uint8_t*>(l->lockPointer1);
        uint32_t n = Capacity(l, frames, 1);
        for (uint32_t k = 0; k < n; ++k) d[k] = uint8_t(block[2 * k] + 128);
      }
      if (r) {
        uint8_t* d = static_cast<uint8_t*>(r->lockPointer1);
        uint32_t n = Capacity(r, frames, 1);
        for (uint32_t k = 0; k < n; ++k) d[k] = uint8_t(block[2 * k + 1] + 128);
      }
    } else {
      if (l) {
        uint32_t n = Capacity(l, frames, 2);
        for (uint32_t k = 0; k < n; ++k) Store16(l->lockPointer1, k, Load16(block + 4 * k));
      }
      if (r) {
        uint32_t n = Capacity(r, frames, 2);
        for (uint32_t k = 0; k < n; ++k) Store16(r->lockPointer1, k, Load16(block + 4 * k + 2));
      }
    }
    if (l) SoundBufferUnlock(l);
    if (r) SoundBufferUnlock(r);
  } else {
    SoundBuffer* c = LockRegion(p->centre, offset, bytes, "middle", report);
    if (c && eight) {
      // Average of the two signed samples, arithmetic shift, then unsigned.
      uint8_t* d = static_cast<uint8_t*>(c->lockPointer1);
      uint32_t n = Capacity(c, frames, 1);
      for (uint32_t k = 0; k < n; ++k) {
        int sum = int(int8_t(block[2 * k])) + int(int8_t(block[2 * k + 1]));
        d[k] = uint8_t((sum >> 1) + 128);
      }
    } else if (c) {
      uint32_t n = Capacity(c, frames, 2);
      for (uint32_t k = 0; k < n; ++k) {
        int sum = int(Load16(block + 4 * k)) + int(Load16(block + 4 * k + 2));
        Store16(c->lockPointer1, k, int16_t(sum >> 1));
      }
    }
    if (c) SoundBufferUnlock(c);
  }
}

// The decoded frames go into the half nextHalf as they come, always while the
// play cursor is in the other half. Writes up to the end of the half and
// returns how many frames it took; a full half moves nextHalf on.
uint32_t AppendFrames(const uint8_t* data, uint32_t frames) {
  const uint32_t frameBytes = player.sampleBits == 8 ? 2u : 4u;
  uint32_t at = decoder.blockFill / frameBytes;
  uint32_t n = std::min(frames, HalfFrames(&player) - at);
  if (n == 0) return 0;
  WriteRegion(&player, at, n, data, n, at == 0);
  decoder.blockFill += n * frameBytes;
  if (decoder.blockFill == kMp3BlockSize) {
    player.nextHalf = (player.nextHalf + 1) & 1;
    decoder.blockFill = 0;
  }
  return n;
}

// Output past a full half waits for the next decoding round: the other half
// is the one playing now.
void Hold(const uint8_t* data, size_t bytes) { decoder.held.assign(data, data + bytes); }

void AppendToBlock(const uint8_t* data, size_t bytes) {
  if (player.buffersPending && player.outputRate > 0) {
    CreateChannelBuffers(&player);
    player.buffersPending = 0;
  }
  // The decoder hands out whole stereo frames.
  const uint32_t frameBytes = player.sampleBits == 8 ? 2u : 4u;
  uint32_t frames = uint32_t(bytes / frameBytes);
  uint32_t done = AppendFrames(data, frames);
  if (done < frames) Hold(data + size_t(done) * frameBytes, size_t(frames - done) * frameBytes);
}

// Silence for the rest of a partly written half, a piece at a time so that a
// lock never needs more scratch than a decoded frame; then nextHalf moves on.
void EndPartialBlock() {
  const uint32_t frameBytes = player.sampleBits == 8 ? 2u : 4u;
  const uint32_t half = HalfFrames(&player);
  constexpr uint32_t kSilencePiece = 4096;
  for (uint32_t at = decoder.blockFill / frameBytes; at < half;) {
    uint32_t n = std::min(kSilencePiece, half - at);
    WriteRegion(&player, at, n, nullptr, 0, false);
    at += n;
  }
  player.nextHalf = (player.nextHalf + 1) & 1;
  decoder.blockFill = 0;
}

// Decodes one MP3 frame into the half being filled. At the end of the data a
// half that is partly filled is finished with silence, so the tail of the
// music (or all of a file shorter than one block) is heard.
void DecodeFrame() {
  if (player.endOfData || !decoder.handle) return;
  if (!decoder.held.empty()) {
    std::vector<uint8_t> held;
    held.swap(decoder.held);
    AppendToBlock(held.data(), held.size());
  }
  for (int attempt = 0; attempt < 8; ++attempt) {
    off_t frame = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    int r = mpg123_decode_frame(decoder.handle, &frame, &audio, &bytes);
    // Running dry is not a failed attempt while the file has more to give.
    while (r == MPG123_NEED_MORE && FeedMore())
      r = mpg123_decode_frame(decoder.handle, &frame, &audio, &bytes);
    if (r == MPG123_NEW_FORMAT) {
      long rate = 0;
      int channels = 0, encoding = 0;
      if (player.outputRate == 0 &&
          mpg123_getformat(decoder.handle, &rate, &channels, &encoding) == MPG123_OK)
        player.outputRate = int32_t(rate);
      continue;
    }
    if (r == MPG123_OK) {
      if (player.outputRate == 0) break;  // data before any format: unusable stream
      if (audio && bytes) AppendToBlock(audio, bytes);
      return;
    }
    break;
  }
  player.endOfData = 1;
  if (decoder.blockFill > 0) EndPartialBlock();
}

// Waits for the thread that decodes the rest of the first block.
void FinishPrefill() {
  if (prefill.joinable()) prefill.join();
}

}  // namespace

Mp3Player Mp3PlayerDefaults() {
  Mp3Player p{};
  p.noSound = 1;
  p.encoding = 1;
  p.stereo = 1;
  p.channels = -1;
  p.buffersPending = 1;
  p.firstUpdate = 1;
  p.sampleBits = 16;
  return p;
}

void Mp3ReadSwitches(Mp3Player* p, const char* commandLine) {
  if (FindSwitch(commandLine, "/mp3_8bit")) {
    p->eightBit = 1;
    p->encoding = 4;
  }
  if (FindSwitch(commandLine, "/mp3_mono")) p->stereo = 0;
  if (FindSwitch(commandLine, "/mp3_d1"))
    p->downSample = 0;
  else if (FindSwitch(commandLine, "/mp3_d2"))
    p->downSample = 1;
  else if (FindSwitch(commandLine, "/mp3_d4"))
    p->downSample = 2;
  else
    p->downSample = 0;
}

int Mp3SoundtrackFailed() { return soundtrackFailed; }

int Mp3Start(const char* commandLine) {
  FinishPrefill();
  if (!player.noSound) Mp3Shutdown();
  player = Mp3PlayerDefaults();
  paused = false;
  soundtrackFailed = 0;
  if (FindSwitch(commandLine, "/nosound")) return 1;
  if (!SoundStart(kMp3DeviceRate, kMp3DeviceBits)) return 0;
  Mp3ReadSwitches(&player, commandLine);
  if (!ConfigureDecoder(player) || !LoadSoundtrack()) {
    CloseDecoder();
    SoundRelease();
    return 0;
  }
  player.nextHalf = 0;
  // Prefill: the first block fills half 0 of every channel buffer. A file
  // shorter than one block ends the prefill at the end of its data. The
  // first frame that tells the format makes the buffers here; the rest of
  // the block decodes on a thread of its own, joined by the next call.
  while (player.nextHalf == 0 && !player.endOfData && player.buffersPending) {
    DecodeFrame();
    if (player.buffersPending && player.outputRate > 0) {
      CreateChannelBuffers(&player);
      player.buffersPending = 0;
    }
  }
  if (!player.buffersPending && player.nextHalf == 0 && !player.endOfData &&
      !PlatformHasThreads()) {
    while (player.nextHalf == 0 && !player.endOfData) DecodeFrame();
  } else if (!player.buffersPending && player.nextHalf == 0 && !player.endOfData) {
    // A data file found damaged during set-up ends the process with exit();
    // the decoding thread is waited for first, since a thread still running
    // at exit would abort the process instead of giving the exit status.
    static const bool joinAtExit = std::atexit([] {
      if (prefill.joinable()) prefill.join();
    }) == 0;
    (void)joinAtExit;
    try {
      // Until the block is done nothing else touches the decoder or the
      // channel buffers, so the thread writes into half 0 itself.
      prefill = std::thread([] {
        while (player.nextHalf == 0 && !player.endOfData) DecodeFrame();
      });
    } catch (const std::system_error&) {  // no thread to be had: decode here
      while (player.nextHalf == 0 && !player.endOfData) DecodeFrame();
    }
  }
  if (player.buffersPending) {  // not one frame of audio in the file
    ReportSoundtrack("damaged: not one frame of audio");
    CloseDecoder();
    SoundRelease();
    player = Mp3PlayerDefaults();
    return 0;
  }
  player.noSound = 0;
  return 1;
}

void Mp3WriteBlock(Mp3Player* p, const uint8_t* block, uint32_t bytes) {
  const uint32_t frames = bytes / (p->sampleBits == 8 ? 2u : 4u);
  WriteRegion(p, 0, HalfFrames(p), block, frames, true);
  p->nextHalf = (p->nextHalf + 1) & 1;
}

void Mp3Play() {
  FinishPrefill();
  if (player.noSound) return;
  // A channel buffer that could not be made leaves the music off.
  if (player.stereo) {
    if (!player.left || !player.right) return;
    SoundBufferPlay(player.left, 0, player.outputRate, 255, -127);
    SoundBufferPlay(player.right, 0, player.outputRate, 255, 127);
  } else {
    if (!player.centre) return;
    SoundBufferPlay(player.centre, 0, player.outputRate, 255, 0);
  }
  player.playing = 1;
}

int Mp3UpdateRounds(int firstUpdate, float t, float lastUpdateTime) {
  if (firstUpdate) return 5;
  double rounds = double(t - lastUpdateTime) * 65.0;
  if (!(rounds >= 1.0)) return 1;  // also a clock that went back, or NaN
  if (rounds > kMaxRoundsPerUpdate) return kMaxRoundsPerUpdate;
  return int(rounds);
}

void Mp3Update(float t) {
  FinishPrefill();
  if (player.noSound) return;
  int rounds = Mp3UpdateRounds(player.firstUpdate, t, player.lastUpdateTime);
  player.firstUpdate = 0;
  player.lastUpdateTime = t;
  if (!player.playing || !player.ClockBuffer) return;
  // Decode only while the cursor plays the other half than the one written
  // next: a block then always lands in the idle half.
  for (int i = 0; i < rounds && !player.endOfData; ++i) {
    uint32_t p = SoundBufferPosition(player.ClockBuffer);
    if (p == kSoundPositionUnknown) continue;
    bool idle = (p >= kMp3HalfSize && player.nextHalf == 0) ||
                (p < kMp3HalfSize && player.nextHalf == 1);
    if (idle) DecodeFrame();
  }
}

void Mp3Shutdown() {
  FinishPrefill();
  if (player.noSound) return;
  SoundBufferStop(player.left);
  SoundBufferStop(player.right);
  SoundBufferStop(player.centre);
  player.playing = 0;
  paused = false;
  CloseDecoder();
  SoundRelease();
  // The buffers went with the device.
  player.left = player.right = player.centre = player.ClockBuffer = nullptr;
  player.noSound = 1;
}

namespace {

// Starts every channel buffer at its position, with the pans Mp3Play uses.
void PlayFrom(const uint32_t* position) {
  if (player.stereo) {
    SoundBufferPlay(player.left, position[0], player.outputRate, 255, -127);
    SoundBufferPlay(player.right, position[1], player.outputRate, 255, 127);
  } else {
    SoundBufferPlay(player.centre, position[2], player.outputRate, 255, 0);
  }
}

}  // namespace

void Mp3Pause(int on) {
  FinishPrefill();
  if (player.noSound || !player.playing || paused == (on != 0)) return;
  SoundBuffer* buffers[3] = {player.left, player.right, player.centre};
  if (on) {
    for (int i = 0; i < 3; ++i) {
      uint32_t p = buffers[i] ? SoundBufferPosition(buffers[i]) : 0;
      pausedAt[i] = p == kSoundPositionUnknown ? 0 : p;
      SoundBufferStop(buffers[i]);
    }
  } else {
    PlayFrom(pausedAt);
  }
  paused = on != 0;
}

int Mp3Seek(double seconds, double* clockSeconds) {
  FinishPrefill();
  if (player.noSound || !decoder.handle || player.outputRate <= 0 || !decoder.file) return 0;
  if (!(seconds >= 0.0)) seconds = 0.0;
  SoundBuffer* buffers[3] = {player.left, player.right, player.centre};
  for (SoundBuffer* b : buffers) SoundBufferStop(b);
  off_t wanted = off_t(seconds * player.outputRate + 0.5);
  off_t input = 0;
  off_t reached = mpg123_feedseek(decoder.handle, wanted, SEEK_SET, &input);
  if (reached < 0 || input < 0 || size_t(input) > decoder.fileSize) {
    // The decoder lost its place: the music stays silent from here.
    player.endOfData = 1;
    return 0;
  }
  // The decoder wants the file again from the byte it named; the feed goes on
  // from there in the usual portions.
  decoder.fed = size_t(input);
  if (std::fseek(decoder.file, long(input), SEEK_SET) != 0 ||
      (decoder.fed < decoder.fileSize && !FeedMore())) {
    player.endOfData = 1;
    return 0;
  }
  player.endOfData = 0;
  decoder.blockFill = 0;
  decoder.held.clear();
  player.nextHalf = 0;
  // Like the prefill: one block into half 0, then play from its start.
  while (player.nextHalf == 0 && !player.endOfData) DecodeFrame();
  player.firstUpdate = 1;
  const uint32_t start[3] = {0, 0, 0};
  if (paused)
    std::memcpy(pausedAt, start, sizeof(pausedAt));
  else if (player.playing)
    PlayFrom(start);
  if (clockSeconds) *clockSeconds = double(reached) / player.outputRate;
  return 1;
}

SoundBuffer* Mp3ClockBuffer() {
  FinishPrefill();
  return player.noSound ? nullptr : player.ClockBuffer;
}

const Mp3Player* Mp3State() {
  FinishPrefill();
  return &player;
}
