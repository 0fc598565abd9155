#include "music/mp3_player.h"
#include "music/sound_device.h"
#include "show/show.h"
#include "show/timeline.h"

namespace {
SoundClockState clockState = {0, 0};
}

int SoundClock(uint32_t* pixels, float t) {
  if (Show.soundSync) {
    // Without music there is no clock buffer and t stays the wall-clock time;
    // a failed query keeps it for this frame.
    if (SoundBuffer* buffer = Mp3ClockBuffer()) {
      uint32_t size = 0;
      if (SoundBufferSize(buffer, &size)) {
        uint32_t position = SoundBufferPosition(buffer);
        if (position != 0xFFFFFFFFu)
          t = SoundClockTime(&clockState, size, position, buffer->bits, buffer->rate);
      }
    }
  }
  return ShowFrame(pixels, t);
}

void SoundClockRestart(double seconds) {
  clockState = {0, 0};
  SoundBuffer* buffer = Mp3ClockBuffer();
  if (!buffer || !(seconds > 0.0)) return;
  // The clock buffer plays from its start again at the given instant.
  double samples = seconds * buffer->rate + 0.5;
  clockState.wrappedBytes = static_cast<uint32_t>(samples) * static_cast<uint32_t>(buffer->bits / 8);
}
