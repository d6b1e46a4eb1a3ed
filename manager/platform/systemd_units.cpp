#include "manager/platform/systemd_units.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "manager/platform/process.h"

extern char** environ;

namespace tessary::platform {
namespace {

constexpr std::size_t kOutputBound = 4096;
constexpr auto kSystemctlTimeout = std::chrono::seconds(15);

// One word of ExecStart: between double quotes, where a backslash and a
// quote are escaped, "%" starts a specifier and "$" a variable.
std::string UnitWord(const std::string& word) {
  std::string q = "\"";
  for (const char c : word) {
    if (c == '\\' || c == '"')
      q += '\\';
    else if (c == '%' || c == '$')
      q += c;
    q += c;
  }
  return q + "\"";
}

}  // namespace

std::string UnitName(const std::string& service) { return "tessary-" + service + ".service"; }

std::filesystem::path UserUnitFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::filesystem::path(config) / "systemd" / "user";
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : "/tmp") / ".config" / "systemd" / "user";
}

std::string UnitFileText(const std::string& service, const std::string& commandLine) {
  const auto words = SplitCommandLine(commandLine);
  if (words.empty()) return {};
  std::string exec;
  for (const std::string& w : words) {
    for (const char c : w)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return {};
    exec += (exec.empty() ? "" : " ") + UnitWord(w);
  }
  return "# Written by Tessary for its service " + service +
         "; removed with the service.\n"
         "[Unit]\n"
         "Description=Tessary " +
         service +
         " server\n"
         "\n"
         "[Service]\n"
         "Type=simple\n"
         "ExecStart=" +
         exec +
         "\n"
         "Restart=on-failure\n"
         "\n"
         "[Install]\n"
         "WantedBy=default.target\n";
}

int Systemctl(const std::vector<std::string>& args, std::string* out) {
  std::vector<std::string> words = {"systemctl", "--user"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return -1;
  SpawnActions fa;
  posix_spawn_file_actions_addopen(&fa.actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&fa.actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&fa.actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int err = posix_spawnp(&pid, "systemctl", &fa.actions, nullptr, argv.data(), environ);
  ::close(fds[1]);
  if (err != 0) {
    ::close(fds[0]);
    return -1;
  }
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + kSystemctlTimeout;
  bool timedOut = false;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[512];
    const ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    if (text.size() < kOutputBound)
      text.append(buf, std::min(static_cast<std::size_t>(n), kOutputBound - text.size()));
  }
  ::close(fds[0]);
  if (timedOut) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (out != nullptr) *out = text;
  if (timedOut || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

bool UserSystemdRuns() {
  std::string state;
  Systemctl({"is-system-running"}, &state);
  return state == "running" || state == "degraded" || state == "starting" || state == "initializing";
}

}  // namespace tessary::platform
