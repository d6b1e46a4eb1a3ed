// The MySQL client library is one per process: it must be initialised once
// before the first connection and may be shut down only when no connection
// is left, whichever thread opens and closes them. A lease is one user of
// the library (one open connection): the first lease of the process
// initialises it, the last one released shuts it down, and a connection
// opened afterwards initialises it again.
#pragma once

class ClientLibraryLease {
 public:
  ClientLibraryLease() = default;
  ClientLibraryLease(const ClientLibraryLease&) = delete;
  ClientLibraryLease& operator=(const ClientLibraryLease&) = delete;
  ClientLibraryLease(ClientLibraryLease&& other) noexcept;
  ClientLibraryLease& operator=(ClientLibraryLease&& other) noexcept;
  ~ClientLibraryLease() { release(); }

  // Takes a share in the library, initialising it when nobody holds one;
  // true when held afterwards (also when it was held already), false when
  // the library could not be initialised.
  bool acquire();
  // Gives the share back; the last one shuts the library down. Nothing
  // happens when none is held.
  void release() noexcept;
  bool held() const { return m_held; }

  // Leases held in the process now.
  static int holders();

 private:
  bool m_held = false;
};
