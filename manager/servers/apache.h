// The local web server (Apache httpd with PHP), run as a child process
// through the runner or as the service "Apache".
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "manager/servers/child_process.h"
#include "manager/servers/server_base.h"

namespace tessary {

class CApache : public ServerBase {
 public:
  // installRoot ends with a "/". Reads the live configuration and adopts a
  // web server of this installation that already runs.
  CApache(ServerRegistry& registry, const std::string& installRoot);
  ~CApache() override;

  // Ends stray workers of an ended master first, so that they neither hold
  // the port nor pass for the server.
  int Start() override;
  // Runs the configuration test first and keeps the running server when it
  // fails (kErrorBadConfig).
  int Restart() override;
  int InstallService() override;
  int RemoveService() override;
  bool VerifyConfFile() override;
  int StartExe() override;
  int StopExe() override;
  int ReadConf() override;

  const std::string& DocumentRoot() const { return docRoot; }
  void SetSsl(bool on) { ssl = on ? 1 : 0; }
  // The web server folder, ending with a "/".
  const std::string& ApacheDir() const { return apacheDir; }
  // A command line of the server on our files: the executable, then
  // "-d <web server folder> -f <live configuration file>", then switches,
  // run with PHP's scan folder set to PhpScanDir.
  std::string CommandLine(const std::string& switches) const;
  // The stack's own folder of extra PHP settings ("PHP/conf.d" of the root).
  std::string PhpScanDir() const;
  // The web server's runner (its launcher's output reaches the log).
  const ChildProcess& Runner() const { return m_runner; }
  // Ends the workers of this server whose master has ended (they keep the
  // port and answer with the old configuration); the number of groups ended.
  int EndStrayWorkers();

 protected:
  bool FindRunning() override;
  // The launcher of "-k start" has not handed over yet.
  bool StartUnderWay() const override { return m_runner.IsActive(); }
  // Ends the launcher's process group: the launcher, and a server it forked
  // that has not yet made a group of its own.
  bool EndStart() override;

 private:
  // Hands the runner's output to the server's output lines.
  class RunnerOutput : public ChildOutput {
   public:
    explicit RunnerOutput(CApache& owner) : m_owner(owner) {}
    void OnStart(const std::string&) override {}
    void OnStdout(const std::string& text) override { m_owner.OnStdout(text); }
    void OnStderr(const std::string& text) override { m_owner.OnStderr(text); }
    void OnExit() override { m_owner.OnExit(); }

   private:
    CApache& m_owner;
  };

  // Waits at most timeoutMs for the server to catch its restart and
  // shutdown signals; false when it does not (or is gone).
  bool WaitForHandlers(int timeoutMs) const;
  // Sees a stop sent soon after a hang-up through: the server re-reading its
  // files forgets a stop that comes meanwhile, so the signal is sent again
  // until the master has gone, for at most timeoutMs (the ticks go on after
  // that; a quitting manager has no more ticks).
  void SeeStopThrough(int timeoutMs) const;

  std::string apacheDir;
  std::string docRoot;
  std::string m_pidFile;  // the server's pid file, from the live file
  std::optional<std::chrono::steady_clock::time_point> m_hangupAt;  // the last restart signal
  std::uint8_t ssl = 0;
  // The launcher of the last start, 0 once that start has been ended.
  pid_t m_launcher = 0;
  // A configuration test is under way (a nested event loop must not start
  // a second one).
  bool m_verifying = false;
  RunnerOutput m_runnerOutput{*this};
  ChildProcess m_runner{&m_runnerOutput};
};

}  // namespace tessary
