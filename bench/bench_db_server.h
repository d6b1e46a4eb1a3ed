// A private MariaDB server for a database benchmark, in a program folder of
// its own below the temporary folder, with the program's database and
// account set up. Without MORVANE_DB_SOCKET set, it starts the server
// through scripts/test-mariadb, owned by this process (so it is stopped also
// when the benchmark is killed), and stops it at the end.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "database/database_setup.h"
#include "database/kw_sql.h"
#include "support/scripted_frontend.h"

class BenchDbServer {
 public:
  // name prefixes the folder and the messages.
  explicit BenchDbServer(std::string name) : m_name(std::move(name)) {
    m_home =
        std::filesystem::temp_directory_path() / ("morvane-" + m_name + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(m_home);
    ::setenv("MORVANE_HOME", m_home.c_str(), 1);
    if (std::getenv(dbparam::kSocketVariable) == nullptr) {
      m_dir = m_home / "server";
      if (std::system(serverCommand("start").c_str()) != 0) {
        std::fprintf(stderr, "%s: the private server did not start\n", m_name.c_str());
        return;
      }
      std::ifstream env(m_dir / ("run-" + std::to_string(::getpid())) / "env");
      std::string line;
      while (std::getline(env, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) ::setenv(line.substr(0, eq).c_str(), line.substr(eq + 1).c_str(), 1);
      }
    }
    m_ready = FirstTimeSetUp(m_script, "") == 1;
    if (!m_ready) std::fprintf(stderr, "%s: the set-up as root failed\n", m_name.c_str());
  }
  BenchDbServer(const BenchDbServer&) = delete;
  BenchDbServer& operator=(const BenchDbServer&) = delete;
  ~BenchDbServer() {
    if (!m_dir.empty() && std::system(serverCommand("stop").c_str()) != 0)
      std::fprintf(stderr, "%s: stopping the server failed\n", m_name.c_str());
    std::error_code ec;
    std::filesystem::remove_all(m_home, ec);
  }
  bool ready() const { return m_ready; }
  const std::filesystem::path& home() const { return m_home; }

 private:
  // "scripts/test-mariadb start|stop DIR PID" for a server owned by this
  // process (the shell that std::system starts ends at once).
  std::string serverCommand(const char* action) const {
    return std::string(MORVANE_SOURCE_DIR) + "/scripts/test-mariadb " + action + " " + m_dir.string() + " " +
           std::to_string(::getpid());
  }

  std::string m_name;
  FRONTEND::ScriptedFrontend m_script;
  std::filesystem::path m_home;
  std::filesystem::path m_dir;
  bool m_ready = false;
};
