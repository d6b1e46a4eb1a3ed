// A module log written in groups: lines are collected and appended to the
// log file (open, append, close) whenever 64 KiB have gathered and when the
// buffer is flushed or destroyed. The analysis steps write a line per walk
// point; opening the file for every one of them would cost more than the
// step itself.
//
// A buffer is bounded: once it has taken its bound (64 MB unless told) it
// writes one line saying the rest was left out and drops everything after,
// so a picture of noise cannot fill the disk with a log.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/kw_log.h"

class LogBuffer {
 public:
  static constexpr std::size_t kDefaultBound = std::size_t{64} * 1024 * 1024;

  // The buffer writes through sink (a document's, or the files).
  LogBuffer(const LogSink& sink, std::string_view logName, std::size_t bound = kDefaultBound)
      : m_sink(sink), m_name(logName), m_bound(bound) {}
  LogBuffer(const LogBuffer&) = delete;
  LogBuffer& operator=(const LogBuffer&) = delete;
  ~LogBuffer() { flush(); }

  void add(std::string_view text);
  void addF(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Appends what has gathered to the file.
  void flush();
  std::string_view name() const { return m_name; }
  // True once the bound is reached: nothing more is written, and callers may
  // skip the work of making lines.
  bool full() const { return m_full; }

 private:
  static constexpr std::size_t kFlushSize = std::size_t{1024} * 1024;
  void closeAtBound();

  LogSink m_sink;
  std::string_view m_name;
  std::size_t m_bound;
  std::size_t m_taken = 0;
  bool m_full = false;
  std::string m_text;
};

// The log an operation of a document writes to: the buffer of the command
// that runs it when that command writes the same log, so that the command's
// bound covers everything it writes, or else a buffer of the operation's own.
class OperationLog {
 public:
  OperationLog(LogBuffer* commandLog, const LogSink& sink, std::string_view name) {
    if (commandLog != nullptr && commandLog->name() == name) {
      m_log = commandLog;
    } else {
      m_log = &m_own.emplace(sink, name);
    }
  }
  OperationLog(const OperationLog&) = delete;
  OperationLog& operator=(const OperationLog&) = delete;
  LogBuffer& operator*() const { return *m_log; }
  LogBuffer* operator->() const { return m_log; }

 private:
  std::optional<LogBuffer> m_own;
  LogBuffer* m_log = nullptr;
};

// Makes log the command log of a document (the slot holding it) for the
// lifetime of the scope.
class CommandLogScope {
 public:
  CommandLogScope(LogBuffer*& slot, LogBuffer& log) : m_slot(slot), m_previous(slot) { slot = &log; }
  CommandLogScope(const CommandLogScope&) = delete;
  CommandLogScope& operator=(const CommandLogScope&) = delete;
  ~CommandLogScope() { m_slot = m_previous; }

 private:
  LogBuffer*& m_slot;
  LogBuffer* m_previous;
};
