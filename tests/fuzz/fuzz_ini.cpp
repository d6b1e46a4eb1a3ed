// Feeds arbitrary bytes to the ini reader: every lookup must work, a value
// set afterwards must read back, and the written text must read back the
// same way.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "manager/platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tessary::IniFile ini;
  ini.Parse(text);
  for (const char* key : {"AutoStartServers", "Lang", "TessaryLogPath", "MySqlArguments"}) {
    const std::string v = ini.Get("Tessary", key, "default", 49);
    if (v.size() > 49) std::abort();
    if (!ini.Has("Tessary", key) && v != "default") std::abort();
  }
  ini.Set("Tessary", "AutoStartServers", "Y");
  ini.Set("MySql", "MySqlArguments", "--a\n--b");
  if (ini.Get("tessary", "autostartservers") != "Y") std::abort();
  if (ini.Get("MySql", "MySqlArguments") != "--a --b") std::abort();
  tessary::IniFile back;
  back.Parse(ini.Text());
  if (back.Get("Tessary", "AutoStartServers") != "Y") std::abort();
  if (back.Get("MySql", "MySqlArguments") != "--a --b") std::abort();
  if (back.Get("Tessary", "Lang") != ini.Get("Tessary", "Lang")) std::abort();
  return 0;
}
