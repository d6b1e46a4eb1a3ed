// Following a log file that servers append to: first its last part, then
// the lines written since, without ever holding more than a bound.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessary {

class LogTail {
 public:
  static constexpr std::size_t kDefaultBytes = std::size_t{256} * 1024;

  explicit LogTail(std::string path, std::size_t maxBytes = kDefaultBytes);

  struct Chunk {
    std::string text;      // whole lines (each ending with '\n')
    bool replace = false;  // the text replaces what was shown before
    bool exists = true;    // false while the file cannot be opened
  };

  // What was appended since the last call, in whole lines. The first call,
  // a file that shrank or was replaced (rotated), and more than maxBytes
  // appended at once give the last maxBytes, from the first line that
  // starts inside them, with replace set. A line still being written is
  // given once it ends, or at once when it is longer than maxBytes.
  Chunk Read();

  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
  std::size_t m_max;
  std::uint64_t m_offset = 0;
  ino_t m_inode = 0;
  bool m_started = false;
};

}  // namespace tessary
