#include "manager/config/switches.h"

namespace tessary {
namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

void Switches::Parse(const std::vector<std::string>& arguments) {
  for (const std::string& arg : arguments) {
    if (arg.empty()) continue;
    Set(std::string_view(arg).substr(1));
  }
}

void Switches::Parse(int argc, const char* const* argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] != nullptr ? argv[i] : "");
  Parse(args);
}

void Switches::Set(std::string_view name) {
  for (std::size_t i = 0; i < kSwitchTable.size(); ++i)
    if (SameNoCase(kSwitchTable[i].name, name)) m_present[i] = true;
}

Switches SwitchesFromNames(const std::vector<std::string>& names) {
  Switches switches;
  for (const std::string& name : names) switches.Set(name);
  return switches;
}

bool Switches::IsPresent(std::string_view name) const {
  for (std::size_t i = 0; i < kSwitchTable.size(); ++i)
    if (SameNoCase(kSwitchTable[i].name, name)) return m_present[i];
  return false;
}

bool Switches::Any() const {
  for (const bool b : m_present)
    if (b) return true;
  return false;
}

std::vector<int> Switches::Commands() const {
  std::vector<int> out;
  for (std::size_t i = 0; i < kSwitchTable.size(); ++i)
    if (m_present[i]) out.push_back(kSwitchTable[i].command);
  return out;
}

std::vector<std::string> Switches::Names() const {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < kSwitchTable.size(); ++i)
    if (m_present[i]) out.emplace_back(kSwitchTable[i].name);
  return out;
}

}  // namespace tessary
