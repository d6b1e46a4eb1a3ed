#include "database/detail/client_library.h"

#include <mysql.h>

#include <mutex>
#include <utility>

namespace {

// The one count of the process, as the client library is one per process;
// only the functions below touch it, under its mutex.
struct LibraryUsers {
  std::mutex mutex;
  int count = 0;
};

LibraryUsers& users() {
  static LibraryUsers instance;
  return instance;
}

}  // namespace

ClientLibraryLease::ClientLibraryLease(ClientLibraryLease&& other) noexcept
    : m_held(std::exchange(other.m_held, false)) {}

ClientLibraryLease& ClientLibraryLease::operator=(ClientLibraryLease&& other) noexcept {
  if (this != &other) {
    release();
    m_held = std::exchange(other.m_held, false);
  }
  return *this;
}

bool ClientLibraryLease::acquire() {
  if (m_held) return true;
  LibraryUsers& u = users();
  const std::lock_guard<std::mutex> lock(u.mutex);
  if (u.count == 0 && mysql_library_init(0, nullptr, nullptr) != 0) {
    // Whatever the failed start set up goes again.
    mysql_library_end();
    return false;
  }
  ++u.count;
  m_held = true;
  return true;
}

void ClientLibraryLease::release() noexcept {
  if (!m_held) return;
  m_held = false;
  LibraryUsers& u = users();
  const std::lock_guard<std::mutex> lock(u.mutex);
  if (--u.count == 0) mysql_library_end();
}

int ClientLibraryLease::holders() {
  LibraryUsers& u = users();
  const std::lock_guard<std::mutex> lock(u.mutex);
  return u.count;
}
