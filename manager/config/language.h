// The user-interface languages: the language file "langues.txt" of the
// install root, the list of languages it offers, the current language, and
// LoadText, through which every user-visible text is fetched by its id.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "manager/config/builtin_texts.h"
#include "manager/platform/ini_file.h"

namespace tessary {

// The language file of a root ending with "/": root + "langues.txt".
std::string LanguageFilePath(std::string_view root);

// Turns the escapes of a translation in place: a backslash followed by n
// becomes a blank and a carriage return, followed by r a blank and a line
// feed, followed by t a blank and a tab; any other backslash stays.
void TurnEscapes(std::string& text);

class LanguageList {
 public:
  static constexpr int kSlots = 30;
  static constexpr std::size_t kMaxName = 49;
  static constexpr std::size_t kMaxKey = 48;
  static constexpr std::size_t kMaxText = 340;
  static constexpr std::size_t kRingSize = 8;

  // Built-in texts in the variant of the user's locale.
  LanguageList();
  explicit LanguageList(TextVariant builtin);

  // Reads the names "Langue0" to "Langue29" of section "Liste" and keeps
  // the file for LoadText. The path is kept even when the file is missing
  // (every text is then the built-in one). A file that cannot be used is
  // reported in loadMessage.
  void Read(const std::string& path);
  // The same from the file's text, already read.
  void ReadText(const std::string& path, std::string_view text);

  // Leading non-empty slots (stops at the first empty one).
  int Count() const;
  // The slot's name, or "" for an index outside 0..29.
  std::string Name(int index) const;
  // Makes the slot current when it is below 30 and not empty.
  bool Select(int index);
  // Selects the first of the leading slots equal to the name (case counts);
  // nothing changes when none is.
  bool SelectByName(std::string_view name);

  int CurrentIndex() const { return m_index; }
  // The section read for translations; "" while no language is selected.
  const std::string& CurrentName() const { return m_current; }
  const std::string& path() const { return m_path; }
  TextVariant builtinVariant() const { return m_variant; }

  // The text of a string id: the current language's translation when the
  // file has one, else the built-in text ("" when there is none). The
  // result lives in the next of eight buffers, so it stays valid until
  // eight more calls have been made.
  const char* LoadText(int id);

  std::string loadMessage;

 private:
  void readNames();

  std::array<std::string, kSlots> m_names;
  std::string m_path;
  int m_index = 0;
  std::string m_current;
  IniFile m_file;
  TextVariant m_variant;
  std::array<std::array<char, kMaxText + 1>, kRingSize> m_ring{};
  std::size_t m_next = kRingSize - 1;
};

}  // namespace tessary
