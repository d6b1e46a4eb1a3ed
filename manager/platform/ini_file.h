// Initialisation files: "[section]" lines and "key=value" lines, as the
// manager's settings, its key store and its language file use them.
#pragma once

#include <cstddef>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

// Section and key names compare without letter case; the first section and
// the first key of a name win. Blanks around names and values are dropped,
// and a value enclosed in a pair of double quotes loses them. Lines that
// are neither a section nor a key (comments, text before the first
// section, broken lines) are kept as they are and never match. Writing
// keeps every other line of the file untouched.
class IniFile {
 public:
  // Larger files are refused: a settings or language file is a few hundred
  // kilobytes at most, so anything bigger is not one of ours.
  static constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t{8} * 1024 * 1024;
  static constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

  // Reads a file. On failure (missing, unreadable, too large) the object is
  // empty, the result is false and *error says why.
  bool Load(const std::filesystem::path& path, std::string* error = nullptr);
  // Takes the text of a file.
  void Parse(std::string_view text);

  // The value of key in section cut to maxBytes, or def (also cut) when the
  // key is missing.
  std::string Get(std::string_view section, std::string_view key, std::string_view def = {},
                  std::size_t maxBytes = kNoLimit) const;
  bool Has(std::string_view section, std::string_view key) const;
  bool HasSection(std::string_view section) const;

  // Replaces the key's value, adds the key at the end of its section, or
  // adds the section at the end of the file. Line breaks in the value are
  // turned into blanks so that one value stays one line.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  // Removes a key or a whole section; false when it was not there.
  bool Remove(std::string_view section, std::string_view key);
  bool RemoveSection(std::string_view section);

  // The file's text, one "\n" after each line.
  std::string Text() const;
  // Writes the text through a temporary file beside the target, so a
  // failure never leaves half a file. 0 or the system error code.
  int Save(const std::filesystem::path& path) const;

  bool empty() const { return m_lines.empty(); }

 private:
  // Index of the section's header line, or npos.
  std::size_t findSection(std::string_view section) const;
  // Index of the key's line inside the section starting at header, or npos.
  std::size_t findKey(std::size_t header, std::string_view key) const;
  // One past the last line of the section starting at header.
  std::size_t sectionEnd(std::size_t header) const;

  std::vector<std::string> m_lines;
};

}  // namespace tessary
