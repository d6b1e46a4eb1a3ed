// Supervision of the local servers: what the manager knows about each one,
// how it starts and stops them (as child processes or as services), and the
// 700 ms tick that keeps their states up to date and reports to the owner.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "manager/platform/service.h"
#include "manager/servers/restart_policy.h"

namespace tessary {

enum ServerState : std::uint32_t { Running = 0, Stopped = 1, Starting = 2, Stopping = 3 };

// Result of Start when another program listens on the server's port (the
// socket layer's address-in-use code).
constexpr int kErrorAddressInUse = 10048;
// Result of Restart when the configuration test failed: the running server
// is kept and the checker's report was sent as notification 2.
constexpr int kErrorBadConfig = 1610;
// Period of ServerBase::TimerProc.
constexpr int kTimerPeriodMs = 700;
// How long a process-mode server may take to stop, its stop signal sent
// again on each tick, before its process group is ended; in ticks.
constexpr int kStopTimeoutMs = 30000;
constexpr int kStopTicksBeforeKill = kStopTimeoutMs / kTimerPeriodMs;
// How long a stop waits for a start that is still handing over to its
// server before it ends that start (the window waits meanwhile).
constexpr int kStopStartWaitMs = 3000;

// Notification values a server sends its owner.
enum ServerNotification : int {
  kNotifyUnexpectedEnd = 0,  // ended while Running with no restart pending
  kNotifyOutputLine = 1,     // one line of the server's output (text)
  kNotifyBadConfig = 2,      // the configuration checker's report (text)
  kNotifyConfChanged = 3,    // the live configuration file changed while Running
  kNotifyAutoRestart = 4,    // what became of a crashed server with AutoRestart on (text)
};

class ServerBase;

// The owner of the servers (the main window) implements this. Every call
// arrives on the thread that runs TimerProc, Start and Stop.
class ServerNotify {
 public:
  virtual ~ServerNotify() = default;
  virtual void ServerNotification(ServerBase& server, int value, const std::string& text) = 0;
};

// The program-wide supervision state: the table of supervised servers, the
// port-check switch, the service layer and the debug trace.
class ServerRegistry {
 public:
  static constexpr std::size_t kSlots = 10;

  // services may be null: then no service can be opened. Without a trace
  // function the lines go to the manager's debug trace.
  explicit ServerRegistry(platform::ServiceLayer* services = nullptr,
                          std::function<void(const std::string&)> trace = {})
      : m_services(services), m_trace(std::move(trace)) {}
  ServerRegistry(const ServerRegistry&) = delete;
  ServerRegistry& operator=(const ServerRegistry&) = delete;

  // Puts a server into the first free slot; false when all are taken (the
  // server is then not supervised).
  bool Add(ServerBase* server);
  void Remove(ServerBase* server);
  ServerBase* Slot(std::size_t i) const { return i < kSlots ? m_slots[i] : nullptr; }

  bool checkServerPorts = true;

  platform::ServiceLayer* services() const { return m_services; }
  // Writes one debug trace line (printf-style, at most 1024 characters).
  void Trace(const char* format, ...) const __attribute__((format(printf, 2, 3)));

 private:
  std::array<ServerBase*, kSlots> m_slots{};
  platform::ServiceLayer* m_services;
  std::function<void(const std::string&)> m_trace;
};

class ServerBase {
 public:
  // installRoot ends with a "/".
  ServerBase(ServerRegistry& registry, std::string installRoot, std::string name, int port);
  ServerBase(const ServerBase&) = delete;
  ServerBase& operator=(const ServerBase&) = delete;
  virtual ~ServerBase();

  // 0, kErrorAddressInUse, or the error of the start.
  virtual int Start();
  virtual int Stop();
  virtual int Restart() = 0;
  virtual int InstallService() = 0;
  virtual int RemoveService() = 0;
  // True when the configuration may be used.
  virtual bool VerifyConfFile() { return true; }
  // Server output (any thread): cut into lines of at most 55 characters and
  // queued as notification 1 for the next delivery.
  virtual void OnStdout(const std::string& text);
  virtual void OnStderr(const std::string& text);
  virtual void OnExit() {}
  // The supervised process has ended (process mode); failed is true when
  // nobody asked for it (a crash, or a start that did not come up).
  virtual void OnEnded(bool failed) { (void)failed; }
  virtual int StartExe() = 0;
  virtual int StopExe() = 0;
  // Re-reads values of the live configuration file.
  virtual int ReadConf() { return 0; }

  // Ends the server's process for good (process mode only).
  int Kill();
  // Applied only while Stopped.
  bool SetServiceMode(bool on);
  bool IsRunning() const { return state == Running; }
  // The file the user edits: the template when there is one.
  const std::string& ConfFileForEditing() const { return confTemplate.empty() ? confFile : confTemplate; }

  // One supervision tick over every supervised server of the registry.
  static void TimerProc(ServerRegistry& registry);

  // Hands queued output lines to the notification window (done by each tick
  // and at the end of Start and Stop).
  void DeliverOutput();

  ServerState State() const { return state; }
  bool ServiceMode() const { return serviceMode != 0; }
  bool RestartPending() const { return restartPending != 0; }
  void SetRestartPending(bool on) { restartPending = on ? 1 : 0; }
  bool AutoReload() const { return autoReload != 0; }
  void SetAutoReload(bool on) { autoReload = on ? 1 : 0; }
  // Restart after an unexpected end (process mode), within the limits of
  // CrashRestartPolicy; each attempt is reported as notification 4.
  bool AutoRestart() const { return m_autoRestart; }
  void SetAutoRestart(bool on) { m_autoRestart = on; }
  int Port() const { return port; }
  pid_t Pid() const { return pi.pid; }
  const std::string& Name() const { return name; }
  const std::string& Executable() const { return executable; }
  const std::string& ConfFile() const { return confFile; }
  const std::string& ConfTemplate() const { return confTemplate; }
  const std::string& InstallRootPath() const { return m_installRoot; }
  // The notification message of the server: "Tessary_<name>".
  std::string NotificationMessage() const { return "Tessary_" + name; }
  void SetNotificationWindow(ServerNotify* window) { notifyWindow = window; }
  // Why the last start was refused, when it was (for the owner's message).
  const std::string& LastRefusal() const { return m_lastRefusal; }

  // Finds the process of the server's executable (the topmost one of that
  // program started from that path); true and its pid when found. foundPath
  // receives its program's name.
  bool ScanProcess(const std::string& exePath, pid_t& outPid, std::string* foundPath = nullptr) const;

 protected:
  // Sets the paths and records the files' current last-write times.
  void SetConfFile(const std::string& path);
  void SetConfTemplate(const std::string& path);
  // Looks for a copy of this server already running on this installation
  // (ScanProcess by default); sets pid when found.
  virtual bool FindRunning();
  // Whether a start is still handing over to the server's process (which
  // then may not exist yet).
  virtual bool StartUnderWay() const { return false; }
  // Ends the last start where it stands, when it has not handed over to a
  // server a stop can reach: its launcher, and whatever the launcher made
  // that has not yet become a server of its own. True when something was
  // ended.
  virtual bool EndStart() { return false; }
  // The service registration routines: register the command line under the
  // server's name (0, or 2 when the service cannot be opened afterwards),
  // and remove the registration.
  int RegisterService(const std::string& commandLine);
  int UnregisterService();
  // Sends a notification at once.
  void Notify(int value, const std::string& text = {});
  // Queues text as output lines of the server, for the next delivery.
  void queueOutput(const std::string& text);
  ServerRegistry& registry() const { return m_registry; }

  struct ProcessInformation {
    pid_t pid = 0;
  };

  ProcessInformation pi;
  std::optional<std::string> serviceHandle;  // the service's name once opened
  int port;
  ServerNotify* notifyWindow = nullptr;
  std::string confFile;
  std::int64_t confFileTime = 0;
  std::string confTemplate;
  std::int64_t confTemplateTime = 0;
  std::string name;
  std::string executable;
  ServerState state = Stopped;
  std::uint8_t serviceMode = 0;
  std::uint8_t restartPending = 0;
  std::uint8_t autoReload = 0;

 private:
  bool openService();
  void tick(std::vector<std::pair<ServerBase*, int>>& posted);
  // Stop's part for a start that has not handed over yet (process mode).
  void stopStartUnderWay();
  // One tick of a process-mode server still alive while Stopping: the stop
  // signal again (a server re-reading its files on a restart forgets one
  // that came meanwhile), then its whole group once the stop takes too long.
  void pressStop();
  // Starts the server again after a crash, when the policy allows.
  void restartAfterCrash();

  ServerRegistry& m_registry;
  std::string m_installRoot;
  std::string m_lastRefusal;
  std::mutex m_outputMutex;
  std::deque<std::string> m_output;  // lines waiting for delivery, bounded
  std::string m_partialLine;
  std::size_t m_droppedLines = 0;
  bool m_autoRestart = false;
  bool m_restartDue = false;  // crashed in this tick, to be restarted after it
  int m_stopTicks = 0;        // ticks seen Stopping since the stop was asked for
  CrashRestartPolicy m_crashRestarts;
};

// True when a TCP connection to 127.0.0.1 at port succeeds.
bool IsPortInUse(int port);

}  // namespace tessary
