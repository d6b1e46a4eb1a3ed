#include "db_test_server.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "database/database_setup.h"
#include "database/kw_mysql.h"

namespace dbtest {

namespace {

const char* envValue(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? v : nullptr;
}

}  // namespace

std::string PrivateServerEnvFile() {
  if (const char* file = envValue("MORVANE_DB_ENV")) return file;
  // CTest runs the test program itself, so its parent is the ctest that ran
  // the fixture and owns the server.
  if (const char* runs = envValue("MORVANE_DB_DIR"))
    return std::string(runs) + "/run-" + std::to_string(::getppid()) + "/env";
  return "";
}

std::optional<ServerAddress> PrivateServer() {
  const std::string envFile = PrivateServerEnvFile();
  if (envFile.empty()) return std::nullopt;
  std::ifstream in(envFile);
  ServerAddress a;
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    if (key == dbparam::kSocketVariable) a.socket = line.substr(eq + 1);
    if (key == dbparam::kPortVariable) a.port = line.substr(eq + 1);
  }
  if (a.socket.empty() || a.port.empty()) return std::nullopt;
  return a;
}

RootConnection::Session RootConnection::connect(std::string& error) {
  Session s;
  if (s.library.acquire()) s.handle.reset(mysql_init(nullptr));
  if (s.handle == nullptr) {
    error = "mysql_init failed";
    return s;
  }
  MYSQL* h = s.handle.get();
  mysql_options(h, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (mysql_real_connect(h, "localhost", "root", "", nullptr, 0, m_server.socket.c_str(), 0) == nullptr) {
    error = std::string("root connection to the private server failed: ") + mysql_error(h);
    s.handle.reset();
  }
  return s;
}

bool RootConnection::ok() {
  std::string error;
  const Session s = connect(error);
  if (s.handle == nullptr) ADD_FAILURE() << error;
  return s.handle != nullptr;
}

std::string RootConnection::exec(const std::string& statement) {
  std::string error;
  const Session s = connect(error);
  const MysqlHandle& h = s.handle;
  if (h == nullptr) return error;
  if (mysql_real_query(h.get(), statement.data(), static_cast<unsigned long>(statement.size())) != 0)
    return mysql_error(h.get());
  const MysqlResult r(mysql_store_result(h.get()));
  return "";
}

std::vector<Row> RootConnection::rows(const std::string& statement) {
  std::vector<Row> out;
  std::string error;
  const Session s = connect(error);
  const MysqlHandle& h = s.handle;
  if (h == nullptr) {
    ADD_FAILURE() << error;
    return out;
  }
  if (mysql_real_query(h.get(), statement.data(), static_cast<unsigned long>(statement.size())) != 0) {
    ADD_FAILURE() << statement << ": " << mysql_error(h.get());
    return out;
  }
  // The result goes before the connection.
  {
    const MysqlResult r(mysql_store_result(h.get()));
    if (r == nullptr) return out;
    const unsigned int n = mysql_num_fields(r.get());
    while (MYSQL_ROW cells = mysql_fetch_row(r.get())) {
      const unsigned long* lengths = mysql_fetch_lengths(r.get());
      Row row;
      for (unsigned int i = 0; i < n; ++i) {
        if (cells[i] == nullptr)
          row.emplace_back(std::nullopt);
        else
          row.emplace_back(std::string(cells[i], lengths[i]));
      }
      out.push_back(std::move(row));
    }
  }
  return out;
}

std::optional<std::string> RootConnection::value(const std::string& statement) {
  const auto r = rows(statement);
  if (r.size() != 1 || r[0].size() != 1) return std::nullopt;
  return r[0][0];
}

void ServerTest::SetUp() {
  testenv::HomeTest::SetUp();
  const auto address = PrivateServer();
  if (!address) {
    if (std::getenv("CI") != nullptr)
      FAIL() << "the private MariaDB server is missing in CI (" << PrivateServerEnvFile() << ")";
    GTEST_SKIP() << "no private MariaDB server; run through ctest (fixture mariadb)";
  }
  server = *address;
  // Every connection of the program goes to the private server, never to
  // one the test did not start.
  ::unsetenv(dbparam::kHostVariable);
  ::setenv(dbparam::kSocketVariable, server.socket.c_str(), 1);
  ::setenv(dbparam::kPortVariable, server.port.c_str(), 1);
  m_root.emplace(server);
  ASSERT_TRUE(m_root->ok());
  ASSERT_EQ(m_root->exec("DROP DATABASE IF EXISTS plant"), "");
  ASSERT_EQ(m_root->exec("DROP DATABASE IF EXISTS other"), "");
  ASSERT_EQ(m_root->exec("DROP USER IF EXISTS 'Morvane'@'localhost'"), "");
  ASSERT_EQ(m_root->exec("DROP USER IF EXISTS 'Morvane'@'%'"), "");
}

void ServerTest::TearDown() {
  m_root.reset();
  ::unsetenv(dbparam::kSocketVariable);
  ::unsetenv(dbparam::kPortVariable);
  testenv::HomeTest::TearDown();
}

void ServerTest::setUpPlant() {
  ASSERT_EQ(FirstTimeSetUp(script, ""), 1);
  script.shown.clear();
}

}  // namespace dbtest
