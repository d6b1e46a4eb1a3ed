#include "base/atomic_file.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

namespace {

// How many names are tried before the folder is taken to refuse new files.
constexpr int kNameTries = 100;

std::uint64_t Mix(std::uint64_t x) {
  // splitmix64: neighbouring seeds give unrelated names.
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

// Six letters or digits from the process, the object asking, the attempt
// and the time: two files being replaced at once get different names, and a
// name already taken (O_EXCL tells) is followed by another.
std::string NameSuffix(const void* owner, int attempt) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::uint64_t x =
      Mix((static_cast<std::uint64_t>(::getpid()) << 32) ^ reinterpret_cast<std::uintptr_t>(owner) ^
          static_cast<std::uint64_t>(attempt) ^ (static_cast<std::uint64_t>(now.tv_nsec) << 16) ^
          static_cast<std::uint64_t>(now.tv_sec));
  constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string s(6, ' ');
  for (char& c : s) {
    c = kLetters[x % (sizeof kLetters - 1)];
    x /= sizeof kLetters - 1;
  }
  return s;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// EINVAL: the file lives where syncing means nothing (a pipe, some special
// file systems); its bytes are as safe as they can be.
int SyncError(int fd) { return ::fsync(fd) != 0 && errno != EINVAL ? errno : 0; }

}  // namespace

AtomicFile::AtomicFile(std::string path, mode_t mode) : m_path(std::move(path)) {
  // O_EXCL with a fresh name, not mkstemp: mkstemp makes the file 0600,
  // whereas the file replaced should get the usual bits under the umask.
  for (int i = 0; i < kNameTries; ++i) {
    m_temp = m_path + "." + NameSuffix(this, i);
    m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (m_fd >= 0) return;
    if (errno != EEXIST) break;
  }
  const int err = errno;
  m_temp.clear();
  fail(FileError::Step::Create, err);
}

AtomicFile::~AtomicFile() {
  if (m_fd >= 0) ::close(m_fd);
  if (!m_temp.empty()) ::unlink(m_temp.c_str());
}

void AtomicFile::fail(FileError::Step step, int code) {
  if (!ok()) return;
  m_error.step = step;
  m_error.code = code != 0 ? code : EIO;
}

bool AtomicFile::write(std::string_view bytes) {
  while (ok() && !bytes.empty()) {
    const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno != EINTR) fail(FileError::Step::Write, errno);
      continue;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return ok();
}

bool AtomicFile::commit() {
  if (!ok()) return false;
  // On disk before it takes the real name: a crash leaves the old file or the new.
  if (const int err = SyncError(m_fd); err != 0) fail(FileError::Step::Write, err);
  // A write the system delayed may fail as late as the close (a full disk).
  if (::close(m_fd) != 0 && ok()) fail(FileError::Step::Write, errno);
  m_fd = -1;
  if (!ok()) return false;
  if (::rename(m_temp.c_str(), m_path.c_str()) != 0) {
    fail(FileError::Step::Rename, errno);
    return false;
  }
  m_temp.clear();
  // The rename is done and visible: a folder that cannot be flushed leaves
  // the new name less sure to outlive a crash, but reporting a failure now
  // would say the old file stayed when it did not.
  const int folder = ::open(FolderOf(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, FileError& error, mode_t mode) {
  AtomicFile file(path, mode);
  const bool done = file.write(bytes) && file.commit();
  error = file.error();
  return done;
}
