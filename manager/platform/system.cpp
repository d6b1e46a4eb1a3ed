#include "manager/platform/system.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

namespace tessary {
namespace {

bool Below(const std::string& path, std::string_view folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         path[folder.size()] == '/';
}

// Undoes the octal escapes (\040 for a blank) of mountinfo fields.
std::string Unescape(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
        field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

std::string ReadSmallFile(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::string s;
  std::getline(in, s);
  return s;
}

}  // namespace

bool IsWindowsNT() { return true; }

bool IsAdmin() { return ::geteuid() == 0; }

bool IsOnRemovableMedia(const std::filesystem::path& path, std::string_view mountInfo,
                        const std::filesystem::path& sysRoot) {
  const std::string p = path.lexically_normal().string();
  if (Below(p, "/media") || Below(p, "/run/media")) return true;

  // The mount whose mount point is the longest prefix of the path.
  std::string bestPoint;
  std::string bestDevice;
  std::istringstream lines{std::string(mountInfo)};
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, rootField, point;
    if (!(fields >> id >> parent >> device >> rootField >> point)) continue;
    point = Unescape(point);
    const bool contains = point == "/" || p == point || Below(p, point);
    if (contains && point.size() >= bestPoint.size()) {
      bestPoint = point;
      bestDevice = device;
    }
  }
  if (bestDevice.empty()) return false;
  // A partition's "removable" flag lives on its whole disk, one folder up.
  const std::filesystem::path dev = sysRoot / "dev" / "block" / bestDevice;
  for (const std::filesystem::path& candidate : {dev / "removable", dev / ".." / "removable"}) {
    std::error_code ec;
    if (std::filesystem::exists(candidate, ec)) return ReadSmallFile(candidate) == "1";
  }
  return false;
}

std::string ProgramPath() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

std::string ProgramFolder() {
  const std::string exe = ProgramPath();
  const std::size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string("./") : exe.substr(0, slash + 1);
}

bool IsOnFixedDrive() {
  std::ifstream in("/proc/self/mountinfo");
  std::stringstream text;
  text << in.rdbuf();
  return !IsOnRemovableMedia(ProgramPath(), text.str(), "/sys");
}

std::string UserLanguageCode() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v == nullptr || v[0] == '\0') continue;
    std::string code(v);
    const std::size_t end = code.find_first_of("_.@");
    if (end != std::string::npos) code.resize(end);
    if (code == "C" || code == "POSIX" || code.empty()) return "en";
    for (char& c : code)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return code;
  }
  return "en";
}

std::string UserName() {
  const uid_t uid = ::geteuid();
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
  passwd pw{};
  passwd* found = nullptr;
  if (::getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_name != nullptr)
    return found->pw_name;
  return std::to_string(uid);
}

}  // namespace tessary
