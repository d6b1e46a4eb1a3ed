// Services as systemd user units: the unit files the service layer writes
// where a user service manager runs, and the calls of systemctl --user.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tessary::platform {

// The unit of a service: "tessary-<name>.service".
std::string UnitName(const std::string& service);

// The folder of the user's own units: $XDG_CONFIG_HOME/systemd/user, by
// default ~/.config/systemd/user.
std::filesystem::path UserUnitFolder();

// The unit file of a service that runs commandLine (words as
// SplitCommandLine reads them) in the foreground, restarted when it fails
// and wanted by the user's default target. "" when a word cannot be
// written into a unit file (it holds a control character).
std::string UnitFileText(const std::string& service, const std::string& commandLine);

// Runs "systemctl --user" with args, at most 15 s. The exit status, or -1
// when systemctl could not be run or did not end in time; its standard
// output (at most 4 KiB, without the last line end) in out.
int Systemctl(const std::vector<std::string>& args, std::string* out = nullptr);

// Whether a user service manager answers "systemctl --user
// is-system-running" (running, or up with some unit failed).
bool UserSystemdRuns();

}  // namespace tessary::platform
