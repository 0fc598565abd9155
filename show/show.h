// The program: start-up in its fixed order, the main loop of one frame per
// turn, the key recorder, shutdown and the frame-rate report.
#pragma once
#include <cstdint>

// Process-wide switches and counters of the running show.
struct ShowState {
  int verticalBlank;
  int soundSync;
  int log;
  int modeIndex;
  int scaleMode;
  float startInstant;
  float endInstant;
  int32_t frameCount;
  int32_t keyCount;
  int quitPosted;
  int startupFailed;
};
extern ShowState Show;

// Seconds since the start instant for a millisecond counter value.
float SecondsSince(uint32_t counter, float startInstant);

// Appends "key: <count> time: <seconds>" to debug.txt when logging is on.
void RecordKey(const char* logPath);

// One turn of the show: lock, clock, music, timeline and fades, unlock,
// present. Does nothing while start-up has failed. Always 1.
int RunFrame();

// The whole program; returns the process exit status.
int ShowMain(int argc, const char* const* argv);
