#include "manager/platform/ini_file.h"

#include <fstream>
#include <system_error>

#include "base/atomic_file.h"
#include "base/utf8_cut.h"

namespace tessary {
namespace {

constexpr std::size_t npos = std::string::npos;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// The name of a "[section]" line; false for any other line. A header
// without its closing bracket names everything after the opening one.
bool SectionName(std::string_view line, std::string_view& name) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return false;
  line.remove_prefix(1);
  const std::size_t close = line.find(']');
  name = Trim(close == npos ? line : line.substr(0, close));
  return true;
}

// Splits a "key=value" line; false for lines without "=" or with an empty
// key, and for comment lines.
bool KeyValue(std::string_view line, std::string_view& key, std::string_view& value) {
  const std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return false;
  const std::size_t eq = t.find('=');
  if (eq == npos) return false;
  key = Trim(t.substr(0, eq));
  if (key.empty()) return false;
  value = Trim(t.substr(eq + 1));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.substr(1, value.size() - 2);
  return true;
}

}  // namespace

bool IniFile::Load(const std::filesystem::path& path, std::string* error) {
  m_lines.clear();
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) {
    if (error) *error = path.string() + ": " + ec.message();
    return false;
  }
  if (size > kMaxFileBytes) {
    if (error) *error = path.string() + ": larger than " + std::to_string(kMaxFileBytes) + " bytes, ignored";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = path.string() + ": cannot be read";
    return false;
  }
  std::string text(static_cast<std::size_t>(size), '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  Parse(text);
  return true;
}

void IniFile::Parse(std::string_view text) {
  m_lines.clear();
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    m_lines.emplace_back(line);
    start = end + 1;
  }
}

std::size_t IniFile::findSection(std::string_view section) const {
  std::string_view name;
  for (std::size_t i = 0; i < m_lines.size(); ++i)
    if (SectionName(m_lines[i], name) && SameName(name, section)) return i;
  return npos;
}

std::size_t IniFile::sectionEnd(std::size_t header) const {
  std::string_view name;
  std::size_t i = header + 1;
  while (i < m_lines.size() && !SectionName(m_lines[i], name)) ++i;
  return i;
}

std::size_t IniFile::findKey(std::size_t header, std::string_view key) const {
  const std::size_t end = sectionEnd(header);
  std::string_view k, v;
  for (std::size_t i = header + 1; i < end; ++i)
    if (KeyValue(m_lines[i], k, v) && SameName(k, key)) return i;
  return npos;
}

std::string IniFile::Get(std::string_view section, std::string_view key, std::string_view def,
                         std::size_t maxBytes) const {
  std::string out(def);
  const std::size_t header = findSection(section);
  if (header != npos) {
    const std::size_t line = findKey(header, key);
    std::string_view k, v;
    if (line != npos && KeyValue(m_lines[line], k, v)) out.assign(v);
  }
  cutUtf8InPlace(out, maxBytes);
  return out;
}

bool IniFile::Has(std::string_view section, std::string_view key) const {
  const std::size_t header = findSection(section);
  return header != npos && findKey(header, key) != npos;
}

bool IniFile::HasSection(std::string_view section) const { return findSection(section) != npos; }

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  std::string line(key);
  line += '=';
  for (const char c : value) line += (c == '\n' || c == '\r') ? ' ' : c;
  std::size_t header = findSection(section);
  if (header == npos) {
    if (!m_lines.empty() && !Trim(m_lines.back()).empty()) m_lines.emplace_back();
    m_lines.push_back("[" + std::string(section) + "]");
    m_lines.push_back(std::move(line));
    return;
  }
  const std::size_t at = findKey(header, key);
  if (at != npos) {
    m_lines[at] = std::move(line);
    return;
  }
  // After the section's last non-blank line, so the blank line that
  // separates it from the next section stays where it is.
  std::size_t insert = sectionEnd(header);
  while (insert > header + 1 && Trim(m_lines[insert - 1]).empty()) --insert;
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insert), std::move(line));
}

bool IniFile::Remove(std::string_view section, std::string_view key) {
  const std::size_t header = findSection(section);
  if (header == npos) return false;
  const std::size_t at = findKey(header, key);
  if (at == npos) return false;
  m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(at));
  return true;
}

bool IniFile::RemoveSection(std::string_view section) {
  const std::size_t header = findSection(section);
  if (header == npos) return false;
  m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(header),
                m_lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd(header)));
  return true;
}

std::string IniFile::Text() const {
  std::string out;
  for (const std::string& l : m_lines) {
    out += l;
    out += '\n';
  }
  return out;
}

int IniFile::Save(const std::filesystem::path& path) const {
  FileError error;
  return writeFileAtomically(path.string(), Text(), error) ? 0 : error.code;
}

}  // namespace tessary
