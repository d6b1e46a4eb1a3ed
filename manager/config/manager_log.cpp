#include "manager/config/manager_log.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "base/utf8_cut.h"

namespace tessary {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::uintmax_t kMaxTraceBytes = std::uintmax_t{16} * 1024 * 1024;

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return tm;
}

std::uintmax_t SizeOf(const std::string& file) {
  std::error_code ec;
  const std::uintmax_t n = std::filesystem::file_size(file, ec);
  return ec ? 0 : n;
}

// Appends the line and a line end to a file bounded at maxBytes: the line
// that reaches the bound is followed by one line saying so, and nothing is
// written after it.
void AppendBounded(const std::string& file, const std::string& line, std::uintmax_t maxBytes) {
  if (SizeOf(file) >= maxBytes) return;
  FilePtr f(std::fopen(file.c_str(), "a"));
  if (!f) return;
  std::fprintf(f.get(), "%s\n", line.c_str());
  std::fflush(f.get());
  // The position of a file opened for appending says nothing of its size.
  struct stat st {};
  if (::fstat(::fileno(f.get()), &st) == 0 && static_cast<std::uintmax_t>(st.st_size) >= maxBytes)
    std::fprintf(f.get(), "%s reached %ju bytes; later lines are not written to it\n",
                 std::filesystem::path(file).filename().c_str(), maxBytes);
}

}  // namespace

std::string_view LogTagText(int tag) {
  switch (tag) {
    case kTagMySql:
      return "MySql  ";
    case kTagApache:
      return "Apache ";
    case kTagPhp:
      return "PHP    ";
    case kTagDebug:
      return "Debug";
    default:
      return kProgramName;
  }
}

std::string FormatLogLine(const std::tm& when, std::string_view tag, std::string_view text) {
  char head[32];
  std::snprintf(head, sizeof head, "%02d/%02d %02d:%02d:%02d ", when.tm_mday, when.tm_mon + 1, when.tm_hour,
                when.tm_min, when.tm_sec);
  std::string line = head;
  line.append(tag);
  line += ": ";
  line.append(text);
  cutUtf8InPlace(line, 255);
  return line;
}

std::string FormatTraceLine(const std::tm& when, std::string_view message) {
  std::string text(message);
  cutUtf8InPlace(text, 1024);
  char head[32];
  std::snprintf(head, sizeof head, "%02d/%02d %02d:%02d:%02d ", when.tm_mday, when.tm_mon + 1, when.tm_hour,
                when.tm_min, when.tm_sec);
  std::string line = head;
  line.append(kProgramName);
  line += ' ';
  line += text;
  return line;
}

std::string ManagerLog::WriteLog(std::string_view text, int tag) {
  // A line end inside the text would break the one-line-per-entry file.
  std::string clean(text);
  for (char& c : clean)
    if (c == '\n' || c == '\r') c = ' ';
  std::string line = FormatLogLine(LocalNow(), LogTagText(tag), clean);
  if (!m_file.empty()) AppendBounded(m_file, line, kMaxBytes);
  if (m_list != nullptr) m_list->AddLogLine(line);
  return line;
}

void Trace(const char* format, ...) {
  const char* target = std::getenv("TESSARY_TRACE");
  if (target == nullptr || target[0] == '\0') return;
  char message[1025];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  const std::string line = FormatTraceLine(LocalNow(), message);
  if (std::strcmp(target, "-") == 0 || std::strcmp(target, "stderr") == 0) {
    std::fprintf(stderr, "%s\n", line.c_str());
    return;
  }
  AppendBounded(target, line, kMaxTraceBytes);
}

}  // namespace tessary
