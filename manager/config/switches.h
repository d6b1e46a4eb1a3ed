// The command-line switches of the manager: a fixed table of names, each
// with the main window command it posts.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

// Main window commands that switches post.
inline constexpr int kCmdStart = 32771;
inline constexpr int kCmdStop = 32772;
inline constexpr int kCmdRestart = 32794;
inline constexpr int kCmdBrowse = 32785;
inline constexpr int kCmdQuit = 32776;
inline constexpr int kCmdSwitchList = 32775;
inline constexpr int kCmdSettings = 32786;
inline constexpr int kCmdAbout = 1008;
inline constexpr int kCmdInstall = 101;  // no command of its own: selects install mode

struct SwitchEntry {
  std::string_view name;
  int command;
};

inline constexpr std::array<SwitchEntry, 10> kSwitchTable = {{
    {"start", kCmdStart},
    {"stop", kCmdStop},
    {"restart", kCmdRestart},
    {"browse", kCmdBrowse},
    {"quit", kCmdQuit},
    {"?", kCmdSwitchList},
    {"help", kCmdSwitchList},
    {"show", kCmdSettings},
    {"about", kCmdAbout},
    {"install", kCmdInstall},
}};

class Switches {
 public:
  // Sets the present flags from the arguments after the program name: the
  // first character of each (the switch sign, whatever it is) is dropped
  // and the rest compared with the table's names without letter case.
  // Other arguments are ignored. Flags already set stay set.
  void Parse(const std::vector<std::string>& arguments);
  void Parse(int argc, const char* const* argv);

  // The present flag of a switch name of the table (false for other names).
  bool IsPresent(std::string_view name) const;
  void Set(std::string_view name);
  bool Any() const;

  // The commands of the present switches, in table order.
  std::vector<int> Commands() const;
  // The names of the present switches, in table order.
  std::vector<std::string> Names() const;

 private:
  std::array<bool, kSwitchTable.size()> m_present{};
};

// The switches of a later launch from the names it handed over (its
// Names()); names of no switch are ignored.
Switches SwitchesFromNames(const std::vector<std::string>& names);

// The list that the switch-list command shows: one line "%s%s\t\t%s\n" per
// table entry (the name, two tabs, the text of its command given by
// commandText), at most 1023 bytes in all.
template <typename TextOf>
std::string SwitchListText(TextOf&& commandText) {
  std::string out;
  for (const SwitchEntry& e : kSwitchTable) {
    std::string line(e.name);
    line += "\t\t";
    line += commandText(e.command);
    line += '\n';
    if (out.size() + line.size() > 1023) break;
    out += line;
  }
  return out;
}

}  // namespace tessary
