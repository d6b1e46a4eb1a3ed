// The program's working folders: the Log folder beside the executable (one
// diagnostic log per module, path.txt, the set-up marker, the calibration
// files) and the result folder the user chooses once.
//
// The program folder is the folder of the running executable. When it is not
// writable (a system-wide install), $XDG_DATA_HOME/morvane (default
// ~/.local/share/morvane) takes its place; MORVANE_HOME overrides both.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace FRONTEND {
class Frontend;
}
class LogCapture;

class KW_Log {
 public:
  KW_Log() = default;
  KW_Log(const KW_Log&) = default;
  KW_Log& operator=(const KW_Log&) = default;
  virtual ~KW_Log() = default;

  // Full path of the log file name (given with its leading separator, as
  // "/log_sql.txt"); creates the Log folder when missing. On failure shows
  // "Path was not found." through frontend and returns nothing.
  static std::optional<std::string> Log_File_Path(FRONTEND::Frontend& frontend, std::string_view name);
  // The result folder, from path.txt or chosen by the user through frontend.
  static std::optional<std::string> Result_Folder_Path(FRONTEND::Frontend& frontend);
  // Forgets the result folder (removing it when empty) and asks for a new one.
  static std::optional<std::string> Change_Result_Folder(FRONTEND::Frontend& frontend);

  // The program folder, ending with "/".
  static std::string Program_Folder();
  // Why files cannot be written in the Log folder, or empty when they can.
  // Shows nothing: programs say it in their own words before they start.
  static std::string Log_Folder_Problem();
};

// Log file names of the modules, each appended to the Log folder.
namespace logname {
inline constexpr std::string_view kSql = "/log_sql.txt";
inline constexpr std::string_view kRead = "/log_read.txt";
inline constexpr std::string_view kPass = "/log_pass.txt";
inline constexpr std::string_view kPath = "/path.txt";
inline constexpr std::string_view kDetectionBox = "/log_detection_box.txt";
inline constexpr std::string_view kCleaning = "/log_cleaning.txt";
inline constexpr std::string_view kDilatation = "/log_dilatation.txt";
inline constexpr std::string_view kSkeletonization = "/log_skeletonization.txt";
inline constexpr std::string_view kZoom = "/log_zoom.txt";
inline constexpr std::string_view kDetectionItem = "/log_detection_item.txt";
inline constexpr std::string_view kCreateTree = "/log_create_tree.txt";
inline constexpr std::string_view kMath = "/log_math.txt";
inline constexpr std::string_view kResultFile = "/log_result_file.txt";
inline constexpr std::string_view kCalibParam = "/LOG_calib.param";
inline constexpr std::string_view kCalibration = "/Calibration_parameters.txt";
}  // namespace logname

// Where a piece of work writes its module logs: straight to the log files,
// or into a LogCapture when one is given; frontend shows "Path was not
// found." when the Log folder cannot be made. Neither is owned.
class LogSink {
 public:
  // The log files themselves; implicit, so that code outside the documents
  // logs through the frontend it was handed.
  LogSink(FRONTEND::Frontend& frontend) : m_frontend(&frontend) {}
  LogSink(FRONTEND::Frontend& frontend, LogCapture* capture) : m_frontend(&frontend), m_capture(capture) {}

  FRONTEND::Frontend& frontend() const { return *m_frontend; }
  LogCapture* capture() const { return m_capture; }

 private:
  FRONTEND::Frontend* m_frontend;
  LogCapture* m_capture = nullptr;
};

// Appends text to a module's log as given (add "\n" for a line): open,
// append, close. Skipped when the file cannot be opened or memory runs out.
void AppendLog(const LogSink& sink, std::string_view name, std::string_view text) noexcept;
// printf-style form of AppendLog.
void AppendLogF(const LogSink& sink, std::string_view name, const char* format, ...) noexcept
    __attribute__((format(printf, 3, 4)));
// Creates the log anew, empty, as the steps that restart their log do.
void TruncateLog(const LogSink& sink, std::string_view name) noexcept;

// The module logs of one piece of work (a picture of a batch), gathered in
// memory: AppendLog and TruncateLog through a LogSink that holds the capture
// write into it instead of the files. Commit then writes each log as if the
// work had run alone, so a batch that analyses several pictures at once
// hands each picture's logs over whole, in the order of the pictures.
// Uncommitted text is dropped.
class LogCapture {
 public:
  LogCapture() = default;
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  LogCapture(LogCapture&&) = default;
  LogCapture& operator=(LogCapture&&) = default;
  ~LogCapture() = default;

  // Writes what was gathered to the log files and empties the capture; may
  // run on any thread, but nothing may write into the capture meanwhile.
  // The caller serialises commits. frontend shows "Path was not found."
  void Commit(FRONTEND::Frontend& frontend);
  // Bytes gathered and not yet committed.
  std::size_t size() const;

 private:
  friend void AppendLog(const LogSink& sink, std::string_view name, std::string_view text) noexcept;
  friend void TruncateLog(const LogSink& sink, std::string_view name) noexcept;
  struct FileLog {
    std::string name;
    bool truncated = false;  // the log was created anew: text replaces the file
    std::string text;
  };
  FileLog& file(std::string_view name);

  std::vector<FileLog> m_files;
};
