#include "manager/platform/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tessary {
namespace {

// A hand-over is a few switch names; anything longer is not one of ours.
constexpr std::size_t kMaxMessage = 4096;
constexpr std::string_view kMagic = "TESSARY\n";

class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }

 private:
  int m_fd;
};

bool MakeAddress(const std::filesystem::path& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  const std::string s = path.string();
  if (s.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, s.c_str(), s.size() + 1);
  return true;
}

// The folder exists, belongs to us and nobody else may write into it.
bool PrivateFolder(const std::filesystem::path& folder, std::string& why) {
  ::mkdir(folder.c_str(), 0700);
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) {
    why = folder.string() + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 022) != 0) {
    why = folder.string() + " is not a private folder of this user";
    return false;
  }
  return true;
}

}  // namespace

std::filesystem::path RuntimeFolder() {
  if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg != nullptr && xdg[0] == '/') return xdg;
  return "/tmp/tessary-" + std::to_string(::geteuid());
}

SingleInstance::SingleInstance(std::filesystem::path folder)
    : m_folder(std::move(folder)), m_socket(m_folder / std::string(kMutexName)) {}

SingleInstance::~SingleInstance() {
  if (m_listen >= 0) {
    ::close(m_listen);
    ::unlink(m_socket.c_str());
  }
  if (m_lock >= 0) ::close(m_lock);  // releases the lock
}

bool SingleInstance::Acquire() {
  if (!PrivateFolder(m_folder, m_message)) return true;
  const std::filesystem::path lockPath = m_folder / (std::string(kMutexName) + ".lock");
  m_lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (m_lock < 0) {
    m_message = lockPath.string() + ": " + std::strerror(errno);
    return true;
  }
  if (::flock(m_lock, LOCK_EX | LOCK_NB) != 0) {
    ::close(m_lock);
    m_lock = -1;
    return false;  // another instance holds it
  }
  sockaddr_un addr{};
  if (!MakeAddress(m_socket, addr)) {
    m_message = m_socket.string() + ": path too long for a local socket";
    return true;
  }
  // A socket file left by an instance that crashed is ours to replace: we
  // hold the lock.
  ::unlink(m_socket.c_str());
  m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(m_listen, 8) != 0) {
    m_message = m_socket.string() + ": " + std::strerror(errno);
    if (m_listen >= 0) ::close(m_listen);
    m_listen = -1;
  }
  return true;
}

int SingleInstance::HandOver(const std::vector<std::string>& switchNames) const {
  sockaddr_un addr{};
  if (!MakeAddress(m_socket, addr)) return ENAMETOOLONG;
  const Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) return errno;
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return errno;
  std::string message(kMagic);
  for (const std::string& name : switchNames) message += name + "\n";
  std::size_t sent = 0;
  while (sent < message.size()) {
    const ssize_t n = ::send(fd.get(), message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    sent += static_cast<std::size_t>(n);
  }
  return 0;
}

std::vector<std::vector<std::string>> SingleInstance::Receive(int timeoutMs) {
  std::vector<std::vector<std::string>> out;
  if (m_listen < 0) return out;
  pollfd p{m_listen, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) <= 0) return out;
  for (;;) {
    const Fd client(::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC));
    if (client.get() < 0) break;  // EAGAIN: nothing more waiting
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(client.get(), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::geteuid())
      continue;
    // The sender writes a few bytes and closes; a client that stalls is
    // given up after one second so the user interface never hangs on it.
    timeval tv{1, 0};
    ::setsockopt(client.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string message;
    char buffer[512];
    while (message.size() < kMaxMessage) {
      const ssize_t n = ::recv(client.get(), buffer, sizeof buffer, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      message.append(buffer, static_cast<std::size_t>(n));
    }
    if (message.compare(0, kMagic.size(), kMagic) != 0) continue;
    std::vector<std::string> names;
    std::size_t start = kMagic.size();
    while (start < message.size()) {
      std::size_t end = message.find('\n', start);
      if (end == std::string::npos) end = message.size();
      names.push_back(message.substr(start, end - start));
      start = end + 1;
    }
    out.push_back(std::move(names));
  }
  return out;
}

}  // namespace tessary
