// What the manager's main window does with the two servers, with no widget
// in sight: the commands of its menus, buttons and shortcuts, the error
// reports, the 300 ms refresh (states shown, restarts completed, the switch
// between processes and services, the PHP template watch), the tray icon
// and tooltip, the enabling of the menu entries, the servers'
// notifications, the settings taken back from the settings dialog and the
// exit. The window (Qt) only shows what this decides and collects clicks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "manager/app/engine.h"
#include "manager/servers/server_base.h"
#include "manager/servers/server_stack.h"

namespace tessary {

// Command identifiers of the main window (menus, buttons, shortcuts and the
// switches of switches.h all arrive as these).
enum WindowCommand : int {
  kCmdToggle = 32774,
  kCmdPopupStart = 32804,
  kCmdPopupStop = 32805,
  kCmdPopupRestart = 32806,
  kCmdPopupKill = 32807,
  kCmdAdministration = 32801,
  kCmdPhpMyAdmin = 32793,
  kCmdExplore = 32803,
  kCmdEditApacheConf = 32773,
  kCmdEditMySqlConf = 32781,
  kCmdEditPhpConf = 32788,
  kCmdPhpExtensions = 32792,
  kCmdRegenerate = 32815,
  kCmdApacheErrorLog = 32782,
  kCmdApacheAccessLog = 32797,
  kCmdMySqlErrorLog = 32783,
  kCmdManagerLog = 32796,
  kCmdIntroduction = 32798,
  kCmdFaq = 32799,
  kCmdPhpSite = 32800,
  kCmdCheckVersion = 1016,
  kCmdTrayMenu = 1032,
  kCmdAlwaysOnTop = 1040,
  kCmdWebPopup = 1071,
  kCmdDatabasePopup = 1072,
  kCmdLogList = 1088,
};

// Tray icons by what runs: nothing, the web server, the database server, both.
enum TrayIcon : int { kIconStopped = 128, kIconWeb = 139, kIconDatabase = 140, kIconBoth = 142 };

// Targets of the server popup.
enum Target : int { kTargetNone = -1, kTargetWeb = 0, kTargetDatabase = 1 };

// Where the FAQ lives (the home page is a setting).
inline constexpr std::string_view kFaqAddress = "https://tessary.org/faq.html";

// The state text of a server ("%-20s" of "Started", "Stopped" or
// "Pending...") and its picture (191, 189, 190).
std::string StateText(ServerState state, LanguageList& texts);
int StatePicture(ServerState state);

// The tray icon of a refresh tick: odd ticks show 128, even ticks the
// icon of what runs, so a running server blinks.
int TrayIconFor(bool webRunning, bool databaseRunning, unsigned tick);

// "http://127.0.0.1/<path>" on port 80, else "http://127.0.0.1:<port>/<path>"
// (at most 127 characters).
std::string LocalAddress(int port, std::string_view path);

// The message of ReportError: the text of stringTemplate with the system's
// message of code in it (or "unknown error" when the system has none for
// the code), then " (code)". At most 299 characters.
std::string ErrorReportText(std::string_view stringTemplate, int code);

// The database server's error log: "\"<root>mysql/data/<host>.err\"" with
// blanks of the host name turned into "-".
std::string DatabaseErrorLog(const std::string& root, std::string hostName);

// What the tray menu shows when it opens.
struct TrayMenuState {
  std::string toggleText;  // "&Stop\tF3", "&Start\tF2" or "Pending..."
  bool toggleEnabled = false;
  bool phpMyAdmin = false;   // 32793: both servers Running
  bool localPages = false;   // 32801, 32785: the web server Running
  bool restartBoth = false;  // 32794: both Running
};

// What the server popup shows for its target.
struct ServerPopupState {
  int defaultCommand = kCmdPopupStart;
  bool start = false, stop = false, restart = false, kill = false;
};

// What the window asks of its frontend beyond the engine's questions.
class WindowFrontend : public ManagerFrontend {
 public:
  enum class Icon { Information, Warning, Error };
  virtual void ShowMessage(std::string_view caption, std::string_view text, Icon icon) = 0;
  // Queues the PHP template notification (handled after the refresh that
  // saw the change, as a posted message is).
  virtual void PostPhpChanged() = 0;
};

// What a refresh changed, for the window to show.
struct RefreshResult {
  bool webStateChanged = false;
  bool databaseStateChanged = false;
  bool tooltipChanged = false;
  int icon = kIconStopped;
  std::string tooltip;
};

class MainWindowModel : public ServerNotify {
 public:
  MainWindowModel(ManagerEngine& engine, ServerStack& stack, WindowFrontend& frontend);
  MainWindowModel(const MainWindowModel&) = delete;
  MainWindowModel& operator=(const MainWindowModel&) = delete;
  ~MainWindowModel() override;

  // Initialisation after the window exists: notification window of both
  // servers, install mode or the removable-drive question, the start of
  // both servers when the settings ask for it. The engine's result.
  int Initialise();

  // Commands of the servers. Each returns true when it was carried out.
  void StartBoth();
  void StopBoth();
  void ToggleBoth();
  bool RestartBoth();
  void StartOne(int target);
  void StopOne(int target);
  void RestartOne(int target);
  void KillOne(int target);
  // The popup commands act on the popup's target, which is reset after.
  void SetPopupTarget(int target) { m_target = target; }
  int PopupTarget() const { return m_target; }
  void PopupCommand(int command);

  // Logs and shows a failed server operation (nothing for code 0).
  void ReportError(int code, int target, int stringId);

  // The 300 ms refresh (forced after relabelling).
  RefreshResult Refresh(bool forced);
  // The PHP template changed (the queued notification).
  void OnPhpChanged();
  // Notifications of the two servers.
  void ServerNotification(ServerBase& server, int value, const std::string& text) override;

  TrayMenuState TrayMenu();
  ServerPopupState ServerPopup(int target);
  // The address of a local page, "" while the web server is not Running.
  std::string LocalPage(std::string_view path);

  // The settings dialog closed; servicesBefore is "StartAsServices" as it
  // was when it opened. Stops the servers for a switch of mode, pushes the
  // settings into the servers and saves them.
  void SettingsClosed(bool servicesBefore);
  // Stops both servers unless they run as services.
  void Exit();

  bool AllRunning() const { return m_allRunning; }
  bool ServiceSwitchPending() const { return m_serviceSwitchPending; }
  ServerBase& Server(int target);
  ManagerEngine& engine() { return m_engine; }
  ServerStack& stack() { return m_stack; }

 private:
  void startServer(int target);
  const char* text(int id) { return m_engine.LoadText(id); }
  void log(std::string_view line, int tag) { m_engine.log().WriteLog(line, tag); }

  ManagerEngine& m_engine;
  ServerStack& m_stack;
  WindowFrontend& m_frontend;
  int m_target = kTargetNone;
  bool m_allRunning = false;
  bool m_serviceSwitchPending = false;
  unsigned m_tick = 0;
  std::uint32_t m_shownWeb = 0xFFFFFFFFu;  // no state: the first refresh shows both
  std::uint32_t m_shownDatabase = 0xFFFFFFFFu;
  int m_shownAllRunning = -1;
  std::int64_t m_phpTemplateTime = 0;
};

}  // namespace tessary
