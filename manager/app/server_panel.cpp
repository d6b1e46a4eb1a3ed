#include "manager/app/server_panel.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "manager/app/window_model.h"
#include "manager/platform/process.h"

namespace tessary {
namespace {

// A live configuration is a few kilobytes; a bigger file is not read
// further than this for its ports.
constexpr std::size_t kMaxConfBytes = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

int PortOfListenLine(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  line.remove_prefix(i);
  constexpr std::string_view kListen = "Listen";
  if (line.substr(0, kListen.size()) != kListen || line.size() == kListen.size() ||
      !IsBlank(line[kListen.size()]))
    return 0;
  line.remove_prefix(kListen.size());
  i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  std::size_t end = i;
  while (end < line.size() && !IsBlank(line[end])) ++end;
  std::string_view word = line.substr(i, end - i);
  // "[::1]:8080", "127.0.0.1:80" or "80".
  if (const auto colon = word.rfind(':'); colon != std::string_view::npos) word.remove_prefix(colon + 1);
  if (word.empty() || word.size() > 5) return 0;
  int port = 0;
  for (const char c : word) {
    if (c < '0' || c > '9') return 0;
    port = port * 10 + (c - '0');
  }
  return port > 0 && port < 65536 ? port : 0;
}

std::string ReadHead(const std::string& path, std::size_t max) {
  std::ifstream in(path, std::ios::binary);
  std::string text(max, '\0');
  in.read(text.data(), static_cast<std::streamsize>(max));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

}  // namespace

std::vector<int> ListenPorts(std::string_view confText) {
  std::vector<int> ports;
  while (!confText.empty()) {
    const auto end = confText.find('\n');
    const std::string_view line = confText.substr(0, end);
    confText.remove_prefix(end == std::string_view::npos ? confText.size() : end + 1);
    const int port = PortOfListenLine(line);
    if (port != 0 && std::find(ports.begin(), ports.end(), port) == ports.end()) ports.push_back(port);
  }
  return ports;
}

std::string PortsText(const std::vector<int>& ports) {
  std::string text;
  for (const int port : ports) {
    if (!text.empty()) text += ", ";
    text += std::to_string(port);
  }
  return text;
}

std::string UptimeText(long seconds, std::string_view dayUnit) {
  if (seconds < 0) return {};
  const long days = seconds / 86400;
  const long h = seconds / 3600 % 24;
  const long m = seconds / 60 % 60;
  const long s = seconds % 60;
  char buf[64];
  if (days == 0) {
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", h, m, s);
    return buf;
  }
  std::snprintf(buf, sizeof buf, " %02ld:%02ld:%02ld", h, m, s);
  return std::to_string(days) + std::string(dayUnit) + buf;
}

const std::vector<int>& ServerPanel::webPorts() {
  const std::string& conf = m_stack.web().ConfFile();
  const std::int64_t t = platform::FileWriteTime(conf);
  if (t != m_webConfTime) {
    m_webConfTime = t;
    m_webPorts = ListenPorts(ReadHead(conf, kMaxConfBytes));
  }
  return m_webPorts;
}

ServerRow ServerPanel::Row(int target, std::string_view dayUnit) {
  ServerRow row;
  if (target == kTargetWeb) {
    row.ports = PortsText(webPorts());
    if (row.ports.empty()) row.ports = std::to_string(m_stack.web().Port());
  } else {
    row.ports = std::to_string(m_stack.database().Port());
  }
  const ServerBase& server = target == kTargetWeb ? static_cast<ServerBase&>(m_stack.web())
                                                  : static_cast<ServerBase&>(m_stack.database());
  const pid_t pid = server.Pid();
  if (pid > 0 && server.State() != Stopped) {
    row.pid = std::to_string(pid);
    row.uptime = UptimeText(platform::ProcessAgeSeconds(pid), dayUnit);
  }
  return row;
}

std::vector<ServerLog> ServerPanel::Logs(int target) const {
  if (target == kTargetDatabase) return {{kTextErrorLog, m_stack.database().ErrorLogPath()}};
  const std::string& root = m_stack.web().InstallRootPath();
  return {{kTextErrorLog, root + "Apache/logs/error.log"}, {kTextAccessLog, root + "Apache/logs/access.log"}};
}

std::string ServerPanel::ConfTemplate(int target) const {
  if (target == kTargetDatabase) return m_stack.database().ConfFileForEditing();
  return m_stack.web().ConfFileForEditing();
}

}  // namespace tessary
