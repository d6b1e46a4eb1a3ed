// One manager per user. The first instance holds a lock on the file
// "TessaryMutex.lock" and listens on the local socket "TessaryMutex", both
// in the user's runtime folder; a second launch finds the lock taken, hands
// its switches to the first through the socket and ends.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

inline constexpr std::string_view kMutexName = "TessaryMutex";

// $XDG_RUNTIME_DIR when it is set, else /tmp/tessary-<uid> (made private
// to the user).
std::filesystem::path RuntimeFolder();

class SingleInstance {
 public:
  explicit SingleInstance(std::filesystem::path folder = RuntimeFolder());
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when this process is the first instance (it then keeps the lock
  // and listens for hand-overs until destroyed). A folder or lock that
  // cannot be used makes this process a first instance without hand-over,
  // so the manager still runs; message() says why (the caller traces it).
  bool Acquire();

  // Second instance: sends the switch names to the first. 0, or the system
  // error when no first instance listens (the caller still ends with 0).
  int HandOver(const std::vector<std::string>& switchNames) const;

  // First instance: the descriptor that becomes readable when a second
  // launch connects (-1 without hand-over), for a frontend's event loop.
  int listenDescriptor() const { return m_listen; }

  // First instance: takes the hand-overs waiting now, waiting at most
  // timeoutMs for a first one (0: no wait). Each gives the switch names of
  // one later launch (possibly none: bring the window to the front).
  std::vector<std::vector<std::string>> Receive(int timeoutMs);

  const std::string& message() const { return m_message; }
  const std::filesystem::path& socketPath() const { return m_socket; }

 private:
  std::filesystem::path m_folder;
  std::filesystem::path m_socket;
  int m_lock = -1;
  int m_listen = -1;
  std::string m_message;
};

}  // namespace tessary
