// Running the built program and other commands from end-to-end tests.
#pragma once
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

// The standard output of a shell command; *status (when given) receives what
// pclose reports, 0 for a command that exited with 0.
inline std::string RunCommand(const std::string& command, int* status = nullptr) {
  std::string out;
  int result = -1;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof(buf), p)) > 0;) out.append(buf, n);
    result = pclose(p);
  }
  if (status) *status = result;
  return out;
}

// A whole file as bytes; empty when it cannot be read.
inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// An X server in memory on the first free display number from `first` on,
// for tests that open real windows; stopped when the object goes. It does not
// reset when its last client leaves, so a test can close one window and open
// the next without racing the server's restart.
class XServer {
 public:
  XServer(const char* screen, int first) {
    int number = first;
    while (std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock")) ++number;
    display_ = ":" + std::to_string(number);
    pid_ = fork();
    if (pid_ == 0) {
      std::freopen("/dev/null", "w", stderr);
      execlp("Xvfb", "Xvfb", display_.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
             "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    for (int i = 0; i < 100 && !std::filesystem::exists(socket); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~XServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};
