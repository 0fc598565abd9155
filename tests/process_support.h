// Running the built program and other commands from end-to-end tests.
#pragma once
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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
