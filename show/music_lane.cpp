#include "show/music_lane.h"

#include "music/mp3_player.h"
#include "platform/audio.h"

MusicLane::MusicLane() : thread_([this] { Run(); }) {}

MusicLane::~MusicLane() {
  {
    std::unique_lock<std::mutex> hold(lock_);
    done_.wait(hold, [this] { return jobs_.empty() && !busy_; });
    stop_ = true;
  }
  work_.notify_one();
  thread_.join();
}

void MusicLane::Post(float t, int frames) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    jobs_.push_back({t, frames});
  }
  work_.notify_one();
}

void MusicLane::Drain() {
  std::unique_lock<std::mutex> hold(lock_);
  done_.wait(hold, [this] { return jobs_.empty() && !busy_; });
}

void MusicLane::Run() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    work_.wait(hold, [this] { return stop_ || !jobs_.empty(); });
    if (jobs_.empty()) return;  // stopping
    const Job job = jobs_.front();
    jobs_.pop_front();
    busy_ = true;
    hold.unlock();
    Mp3Update(job.t);
    if (job.frames > 0) {
      samples_.assign(static_cast<size_t>(job.frames) * 2, 0);
      PlatformAudioPull(samples_.data(), job.frames);
    }
    hold.lock();
    busy_ = false;
    if (jobs_.empty()) done_.notify_all();
  }
}
