#include "manager/platform/key_store.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "manager/platform/ini_file.h"

namespace tessary {
namespace {

constexpr std::string_view kDwordPrefix = "dword:";

IniFile LoadStore(const std::filesystem::path& file) {
  IniFile ini;
  ini.Load(file);  // a missing store is an empty one
  return ini;
}

int MakeFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return ec ? ec.value() : 0;
}

int SaveStore(const IniFile& ini, const std::filesystem::path& file) {
  if (const int err = MakeFolder(file.parent_path()); err != 0) return err;
  return ini.Save(file);
}

}  // namespace

std::filesystem::path ConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr && home[0] != '\0' ? home : "/") / ".config";
}

KeyStore::KeyStore() : KeyStore(ConfigHome() / "tessary") {}

KeyStore::KeyStore(const std::filesystem::path& folder) : m_file(folder / "keys.ini") {}

bool KeyStore::KeyExists(std::string_view key) const { return LoadStore(m_file).HasSection(key); }

std::optional<std::string> KeyStore::GetString(std::string_view key, std::string_view value) const {
  const IniFile ini = LoadStore(m_file);
  if (!ini.Has(key, value)) return std::nullopt;
  std::string data = ini.Get(key, value);
  if (data.rfind(kDwordPrefix, 0) == 0) return std::nullopt;
  return data;
}

std::optional<std::uint32_t> KeyStore::GetDword(std::string_view key, std::string_view value) const {
  const IniFile ini = LoadStore(m_file);
  if (!ini.Has(key, value)) return std::nullopt;
  const std::string data = ini.Get(key, value);
  if (data.rfind(kDwordPrefix, 0) != 0) return std::nullopt;
  const std::string digits = data.substr(kDwordPrefix.size());
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  std::uint32_t n = 0;
  for (const char c : digits) {
    std::uint32_t d;
    if (c >= '0' && c <= '9')
      d = static_cast<std::uint32_t>(c - '0');
    else if (c >= 'a' && c <= 'f')
      d = static_cast<std::uint32_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      d = static_cast<std::uint32_t>(c - 'A' + 10);
    else
      return std::nullopt;
    n = n * 16u + d;
  }
  return n;
}

int KeyStore::SetString(std::string_view key, std::string_view value, std::string_view data) const {
  IniFile ini = LoadStore(m_file);
  ini.Set(key, value, data);
  return SaveStore(ini, m_file);
}

int KeyStore::SetDword(std::string_view key, std::string_view value, std::uint32_t data) const {
  char text[24];
  std::snprintf(text, sizeof text, "dword:%08x", data);
  IniFile ini = LoadStore(m_file);
  ini.Set(key, value, text);
  return SaveStore(ini, m_file);
}

int KeyStore::DeleteKey(std::string_view key) const {
  IniFile ini = LoadStore(m_file);
  if (!ini.RemoveSection(key)) return 0;
  return SaveStore(ini, m_file);
}

std::filesystem::path AutostartFile(std::string_view programName) {
  return ConfigHome() / "autostart" / (std::string(programName) + ".desktop");
}

int SetAutostart(std::string_view programName, bool on, const std::string& programPath) {
  const std::filesystem::path file = AutostartFile(programName);
  std::error_code ec;
  if (!on) {
    std::filesystem::remove(file, ec);
    return ec ? ec.value() : 0;
  }
  if (const int err = MakeFolder(file.parent_path()); err != 0) return err;
  IniFile entry;
  entry.Set("Desktop Entry", "Type", "Application");
  entry.Set("Desktop Entry", "Name", programName);
  // The desktop entry format quotes a path holding blanks with double
  // quotes, as the Run value did.
  entry.Set("Desktop Entry", "Exec", "\"" + programPath + "\"");
  entry.Set("Desktop Entry", "Terminal", "false");
  return entry.Save(file);
}

std::optional<std::string> AutostartCommand(std::string_view programName) {
  IniFile entry;
  if (!entry.Load(AutostartFile(programName)) || !entry.Has("Desktop Entry", "Exec")) return std::nullopt;
  // Read the raw line: the reader would drop the quotes that are the point.
  const std::string text = entry.Text();
  const std::size_t at = text.find("\nExec=");
  if (at == std::string::npos) return std::nullopt;
  const std::size_t start = at + 6;
  return text.substr(start, text.find('\n', start) - start);
}

}  // namespace tessary
