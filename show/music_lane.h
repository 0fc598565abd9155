// A timedemo's music on a thread of its own: each frame's music update and
// the mixing of its samples (which a timedemo only drops) run there, in the
// frames' order, while the show renders the next frames. Nothing else may
// touch the music while the lane has work; Drain waits for all of it.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class MusicLane {
 public:
  MusicLane();
  // Drains, then ends the thread.
  ~MusicLane();
  MusicLane(const MusicLane&) = delete;
  MusicLane& operator=(const MusicLane&) = delete;

  // Mp3Update(t), then `frames` stereo samples mixed and dropped.
  void Post(float t, int frames);
  void Drain();

 private:
  struct Job {
    float t;
    int frames;
  };
  void Run();

  std::mutex lock_;
  std::condition_variable work_;
  std::condition_variable done_;
  std::deque<Job> jobs_;
  bool busy_ = false;
  bool stop_ = false;
  std::vector<int16_t> samples_;
  std::thread thread_;
};
