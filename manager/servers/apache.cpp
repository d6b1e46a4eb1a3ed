#include "manager/servers/apache.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "manager/platform/process.h"

namespace tessary {
namespace {

// Longest value kept from the configuration (a path).
constexpr std::size_t kMaxPath = 259;
// Lines of the configuration are read in runs of at most this many characters.
constexpr std::size_t kMaxLine = 299;
// A server re-reads its files within this time of a hang-up; a stop sent
// meanwhile may be forgotten and is seen through by StopExe.
constexpr auto kHangupSettle = std::chrono::seconds(10);
// How long StopExe sees such a stop through before the ticks take over.
constexpr int kStopAfterHangupMs = 5000;

// A path quoted for the shell's single quotes.
std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

std::string ReadHead(const std::string& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string text(limit, '\0');
  in.read(text.data(), static_cast<std::streamsize>(limit));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// The value of a "Directive value" or "Directive "value"" line.
std::string DirectiveValue(const std::string& line, const char* directive) {
  std::size_t i = std::strlen(directive);
  if (i >= line.size() || (line[i] != ' ' && line[i] != '\t')) return {};
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  if (i < line.size() && line[i] == '"') {
    const auto end = line.find('"', i + 1);
    return end == std::string::npos ? std::string() : line.substr(i + 1, end - i - 1);
  }
  std::size_t end = i;
  while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r' && line[end] != '\n')
    ++end;
  return line.substr(i, end - i);
}

// The port of a "Listen [address:]port [protocol]" line; 0 when none.
int ListenPort(const std::string& line) {
  std::size_t i = std::strlen("Listen");
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  std::size_t end = i;
  while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r' && line[end] != '\n')
    ++end;
  std::string word = line.substr(i, end - i);
  const auto colon = word.rfind(':');
  if (colon != std::string::npos) word = word.substr(colon + 1);
  char* stop = nullptr;
  const long port = std::strtol(word.c_str(), &stop, 10);
  return port > 0 && port < 65536 && stop != nullptr && *stop == '\0' ? static_cast<int>(port) : 0;
}

}  // namespace

CApache::CApache(ServerRegistry& registry, const std::string& installRoot)
    : ServerBase(registry, installRoot, "Apache", 80), apacheDir(installRoot + "Apache/") {
  if (apacheDir.size() > kMaxPath) apacheDir.resize(kMaxPath);
  SetConfFile(apacheDir + "conf/httpd.conf");
  SetConfTemplate(installRoot + "conf_files/httpd.conf");
  executable = apacheDir + "apache";
  ReadConf();
  if (docRoot.empty()) docRoot = installRoot + "www";
  FindRunning();
}

CApache::~CApache() { m_runner.Stop(); }

std::string CApache::CommandLine(const std::string& switches) const {
  std::string dir = apacheDir;
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  // PHP inside the server reads the stack's own php.ini (PHPIniDir) and,
  // through PHP_INI_SCAN_DIR, the stack's own scan folder instead of the
  // system's conf.d: otherwise the system's extension lines load extensions
  // before ours, and the extensions dialog switches nothing. env hands over
  // to the server in the same process, so its pid stays the server's.
  return "\"/usr/bin/env\" \"PHP_INI_SCAN_DIR=" + PhpScanDir() + "\" \"" + executable + "\" -d \"" + dir +
         "\" -f \"" + confFile + "\" " + switches;
}

std::string CApache::PhpScanDir() const { return InstallRootPath() + "PHP/conf.d"; }

bool CApache::FindRunning() {
  // The runner's own child (the launcher of "-k start", which hands over to
  // the daemon and leaves) is not the server.
  const pid_t launcher = m_runner.IsActive() ? m_runner.childPid() : 0;
  // Only the master leads its process group: a worker left behind by a
  // master that was killed is no server to adopt (it serves its last
  // pages, and stopping it would not free the port). A master just handed
  // over by its launcher makes its own group a moment after the launcher
  // has gone, so a lone non-leader is looked at again for a short while.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
  for (;;) {
    const auto list = platform::ListProcesses();
    bool others = false;
    const pid_t pid = platform::TopmostProcess(list, [&](const platform::ProcessEntry& e) {
      if (e.pid == launcher || !platform::StartedAs(e, executable)) return false;
      if (e.pgid == e.pid) return true;
      others = true;
      return false;
    });
    if (pid != 0) {
      pi.pid = pid;
      return true;
    }
    if (!others || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int CApache::EndStrayWorkers() {
  const auto list = platform::ListProcesses();
  int ended = 0;
  for (const auto& e : list) {
    if (e.pgid == e.pid || !platform::StartedAs(e, executable)) continue;
    bool leaderAlive = false;
    for (const auto& other : list) leaderAlive = leaderAlive || other.pid == e.pgid;
    if (leaderAlive) continue;
    registry().Trace("Apache: workers of the ended master %d ended", static_cast<int>(e.pgid));
    if (platform::KillProcessGroup(e.pgid) == 0) ++ended;
  }
  return ended;
}

int CApache::ReadConf() {
  std::FILE* f = std::fopen(confFile.c_str(), "r");
  if (f == nullptr) return 0;
  bool portRuleSeen = false;  // the first line holding "Port" was seen
  int portByRule = 0;
  bool lineBeginsWithPort = false;
  int listenPort = 0;
  bool docSeen = false;
  std::string pidFile;
  std::string serverRoot;
  char buf[kMaxLine + 1];
  while (std::fgets(buf, sizeof buf, f) != nullptr) {
    const std::string line(buf);
    if (line.empty() || line[0] == '#') continue;
    if (!portRuleSeen && line.find("Port") != std::string::npos) {
      portRuleSeen = true;
      int value = 0;
      if (std::sscanf(buf, "Port %d", &value) != 1) value = 0;
      portByRule = value;
    }
    if (StartsWith(line, "Port")) lineBeginsWithPort = true;
    if (listenPort == 0 && StartsWith(line, "Listen")) listenPort = ListenPort(line);
    if (pidFile.empty() && StartsWith(line, "PidFile")) pidFile = DirectiveValue(line, "PidFile");
    if (serverRoot.empty() && StartsWith(line, "ServerRoot")) serverRoot = DirectiveValue(line, "ServerRoot");
    if (!docSeen && line.find("DocumentRoot") != std::string::npos) {
      docSeen = true;
      char value[kMaxLine + 1] = {0};
      if (std::sscanf(buf, "DocumentRoot \"%299s\"", value) == 1) {
        std::string doc(value);
        if (doc.size() > kMaxPath) doc.resize(kMaxPath);
        const auto quote = doc.find('"');
        if (quote != std::string::npos) doc.resize(quote);
        docRoot = doc;
      }
    }
  }
  std::fclose(f);
  // Apache 2.4 knows no Port directive: without a line beginning with Port
  // the first Listen line gives the port.
  if (lineBeginsWithPort || (portRuleSeen && listenPort == 0))
    port = portByRule;
  else if (listenPort != 0)
    port = listenPort;
  if (!pidFile.empty() && pidFile[0] != '/') {
    std::string base = serverRoot.empty() ? apacheDir : serverRoot;
    if (!base.empty() && base.back() != '/') base += '/';
    pidFile = base + pidFile;
  }
  m_pidFile = pidFile;
  return 0;
}

int CApache::StartExe() {
  // No copy of this server runs (Start looked for one) and its port is free,
  // so a pid file left behind is stale: a killed server's, whose number may
  // now belong to another program or a process not yet reaped. The server
  // would refuse to start, taking it for itself.
  if (!m_pidFile.empty() && ::access(m_pidFile.c_str(), F_OK) == 0) {
    registry().Trace("Apache: stale pid file %s removed", m_pidFile.c_str());
    ::unlink(m_pidFile.c_str());
  }
  const std::string command = CommandLine(ssl != 0 ? "-k start -D SSL" : "-k start");
  registry().Trace("StartChildProcess \"%s\"", command.c_str());
  const int rc = m_runner.StartChildProcess(command, false);
  if (rc != 0) {
    registry().Trace("StartChildProcess fail %d \"%s\"", rc, command.c_str());
    return rc;
  }
  m_launcher = m_runner.childPid();
  // "-k start" hands the server over to a daemon and leaves: once it has,
  // the daemon is the process to supervise. Wait for that at most 1.5 s.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  while (m_runner.IsActive() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  pi.pid = 0;
  FindRunning();
  registry().Trace("Apache::StartExe ScanProcess found pid=%u", static_cast<unsigned>(pi.pid));
  // Until the daemon has set up its signal handlers a restart (a hang-up)
  // would kill it: the start is complete once it catches them.
  WaitForHandlers(1500);
  return 0;
}

bool CApache::EndStart() {
  if (m_launcher == 0) return false;
  const pid_t launcher = m_launcher;
  m_launcher = 0;
  // The group outlives its leader while a member remains: a server forked
  // by a launcher that has already left, not yet in a group of its own, is
  // still in it (and while it is, no other process gets that number).
  const bool ended = platform::KillProcessGroup(launcher) == 0;
  m_runner.Stop();
  return ended;
}

bool CApache::WaitForHandlers(int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (pi.pid == 0 || platform::ProcessAlive(pi.pid) != 0) return false;
    if (platform::CatchesSignal(pi.pid, SIGHUP) && platform::CatchesSignal(pi.pid, SIGTERM)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int CApache::StopExe() {
  registry().Trace("Apache stop event: ap%d_shutdown", static_cast<int>(pi.pid));
  int result = 0;
  if (platform::CanSignal(pi.pid) == 0) {
    // A server still setting up would die of the signal without taking its
    // workers along: such a one is ended with its whole group.
    if (WaitForHandlers(1500)) {
      result = platform::SendSignal(pi.pid, SIGTERM);
    } else {
      result = platform::KillProcessGroup(pi.pid);
      if (result == 0) queueOutput("Apache was still setting up at the stop: ended\n");
    }
    if (result == 0 && m_hangupAt && std::chrono::steady_clock::now() - *m_hangupAt < kHangupSettle)
      SeeStopThrough(kStopAfterHangupMs);
  } else {
    registry().Trace("Apache::StopExe stop event fail : %d", platform::CanSignal(pi.pid));
    // The shutdown command of the Windows build is "-k stop" here.
    result = platform::LaunchDetached(CommandLine("-k stop"));
  }
  m_runner.Stop();
  return result;
}

void CApache::SeeStopThrough(int timeoutMs) const {
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::milliseconds(timeoutMs);
  auto nextSignal = start + std::chrono::milliseconds(100);
  while (platform::ProcessAlive(pi.pid) == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (std::chrono::steady_clock::now() >= nextSignal) {
      // A master already stopping ignores it.
      if (platform::CanSignal(pi.pid) == 0) platform::SendSignal(pi.pid, SIGTERM);
      nextSignal += std::chrono::milliseconds(100);
    }
  }
}

int CApache::Start() {
  if (state == Stopped && serviceMode == 0 && !FindRunning()) EndStrayWorkers();
  if (state == Stopped) m_launcher = 0;  // a refused start has none
  return ServerBase::Start();
}

int CApache::Restart() {
  if (state != Running) return 0;
  // A configuration the server would refuse must not take the running
  // server down: the checker's report goes to the owner instead.
  if (!VerifyConfFile()) return kErrorBadConfig;
  registry().Trace("Apache restart event: ap%d_restart", static_cast<int>(pi.pid));
  if (platform::CanSignal(pi.pid) == 0) {
    // A hang-up before the server handles it would end the server: one still
    // setting up is given a few seconds, then the restart is refused.
    if (!WaitForHandlers(5000)) return EBUSY;
    restartPending = 1;
    m_hangupAt = std::chrono::steady_clock::now();
    return platform::SendSignal(pi.pid, SIGHUP);
  }
  return platform::LaunchDetached(CommandLine("-k restart"));
}

int CApache::InstallService() {
  // The service layer runs its command as the daemon itself, so the server
  // stays in the foreground there.
  return RegisterService(CommandLine(ssl != 0 ? "-D FOREGROUND -D SSL" : "-D FOREGROUND"));
}

int CApache::RemoveService() { return UnregisterService(); }

bool CApache::VerifyConfFile() {
  if (m_verifying) return false;
  m_verifying = true;
  const std::string report = apacheDir + "chkap.txt";
  const std::string script = apacheDir + "chkap.sh";
  {
    std::ofstream out(script, std::ios::trunc);
    std::string dir = apacheDir;
    if (dir.size() > 1) dir.pop_back();
    out << ShellQuote(executable) << " -d " << ShellQuote(dir) << " -f " << ShellQuote(confFile) << " -t 2> "
        << ShellQuote(report) << "\n";
  }
  const std::string command = "/bin/sh \"" + script + "\"";
  pid_t pid = 0;
  bool result = true;
  std::string text;
  const int rc = platform::Spawn(command, platform::LaunchPipes{}, pid);
  if (rc != 0) {
    registry().Trace("CApache::VerifyConfFile CreateProcess fail %d \"%s\"", rc, command.c_str());
  } else {
    // The report is judged once the test has ended, so that a report caught
    // half written (a warning before "Syntax OK") cannot block a good start:
    // three polls of 300 ms, then at most 3 s more.
    bool ended = false;
    for (int poll = 0; poll < 3 && !ended; ++poll) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      ended = platform::ReapIfEnded(pid);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(3000);
    while (!ended && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      ended = platform::ReapIfEnded(pid);
    }
    if (!ended) {
      registry().Trace("VerifyConfFile : WaitForSingleObject timeout for pid %u", static_cast<unsigned>(pid));
      platform::KillProcessGroup(pid);
    }
    text = ReadHead(report, 2000);
    if (text.size() >= 10) {
      const auto lastLf = text.rfind('\n');
      if (lastLf != std::string::npos) text.resize(lastLf);
      result = text.find("Syntax OK") != std::string::npos;
    }
  }
  ::unlink(report.c_str());
  ::unlink(script.c_str());
  if (!result) Notify(kNotifyBadConfig, text);
  m_verifying = false;
  return result;
}

}  // namespace tessary
