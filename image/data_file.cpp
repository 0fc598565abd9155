#include "image/data_file.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system.h"

namespace {

std::string ErrorWords(int error) {
  switch (error) {
    case ENOENT:
      return "not found";
    case EACCES:
    case EPERM:
      return "permission denied";
    case EISDIR:
      return "is a directory";
    default:
      return std::strerror(error);
  }
}

}  // namespace

FILE* OpenDataFile(const char* name, std::string* reason) {
  const std::string path = PlatformAssetPath(name);
  // Non-blocking, so that a FIFO opens at once and can be refused below.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *reason = ErrorWords(errno);
    return nullptr;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *reason = ::fstat(fd, &info) != 0 ? ErrorWords(errno)
              : S_ISDIR(info.st_mode) ? "is a directory"
                                      : "not a regular file";
    ::close(fd);
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  FILE* file = ::fdopen(fd, "rb");
  if (!file) {
    *reason = ErrorWords(errno);
    ::close(fd);
  }
  return file;
}

std::string DamagedAtByte(long offset) { return "damaged at byte " + std::to_string(offset < 0 ? 0 : offset); }

void ReportDataFile(const char* name, const std::string& reason) {
  std::fprintf(stderr, "%s: %s\n", PlatformAssetPath(name).c_str(), reason.c_str());
  std::fflush(stderr);
}
