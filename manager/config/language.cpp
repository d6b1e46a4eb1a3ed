#include "manager/config/language.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "base/utf8_cut.h"
#include "manager/config/manager_log.h"
#include "manager/platform/system.h"

namespace tessary {

TextVariant VariantForLanguage(std::string_view code) {
  return code == "fr" ? TextVariant::French : TextVariant::English;
}

std::string_view BuiltinText(int id, TextVariant variant) {
  const std::span<const TextEntry> table = variant == TextVariant::French ? FrenchTexts() : EnglishTexts();
  const auto it = std::lower_bound(table.begin(), table.end(), id,
                                   [](const TextEntry& e, int key) { return e.id < key; });
  return (it != table.end() && it->id == id) ? it->text : std::string_view();
}

std::string LanguageFilePath(std::string_view root) { return std::string(root) + "langues.txt"; }

void TurnEscapes(std::string& text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '\\') continue;
    const char next = text[i + 1];
    const char turned = next == 'n' ? '\r' : next == 'r' ? '\n' : next == 't' ? '\t' : '\0';
    if (turned == '\0') continue;
    text[i] = ' ';
    text[i + 1] = turned;
    ++i;
  }
}

LanguageList::LanguageList() : LanguageList(VariantForLanguage(UserLanguageCode())) {}

LanguageList::LanguageList(TextVariant builtin) : m_variant(builtin) {}

void LanguageList::Read(const std::string& path) {
  m_path = path;
  cutUtf8InPlace(m_path, 259);
  loadMessage.clear();
  std::string error;
  if (!m_file.Load(path, &error) && std::filesystem::exists(path)) {
    loadMessage = error;
    Trace("LanguageList: %s", error.c_str());
  }
  readNames();
}

void LanguageList::ReadText(const std::string& path, std::string_view text) {
  m_path = path;
  cutUtf8InPlace(m_path, 259);
  loadMessage.clear();
  m_file.Parse(text);
  readNames();
}

void LanguageList::readNames() {
  for (int i = 0; i < kSlots; ++i)
    m_names[static_cast<std::size_t>(i)] = m_file.Get("Liste", "Langue" + std::to_string(i), "", kMaxName);
}

int LanguageList::Count() const {
  int n = 0;
  while (n < kSlots && !m_names[static_cast<std::size_t>(n)].empty()) ++n;
  return n;
}

std::string LanguageList::Name(int index) const {
  if (index < 0 || index >= kSlots) return {};
  return m_names[static_cast<std::size_t>(index)];
}

bool LanguageList::Select(int index) {
  if (index < 0 || index >= kSlots || m_names[static_cast<std::size_t>(index)].empty()) return false;
  m_index = index;
  m_current = m_names[static_cast<std::size_t>(index)];
  return true;
}

bool LanguageList::SelectByName(std::string_view name) {
  const int n = Count();
  for (int i = 0; i < n; ++i)
    if (m_names[static_cast<std::size_t>(i)] == name) return Select(i);
  return false;
}

const char* LanguageList::LoadText(int id) {
  m_next = (m_next + 1) % kRingSize;
  char* buffer = m_ring[m_next].data();
  std::string text;
  if (!m_path.empty() && !m_current.empty()) {
    const std::string key = m_file.Get("IDs", std::to_string(id), "", kMaxKey);
    if (!key.empty()) text = m_file.Get(m_current, key, "", kMaxText);
    TurnEscapes(text);
  }
  if (text.empty()) {
    text = BuiltinText(id, m_variant);
    cutUtf8InPlace(text, kMaxText);
  }
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return buffer;
}

}  // namespace tessary
