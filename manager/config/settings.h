// The manager's own settings: the ini file "Tessary.ini" in the install
// root, imported once from the key store of older versions, and the start
// at login.
#pragma once

#include <string>
#include <string_view>

namespace tessary {

// The language name for a language code of the user's locale ("fr" gives
// "Français"); "English" for any code without a name of its own.
std::string DefaultLanguageName(std::string_view languageCode);
// The same for the calling user's locale.
std::string DefaultLanguageName();

// PATH extended with the web server and PHP folders of the root, which the
// servers inherit: old + ":" + root "Apache" + ":" + root "PHP". An old
// PATH that already holds both is returned unchanged, so loading the
// settings twice does not grow it.
std::string ExtendedPath(std::string_view oldPath, std::string_view root);

class Settings {
 public:
  // The settings of the install root (InstallRoot()), loaded at once.
  Settings();
  // The settings of another root (ending with "/"), loaded at once.
  explicit Settings(std::string root);
  // Saves, as the program does when it ends.
  ~Settings();
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;

  // Defaults, then the ini file when it is in use (it holds a non-empty
  // "AutoStartServers"), else the one-time import from the key store; then
  // the PATH extension.
  void Load();
  // Writes the ini file, deletes the imported key, writes or removes the
  // autostart entry. 0, or the error of the ini file or of the entry.
  int Save();

  // Paths (the root ends with "/").
  std::string root;
  std::string iniFile;
  std::string logFile;
  std::string programName;

  bool autoStartServers = true;   // "AutoStartServers"
  bool autoStartTessary = false;  // "AutoStartTessary"
  bool autoReloadConf = false;    // "AutoReloadConf"
  bool autoRestart = false;       // "AutoRestart": restart a crashed server
  bool checkServerPorts = true;   // "CheckServerPorts"
  std::string mySqlArguments;     // "MySqlArguments" of section "MySql"
  bool checkVersion = false;      // "CheckVersion"
  bool startAsServices = false;   // "StartAsServices"
  bool showAlways = true;         // "ShowAlways"
  bool expandPos = true;          // "ExpandPos"
  std::string lang;               // "Lang"
  // "Editor": the program (with its arguments) that opens configuration
  // templates and logs; "" for the window's built-in editor and viewer.
  std::string editor;
  bool apacheSsl = false;  // no key: nothing turns it on

  // The project's servers, each a full address ending with "/" (an https
  // address makes every transfer to it go over TLS). Section "Servers" of
  // the ini file, keys "UpgradeServer" (the upgrade list and the files),
  // "HashServer" (the hash list), "VersionServer" (the version-check page)
  // and "HomePage"; read whenever the ini file can be read, never written,
  // so a site may point the manager at a mirror of its own.
  std::string upgradeServer;
  std::string hashServer;
  std::string versionServer;
  std::string homePage;

  // Why the ini file could not be used ("" when it could, or when there is
  // none): the frontend may show it; the defaults apply.
  std::string loadMessage;

  // Limits of the values, in bytes.
  static constexpr std::size_t kMaxPath = 259;
  static constexpr std::size_t kMaxMySqlArgumentsRead = 99;
  static constexpr std::size_t kMaxMySqlArguments = 255;
  static constexpr std::size_t kMaxLang = 49;
  static constexpr std::size_t kMaxAddress = 255;

  static constexpr std::string_view kDefaultUpgradeServer = "https://upgrade.tessary.org/";
  static constexpr std::string_view kDefaultHashServer = "https://check.tessary.org/";
  static constexpr std::string_view kDefaultVersionServer = "https://www.tessary.org/";
  static constexpr std::string_view kDefaultHomePage = "https://tessary.org/";
};

}  // namespace tessary
