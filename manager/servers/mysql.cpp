#include "manager/servers/mysql.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "manager/platform/process.h"

namespace tessary {
namespace {

// Server programs looked for in the database folder's bin/, in this order.
constexpr std::array<const char*, 4> kServerPrograms = {"mysqld", "mysqld-nt", "mysqld-opt",
                                                        "mysqld-shareware"};

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t\r\n");
  std::string t = s.substr(b, e - b + 1);
  if (t.size() >= 2 && (t.front() == '"' || t.front() == '\'') && t.back() == t.front())
    t = t.substr(1, t.size() - 2);
  return t;
}

// The last lines of a file, at most maxLines of its last 4 KiB.
std::vector<std::string> TailLines(const std::string& path, std::size_t maxLines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  constexpr std::streamoff kTailBytes = 4096;
  in.seekg(size > kTailBytes ? size - kTailBytes : 0);
  std::vector<std::string> lines;
  std::string line;
  bool first = size > kTailBytes;  // the first line read may be cut
  while (std::getline(in, line)) {
    if (first) {
      first = false;
      continue;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  if (lines.size() > maxLines)
    lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(maxLines));
  return lines;
}

std::string HostName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return "localhost";
  return host;
}

}  // namespace

CMySql::CMySql(ServerRegistry& registry, const std::string& installRoot)
    : ServerBase(registry, installRoot, "MySQL", 3306), mysqlDir(installRoot + "MySql/") {
  FindProgram();
  SetConfFile(mysqlDir + "my.ini");
  SetConfTemplate(installRoot + "conf_files/my.ini");
  ReadConf();
  FindRunning();
}

void CMySql::FindProgram() {
  executable.clear();
  for (const char* program : kServerPrograms) {
    const std::string candidate = mysqlDir + "bin/" + program;
    std::error_code ec;
    if (std::filesystem::exists(candidate, ec)) {
      executable = candidate;
      break;
    }
  }
}

std::string CMySql::CommandLine() const {
  // The server runs as the user who runs the manager (root included), so
  // that no file of the installation needs another owner.
  return "\"" + executable + "\" --defaults-file=\"" + confFile + "\" --language=" + m_language +
         " --user=" + platform::CurrentUserName();
}

std::string CMySql::AdminShutdownCommand() const {
  // The client reads our option file, so that it addresses this server (its
  // socket and port) and no other one of the machine.
  return "\"" + mysqlDir + "bin/mysqladmin\" --defaults-file=\"" + confFile + "\" -u root shutdown";
}

int CMySql::ReadConf() {
  // The option file of a Linux stack names the port (the template holds it
  // in one place); the port test must look at that one.
  std::ifstream in(confFile);
  if (!in) return 0;
  std::string line;
  bool inServerSection = true;  // options before any section count
  int filePort = 0;
  std::string data;
  std::string errorLog;
  while (std::getline(in, line)) {
    const std::string t = Trim(line);
    if (t.empty() || t[0] == '#' || t[0] == ';') continue;
    if (t[0] == '[') {
      inServerSection = t == "[mysqld]" || t == "[server]" || t == "[mariadb]" || t == "[mariadbd]";
      continue;
    }
    if (!inServerSection) continue;
    const auto eq = t.find('=');
    if (eq == std::string::npos) continue;
    std::string key = Trim(t.substr(0, eq));
    for (char& c : key)
      if (c == '_') c = '-';
    const std::string value = Trim(t.substr(eq + 1));
    if (key == "datadir" && data.empty()) data = value;
    if (key == "log-error" && errorLog.empty()) errorLog = value;
    if (key == "port" && filePort == 0) filePort = std::atoi(value.c_str());
  }
  if (filePort > 0 && filePort < 65536) port = filePort;
  m_dataFolder = data;
  m_errorLog = errorLog;
  return 0;
}

std::string CMySql::ErrorLogPath() const {
  std::string folder = m_dataFolder.empty() ? mysqlDir + "data" : m_dataFolder;
  if (!folder.empty() && folder.back() == '/') folder.pop_back();
  if (m_errorLog.empty()) return folder + "/" + HostName() + ".err";
  if (m_errorLog[0] == '/') return m_errorLog;
  return folder + "/" + m_errorLog;
}

void CMySql::OnEnded(bool failed) {
  if (!failed) return;
  // Told in the manager's log: a bad option or a data folder in use shows
  // only in what the server wrote.
  const auto output = TailLines(OutputPath(), 20);
  if (!output.empty()) {
    OnStdout("The database server wrote:\n");
    for (const auto& line : output) OnStdout(line + "\n");
  }
  const std::string errorLog = ErrorLogPath();
  const auto tail = TailLines(errorLog, 10);
  if (!tail.empty()) {
    OnStdout("End of " + errorLog + ":\n");
    for (const auto& line : tail) OnStdout(line + "\n");
  }
}

bool CMySql::FindRunning() {
  pid_t found = 0;
  if (ScanProcess(executable, found)) {
    pi.pid = found;
    return true;
  }
  const std::string& data = m_dataFolder;
  if (data.empty()) return false;
  std::error_code ec;
  const std::string canonical = std::filesystem::weakly_canonical(data, ec).string();
  if (ec || canonical.empty()) return false;
  const auto list = platform::ListProcesses();
  const pid_t pid = platform::TopmostProcess(list, [&](const platform::ProcessEntry& e) {
    const std::string program = std::filesystem::path(e.exe).filename().string();
    return (program == "mariadbd" || program == "mysqld") && e.cwd == canonical;
  });
  if (pid == 0) return false;
  registry().Trace("MySql: the server %d works on %s: adopted", static_cast<int>(pid), canonical.c_str());
  pi.pid = pid;
  return true;
}

int CMySql::StartExe() {
  const std::string command = CommandLine();
  registry().Trace("CreateProcess \"%s\"", command.c_str());
  // The server's own words go to a file the supervision reads when the
  // server ends unasked; a new start begins it afresh.
  const int out = ::open(OutputPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  platform::LaunchPipes pipes;
  pipes.stdoutFd = out;
  pipes.stderrFd = out;
  pid_t pid = 0;
  const int rc = platform::Spawn(command, pipes, pid);
  if (out >= 0) ::close(out);
  if (rc != 0) {
    registry().Trace("CreateProcess fail %d \"%s\"", rc, command.c_str());
    return rc;
  }
  pi.pid = pid;
  return 0;
}

int CMySql::StopExe() {
  registry().Trace("MySqlSutdown event = MySQLShutdown%u", static_cast<unsigned>(pi.pid));
  if (platform::CanSignal(pi.pid) == 0) return platform::SendSignal(pi.pid, SIGTERM);
  registry().Trace("MySqlSutdown event open fail = %d", platform::CanSignal(pi.pid));
  return platform::LaunchDetached(AdminShutdownCommand());
}

int CMySql::Restart() {
  int rc = 0;
  if (serviceMode != 0) {
    platform::ServiceLayer* services = registry().services();
    if (services != nullptr && serviceHandle) {
      rc = services->Stop(name);
      if (rc == platform::kErrorServiceNotActive) rc = 0;
    }
  } else {
    rc = Stop();
    if (rc == 0) rc = Start();
  }
  restartPending = 1;
  return rc;
}

int CMySql::InstallService() { return RegisterService(CommandLine()); }

int CMySql::RemoveService() { return UnregisterService(); }

}  // namespace tessary
