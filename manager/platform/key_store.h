// The manager's small key store, in place of the registry keys it used to
// read: one initialisation file "keys.ini" in $XDG_CONFIG_HOME/tessary (by
// default ~/.config/tessary), one section per key. Text values are stored
// as they are, 32-bit numbers as "dword:" followed by eight hexadecimal
// digits, so a reader can tell the two kinds apart.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tessary {

// The key whose optional text value "path" names the install root.
inline constexpr std::string_view kRootKey = "Software\\Tessary";
inline constexpr std::string_view kRootValue = "path";
// The key of the settings that older versions kept, imported once.
inline constexpr std::string_view kConfigurationKey = "Software\\Tessary\\Configuration";

// $XDG_CONFIG_HOME, or ~/.config when that is unset or not absolute.
std::filesystem::path ConfigHome();

class KeyStore {
 public:
  // The store of the calling user: ConfigHome()/tessary.
  KeyStore();
  explicit KeyStore(const std::filesystem::path& folder);

  const std::filesystem::path& file() const { return m_file; }

  // True when the key has a section in the store.
  bool KeyExists(std::string_view key) const;
  // A text value; nothing when missing or a number.
  std::optional<std::string> GetString(std::string_view key, std::string_view value) const;
  // A number value; nothing when missing or text.
  std::optional<std::uint32_t> GetDword(std::string_view key, std::string_view value) const;

  // Each returns 0 or the system error code of the write.
  int SetString(std::string_view key, std::string_view value, std::string_view data) const;
  int SetDword(std::string_view key, std::string_view value, std::uint32_t data) const;
  // Deleting a key or value that is not there succeeds.
  int DeleteKey(std::string_view key) const;

 private:
  std::filesystem::path m_file;
};

// Start at login: the XDG autostart entry ConfigHome()/autostart/<name>.desktop
// whose Exec line is the quoted program path. SetAutostart writes or
// removes it and returns 0 or the system error code.
std::filesystem::path AutostartFile(std::string_view programName);
int SetAutostart(std::string_view programName, bool on, const std::string& programPath);
// The Exec value of the entry, or nothing when there is none.
std::optional<std::string> AutostartCommand(std::string_view programName);

}  // namespace tessary
