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

// The program in three steps, so that a host which owns the loop (a browser)
// can call one turn at a time. ShowStart parses the command line and brings
// the show up; it returns 1 when turns should follow, or 0 with *exitStatus
// set (help shown, a bad switch, a capture that could not open). ShowStep is
// one turn of the main loop and returns 0 once the quit was posted.
// ShowFinish shuts down and returns the process exit status.
int ShowStart(int argc, const char* const* argv, int* exitStatus);
int ShowStep();
int ShowFinish();

// The whole program; returns the process exit status.
int ShowMain(int argc, const char* const* argv);
