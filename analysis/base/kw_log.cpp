#include "base/kw_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "base/frontend.h"
#include "base/text_format.h"

namespace {

// Creates one folder; true when it exists afterwards (created now or before).
bool makeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  if (errno != EEXIST) return false;
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates every missing folder of path.
bool makeFolders(const std::string& path) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      const std::string part = path.substr(0, i);
      if (!part.empty() && !makeFolder(part)) return false;
    }
  }
  return true;
}

std::string withSlash(std::string s) {
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

std::string executableFolder() {
  std::vector<char> buf(PATH_MAX + 1, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), PATH_MAX);
  if (n <= 0) return "./";
  std::string exe(buf.data(), static_cast<std::size_t>(n));
  // The file name is cut after the last separator.
  return exe.substr(0, exe.rfind('/') + 1);
}

std::string userDataFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && *xdg == '/') return withSlash(xdg) + "morvane/";
  const char* home = std::getenv("HOME");
  return withSlash(home != nullptr ? home : "/tmp") + ".local/share/morvane/";
}

std::string logFolder() { return KW_Log::Program_Folder() + "Log"; }

void appendToFile(FRONTEND::Frontend& frontend, std::string_view name, std::string_view text) {
  const auto path = KW_Log::Log_File_Path(frontend, name);
  if (!path) return;
  std::FILE* f = std::fopen(path->c_str(), "ab");
  if (f == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

void truncateFile(FRONTEND::Frontend& frontend, std::string_view name) {
  const auto path = KW_Log::Log_File_Path(frontend, name);
  if (!path) return;
  if (std::FILE* f = std::fopen(path->c_str(), "wb")) std::fclose(f);
}

}  // namespace

std::string KW_Log::Program_Folder() {
  const char* override = std::getenv("MORVANE_HOME");
  if (override != nullptr && *override != '\0') return withSlash(override);
  std::string folder = executableFolder();
  if (::access(folder.c_str(), W_OK) == 0) return folder;
  return userDataFolder();
}

std::string KW_Log::Log_Folder_Problem() {
  const std::string folder = logFolder();
  if (!makeFolders(folder) || ::access(folder.c_str(), W_OK) != 0)
    return "cannot write in " + folder + ": " + FRONTEND::SystemErrorText();
  return {};
}

std::optional<std::string> KW_Log::Log_File_Path(FRONTEND::Frontend& frontend, std::string_view name) {
  const std::string folder = logFolder();
  // The folder above Log may be new as well (a fresh per-user data folder).
  if (!makeFolders(folder)) {
    FRONTEND::ShowMessage(frontend, "Path was not found.");
    return std::nullopt;
  }
  return folder + std::string(name);
}

std::optional<std::string> KW_Log::Result_Folder_Path(FRONTEND::Frontend& frontend) {
  const auto pathFile = Log_File_Path(frontend, logname::kPath);
  if (!pathFile) return std::nullopt;

  if (std::FILE* f = std::fopen(pathFile->c_str(), "r")) {
    // Read line by line into one 260-character buffer that keeps the last line.
    char line[260] = {};
    char buffer[260] = {};
    while (std::fgets(buffer, sizeof buffer, f) != nullptr) std::copy(buffer, buffer + sizeof buffer, line);
    std::fclose(f);
    std::string path(line);
    const std::size_t br = path.find_first_of("\r\n");
    if (br != std::string::npos) path.resize(br);
    return path;
  }

  const FRONTEND::FolderChoice choice = FRONTEND::ChooseFolder(frontend, "Select Folder", Program_Folder());
  if (choice.status != 1) return std::nullopt;
  std::string result = choice.path;
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  result += "/Results";
  if (!makeFolder(result)) {
    FRONTEND::ShowMessage(frontend, "Result Folder Path was not found.");
    return std::nullopt;
  }
  if (std::FILE* f = std::fopen(pathFile->c_str(), "w")) {
    std::fprintf(f, "%s\n", result.c_str());
    std::fclose(f);
  }
  return result;
}

std::optional<std::string> KW_Log::Change_Result_Folder(FRONTEND::Frontend& frontend) {
  const auto current = Result_Folder_Path(frontend);
  if (const auto pathFile = Log_File_Path(frontend, logname::kPath)) std::remove(pathFile->c_str());
  // Only an empty folder is removed; one that holds results stays.
  if (current) ::rmdir(current->c_str());
  return Result_Folder_Path(frontend);
}

// Logging is diagnostic: when memory runs out the line is skipped rather
// than failing the work it describes (logs are also written from
// destructors, which must not throw).
void AppendLog(const LogSink& sink, std::string_view name, std::string_view text) noexcept {
  try {
    if (sink.capture() != nullptr) {
      sink.capture()->file(name).text.append(text);
      return;
    }
    appendToFile(sink.frontend(), name, text);
  } catch (const std::bad_alloc&) {
  }
}

void AppendLogF(const LogSink& sink, std::string_view name, const char* format, ...) noexcept {
  va_list args;
  va_start(args, format);
  std::string text;
  try {
    text = FormatTextV(format, args);
  } catch (const std::bad_alloc&) {
    text.clear();
  }
  va_end(args);
  if (!text.empty()) AppendLog(sink, name, text);
}

void TruncateLog(const LogSink& sink, std::string_view name) noexcept {
  try {
    if (sink.capture() != nullptr) {
      LogCapture::FileLog& log = sink.capture()->file(name);
      log.truncated = true;
      log.text.clear();
      return;
    }
    truncateFile(sink.frontend(), name);
  } catch (const std::bad_alloc&) {
  }
}

LogCapture::FileLog& LogCapture::file(std::string_view name) {
  for (FileLog& f : m_files)
    if (f.name == name) return f;
  return m_files.emplace_back(FileLog{std::string(name), false, {}});
}

void LogCapture::Commit(FRONTEND::Frontend& frontend) {
  for (const FileLog& f : m_files) {
    if (f.truncated) truncateFile(frontend, f.name);
    if (!f.text.empty() || !f.truncated) appendToFile(frontend, f.name, f.text);
  }
  m_files.clear();
}

std::size_t LogCapture::size() const {
  std::size_t n = 0;
  for (const FileLog& f : m_files) n += f.text.size();
  return n;
}
