#include "manager/app/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

namespace tessary {

int ReadTextFile(const std::string& path, std::string& text, std::size_t maxBytes) {
  text.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = errno != 0 ? errno : EINVAL;
    ::close(fd);
    return S_ISDIR(st.st_mode) ? EISDIR : err;
  }
  std::string out;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int err = errno;
      ::close(fd);
      return err;
    }
    if (n == 0) break;
    if (out.size() + static_cast<std::size_t>(n) > maxBytes) {
      ::close(fd);
      return EFBIG;
    }
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  text = std::move(out);
  return 0;
}

int SaveTextFile(const std::string& path, std::string_view text) {
  struct stat st {};
  const bool existed = ::stat(path.c_str(), &st) == 0;
  std::vector<char> name(path.begin(), path.end());
  for (const char c : std::string_view(".XXXXXX")) name.push_back(c);
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return errno;
  int err = 0;
  if (existed && ::fchmod(fd, st.st_mode & 07777) != 0) err = errno;
  for (std::size_t done = 0; err == 0 && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      err = errno;
    else
      done += static_cast<std::size_t>(n);
  }
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(name.data(), path.c_str()) != 0) err = errno;
  if (err != 0) ::unlink(name.data());
  return err;
}

}  // namespace tessary
