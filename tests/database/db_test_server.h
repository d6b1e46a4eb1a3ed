// The tests' private MariaDB server (started by scripts/test-mariadb through
// the CTest fixture "mariadb"): a fixture that points every connection of the
// program at it and starts each test from a server without the program's
// account and database, and a root connection of the test's own that checks
// what the program wrote without going through the code under test.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "database/detail/client_library.h"
#include "database/detail/mysql_handles.h"
#include "support/scripted_frontend.h"
#include "support/test_env.h"

namespace dbtest {

// The socket and port written by "scripts/test-mariadb start", read from the
// env file of the server that belongs to this test run: the file named by
// MORVANE_DB_ENV, or else the one the fixture wrote for the ctest running
// this program below the folder MORVANE_DB_DIR (set by CTest). Two test runs
// in one build folder have a server each.
struct ServerAddress {
  std::string socket;
  std::string port;
};
std::string PrivateServerEnvFile();
std::optional<ServerAddress> PrivateServer();

using Row = std::vector<std::optional<std::string>>;

// Root access to the private server over its socket. Each call opens and
// closes its own connection and holds a share in the client library while it
// is open, as the program shuts the library down whenever its last
// connection closes.
class RootConnection {
 public:
  explicit RootConnection(const ServerAddress& server) : m_server(server) {}
  // True when the server accepts root.
  bool ok();
  // Runs a statement; the server's error text, or empty on success.
  std::string exec(const std::string& statement);
  // All rows of a SELECT (empty on error; the error is recorded by gtest).
  std::vector<Row> rows(const std::string& statement);
  // The single value of a SELECT, or nothing.
  std::optional<std::string> value(const std::string& statement);

 private:
  struct Session {
    ClientLibraryLease library;  // declared first: released after the handle closed
    MysqlHandle handle;
  };
  Session connect(std::string& error);
  ServerAddress m_server;
};

// A test with a fresh program folder, a scripted frontend, and the program's
// connections going to the private server, which holds neither the program's
// account nor the database "plant" when the test starts.
class ServerTest : public testenv::HomeTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Root connection of the test (valid after SetUp).
  RootConnection& root() { return *m_root; }
  // Account, database and tables as the first import leaves them.
  void setUpPlant();

  FRONTEND::ScriptedFrontend script;
  ServerAddress server;

 private:
  std::optional<RootConnection> m_root;
};

}  // namespace dbtest
