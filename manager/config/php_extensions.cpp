#include "manager/config/php_extensions.h"

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "base/atomic_file.h"

namespace tessary {
namespace {

constexpr std::string_view kOpenMarker = ";PHPExt";

// An extension and one it builds on: PHP loads the lines in order, and an
// extension whose base is not loaded yet fails on the base's symbols.
struct Needs {
  std::string_view extension;
  std::string_view base;
};
constexpr std::array<Needs, 6> kNeeds = {{
    {"mysqli", "mysqlnd"},
    {"pdo_mysql", "mysqlnd"},
    {"pdo_mysql", "pdo"},
    {"pdo_sqlite", "pdo"},
    {"pdo_pgsql", "pdo"},
    {"pdo_odbc", "pdo"},
}};

bool IsBase(std::string_view name) {
  return std::any_of(kNeeds.begin(), kNeeds.end(), [&](const Needs& n) { return n.base == name; });
}

// Bases before the rest, each group by name.
bool LoadsBefore(std::string_view a, std::string_view b) {
  const bool baseA = IsBase(a);
  const bool baseB = IsBase(b);
  return baseA != baseB ? baseA : a < b;
}
constexpr std::string_view kCloseMarker = ";/PHPExt";

bool IsExtensionLine(std::string_view line) {
  if (!line.empty() && line.front() == ';') line.remove_prefix(1);
  return line.rfind("extension=", 0) == 0;
}

// The block of a template text: where the marker starts, where the lines
// after the marker line start, where the block's lines end and where the
// text after the closing marker line starts. Without a closing marker the
// block ends at the first line that is no extension line, so nothing after
// it is taken for an extension and lost.
struct Block {
  std::size_t marker = std::string::npos;
  std::size_t linesBegin = 0;
  std::size_t linesEnd = 0;
  std::size_t after = 0;
};

Block FindBlock(const std::string& text) {
  Block b;
  b.marker = text.find(kOpenMarker);
  if (b.marker == std::string::npos) return b;
  auto eol = text.find('\n', b.marker);
  b.linesBegin = eol == std::string::npos ? text.size() : eol + 1;
  std::size_t pos = b.linesBegin;
  while (pos < text.size()) {
    eol = text.find('\n', pos);
    const std::size_t next = eol == std::string::npos ? text.size() : eol + 1;
    const std::string_view line(text.data() + pos, (eol == std::string::npos ? text.size() : eol) - pos);
    if (line.rfind(kCloseMarker, 0) == 0) {
      b.linesEnd = pos;
      b.after = next;
      return b;
    }
    pos = next;
  }
  // No closing marker.
  pos = b.linesBegin;
  while (pos < text.size()) {
    eol = text.find('\n', pos);
    const std::string_view line(text.data() + pos, (eol == std::string::npos ? text.size() : eol) - pos);
    if (!IsExtensionLine(line)) break;
    pos = eol == std::string::npos ? text.size() : eol + 1;
  }
  b.linesEnd = b.after = pos;
  return b;
}

// The lines between the block's markers, without their line ends.
std::vector<std::string_view> BlockLines(const std::string& text, const Block& b) {
  std::vector<std::string_view> lines;
  std::size_t pos = b.linesBegin;
  while (pos < b.linesEnd) {
    auto eol = text.find('\n', pos);
    if (eol == std::string::npos || eol > b.linesEnd) eol = b.linesEnd;
    std::string_view line(text.data() + pos, eol - pos);
    pos = eol + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
  }
  return lines;
}

// The extension an extension line of the block names ("" for a line that
// names none): the text after its first "=" up to the next ".".
std::string ListedName(std::string_view line) {
  if (!IsExtensionLine(line)) return {};
  const auto eq = line.find('=');
  const auto dot = line.find('.', eq + 1);
  return std::string(
      line.substr(eq + 1, dot == std::string_view::npos ? std::string_view::npos : dot - eq - 1));
}

}  // namespace

bool ExtensionLoads(const std::string& path) {
  void* handle = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (handle != nullptr) {
    ::dlclose(handle);
    return true;
  }
  const char* error = ::dlerror();
  // The engine's own functions and globals are only there inside PHP; every
  // library the extension needs was found when that is all that is missing.
  return error != nullptr && std::strstr(error, "undefined symbol") != nullptr;
}

bool IsPhpModule(const std::string& path) {
  // The module entry point's name in the dynamic symbol table; reading the
  // object's bytes tells without running any of its code.
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  static constexpr std::string_view kEntry("\0get_module\0", 12);
  std::string window;
  char buf[65536];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    window.append(buf, static_cast<std::size_t>(in.gcount()));
    if (window.find(kEntry) != std::string::npos) return true;
    window.erase(0, window.size() > kEntry.size() ? window.size() - kEntry.size() : 0);
  }
  return false;
}

std::vector<std::string> OrderedExtensions(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  if (folder.empty()) return names;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec))
    if (e.path().extension() == ".so" && IsPhpModule(e.path().string()))
      names.push_back(e.path().stem().string());
  std::sort(names.begin(), names.end(), LoadsBefore);
  return names;
}

bool IsOnByDefault(std::string_view name) {
  return name == "mysqlnd" || name == "mysqli" || name == "pdo" || name == "pdo_mysql";
}

PhpExtensionsModel::PhpExtensionsModel(std::string templatePath, std::string root)
    : m_template(std::move(templatePath)), m_root(std::move(root)) {}

bool PhpExtensionsModel::Open() {
  std::ifstream in(m_template, std::ios::binary);
  m_read = static_cast<bool>(in);
  m_text.clear();
  if (!m_read) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  m_text = ss.str();
  return true;
}

void PhpExtensionsModel::Refresh() {
  m_entries.clear();
  const Block b = FindBlock(m_text);
  if (b.marker == std::string::npos) return;
  for (const std::string_view line : BlockLines(m_text, b)) {
    PhpExtension e;
    e.name = ListedName(line);
    if (e.name.empty()) continue;
    e.path = m_root + "PHP/extensions/" + e.name + ".so";
    std::error_code ec;
    e.exists = std::filesystem::is_regular_file(e.path, ec);
    e.loads = e.exists && ExtensionLoads(e.path);
    e.on = line.front() == 'e' && e.loads;
    m_entries.push_back(std::move(e));
  }
  // The folder is what PHP can load: a module there that the block does not
  // name yet is listed too, off.
  for (const std::string& name : OrderedExtensions(m_root + "PHP/extensions")) {
    if (std::any_of(m_entries.begin(), m_entries.end(),
                    [&](const PhpExtension& e) { return e.name == name; }))
      continue;
    PhpExtension e;
    e.name = name;
    e.path = m_root + "PHP/extensions/" + name + ".so";
    e.exists = true;
    e.loads = ExtensionLoads(e.path);
    m_entries.push_back(std::move(e));
  }
  // The bases move to the front; the rest keep the block's order.
  std::stable_partition(m_entries.begin(), m_entries.end(),
                        [](const PhpExtension& e) { return IsBase(e.name); });
}

bool PhpExtensionsModel::SetOn(std::size_t index, bool on) {
  if (index >= m_entries.size()) return false;
  PhpExtension& e = m_entries[index];
  if (on && !e.loads) return false;
  // The bases of one switched on, and what builds on one switched off.
  std::vector<std::size_t> linked;
  for (const Needs& n : kNeeds) {
    const std::string_view other = on ? (n.extension == e.name ? n.base : std::string_view())
                                      : (n.base == e.name ? n.extension : std::string_view());
    if (other.empty()) continue;
    for (std::size_t i = 0; i < m_entries.size(); ++i)
      if (m_entries[i].name == other) linked.push_back(i);
  }
  if (on)
    for (const std::size_t i : linked)
      if (!m_entries[i].loads) return false;  // a base that cannot load: neither can this one
  e.on = on;
  for (const std::size_t i : linked) m_entries[i].on = on;
  return true;
}

int PhpExtensionsModel::Apply() {
  if (!m_read) return ENOENT;  // nothing read: writing would empty the template
  std::string out;
  const Block b = FindBlock(m_text);
  if (b.marker == std::string::npos) {
    out = m_text;
  } else {
    out = m_text.substr(0, b.marker);
    out += std::string(kOpenMarker) + "\n";
    for (const PhpExtension& e : m_entries)
      out += (e.on ? "" : ";") + std::string("extension=") + e.name + ".so\n";
    // Lines of the block that name no extension stay in it.
    for (const std::string_view line : BlockLines(m_text, b))
      if (!line.empty() && ListedName(line).empty()) out += std::string(line) + "\n";
    out += std::string(kCloseMarker) + "\n";
    out += m_text.substr(b.after);
  }
  // Written beside the template and moved over it, so a failed write never
  // leaves half a template. The dialog names the failure by its code: the
  // system's for a file that cannot be made, EIO for a write that fails and
  // EACCES for a template that cannot be replaced.
  FileError error;
  if (!writeFileAtomically(m_template, out, error)) {
    if (error.step == FileError::Step::Write) return EIO;
    if (error.step == FileError::Step::Rename) return EACCES;
    return error.code;
  }
  m_text = out;
  m_changed = true;
  return 0;
}

std::string PhpExtensionsModel::DependencyViewer() const {
  if (const char* v = std::getenv("TESSARY_DEPENDS"); v != nullptr && *v != '\0') return v;
  std::error_code ec;
  return std::filesystem::exists("/usr/bin/ldd", ec) ? "/usr/bin/ldd" : "";
}

}  // namespace tessary
