#include "manager/app/log_tail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace tessary {
namespace {

// Reads count bytes at offset (fewer at the end of the file).
std::string ReadAt(int fd, std::uint64_t offset, std::size_t count) {
  std::string out(count, '\0');
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n = ::pread(fd, out.data() + got, count - got, static_cast<off_t>(offset + got));
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  out.resize(got);
  return out;
}

}  // namespace

LogTail::LogTail(std::string path, std::size_t maxBytes) : m_path(std::move(path)), m_max(maxBytes) {}

LogTail::Chunk LogTail::Read() {
  Chunk chunk;
  const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    if (fd >= 0) ::close(fd);
    chunk.exists = false;
    // A file that comes back later is read from its start.
    chunk.replace = !m_started || m_offset != 0;
    m_started = true;
    m_offset = 0;
    m_inode = 0;
    return chunk;
  }
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (!m_started || st.st_ino != m_inode || size < m_offset) {
    chunk.replace = true;
    m_offset = 0;
  }
  m_started = true;
  m_inode = st.st_ino;
  std::uint64_t from = m_offset;
  bool cut = false;
  if (size - from > m_max) {
    from = size - m_max;
    cut = true;
    chunk.replace = true;
  }
  // Cut inside the file: the byte before the bound tells whether the bound
  // starts a line.
  const std::uint64_t readFrom = cut ? from - 1 : from;
  std::string text = ReadAt(fd, readFrom, static_cast<std::size_t>(size - readFrom));
  ::close(fd);
  std::size_t begin = 0;
  if (readFrom < from) {
    const auto first = text.find('\n');
    begin = first != std::string::npos && first + 1 < text.size() ? first + 1 : 1;
  }
  std::size_t end = text.rfind('\n');
  end = end == std::string::npos || end < begin ? begin : end + 1;
  // A line longer than the bound is given as it is.
  if (end == begin && text.size() - begin >= m_max) end = text.size();
  chunk.text = text.substr(begin, end - begin);
  m_offset = readFrom + end;
  return chunk;
}

}  // namespace tessary
