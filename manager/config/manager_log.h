// The manager's two logs: the user-facing log file "Tessary.log" (also shown
// in the main window's log list) and the debug trace.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace tessary {

// The program's name: window title, message captions, log tag, autostart entry.
inline constexpr std::string_view kProgramName = "Tessary";

// Tags of the log lines, by the part of the stack that speaks.
enum LogTag : int { kTagProgram = 0, kTagMySql = 1, kTagApache = 2, kTagPhp = 3, kTagDebug = 4 };

// "Tessary", "MySql  ", "Apache ", "PHP    ", "Debug"; any other value gives
// the program name.
std::string_view LogTagText(int tag);

// "%02d/%02d %02d:%02d:%02d %s: %s" (day, month, time, tag, text), cut to
// 255 bytes.
std::string FormatLogLine(const std::tm& when, std::string_view tag, std::string_view text);
// "%02d/%02d %02d:%02d:%02d %s %s" (time, program name, message), the
// message cut to 1024 bytes; no line end.
std::string FormatTraceLine(const std::tm& when, std::string_view message);

// Where a log line is shown besides the file (the main window's log list,
// which selects the newest line).
class LogListSink {
 public:
  virtual ~LogListSink() = default;
  virtual void AddLogLine(const std::string& line) = 0;
};

// The log file. Each line is appended with the file opened and closed again;
// a file that cannot be opened is skipped silently (the list still gets the
// line). The file stops growing at kMaxBytes, with one line saying so.
class ManagerLog {
 public:
  static constexpr std::uintmax_t kMaxBytes = std::uintmax_t{4} * 1024 * 1024;

  ManagerLog() = default;
  explicit ManagerLog(std::string file) : m_file(std::move(file)) {}

  void setFile(std::string file) { m_file = std::move(file); }
  const std::string& file() const { return m_file; }
  void setList(LogListSink* list) { m_list = list; }

  // Writes one line with the tag of LogTag and returns it.
  std::string WriteLog(std::string_view text, int tag);

 private:
  std::string m_file;
  LogListSink* m_list = nullptr;
};

// The debug trace. The message is formatted like printf and prefixed by
// the time and program name. Where it goes is chosen by the environment
// variable TESSARY_TRACE: unset or empty, nowhere (a debugger-only channel
// has no equivalent here); "-" or "stderr", the standard error stream;
// anything else is a file to append to, which stops growing at 16 MiB with
// one line saying so. Safe to call from any thread.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tessary
