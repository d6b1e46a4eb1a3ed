// The service layer: servers registered under a name and run detached from
// the manager, so that they outlive it and the user's session.
//
// Two backends. Where a user service manager runs, a service is the
// systemd user unit "tessary-<name>.service" (systemd_units.h): installing
// writes and enables it, the rest goes through systemctl --user, and
// systemd restarts a server that fails. Elsewhere the built-in backend keeps,
// in the manager's state folder, one file per service with its command
// line ("<name>.service") and, while it runs, one pid file ("<name>.pid");
// starting runs the command as a detached daemon.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace tessary::platform {

// The states a service reports (the numbers of the Windows service manager).
enum ServiceStatus : int {
  kServiceStopped = 1,
  kServiceStartPending = 2,
  kServiceStopPending = 3,
  kServiceRunning = 4,
};

// Error codes of the service manager that callers test for.
constexpr int kErrorServiceAlreadyRunning = 1056;
constexpr int kErrorServiceDoesNotExist = 1060;
constexpr int kErrorServiceNotActive = 1062;
constexpr int kErrorServiceExists = 1073;

enum class ServiceBackend {
  Daemon,       // detached daemons with pid files
  SystemdUser,  // systemd user units
  Detect,       // SystemdUser when a user service manager answers, else Daemon
};

class ServiceLayer {
 public:
  // stateFolder: where the built-in backend's service and pid files live
  // (made when missing).
  explicit ServiceLayer(std::filesystem::path stateFolder, ServiceBackend backend = ServiceBackend::Daemon);

  // The state folder of the manager: $XDG_STATE_HOME/tessary, by default
  // ~/.local/state/tessary.
  static std::filesystem::path DefaultStateFolder();

  // Whether a service of that name is registered ("the service can be opened").
  bool Open(const std::string& name) const;
  // Registers the command line under name; kErrorServiceExists when it is.
  int Install(const std::string& name, const std::string& commandLine);
  // Removes the registration (a running service keeps running).
  int Remove(const std::string& name);
  // Runs the registered command detached; kErrorServiceAlreadyRunning when
  // it runs, kErrorServiceDoesNotExist when nothing is registered.
  int Start(const std::string& name);
  // Asks the service to end (SIGTERM); kErrorServiceNotActive when it is
  // not running.
  int Stop(const std::string& name);
  // One of ServiceStatus; kServiceStopped for an unknown service.
  int QueryState(const std::string& name) const;
  // The pid of the running service, 0 when none.
  pid_t Pid(const std::string& name) const;

  const std::filesystem::path& folder() const { return m_folder; }
  bool UsesSystemd() const { return m_systemd; }

 private:
  std::filesystem::path serviceFile(const std::string& name) const;
  std::filesystem::path pidFile(const std::string& name) const;
  std::filesystem::path stopFile(const std::string& name) const;

  std::filesystem::path m_folder;
  bool m_systemd = false;
};

}  // namespace tessary::platform
