#include "show/show.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "display/display.h"
#include "music/mp3_player.h"
#include "platform/audio.h"
#include "platform/capture.h"
#include "platform/system.h"
#include "platform/video.h"
#include "raster/raster_batch.h"
#include "effects/flares.h"
#include "effects/slots.h"
#include "show/asset_setup.h"
#include "show/controls.h"
#include "show/fade.h"
#include "show/music_lane.h"
#include "show/switches.h"
#include "show/timedemo.h"
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
    "  /rate n          frames per second of a capture or timedemo (default 60)\n"
    "  /from T, /to T   capture or time only the part of the show from T to T seconds\n"
    "  /scale n         upscale of a captured video, 1 to 8 (default 4)\n"
    "  /quality Q       encoder of a captured video: fast (default: x264 ultrafast,\n"
    "                   CRF 18), small, best, or PRESET:CRF\n"
    "  /timedemo        render the show offline as fast as it goes, without window or\n"
    "                   sound output, and print each row's frame times and the totals\n"
    "  /checksum        with /timedemo: print the MD5 of every frame's RGB pixels\n"
    "  /start T         begin the show at T seconds\n"
    "  /loop            play the show again from the start when it ends\n"
    "  /data DIR        where the show's data files are (default: the first data set\n"
    "                   beside the program, in ../share/kestrivane from it, in\n"
    "                   $XDG_DATA_HOME/kestrivane or in kestrivane of $XDG_DATA_DIRS)\n"
    "  /vblank          wait for the vertical blank before every frame\n"
    "  /soundsync       take the show's clock from the music's play position\n"
    "  /log             append every key press but Escape to debug.txt\n"
    "  /v n             display mode: 0..2 320x240 at 32, 24, 16 bits, 3..5 640x480 at\n"
    "                   32, 24, 16 bits, -1 the first that works (default)\n"
    "  /b n             in 640x480 modes: 0 frame in the top-left corner, 1 doubled,\n"
    "                   2 smoothed\n"
    "  /fps             report the average frame rate at the end\n"
    "  /nommx           never use the SIMD pixel routines\n"
    "  /onecore         draw on one processor core (the 3D scenes use two by default,\n"
    "                   but for a capture, whose encoder takes the second)\n"
    "  /nosound         no music\n"
    "  /mp3_8bit        decode the music to 8-bit samples\n"
    "  /mp3_mono        play the music as one centre channel\n"
    "  /mp3_d1          decode the music at its full sample rate (default)\n"
    "  /mp3_d2          decode the music at half its sample rate\n"
    "  /mp3_d4          decode the music at a quarter of its sample rate\n"
    "  /help, --help    this list\n"
    "  /version, --version  the program's version\n"
    "Keys: Escape ends the show; F12 saves the frame as a PNG in the working\n"
    "directory; Alt+Enter or F11 full screen or window; Space pause; Left, Right\n"
    "5 s back, forward; Page Up, Page Down previous, next scene; Home from the\n"
    "start; + and - music volume.\n";

DisplayDevice* device = nullptr;
// A timedemo's music runs on a lane of its own (see music_lane.h); the
// frame's instant waits here until the frame's samples are posted.
std::unique_ptr<MusicLane> musicLane;
float musicLaneTime = 0.0f;
volatile std::sig_atomic_t interrupted = 0;
volatile std::sig_atomic_t settingUp = 0;

// Ctrl-C or a termination request. During the set-up (which may wait on a
// slow or blocked data file) nothing has been written yet, so the program
// ends at once; from the capture's opening on, the signal is noted and the
// show ends at its next turn, closing the capture properly.
void OnInterrupt(int signal) {
  if (settingUp) {
    static const char kText[] = "Kestrivane: interrupted during set-up\n";
    ssize_t written = write(2, kText, sizeof kText - 1);
    (void)written;
    _exit(128 + signal);
  }
  interrupted = signal;
}

void PostQuit() { Show.quitPosted = 1; }

// The player in a window: pause, seek, loop. While paused the show's clock
// stands at pausedAt; resuming moves the start instant on by the pause.
struct Player {
  bool paused = false;
  uint32_t pausedAt = 0;  // ms of the platform clock
  bool loop = false;
  bool restart = false;   // the show ended with /loop on
  bool redraw = false;    // a seek while paused: show the new instant once
};
Player player;

double ShowSeconds() {
  uint32_t now = player.paused ? player.pausedAt : PlatformMilliseconds();
  return SecondsSince(now, Show.startInstant);
}

void SetPaused(bool on) {
  if (player.paused == on) return;
  uint32_t now = PlatformMilliseconds();
  if (on)
    player.pausedAt = now;
  else
    Show.startInstant += static_cast<float>(now - player.pausedAt);
  player.paused = on;
  Mp3Pause(on ? 1 : 0);
}

// Moves the show and its music to t seconds. Effects that carry state from
// frame to frame start clean there.
void SeekTo(double t) {
  t = ClampShowTime(Timeline, kTimelineRows, t);
  // The music lands on a whole sample; the sound clock counts from there,
  // the show's clock from the instant asked for.
  double reached = t;
  if (!Mp3Seek(t, &reached)) reached = t;
  SoundClockRestart(reached);
  FlareSceneResetFirstCall();
  uint32_t now = PlatformMilliseconds();
  Show.startInstant = static_cast<float>(static_cast<double>(now) - t * 1000.0);
  if (player.paused) {
    player.pausedAt = now;
    player.redraw = true;
  }
}

void Control(int control) {
  double t = ShowSeconds();
  switch (control) {
    case PLATFORM_CONTROL_FULL_SCREEN: PlatformVideoToggleFullScreen(); break;
    case PLATFORM_CONTROL_PAUSE: SetPaused(!player.paused); break;
    case PLATFORM_CONTROL_BACK: SeekTo(t - 5.0); break;
    case PLATFORM_CONTROL_FORWARD: SeekTo(t + 5.0); break;
    case PLATFORM_CONTROL_PREVIOUS_SCENE:
      SeekTo(PreviousSceneStart(Timeline, kTimelineRows, t));
      break;
    case PLATFORM_CONTROL_NEXT_SCENE: SeekTo(NextSceneStart(Timeline, kTimelineRows, t)); break;
    case PLATFORM_CONTROL_RESTART: SeekTo(0.0); break;
    case PLATFORM_CONTROL_LOUDER:
    case PLATFORM_CONTROL_SOFTER: {
      int step = control == PLATFORM_CONTROL_LOUDER ? 10 : -10;
      PlatformAudioSetMasterVolume(PlatformAudioMasterVolume() + step);
      std::fprintf(stderr, "%s: volume %d %%\n", kCaption, PlatformAudioMasterVolume());
      break;
    }
    default: break;
  }
}

void HandleEvent(const PlatformEvent& event) {
  if (event.type == PLATFORM_EVENT_QUIT) {
    PostQuit();
  } else if (event.type == PLATFORM_EVENT_KEY) {
    if (event.key == PlatformKeyEscape()) {
      PostQuit();
      return;
    }
    if (event.key == PlatformKeyScreenshot()) {
      std::string report;
      if (DisplayScreenshot(&report))
        std::fprintf(stderr, "%s: screenshot written to %s\n", kCaption, report.c_str());
      else
        std::fprintf(stderr, "%s: no screenshot: %s\n", kCaption, report.c_str());
    }
    // An offline run has no player: its keys change nothing.
    if (!PlatformCaptureMode()) Control(PlatformControlOf(event));
    RecordKey("debug.txt");
  }
}

// The end of the show: quit, or with /loop play it again.
void ShowEnded() {
  if (player.loop && !PlatformCaptureMode())
    player.restart = true;
  else
    PostQuit();
}

// The window's icon: the middle of the first portrait, 64 x 64.
void SetWindowIcon() {
  if (const uint32_t* picture = FramePicture(kPicPortrait1)) {
    std::vector<uint32_t> icon(64 * 64);
    MakeIcon(picture, 320, 240, icon.data(), 64);
    PlatformVideoSetIcon(icon.data(), 64, 64);
  }
}

// Offline capture: frame n is taken at n * 1000 / rate ms of a virtual clock,
// and exactly the sound samples of that frame are mixed and written with it.
// Frames before the range are still made (and their sound mixed), so that a
// part of the show is exactly what the whole show has there, but nothing of
// them is written.
struct CaptureRun {
  int rate = 60;
  int audioRate = 0;
  int64_t frame = 0;
  FrameRange range;
  std::vector<int16_t> samples;

  bool InRange() const { return range.Holds(frame); }
  void BeginFrame() {
    PlatformSetVirtualMilliseconds(static_cast<uint32_t>(frame * 1000 / rate));
    CaptureHold(InRange() ? 0 : 1);
  }
  void EndFrame() {
    int64_t first = frame * audioRate / rate;
    int64_t next = (frame + 1) * audioRate / rate;
    int count = static_cast<int>(next - first);
    if (musicLane) {
      musicLane->Post(musicLaneTime, count);
    } else if (count > 0) {
      samples.assign(static_cast<size_t>(count) * 2, 0);
      PlatformAudioPull(samples.data(), count);  // leaves silence without music
      if (InRange()) CaptureAudio(samples.data(), count);
    }
    ++frame;
    if (frame >= range.end) PostQuit();
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
    // While paused the clock stands still (a seek then draws its instant).
    uint32_t now = player.paused ? player.pausedAt : PlatformMilliseconds();
    float t = SecondsSince(now, Show.startInstant);
    if (musicLane)
      musicLaneTime = t;
    else
      Mp3Update(t);
    ++Show.frameCount;
    if (!SoundClock(static_cast<uint32_t*>(device->pixels), t)) ShowEnded();
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
  bool offline = false;   // on the virtual clock: a capture or a timedemo
  bool timedemo = false;
  bool checksum = false;
  CaptureRun capture;
  TimedemoStats stats;
  double startedAt = 0.0;  // real seconds
  double startupSeconds = 0.0;
  double timedSeconds = 0.0;  // real seconds of the frames in the range
};
RunState run;

}  // namespace

int ShowStart(int argc, const char* const* argv, int* exitStatus) {
  *exitStatus = 0;
  run = RunState();
  run.startedAt = PlatformRealSeconds();
  interrupted = 0;
  settingUp = 1;
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  PlatformSetExecutablePath(argc > 0 ? argv[0] : nullptr);
  run.commandLine = PlatformCommandLine(argc, argv, &run.options);
  const char* line = run.commandLine.c_str();
  PlatformOptions& options = run.options;
  std::string unknownOption;
  switch (CheckArguments(argc, argv, line, &unknownOption)) {
    case ARGUMENTS_REFUSED:
      std::fprintf(stderr, "%s: unknown option %s (the show's switches begin with /)\n%s",
                   kCaption, unknownOption.c_str(), kHelp);
      *exitStatus = 2;
      return 0;
    case ARGUMENTS_HELP:
      std::fputs(kHelp, stdout);
      return 0;
    case ARGUMENTS_VERSION:
      std::printf("kestrivane %s\n", ProgramVersion());
      return 0;
    case ARGUMENTS_RUN:
      break;
  }
  if (!options.error.empty()) {
    std::fprintf(stderr, "%s: %s (see /help)\n", kCaption, options.error.c_str());
    *exitStatus = 1;
    return 0;
  }
  run.capturing = !options.capturePath.empty();
  run.timedemo = FindSwitch(line, "/timedemo") != 0;
  run.checksum = run.timedemo && FindSwitch(line, "/checksum");
  run.offline = run.capturing || run.timedemo;
  const char* refused = nullptr;
  if (run.capturing && run.timedemo)
    refused = "/timedemo renders without writing anything, so it does not go with /capture";
  else if (run.offline && options.start >= 0.0)
    refused = "/start begins a show in the window; a /capture or /timedemo takes /from";
  else if (!run.capturing && (options.scale > 0 || !options.quality.empty()))
    refused = "/scale and /quality choose how a /capture is made";
  else if (!run.offline && (options.from >= 0.0 || options.to >= 0.0))
    refused = "/from and /to choose the part of a /capture or a /timedemo";
  else if (options.to >= 0.0 && !(options.to > (options.from > 0.0 ? options.from : 0.0)))
    refused = "the time of /to must come after the time of /from";
  else if (options.from >= static_cast<double>(Timeline[kTimelineRows - 1].end))
    refused = "the time of /from must come before the end of the show";
  std::string choiceError;
  if (!refused && run.capturing &&
      !CaptureSetChoices(options.scale > 0 ? options.scale : 4, options.quality.c_str(),
                         &choiceError))
    refused = choiceError.c_str();
  if (refused) {
    std::fprintf(stderr, "%s: %s (see /help)\n", kCaption, refused);
    *exitStatus = 1;
    return 0;
  }
  CaptureRun& capture = run.capture;
  capture.rate = options.captureRate;
  capture.range = MakeFrameRange(options.from, options.to, capture.rate);
  if (run.offline) {
    PlatformSetCaptureMode(1);
    PlatformSetVirtualMilliseconds(0);
    // The soundtrack's own rate: nothing of the music is lost to a sound
    // card's lower one.
    PlatformAudioSetCaptureRate(44100);
  }
  std::string searched;
  if (!PlatformChooseDataDir(options.dataDir, PlatformExecutableDir(), &searched)) {
    PlatformMessageBox(searched.c_str(), kCaption);
    *exitStatus = 1;
    return 0;
  }
  Show.verticalBlank = FindSwitch(line, "/vblank") ? 1 : 0;
  Show.soundSync = FindSwitch(line, "/soundsync") ? 1 : 0;
  Show.log = FindSwitch(line, "/log") ? 1 : 0;
  player = Player();
  player.loop = FindSwitch(line, "/loop") != 0;

  PlatformCreateWindow(kCaption);

  if (!Mp3Start(line) && !Mp3SoundtrackFailed())
    PlatformMessageBox("Warning! Unable to init Direct Sound, using nosound.", kCaption);

  if (run.offline) {
    capture.audioRate = PlatformAudioRate();
    if (capture.audioRate <= 0) capture.audioRate = 44100;  // a silent track
  }
  // The 3D scenes' triangles are drawn on two cores unless told otherwise,
  // or unless a capture's encoder has the second one.
  RasterBatchEnableWorker(!FindSwitch(line, "/onecore") && !run.capturing);
  if (!AssetSetup(line)) {
    PlatformMessageBox("Error! Unable to init demo, (out of memory?).", kCaption);
    PostQuit();
    Show.startupFailed = 1;
  }
  if (!run.offline) SetWindowIcon();

  Show.modeIndex = ReadIntegerSwitch(line, "/v", -1);
  std::string modeWarning = DisplayModeWarning(Show.modeIndex);
  if (!modeWarning.empty()) std::fprintf(stderr, "%s: %s\n", kCaption, modeWarning.c_str());
  Show.scaleMode = ReadIntegerSwitch(line, "/b", 0);
  DisplaySetOptions(Show.verticalBlank, FindSwitch(line, "/window") ? 1 : 0);
  device = DisplayStart(Show.modeIndex, Show.scaleMode, HasMmx());
  if (!device) {
    PlatformMessageBox("Error! Unable to init Direct Draw.", kCaption);
    if (!run.capturing && !PlatformHasDisplay())
      std::fprintf(stderr,
                   "%s: there is no display; /capture PATH renders the show to a video or "
                   "to PNG frames without one (see /help)\n",
                   kCaption);
    PostQuit();
    Show.startupFailed = 1;
  }

  // The capture is opened last, once the set-up has succeeded: a set-up
  // that fails or is interrupted leaves no file behind.
  settingUp = 0;
  if (run.capturing && !Show.startupFailed) {
    if (!CaptureOpen(options.capturePath.c_str(), capture.rate, capture.audioRate)) {
      Mp3Shutdown();
      DisplayRelease();
      *exitStatus = 1;
      return 0;
    }
    // The script ends at 266 s: the progress bar runs to there, or to the
    // end of the part captured.
    double from = options.from > 0.0 ? options.from : 0.0;
    double to = static_cast<double>(Timeline[kTimelineRows - 1].end);
    if (options.to >= 0.0 && options.to < to) to = options.to;
    CaptureSetDuration(to - from);
  }

  Mp3Play();
  // A timedemo mixes its music to drop it: that can go beside the frames,
  // unless the show's clock is read from the music.
  if (run.timedemo && !Show.soundSync && !Show.startupFailed && PlatformHasThreads())
    musicLane = std::make_unique<MusicLane>();
  Show.startInstant = static_cast<float>(PlatformMilliseconds());
  if (options.start > 0.0 && !Show.startupFailed) SeekTo(options.start);
  run.startupSeconds = PlatformRealSeconds() - run.startedAt;
  return 1;
}

namespace {

// One turn in the window. Paused: the frame stays on screen, shown again for
// a window that was resized or changed to full screen. Minimised or hidden:
// the clock and the music go on, nothing is drawn, and the turn sleeps.
void LiveStep() {
  if (player.restart) {
    player.restart = false;
    SeekTo(0.0);
  }
  if (Show.startupFailed || !device) return;
  if (player.paused && player.redraw) {
    player.redraw = false;
    RunFrame();
    return;
  }
  if (player.paused) {
    device->Present(device);
    PlatformSleep(15);
    return;
  }
  if (!PlatformVideoIsVisible()) {
    float t = static_cast<float>(ShowSeconds());
    Mp3Update(t);
    if (t > Timeline[kTimelineRows - 1].end) ShowEnded();
    PlatformSleep(20);
    return;
  }
  RunFrame();
}

}  // namespace

int ShowStep() {
  if (interrupted) PostQuit();
  if (Show.quitPosted) return 0;
  PlatformEvent event;
  if (PlatformPollEvent(&event)) HandleEvent(event);
  if (!run.offline) {
    LiveStep();
    return 1;
  }
  CaptureRun& capture = run.capture;
  bool timed = capture.InRange();
  int64_t frame = capture.frame;
  double began = PlatformRealSeconds();
  capture.BeginFrame();
  float t = SecondsSince(PlatformMilliseconds(), Show.startInstant);
  RunFrame();
  if (!Show.startupFailed) capture.EndFrame();
  if (run.timedemo && timed && !Show.startupFailed) {
    double seconds = PlatformRealSeconds() - began;
    run.stats.Add(t, seconds);
    run.timedSeconds += seconds;
    if (run.checksum) {
      std::vector<uint32_t> pixels;
      int width = 0, height = 0;
      if (PlatformVideoReadScreen(&pixels, &width, &height))
        std::printf("frame %lld %s\n", static_cast<long long>(frame),
                    CaptureFrameMd5(pixels.data(), width, height, width).c_str());
    }
  }
  return 1;
}

int ShowFinish() {
  const char* line = run.commandLine.c_str();
  Show.endInstant = static_cast<float>(PlatformMilliseconds());
  musicLane.reset();
  Mp3Shutdown();
  DisplayRelease();
  int status = Show.startupFailed ? 1 : 0;
  if (run.capturing) {
    int frames = CaptureFrameCount();
    if (!CaptureClose()) {
      status = 1;
    } else if (interrupted) {
      std::fprintf(stderr, "capture: interrupted: %s holds the first %.2f s (%d frames)\n",
                   run.options.capturePath.c_str(),
                   static_cast<double>(frames) / run.capture.rate, frames);
    }
  }
  // Stopped by a signal: the status says which, as the shell's would.
  if (interrupted && status == 0) status = 128 + interrupted;
  if (run.timedemo && !Show.startupFailed) {
    run.stats.Print(stdout, run.timedSeconds, run.startupSeconds, PlatformPeakMemoryBytes());
    std::fflush(stdout);
  }
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
