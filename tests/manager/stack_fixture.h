// Tools of the server tests: a temporary installation root with the links to
// the real servers, free ports, minimal working templates, a recorder of
// notifications, a small HTTP client and the clean-up that ends every server
// a test left behind.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "manager/platform/process.h"
#include "manager/servers/server_base.h"
#include "support/test_env.h"

namespace stacktest {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// A TCP port of 127.0.0.1 that nothing listens on now (from the kernel's
// ephemeral range, so above 1024).
inline int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return 0;  // no port: the test using it fails visibly
  }
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

// A listener on 127.0.0.1:port held by this test program.
class Listener {
 public:
  explicit Listener(int port) {
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    m_ok = ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(m_fd, 8) == 0;
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  ~Listener() { ::close(m_fd); }
  bool ok() const { return m_ok; }

 private:
  int m_fd = -1;
  bool m_ok = false;
};

struct HttpReply {
  int status = 0;
  std::string body;
};

// GET http://127.0.0.1:port/path; status 0 when nothing answers.
inline HttpReply HttpGet(int port, const std::string& path) {
  HttpReply reply;
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  timeval tv{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return reply;
  }
  const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  if (::write(fd, request.data(), request.size()) < 0) {
    ::close(fd);
    return reply;
  }
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
  ::close(fd);
  if (text.rfind("HTTP/", 0) == 0 && text.size() > 12) reply.status = std::atoi(text.c_str() + 9);
  const auto bodyAt = text.find("\r\n\r\n");
  if (bodyAt != std::string::npos) reply.body = text.substr(bodyAt + 4);
  return reply;
}

// Runs a shell command; its exit code and output.
inline std::pair<int, std::string> Shell(const std::string& command) {
  std::string out;
  std::FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return {-1, out};
  char buf[1024];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int status = ::pclose(p);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// Every notification a server sent, in order.
class Recorder : public tessary::ServerNotify {
 public:
  struct Entry {
    std::string server;
    int value;
    std::string text;
  };
  void ServerNotification(tessary::ServerBase& server, int value, const std::string& text) override {
    entries.push_back({server.Name(), value, text});
  }
  int Count(int value) const {
    int n = 0;
    for (const auto& e : entries) n += e.value == value ? 1 : 0;
    return n;
  }
  std::string Lines(int value) const {
    std::string all;
    for (const auto& e : entries)
      if (e.value == value) all += e.text + "\n";
    return all;
  }
  std::vector<Entry> entries;
};

// Ticks the supervision every periodMs until done() holds; false on time-out.
inline bool TickUntil(tessary::ServerRegistry& registry, const std::function<bool()>& done, int timeoutMs,
                      int periodMs = 100) {
  const auto t0 = Clock::now();
  for (;;) {
    tessary::ServerBase::TimerProc(registry);
    if (done()) return true;
    if (MsSince(t0) > timeoutMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(periodMs));
  }
}

// Processes started from the installation root (their program lies below
// it) or working in it.
inline std::vector<pid_t> ProcessesOf(const fs::path& root) {
  std::vector<pid_t> pids;
  std::string base = root.string();
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  const std::string prefix = base + "/";
  for (const auto& e : tessary::platform::ListProcesses()) {
    if (e.pid == ::getpid()) continue;
    if (e.argv0.rfind(prefix, 0) == 0 || e.cwd.rfind(prefix, 0) == 0 || e.cwd == base) pids.push_back(e.pid);
  }
  return pids;
}

// The masters among them: those whose parent is not one of them.
inline std::size_t MastersOf(const fs::path& root) {
  const auto pids = ProcessesOf(root);
  std::size_t n = 0;
  for (const auto& e : tessary::platform::ListProcesses()) {
    if (std::find(pids.begin(), pids.end(), e.pid) == pids.end()) continue;
    if (std::find(pids.begin(), pids.end(), e.ppid) == pids.end()) ++n;
  }
  return n;
}

inline bool WaitGone(const fs::path& root, int timeoutMs) {
  const auto t0 = Clock::now();
  while (!ProcessesOf(root).empty()) {
    if (MsSince(t0) > timeoutMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Ends whatever a test left running below root.
inline void KillLeftovers(const fs::path& root) {
  for (int round = 0; round < 3; ++round) {
    const auto pids = ProcessesOf(root);
    if (pids.empty()) return;
    for (pid_t pid : pids) tessary::platform::KillProcessGroup(pid);
    WaitGone(root, 2000);
  }
}

inline std::string PhpModule() {
  for (const auto& e : fs::directory_iterator("/usr/lib/apache2/modules")) {
    const std::string n = e.path().filename().string();
    if (n.rfind("libphp", 0) == 0 && e.path().extension() == ".so") return e.path().string();
  }
  return "/usr/lib/apache2/modules/libphp.so";
}

// A web server template: the port in one Listen line, the installation in
// "${path}".
inline std::string HttpdTemplate(int port, const std::string& extra = {}) {
  const std::string mods = "/usr/lib/apache2/modules/";
  return "# web server of the tests\n"
         "ServerRoot \"${path}/Apache\"\n"
         "ServerName 127.0.0.1\n"
         "Listen 127.0.0.1:" +
         std::to_string(port) +
         "\n"
         "LoadModule mpm_prefork_module " +
         mods + "mod_mpm_prefork.so\n" + "LoadModule authz_core_module " + mods + "mod_authz_core.so\n" +
         "LoadModule dir_module " + mods + "mod_dir.so\n" + "LoadModule mime_module " + mods +
         "mod_mime.so\n" + "LoadModule php_module " + PhpModule() +
         "\n"
         "User nobody\nGroup nogroup\n"
         "PidFile logs/httpd.pid\nDefaultRuntimeDir logs\nErrorLog logs/error.log\n"
         "TypesConfig /etc/mime.types\n"
         "DocumentRoot \"${path}/www\"\n"
         "DirectoryIndex index.html index.php\n"
         "<FilesMatch \"\\.php$\">\n  SetHandler application/x-httpd-php\n</FilesMatch>\n"
         "StartServers 2\n" +
         extra;
}

inline std::string MyIniTemplate(int port) {
  const std::string p = std::to_string(port);
  return "# database server of the tests\n"
         "[mysqld]\n"
         "datadir=${path}/MySql/data\n"
         "socket=${path}/MySql/mysql.sock\n"
         "port=" +
         p +
         "\n"
         "bind-address=127.0.0.1\n"
         "pid-file=${path}/MySql/mysqld.pid\n"
         "log-error=${path}/MySql/error.log\n"
         "innodb_buffer_pool_size=16M\n"
         "innodb_log_file_size=8M\n"
         "skip-name-resolve\n"
         "[client]\n"
         "socket=${path}/MySql/mysql.sock\n"
         "port=" +
         p + "\n";
}

// A fresh installation root: the folders, the links to the servers, a start
// page and a PHP page. Ends with "/".
inline std::string MakeRoot(const std::string& tag) {
  const fs::path root = testenv::MakeTempFolder("tessary-" + tag);
  fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
  for (const char* d : {"Apache/conf", "Apache/logs", "MySql/bin", "conf_files", "www"})
    fs::create_directories(root / d);
  fs::create_symlink("/usr/sbin/apache2", root / "Apache/apache");
  fs::create_symlink("/usr/sbin/mariadbd", root / "MySql/bin/mysqld");
  fs::create_symlink("/usr/bin/mariadb-admin", root / "MySql/bin/mysqladmin");
  testenv::WriteFile(root / "www/index.html", "<html><body>Tessary start page</body></html>\n");
  testenv::WriteFile(root / "www/info.php", "<?php echo 'PHP says ' . (6 * 7); ?>\n");
  return root.string() + "/";
}

}  // namespace stacktest
