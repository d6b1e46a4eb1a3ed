#include "manager/servers/server_base.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "manager/config/conf_files.h"
#include "manager/config/manager_log.h"
#include "manager/platform/process.h"

namespace tessary {
namespace {

// Output lines are cut at this width (the width of the log list).
constexpr std::size_t kOutputPiece = 55;
// Lines waiting for delivery; beyond this the output is counted, not kept.
constexpr std::size_t kOutputQueueBound = 500;

}  // namespace

// ---------------------------------------------------------------- registry

bool ServerRegistry::Add(ServerBase* server) {
  for (auto& slot : m_slots) {
    if (slot == nullptr) {
      slot = server;
      return true;
    }
  }
  return false;
}

void ServerRegistry::Remove(ServerBase* server) {
  for (auto& slot : m_slots)
    if (slot == server) slot = nullptr;
}

void ServerRegistry::Trace(const char* format, ...) const {
  char line[1025];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (m_trace)
    m_trace(line);
  else
    tessary::Trace("%s", line);
}

// ---------------------------------------------------------------- server

ServerBase::ServerBase(ServerRegistry& registry, std::string installRoot, std::string serverName,
                       int serverPort)
    : port(serverPort),
      name(std::move(serverName)),
      m_registry(registry),
      m_installRoot(std::move(installRoot)) {
  if (name.size() > 29) name.resize(29);
  m_registry.Add(this);
  openService();
}

ServerBase::~ServerBase() { m_registry.Remove(this); }

void ServerBase::SetConfFile(const std::string& path) {
  confFile = path;
  confFileTime = platform::FileWriteTime(path);
}

void ServerBase::SetConfTemplate(const std::string& path) {
  confTemplate = path;
  confTemplateTime = platform::FileWriteTime(path);
}

bool ServerBase::openService() {
  platform::ServiceLayer* services = m_registry.services();
  if (services == nullptr || !services->Open(name)) return false;
  serviceHandle = name;
  return true;
}

void ServerBase::Notify(int value, const std::string& text) {
  if (notifyWindow != nullptr) notifyWindow->ServerNotification(*this, value, text);
}

bool ServerBase::ScanProcess(const std::string& exePath, pid_t& outPid, std::string* foundPath) const {
  if (exePath.empty()) {
    m_registry.Trace("ScanProcess error. %s has no executable", name.c_str());
    return false;
  }
  const auto list = platform::ListProcesses();
  const pid_t pid = platform::TopmostProcess(
      list, [&](const platform::ProcessEntry& e) { return platform::StartedAs(e, exePath); });
  if (pid == 0) return false;
  outPid = pid;
  if (foundPath != nullptr) {
    for (const auto& e : list)
      if (e.pid == pid) *foundPath = e.comm;
  }
  return true;
}

bool ServerBase::FindRunning() {
  pid_t found = 0;
  if (!ScanProcess(executable, found)) return false;
  pi.pid = found;
  return true;
}

int ServerBase::Start() {
  if (state != Stopped) return 0;
  m_lastRefusal.clear();
  if (!VerifyConfFile()) {
    m_registry.Trace("%s VerifyConfFile fail...", name.c_str());
    DeliverOutput();
    return 0;
  }
  state = Starting;
  // The live file may have been regenerated since it was last read (a new
  // port): the port test and the start use what it says now.
  ReadConf();
  confFileTime = platform::FileWriteTime(confFile);
  confTemplateTime = platform::FileWriteTime(confTemplate);
  if (serviceMode == 0) {
    if (FindRunning()) {
      // A copy of this server already runs on this installation: adopt it
      // rather than start a second one; the next tick marks it Running.
      m_registry.Trace("%s ServerBase::Start ScanProcess -> %d", name.c_str(), static_cast<int>(pi.pid));
      return 0;
    }
    if (m_registry.checkServerPorts && IsPortInUse(port)) {
      const std::string holder = platform::PortHolder(port);
      m_lastRefusal = "Port " + std::to_string(port) + " is used by " +
                      (holder.empty() ? std::string("another program") : holder);
      queueOutput(m_lastRefusal + "\n");
      DeliverOutput();
      return kErrorAddressInUse;
    }
    const int rc = StartExe();
    DeliverOutput();
    return rc;
  }
  platform::ServiceLayer* services = m_registry.services();
  if (!serviceHandle && !openService()) return platform::kErrorServiceDoesNotExist;
  int rc = services->Start(name);
  if (rc == platform::kErrorServiceAlreadyRunning) rc = 0;
  pi.pid = services->Pid(name);
  if (pi.pid == 0) FindRunning();
  return rc;
}

int ServerBase::Stop() {
  int result = 0;
  if (state == Starting && serviceMode == 0 && pi.pid == 0) stopStartUnderWay();
  // A server not yet seen Running by a tick is stopped all the same.
  const bool started = state == Running || (state == Starting && (serviceMode != 0 || pi.pid != 0));
  if (started) {
    if (serviceMode != 0) {
      platform::ServiceLayer* services = m_registry.services();
      if (services != nullptr && (serviceHandle || openService())) {
        result = services->Stop(name);
        if (result == platform::kErrorServiceNotActive) result = 0;
      }
    } else {
      result = StopExe();
    }
    if (result == 0) {
      state = Stopping;
      m_stopTicks = 0;
    }
  }
  restartPending = 0;
  DeliverOutput();
  return result;
}

void ServerBase::stopStartUnderWay() {
  // A stop (a quit) right after a start must never leave the server the
  // start hands over to running with nobody watching it: wait for that
  // server, which the stop then reaches like any other.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopStartWaitMs);
  for (;;) {
    // Asked before the scan, as in the tick: a start that hands over during
    // the scan has its server in the process list by the time it stops
    // being under way. Asked after it, a hand-over between the two would
    // pass for a start that came to nothing.
    const bool underWay = StartUnderWay();
    if (FindRunning() || !underWay || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (pi.pid != 0 || !EndStart()) return;
  // Not handed over in time (a slow or stuck launcher): the start is ended
  // rather than left to bring a server up after the stop. A server that
  // left the launcher's group before that is a process of its own, which
  // the scan now finds and the stop ends.
  m_registry.Trace("%s was still starting when asked to stop: its start was ended", name.c_str());
  queueOutput(name + " was still starting at the stop: ended\n");
  if (FindRunning()) return;
  state = Stopping;  // nothing left: the next tick sees it Stopped
  m_stopTicks = 0;
}

int ServerBase::Kill() {
  if (serviceMode != 0) return 0;
  state = Stopping;
  m_stopTicks = 0;
  if (pi.pid == 0) FindRunning();
  if (pi.pid == 0) return 0;
  const int rc = platform::KillProcessGroup(pi.pid);
  if (rc != 0) return rc;
  pi.pid = 0;
  return 0;
}

int ServerBase::RegisterService(const std::string& commandLine) {
  platform::ServiceLayer* services = m_registry.services();
  if (services != nullptr && services->Install(name, commandLine) == 0) {
    openService();
    return 0;
  }
  // Registration failed or was there already: usable when it can be opened.
  serviceHandle.reset();
  ::usleep(200 * 1000);
  return openService() ? 0 : 2;
}

int ServerBase::UnregisterService() {
  serviceHandle.reset();
  platform::ServiceLayer* services = m_registry.services();
  if (services == nullptr) return 0;
  const int rc = services->Remove(name);
  return rc == platform::kErrorServiceDoesNotExist ? 0 : rc;
}

bool ServerBase::SetServiceMode(bool on) {
  if (state != Stopped) return false;
  serviceMode = on ? 1 : 0;
  return true;
}

void ServerBase::TimerProc(ServerRegistry& registry) {
  // Notifications 0 and 3 are posted: they reach the owner once every server
  // has been looked at, so that a handler restarting a server does not run
  // in the middle of the tick.
  std::vector<std::pair<ServerBase*, int>> posted;
  for (std::size_t i = 0; i < ServerRegistry::kSlots; ++i)
    if (ServerBase* s = registry.Slot(i)) s->tick(posted);
  for (std::size_t i = 0; i < ServerRegistry::kSlots; ++i)
    if (ServerBase* s = registry.Slot(i)) s->DeliverOutput();
  for (const auto& [server, value] : posted) server->Notify(value);
  for (std::size_t i = 0; i < ServerRegistry::kSlots; ++i)
    if (ServerBase* s = registry.Slot(i); s != nullptr && s->m_restartDue) s->restartAfterCrash();
}

void ServerBase::restartAfterCrash() {
  m_restartDue = false;
  if (state != Stopped) return;  // the owner started or stopped it meanwhile
  if (!m_crashRestarts.Allow(CrashRestartPolicy::Clock::now())) {
    Notify(kNotifyAutoRestart, name + " is not restarted again: it ended " +
                                   std::to_string(CrashRestartPolicy::kMaxRestarts + 1) + " times within " +
                                   std::to_string(CrashRestartPolicy::kWindow.count()) + " s");
    return;
  }
  const int restart = m_crashRestarts.Recent();
  const int rc = Start();
  std::string text = name + " restarted after its unexpected end (restart " + std::to_string(restart) +
                     " of " + std::to_string(CrashRestartPolicy::kMaxRestarts) + " within " +
                     std::to_string(CrashRestartPolicy::kWindow.count()) + " s)";
  if (rc != 0 || state == Stopped)
    text = name + " could not be restarted after its unexpected end (error " + std::to_string(rc) + ")";
  Notify(kNotifyAutoRestart, text);
}

void ServerBase::tick(std::vector<std::pair<ServerBase*, int>>& posted) {
  // 1. State.
  platform::ServiceLayer* services = m_registry.services();
  if (serviceMode != 0 && serviceHandle && services != nullptr) {
    switch (services->QueryState(name)) {
      case platform::kServiceStopped:
        state = Stopped;
        pi = {};
        break;
      case platform::kServiceStartPending:
        state = Starting;
        break;
      case platform::kServiceStopPending:
        state = Stopping;
        break;
      case platform::kServiceRunning:
        state = Running;
        if (pi.pid == 0) {
          pi.pid = services->Pid(name);
          if (pi.pid == 0) FindRunning();
        }
        break;
      default:
        break;
    }
  } else {
    bool ended = false;
    bool handingOver = false;
    if (pi.pid == 0) {
      // A start whose process was not found in time may still come up: look
      // once more, and wait while the start hands over, so that a server the
      // manager started is never left running unknown to it.
      // Asked before the scan: a start that hands over during the scan has
      // its server in the process list by the time it stops being under way.
      const bool underWay = state == Starting && StartUnderWay();
      if (state == Starting && !FindRunning()) {
        handingOver = underWay;
        ended = !handingOver;
      } else if (state != Starting) {
        ended = true;
      }
    } else if (const int err = platform::ProcessAlive(pi.pid); err != 0) {
      m_registry.Trace("ServerBase::TimerProc : GetProcessVersion %s (pid: %u) error %d", name.c_str(),
                       static_cast<unsigned>(pi.pid), err);
      ended = true;
    }
    if (handingOver) {
      // still Starting
    } else if (!ended) {
      // A restart in place (the same process re-reading its files) is over
      // once the process is seen alive again; a later end is a crash.
      if (state == Running) restartPending = 0;
      if (state != Stopping)
        state = Running;
      else
        pressStop();
    } else {
      const bool unexpected = state == Running && restartPending == 0;
      if (pi.pid != 0) {
        // Whatever the ended process started (a web server's workers, which
        // keep its port) goes with it.
        platform::KillProcessGroup(pi.pid);
        OnEnded(unexpected || state == Starting);
      }
      if (unexpected && notifyWindow != nullptr) posted.emplace_back(this, kNotifyUnexpectedEnd);
      m_restartDue = unexpected && m_autoRestart && serviceMode == 0;
      pi = {};
      state = Stopped;
    }
  }

  // 2. Template watch, in every state.
  if (!confTemplate.empty()) {
    const std::int64_t t = platform::FileWriteTime(confTemplate);
    if (t != 0 && t != confTemplateTime) {
      GenerateConfFile(TimerSubstitution(m_installRoot), confTemplate, confFile, '#');
      confTemplateTime = t;
    }
  }

  // 3. Live configuration watch.
  if (state == Running && autoReload != 0) {
    const std::int64_t t = platform::FileWriteTime(confFile);
    if (t != 0 && t != confFileTime) {
      ReadConf();
      posted.emplace_back(this, kNotifyConfChanged);
      confFileTime = t;
    }
  }
}

void ServerBase::pressStop() {
  if (++m_stopTicks < kStopTicksBeforeKill) {
    // Sent again on every tick: a server that has begun to stop ignores it,
    // one that lost the first one (it came while the server re-read its
    // files on a restart, and the new generation cleared it) stops now.
    if (platform::CanSignal(pi.pid) == 0) platform::SendSignal(pi.pid, SIGTERM);
    return;
  }
  if (m_stopTicks > kStopTicksBeforeKill) return;  // ended once: the next ticks see it gone
  m_registry.Trace("%s (pid %d) ignored its stop: its process group is ended", name.c_str(),
                   static_cast<int>(pi.pid));
  queueOutput(name + " did not stop within " + std::to_string(kStopTimeoutMs / 1000) + " s: ended\n");
  platform::KillProcessGroup(pi.pid);
}

void ServerBase::OnStdout(const std::string& text) { queueOutput(text); }
void ServerBase::OnStderr(const std::string& text) { queueOutput(text); }

void ServerBase::queueOutput(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_outputMutex);
  auto push = [this](std::string line) {
    if (line.empty()) return;
    if (m_output.size() >= kOutputQueueBound) {
      ++m_droppedLines;
      return;
    }
    m_output.push_back(std::move(line));
  };
  std::string& piece = m_partialLine;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      push(piece);
      piece.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;  // the character after it
      continue;
    }
    piece += c;
    if (piece.size() == kOutputPiece) {
      push(piece);
      piece.clear();
    }
  }
}

void ServerBase::DeliverOutput() {
  std::deque<std::string> lines;
  std::size_t dropped = 0;
  {
    std::lock_guard<std::mutex> lock(m_outputMutex);
    // A rest without a line end is sent last (it may be a prompt or the last
    // words before an end).
    if (!m_partialLine.empty()) {
      if (m_output.size() < kOutputQueueBound)
        m_output.push_back(m_partialLine);
      else
        ++m_droppedLines;
      m_partialLine.clear();
    }
    lines.swap(m_output);
    dropped = m_droppedLines;
    m_droppedLines = 0;
  }
  for (const auto& line : lines) Notify(kNotifyOutputLine, line);
  if (dropped > 0) Notify(kNotifyOutputLine, std::to_string(dropped) + " more output lines were not shown");
}

bool IsPortInUse(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
  if (!connected && errno == EINPROGRESS) {
    // A listener whose queue is full never answers: give it two seconds
    // rather than freezing the window.
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, 2000) == 1) {
      int err = 0;
      socklen_t len = sizeof err;
      connected = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
    }
  }
  ::close(fd);
  return connected;
}

}  // namespace tessary
