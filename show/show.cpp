#include "show/show.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "display/display.h"
#include "music/mp3_player.h"
#include "platform/audio.h"
#include "platform/capture.h"
#include "platform/system.h"
#include "show/asset_setup.h"
#include "show/fade.h"
#include "show/switches.h"
#include "show/timeline.h"

ShowState Show = {0, 0, 0, -1, 0, 0.0f, 0.0f, 0, 0, 0, 0};

namespace {

const char kCaption[] = "Kestrivane";
const char kHelp[] =
    "Usage: kestrivane [switches]\n"
    "  /window          play in a window instead of full screen\n"
    "  /capture PATH    render the whole show offline: PATH ending in .mp4, .mkv or .webm\n"
    "                   is a video made with ffmpeg, any other PATH a directory of PNG\n"
    "                   frames and a WAV of the sound\n"
    "  /rate n          frames per second of a capture (default 60)\n"
    "  /data DIR        where the show's data files are (default: beside the program)\n"
    "  /vblank          wait for the vertical blank before every frame\n"
    "  /soundsync       take the show's clock from the music's play position\n"
    "  /log             append every key press but Escape to debug.txt\n"
    "  /v n             display mode: 0..2 320x240 at 32, 24, 16 bits, 3..5 640x480 at\n"
    "                   32, 24, 16 bits, -1 the first that works (default)\n"
    "  /b n             in 640x480 modes: 0 frame in the top-left corner, 1 doubled,\n"
    "                   2 smoothed\n"
    "  /fps             report the average frame rate at the end\n"
    "  /nommx           never use the SIMD pixel routines\n"
    "  /nosound         no music\n"
    "  /mp3_8bit        decode the music to 8-bit samples\n"
    "  /mp3_mono        play the music as one centre channel\n"
    "  /mp3_d1          decode the music at its full sample rate (default)\n"
    "  /mp3_d2          decode the music at half its sample rate\n"
    "  /mp3_d4          decode the music at a quarter of its sample rate\n"
    "  /help, --help    this list\n"
    "Escape ends the show; F12 saves the frame as a PNG in the working directory.\n";

DisplayDevice* device = nullptr;
volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

void PostQuit() { Show.quitPosted = 1; }

void HandleEvent(const PlatformEvent& event) {
  if (event.type == PLATFORM_EVENT_QUIT) {
    PostQuit();
  } else if (event.type == PLATFORM_EVENT_KEY) {
    if (event.key == PlatformKeyEscape()) {
      PostQuit();
      return;
    }
    if (event.key == PlatformKeyScreenshot()) DisplayScreenshot();
    RecordKey("debug.txt");
  }
}

// Offline capture: frame n is taken at n * 1000 / rate ms of a virtual clock,
// and exactly the sound samples of that frame are mixed and written with it.
struct CaptureRun {
  int rate = 60;
  int audioRate = 0;
  int64_t frame = 0;
  std::vector<int16_t> samples;

  void BeginFrame() {
    PlatformSetVirtualMilliseconds(static_cast<uint32_t>(frame * 1000 / rate));
  }
  void EndFrame() {
    int64_t first = frame * audioRate / rate;
    int64_t next = (frame + 1) * audioRate / rate;
    int count = static_cast<int>(next - first);
    samples.assign(static_cast<size_t>(count) * 2, 0);
    if (count > 0) {
      PlatformAudioPull(samples.data(), count);  // leaves silence without music
      CaptureAudio(samples.data(), count);
    }
    ++frame;
  }
};

}  // namespace

float SecondsSince(uint32_t counter, float startInstant) {
  double seconds = (static_cast<double>(static_cast<uint64_t>(counter)) - startInstant) * 0.001;
  return static_cast<float>(seconds);
}

void RecordKey(const char* logPath) {
  if (!Show.log) return;
  if (FILE* f = std::fopen(logPath, "at")) {
    std::fprintf(f, "key: %i time: %f\n", Show.keyCount,
                 static_cast<double>(SecondsSince(PlatformMilliseconds(), Show.startInstant)));
    std::fclose(f);
  }
  ++Show.keyCount;
}

int RunFrame() {
  if (Show.startupFailed || !device) return 1;
  if (device->Lock(device)) {
    float t = SecondsSince(PlatformMilliseconds(), Show.startInstant);
    Mp3Update(t);
    ++Show.frameCount;
    if (!SoundClock(static_cast<uint32_t*>(device->pixels), t)) PostQuit();
    device->Unlock(device);
  }
  device->Present(device);
  return 1;
}

namespace {

// What one run of the program keeps between its start, its turns and its end.
struct RunState {
  std::string commandLine;
  PlatformOptions options;
  bool capturing = false;
  CaptureRun capture;
};
RunState run;

}  // namespace

int ShowStart(int argc, const char* const* argv, int* exitStatus) {
  *exitStatus = 0;
  run = RunState();
  PlatformSetExecutablePath(argc > 0 ? argv[0] : nullptr);
  run.commandLine = PlatformCommandLine(argc, argv, &run.options);
  const char* line = run.commandLine.c_str();
  PlatformOptions& options = run.options;
  if (FindSwitch(line, "/help") || FindSwitch(line, "--help")) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (!options.error.empty()) {
    std::fprintf(stderr, "%s: %s (see /help)\n", kCaption, options.error.c_str());
    *exitStatus = 1;
    return 0;
  }
  if (!options.dataDir.empty()) PlatformSetDataDir(options.dataDir);
  run.capturing = !options.capturePath.empty();
  CaptureRun& capture = run.capture;
  capture.rate = options.captureRate;
  if (run.capturing) {
    PlatformSetCaptureMode(1);
    PlatformSetVirtualMilliseconds(0);
  }
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);

  Show.verticalBlank = FindSwitch(line, "/vblank") ? 1 : 0;
  Show.soundSync = FindSwitch(line, "/soundsync") ? 1 : 0;
  Show.log = FindSwitch(line, "/log") ? 1 : 0;

  PlatformCreateWindow(kCaption);

  if (!Mp3Start(line) && !Mp3SoundtrackFailed())
    PlatformMessageBox("Warning! Unable to init Direct Sound, using nosound.", kCaption);

  if (run.capturing) {
    capture.audioRate = PlatformAudioRate();
    if (capture.audioRate <= 0) capture.audioRate = 44100;  // a silent track
    if (!CaptureOpen(options.capturePath.c_str(), capture.rate, capture.audioRate)) {
      Mp3Shutdown();
      *exitStatus = 1;
      return 0;
    }
    // The script ends at 266 s: the progress bar runs to there.
    CaptureSetDuration(Timeline[kTimelineRows - 1].end);
  }

  if (!AssetSetup(line)) {
    PlatformMessageBox("Error! Unable to init demo, (out of memory?).", kCaption);
    PostQuit();
    Show.startupFailed = 1;
  }

  Show.modeIndex = ReadIntegerSwitch(line, "/v", -1);
  Show.scaleMode = ReadIntegerSwitch(line, "/b", 0);
  DisplaySetOptions(Show.verticalBlank, FindSwitch(line, "/window") ? 1 : 0);
  device = DisplayStart(Show.modeIndex, Show.scaleMode, HasMmx());
  if (!device) {
    PlatformMessageBox("Error! Unable to init Direct Draw.", kCaption);
    PostQuit();
    Show.startupFailed = 1;
  }

  Mp3Play();
  Show.startInstant = static_cast<float>(PlatformMilliseconds());
  return 1;
}

int ShowStep() {
  if (interrupted) PostQuit();
  if (Show.quitPosted) return 0;
  PlatformEvent event;
  if (PlatformPollEvent(&event)) HandleEvent(event);
  if (run.capturing) run.capture.BeginFrame();
  RunFrame();
  if (run.capturing && !Show.startupFailed) run.capture.EndFrame();
  return 1;
}

int ShowFinish() {
  const char* line = run.commandLine.c_str();
  Show.endInstant = static_cast<float>(PlatformMilliseconds());
  Mp3Shutdown();
  DisplayRelease();
  int status = Show.startupFailed ? 1 : 0;
  if (run.capturing && !CaptureClose()) status = 1;
  if (FindSwitch(line, "/fps")) {
    char text[128];
    double seconds = (static_cast<double>(Show.endInstant) - Show.startInstant) * 0.001;
    std::snprintf(text, sizeof(text), "Average fps: %f\n", Show.frameCount / seconds);
    PlatformMessageBox(text, kCaption);
  }
  return status;
}

int ShowMain(int argc, const char* const* argv) {
  int status = 0;
  if (!ShowStart(argc, argv, &status)) return status;
  while (ShowStep()) {
  }
  return ShowFinish();
}
