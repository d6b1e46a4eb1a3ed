#include "manager/config/install_root.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "manager/platform/key_store.h"
#include "manager/platform/system.h"

namespace tessary {
namespace {

// Absolute, with one "/" at the end, so that root + "Apache/" is a path.
std::string AsRoot(const std::string& folder) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(folder, ec);
  if (ec) p = folder;
  std::string s = p.lexically_normal().string();
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

}  // namespace

std::string RootBesideProgram(const std::string& programFolder) {
  for (const char* system : {"/usr/", "/bin/", "/sbin/"})
    if (programFolder.rfind(system, 0) == 0) {
      if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/')
        return AsRoot(std::string(data) + "/tessary");
      const char* home = std::getenv("HOME");
      return AsRoot(std::string(home != nullptr && home[0] != '\0' ? home : "/tmp") +
                    "/.local/share/tessary");
    }
  return AsRoot(programFolder);
}

std::string InstallRoot() {
  if (const char* env = std::getenv("TESSARY_ROOT"); env != nullptr && env[0] != '\0') return AsRoot(env);
  if (const auto path = KeyStore().GetString(kRootKey, kRootValue); path && !path->empty())
    return AsRoot(*path);
  return RootBesideProgram(ProgramFolder());
}

}  // namespace tessary
