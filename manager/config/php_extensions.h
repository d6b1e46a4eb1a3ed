// The PHP extensions switched on and off inside the marked block of the PHP
// template: a line ";PHPExt", one "extension=NAME.so" line per extension
// (behind ";" when it is off), a line ";/PHPExt". An extension is the
// shared object NAME.so in the stack's "PHP/extensions/" folder; it can be
// used when that object and every library it needs can be found.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessary {

struct PhpExtension {
  bool on = false;
  std::string name;
  std::string path;     // root "PHP/extensions/" NAME ".so"
  bool exists = false;  // the shared object is there
  bool loads = false;   // it and the libraries it needs can be opened
};

// Whether a PHP extension can be loaded here: the object opens, or its
// only fault is a symbol that the PHP engine itself provides.
bool ExtensionLoads(const std::string& path);

// Whether the shared object is a PHP module that an "extension=" line loads
// (it has PHP's module entry point; engine extensions such as opcache do
// not, and "extension=" refuses them).
bool IsPhpModule(const std::string& path);

// The names (without ".so") of the PHP modules in folder, in the order PHP
// must load them: the extensions others build on (mysqlnd, pdo) first, the
// rest by name. An empty list for a folder that cannot be read.
std::vector<std::string> OrderedExtensions(const std::string& folder);

// The extensions a new stack switches on: the database drivers, so that the
// stack's PHP pages reach its database server.
bool IsOnByDefault(std::string_view name);

class PhpExtensionsModel {
 public:
  // templatePath: the PHP template; root: the install root ending with "/".
  PhpExtensionsModel(std::string templatePath, std::string root);

  // Reads the whole template (an unreadable one gives an empty text and an
  // empty list). False when it could not be read.
  bool Open();
  // Lists the block's entries, then (off) every other PHP module of the
  // stack's extension folder, in the order PHP must load them. An entry
  // that is on but cannot be loaded is listed off, so the next Apply
  // writes it off.
  void Refresh();
  // Switches an entry; switching on one that cannot be loaded is refused.
  // Switching one on switches on the extensions it builds on (mysqli needs
  // mysqlnd); switching one off switches off those that build on it.
  // True when the entry now has the asked value.
  bool SetOn(std::size_t index, bool on);
  // Writes the template with the block rebuilt from the entries and
  // everything around it unchanged. 0, or the error of the write (errno).
  int Apply();

  const std::vector<PhpExtension>& entries() const { return m_entries; }
  bool changed() const { return m_changed; }
  bool hasText() const { return m_read; }
  // The program that shows a shared object's dependencies, "" when none is
  // configured (the environment variable TESSARY_DEPENDS, else lddtree).
  std::string DependencyViewer() const;
  const std::string& templatePath() const { return m_template; }

 private:
  std::string m_template;
  std::string m_root;
  std::string m_text;
  bool m_read = false;
  bool m_changed = false;
  std::vector<PhpExtension> m_entries;
};

}  // namespace tessary
