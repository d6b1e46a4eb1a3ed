// A module log written in groups: lines are collected and appended to the
// log file (open, append, close) whenever 64 KiB have gathered and when the
// buffer is flushed or destroyed. The analysis steps write a line per walk
// point; opening the file for every one of them would cost more than the
// step itself.
#pragma once

#include <string>
#include <string_view>

class LogBuffer {
 public:
  explicit LogBuffer(std::string_view logName) : m_name(logName) {}
  LogBuffer(const LogBuffer&) = delete;
  LogBuffer& operator=(const LogBuffer&) = delete;
  ~LogBuffer() { flush(); }

  void add(std::string_view text);
  void addF(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Appends what has gathered to the file.
  void flush();
  std::string_view name() const { return m_name; }

 private:
  static constexpr std::size_t kFlushSize = 64 * 1024;
  std::string_view m_name;
  std::string m_text;
};
