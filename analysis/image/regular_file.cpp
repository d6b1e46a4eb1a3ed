#include "image/detail/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>

FilePtr regularFile(int fd, const char* mode, std::uint64_t* size) {
  if (fd < 0) return nullptr;
  struct stat st {};
  const int flags = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
      ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* f = ::fdopen(fd, mode);
  if (f == nullptr) {
    ::close(fd);
    return nullptr;
  }
  if (size != nullptr) *size = static_cast<std::uint64_t>(st.st_size);
  return FilePtr(f);
}

FilePtr openForReading(const std::string& path, std::uint64_t& size) {
  return regularFile(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC), "rb", &size);
}

std::string LocalTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y\n", &local);
  return std::string(text, std::min<std::size_t>(std::strlen(text), 50));
}
