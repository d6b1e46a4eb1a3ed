// What the window's server rows show beside each server's state: the ports
// of its live configuration, its main process and how long it has run, and
// the logs its "Logs" button offers. No widget here; the window shows the
// texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "manager/servers/server_stack.h"

namespace tessary {

// The ports of the "Listen [address:]port [protocol]" lines of a web
// server configuration, in their order, each once. Comments and lines
// that name no port are passed over.
std::vector<int> ListenPorts(std::string_view confText);

// "80", "80, 443"; "" for none.
std::string PortsText(const std::vector<int>& ports);

// How long a process has run: "0:00:07", "5:03:00" below a day, then
// "2<dayUnit> 01:00:00". "" for a negative age (not known).
std::string UptimeText(long seconds, std::string_view dayUnit);

// The texts of one server row; empty texts while the server has no process.
struct ServerRow {
  std::string ports;
  std::string pid;
  std::string uptime;
};

// A log a server's "Logs" button offers: the text id of its name and its path.
struct ServerLog {
  int textId = 0;
  std::string path;
};

class ServerPanel {
 public:
  explicit ServerPanel(ServerStack& stack) : m_stack(stack) {}

  // The row of kTargetWeb (0) or kTargetDatabase (1). The web server's
  // ports are read again only when its live configuration has changed;
  // the database server's is the one its live option file gave it.
  ServerRow Row(int target, std::string_view dayUnit);

  // The web server's error and access logs; the database server's error log.
  std::vector<ServerLog> Logs(int target) const;
  // The configuration template of a server (the file its "Config" edits).
  std::string ConfTemplate(int target) const;

 private:
  const std::vector<int>& webPorts();

  ServerStack& m_stack;
  std::int64_t m_webConfTime = -1;
  std::vector<int> m_webPorts;
};

// Text ids of the log names.
inline constexpr int kTextErrorLog = 32905;
inline constexpr int kTextAccessLog = 32906;

}  // namespace tessary
