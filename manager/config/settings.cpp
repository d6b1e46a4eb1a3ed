#include "manager/config/settings.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "base/utf8_cut.h"
#include "manager/config/install_root.h"
#include "manager/config/manager_log.h"
#include "manager/platform/ini_file.h"
#include "manager/platform/key_store.h"
#include "manager/platform/system.h"

namespace tessary {
namespace {

constexpr std::string_view kSection = "Tessary";
constexpr std::string_view kMySqlSection = "MySql";

// A boolean key: true exactly when the value's first character is "Y".
bool ReadFlag(const IniFile& ini, std::string_view key) {
  const std::string v = ini.Get(kSection, key, "", 99);
  return !v.empty() && v.front() == 'Y';
}

const char* Flag(bool on) { return on ? "Y" : "N"; }

// A server address of section "Servers": the default when missing or
// empty, always ending with "/" so that a path can follow.
std::string ReadAddress(const IniFile& ini, bool readable, std::string_view key, std::string_view def) {
  std::string a = readable ? ini.Get("Servers", key, "", Settings::kMaxAddress) : std::string();
  if (a.empty()) a = std::string(def);
  if (a.back() != '/') a += '/';
  return a;
}

bool ContainsEntry(std::string_view path, const std::string& entry) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string_view::npos) end = path.size();
    if (path.substr(start, end - start) == entry) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

std::string DefaultLanguageName(std::string_view code) {
  struct Entry {
    std::string_view code;
    std::string_view name;
  };
  static constexpr Entry kNames[] = {
      {"ar", "Arabic"},  {"cs", "Czech"},    {"de", "Deutch"},     {"es", "Spanish"},  {"fr", "Français"},
      {"hu", "Magyar"},  {"it", "Italiano"}, {"nl", "Nederlands"}, {"no", "Norsk"},    {"nb", "Norsk"},
      {"nn", "Norsk"},   {"pl", "Polish"},   {"pt", "Portugues"},  {"ru", "Russian"},  {"sq", "Albanian"},
      {"sv", "Svenska"}, {"tr", "Turkish"},  {"id", "Indonesian"}, {"lt", "Lietuvio"},
  };
  for (const Entry& e : kNames)
    if (e.code == code) return std::string(e.name);
  return "English";
}

std::string DefaultLanguageName() { return DefaultLanguageName(UserLanguageCode()); }

std::string ExtendedPath(std::string_view oldPath, std::string_view root) {
  const std::string apache = std::string(root) + "Apache";
  const std::string php = std::string(root) + "PHP";
  if (ContainsEntry(oldPath, apache) && ContainsEntry(oldPath, php)) return std::string(oldPath);
  // An empty entry would put the current folder on the path: none is made.
  std::string out(oldPath);
  if (!out.empty()) out += ':';
  out += apache;
  out += ':';
  out += php;
  return out;
}

Settings::Settings() : Settings(InstallRoot()) {}

Settings::Settings(std::string rootFolder) : root(std::move(rootFolder)) { Load(); }

Settings::~Settings() { Save(); }

void Settings::Load() {
  autoStartServers = true;
  autoStartTessary = false;
  autoReloadConf = false;
  autoRestart = false;
  checkServerPorts = true;
  mySqlArguments.clear();
  checkVersion = false;
  startAsServices = false;
  showAlways = true;
  expandPos = true;
  lang.clear();
  editor.clear();
  apacheSsl = false;
  loadMessage.clear();
  if (root.empty() || root.back() != '/') root += '/';
  iniFile = root + "Tessary.ini";
  logFile = root + "Tessary.log";
  programName = std::string(kProgramName);

  IniFile ini;
  std::string error;
  const bool readable = ini.Load(iniFile, &error);
  if (!readable && std::filesystem::exists(iniFile)) {
    loadMessage = error;
    Trace("Settings: %s", error.c_str());
  }
  upgradeServer = ReadAddress(ini, readable, "UpgradeServer", kDefaultUpgradeServer);
  hashServer = ReadAddress(ini, readable, "HashServer", kDefaultHashServer);
  versionServer = ReadAddress(ini, readable, "VersionServer", kDefaultVersionServer);
  homePage = ReadAddress(ini, readable, "HomePage", kDefaultHomePage);
  if (readable && !ini.Get(kSection, "AutoStartServers", "", 99).empty()) {
    if (std::string log = ini.Get(kSection, "TessaryLogPath", "", kMaxPath); !log.empty()) logFile = log;
    autoStartServers = ReadFlag(ini, "AutoStartServers");
    autoStartTessary = ReadFlag(ini, "AutoStartTessary");
    autoReloadConf = ReadFlag(ini, "AutoReloadConf");
    autoRestart = ReadFlag(ini, "AutoRestart");  // absent in older files: off
    checkServerPorts = ReadFlag(ini, "CheckServerPorts");
    mySqlArguments = ini.Get(kMySqlSection, "MySqlArguments", "", kMaxMySqlArgumentsRead);
    checkVersion = ReadFlag(ini, "CheckVersion");
    if (IsWindowsNT()) startAsServices = ReadFlag(ini, "StartAsServices");
    showAlways = ReadFlag(ini, "ShowAlways");
    expandPos = ReadFlag(ini, "ExpandPos");
    lang = ini.Get(kSection, "Lang", DefaultLanguageName(), kMaxLang);
    editor = ini.Get(kSection, "Editor", "", kMaxPath);
  } else {
    const KeyStore store;
    if (store.KeyExists(kConfigurationKey)) {
      auto flag = [&](std::string_view value, bool& field) {
        if (const auto v = store.GetDword(kConfigurationKey, value)) field = *v != 0;
      };
      flag("AutoStartServers", autoStartServers);
      flag("AutoStartTessary", autoStartTessary);
      flag("AutoReloadConf", autoReloadConf);
      flag("CheckVersion", checkVersion);
      if (auto args = store.GetString(kConfigurationKey, "MySqlArguments")) {
        cutUtf8InPlace(*args, kMaxMySqlArgumentsRead);
        mySqlArguments = *args;
      }
      if (IsWindowsNT()) flag("StartAsServices", startAsServices);
    }
  }

  const char* oldPath = std::getenv("PATH");
  const std::string path = ExtendedPath(oldPath != nullptr ? oldPath : "", root);
  ::setenv("PATH", path.c_str(), 1);
}

int Settings::Save() {
  IniFile ini;
  std::string error;
  // Keep what the file holds besides our keys; a file that exists but
  // cannot be read is left alone rather than replaced by ours.
  int iniError = 0;
  if (!ini.Load(iniFile, &error) && std::filesystem::exists(iniFile)) {
    Trace("Settings::Save keeps %s", error.c_str());
    iniError = EIO;
  }
  ini.Set(kSection, "AutoStartServers", Flag(autoStartServers));
  ini.Set(kSection, "AutoStartTessary", Flag(autoStartTessary));
  ini.Set(kSection, "AutoReloadConf", Flag(autoReloadConf));
  ini.Set(kSection, "AutoRestart", Flag(autoRestart));
  ini.Set(kSection, "CheckServerPorts", Flag(checkServerPorts));
  ini.Set(kSection, "CheckVersion", Flag(checkVersion));
  if (IsWindowsNT()) ini.Set(kSection, "StartAsServices", Flag(startAsServices));
  ini.Set(kSection, "ShowAlways", Flag(showAlways));
  ini.Set(kSection, "ExpandPos", Flag(expandPos));
  ini.Set(kSection, "Lang", lang);
  if (editor.empty())
    ini.Remove(kSection, "Editor");
  else
    ini.Set(kSection, "Editor", editor);
  if (iniError == 0) {
    iniError = ini.Save(iniFile);
    if (iniError != 0) Trace("Settings::Save %s error %d", iniFile.c_str(), iniError);
  }

  KeyStore().DeleteKey(kConfigurationKey);

  const int runError = SetAutostart(programName, autoStartTessary, ProgramPath());
  return runError != 0 ? runError : iniError;
}

}  // namespace tessary
