#include "manager/platform/service.h"

#include <signal.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "manager/platform/process.h"
#include "manager/platform/systemd_units.h"

namespace tessary::platform {
namespace {

std::string ReadFirstLine(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::string line;
  std::getline(in, line);
  return line;
}

bool WriteText(const std::filesystem::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::trunc);
  out << text << '\n';
  return static_cast<bool>(out);
}

// Service names become file names: only plain characters are kept.
bool SafeName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
      return false;
  return true;
}

std::string UnitProperty(const std::string& name, const char* property) {
  std::string value;
  if (Systemctl({"show", "-p", property, "--value", UnitName(name)}, &value) != 0) return {};
  return value;
}

int UnitState(const std::string& name) {
  const std::string state = UnitProperty(name, "ActiveState");
  if (state == "active" || state == "reloading") return kServiceRunning;
  if (state == "activating") return kServiceStartPending;
  if (state == "deactivating") return kServiceStopPending;
  return kServiceStopped;  // inactive, failed, or no answer
}

}  // namespace

ServiceLayer::ServiceLayer(std::filesystem::path stateFolder, ServiceBackend backend)
    : m_folder(std::move(stateFolder)),
      m_systemd(backend == ServiceBackend::SystemdUser ||
                (backend == ServiceBackend::Detect && UserSystemdRuns())) {
  std::error_code ec;
  std::filesystem::create_directories(m_folder, ec);
}

std::filesystem::path ServiceLayer::DefaultStateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && *state == '/') return std::filesystem::path(state) / "tessary";
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : "/tmp") / ".local" / "state" / "tessary";
}

std::filesystem::path ServiceLayer::pidFile(const std::string& name) const {
  return m_folder / (name + ".pid");
}
std::filesystem::path ServiceLayer::stopFile(const std::string& name) const {
  return m_folder / (name + ".stopping");
}

bool ServiceLayer::Open(const std::string& name) const {
  std::error_code ec;
  return SafeName(name) && std::filesystem::is_regular_file(serviceFile(name), ec);
}

std::filesystem::path ServiceLayer::serviceFile(const std::string& name) const {
  return m_systemd ? UserUnitFolder() / UnitName(name) : m_folder / (name + ".service");
}

int ServiceLayer::Install(const std::string& name, const std::string& commandLine) {
  if (!SafeName(name) || commandLine.empty()) return EINVAL;
  if (Open(name)) return kErrorServiceExists;
  std::error_code ec;
  if (m_systemd) {
    const std::string unit = UnitFileText(name, commandLine);
    if (unit.empty()) return EINVAL;
    std::filesystem::create_directories(UserUnitFolder(), ec);
    if (!WriteText(serviceFile(name), unit)) return EIO;
    // Enabled, the unit starts with the user's service manager: at login,
    // or at boot when the user lingers.
    if (Systemctl({"daemon-reload"}) != 0 || Systemctl({"enable", UnitName(name)}) != 0) return EIO;
    return 0;
  }
  std::filesystem::create_directories(m_folder, ec);
  return WriteText(serviceFile(name), commandLine) ? 0 : EIO;
}

int ServiceLayer::Remove(const std::string& name) {
  if (!Open(name)) return kErrorServiceDoesNotExist;
  if (m_systemd) Systemctl({"disable", UnitName(name)});
  std::error_code ec;
  std::filesystem::remove(serviceFile(name), ec);
  if (m_systemd) Systemctl({"daemon-reload"});
  return ec ? ec.value() : 0;
}

pid_t ServiceLayer::Pid(const std::string& name) const {
  if (!SafeName(name)) return 0;
  if (m_systemd) {
    const long pid = std::strtol(UnitProperty(name, "MainPID").c_str(), nullptr, 10);
    return pid > 0 ? static_cast<pid_t>(pid) : 0;
  }
  const pid_t pid = static_cast<pid_t>(std::strtol(ReadFirstLine(pidFile(name)).c_str(), nullptr, 10));
  if (pid <= 0 || ProcessAlive(pid) != 0) return 0;
  // A pid file outlives a crash, and its number may be given to another
  // program later: the process must still run the registered program.
  const auto words = SplitCommandLine(ReadFirstLine(serviceFile(name)));
  // A command run through env (to set its environment) becomes the program
  // after env's settings: that is the one the process runs.
  std::size_t program = 0;
  if (!words.empty() && (words[0] == "env" || words[0].ends_with("/env"))) {
    program = 1;
    while (program < words.size() && words[program].find('=') != std::string::npos) ++program;
  }
  if (program >= words.size()) return 0;
  for (const auto& e : ListProcesses())
    if (e.pid == pid) return e.argv0 == words[program] ? pid : 0;
  return 0;
}

int ServiceLayer::Start(const std::string& name) {
  if (!Open(name)) return kErrorServiceDoesNotExist;
  if (m_systemd) {
    if (UnitState(name) != kServiceStopped) return kErrorServiceAlreadyRunning;
    // Not waited for: the supervision's tick follows the unit's state.
    return Systemctl({"start", "--no-block", UnitName(name)}) == 0 ? 0 : EIO;
  }
  if (Pid(name) != 0) return kErrorServiceAlreadyRunning;
  const std::string command = ReadFirstLine(serviceFile(name));
  pid_t pid = 0;
  const int rc = LaunchDetached(command, &pid);
  if (rc != 0) return rc;
  std::error_code ec;
  std::filesystem::remove(stopFile(name), ec);
  return WriteText(pidFile(name), std::to_string(pid)) ? 0 : EIO;
}

int ServiceLayer::Stop(const std::string& name) {
  if (m_systemd) {
    const int state = SafeName(name) ? UnitState(name) : kServiceStopped;
    if (state == kServiceStopped || state == kServiceStopPending) return kErrorServiceNotActive;
    return Systemctl({"stop", "--no-block", UnitName(name)}) == 0 ? 0 : EIO;
  }
  const pid_t pid = Pid(name);
  if (pid == 0) return kErrorServiceNotActive;
  WriteText(stopFile(name), std::to_string(pid));
  return SendSignal(pid, SIGTERM);
}

int ServiceLayer::QueryState(const std::string& name) const {
  if (m_systemd) return SafeName(name) ? UnitState(name) : kServiceStopped;
  if (Pid(name) != 0) {
    std::error_code ec;
    return std::filesystem::exists(stopFile(name), ec) ? kServiceStopPending : kServiceRunning;
  }
  std::error_code ec;
  std::filesystem::remove(pidFile(name), ec);
  std::filesystem::remove(stopFile(name), ec);
  return kServiceStopped;
}

}  // namespace tessary::platform
