#include "manager/app/window_model.h"

#include <cstring>

#include "manager/config/conf_files.h"
#include "manager/platform/process.h"

namespace tessary {
namespace {

// Puts value in place of the first "%s" of a text that comes from the
// language file: such a text is never handed to printf, so a translation
// with a stray "%n" or "%d" cannot do harm.
std::string Substitute(std::string_view text, std::string_view value) {
  std::string out(text);
  const auto at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, value);
  return out;
}

std::string Cut(std::string s, std::size_t max) {
  if (s.size() > max) s.resize(max);
  return s;
}

int TagOf(int target) { return target == kTargetDatabase ? kTagMySql : kTagApache; }
const char* CaptionOf(int target) { return target == kTargetDatabase ? "MySql" : "Apache"; }

}  // namespace

std::string StateText(ServerState state, LanguageList& texts) {
  const char* t = "undefined";
  switch (state) {
    case Running:
      t = texts.LoadText(32796);
      break;
    case Stopped:
      t = texts.LoadText(32797);
      break;
    case Starting:
    case Stopping:
      t = texts.LoadText(32773);
      break;
  }
  std::string s(t);
  if (s.size() < 20) s.append(20 - s.size(), ' ');
  return s;
}

int StatePicture(ServerState state) {
  switch (state) {
    case Running:
      return 191;
    case Starting:
    case Stopping:
      return 190;
    default:
      return 189;
  }
}

int TrayIconFor(bool webRunning, bool databaseRunning, unsigned tick) {
  if (tick % 2 == 1) return kIconStopped;
  static constexpr int kIcons[4] = {kIconStopped, kIconWeb, kIconDatabase, kIconBoth};
  return kIcons[(databaseRunning ? 2 : 0) + (webRunning ? 1 : 0)];
}

std::string LocalAddress(int port, std::string_view path) {
  std::string address = "http://127.0.0.1";
  if (port != 80) address += ":" + std::to_string(port);
  address += "/";
  address += path;
  return Cut(address, 127);
}

std::string ErrorReportText(std::string_view stringTemplate, int code) {
  // Codes above the system's own numbers (the socket and service codes the
  // servers report) have no message of the system.
  std::string message;
  if (code > 0 && code < 4096) {
    char buf[256] = {};
    const char* m = ::strerror_r(code, buf, sizeof buf);
    if (m != nullptr && std::strncmp(m, "Unknown error", 13) != 0) message = m;
  }
  // No placeholder is ever shown as it stands.
  if (message.empty()) message = "unknown error";
  return Cut(Substitute(stringTemplate, message) + " (" + std::to_string(code) + ")", 299);
}

std::string DatabaseErrorLog(const std::string& root, std::string hostName) {
  for (char& c : hostName)
    if (c == ' ') c = '-';
  return root + "MySql/data/" + hostName + ".err";
}

MainWindowModel::MainWindowModel(ManagerEngine& engine, ServerStack& stack, WindowFrontend& frontend)
    : m_engine(engine), m_stack(stack), m_frontend(frontend) {}

MainWindowModel::~MainWindowModel() { m_stack.SetNotificationWindow(nullptr); }

ServerBase& MainWindowModel::Server(int target) {
  return target == kTargetDatabase ? static_cast<ServerBase&>(m_stack.database())
                                   : static_cast<ServerBase&>(m_stack.web());
}

int MainWindowModel::Initialise() {
  m_stack.SetNotificationWindow(this);
  const int result = m_engine.Initialise();
  m_phpTemplateTime = platform::FileWriteTime(m_engine.phpTemplate());
  const Settings& s = m_engine.settings();
  if (s.autoStartServers || s.startAsServices) StartBoth();
  return result;
}

void MainWindowModel::startServer(int target) {
  ServerBase& server = Server(target);
  const int result = server.Start();
  if (result == kErrorAddressInUse) {
    std::string message = text(32788);
    if (!server.LastRefusal().empty()) message += " (" + server.LastRefusal() + ")";
    log(message, TagOf(target));
    m_frontend.ShowMessage(CaptionOf(target), message, WindowFrontend::Icon::Warning);
  } else if (result != 0) {
    ReportError(result, target, 32789);
  }
}

void MainWindowModel::StartBoth() {
  log(text(32815), kTagProgram);
  startServer(kTargetWeb);
  startServer(kTargetDatabase);
}

void MainWindowModel::StopBoth() {
  log(text(32854), kTagProgram);
  m_stack.web().Stop();
  m_stack.database().Stop();
}

void MainWindowModel::ToggleBoth() {
  if (m_stack.web().IsRunning() || m_stack.database().IsRunning())
    StopBoth();
  else
    StartBoth();
}

bool MainWindowModel::RestartBoth() {
  if (!(m_stack.web().IsRunning() && m_stack.database().IsRunning())) return false;
  log(text(32812), kTagProgram);
  // The web server's restart tests its configuration first; when the test
  // fails both servers are left as they run.
  const int web = m_stack.web().Restart();
  if (web == kErrorBadConfig) return false;
  ReportError(web, kTargetWeb, 32805);
  ReportError(m_stack.database().Restart(), kTargetDatabase, 32805);
  return true;
}

void MainWindowModel::StartOne(int target) { startServer(target); }
void MainWindowModel::StopOne(int target) { ReportError(Server(target).Stop(), target, 32800); }
void MainWindowModel::RestartOne(int target) { ReportError(Server(target).Restart(), target, 32805); }
void MainWindowModel::KillOne(int target) { Server(target).Kill(); }

void MainWindowModel::PopupCommand(int command) {
  const int target = m_target;
  m_target = kTargetNone;
  if (target == kTargetNone) return;
  switch (command) {
    case kCmdPopupStart:
      StartOne(target);
      break;
    case kCmdPopupStop:
      StopOne(target);
      break;
    case kCmdPopupRestart:
      RestartOne(target);
      break;
    case kCmdPopupKill:
      KillOne(target);
      break;
    default:
      break;
  }
}

void MainWindowModel::ReportError(int code, int target, int stringId) {
  // A refused configuration has been reported with the checker's own words.
  if (code == 0 || code == kErrorBadConfig) return;
  const std::string message = ErrorReportText(text(stringId), code);
  log(message, TagOf(target));
  m_frontend.ShowMessage(CaptionOf(target), message, WindowFrontend::Icon::Error);
}

RefreshResult MainWindowModel::Refresh(bool forced) {
  RefreshResult r;
  CApache& web = m_stack.web();
  CMySql& db = m_stack.database();
  if (forced || web.State() != m_shownWeb) r.webStateChanged = true;
  if (forced || db.State() != m_shownDatabase) r.databaseStateChanged = true;
  m_shownWeb = web.State();
  m_shownDatabase = db.State();

  m_allRunning = web.IsRunning() && db.IsRunning();

  // The PHP engine reads its live file only when the web server starts, so
  // a changed template is generated here and the web server restarted.
  const std::int64_t phpTime = platform::FileWriteTime(m_engine.phpTemplate());
  if (phpTime != 0 && phpTime != m_phpTemplateTime) {
    m_frontend.PostPhpChanged();
    GenerateConfFile(PhpTemplateSubstitution(m_engine.settings().root), m_engine.phpTemplate(),
                     m_engine.phpLive(), ';');
    m_phpTemplateTime = phpTime;
  }

  if (web.RestartPending() && web.State() == Stopped) {
    web.SetRestartPending(false);
    startServer(kTargetWeb);
  } else if (db.RestartPending() && db.State() == Stopped) {
    db.SetRestartPending(false);
    startServer(kTargetDatabase);
  } else if (web.State() == Stopped && db.State() == Stopped && m_serviceSwitchPending) {
    m_serviceSwitchPending = false;
    const bool services = m_engine.settings().startAsServices;
    if (services) {
      ReportError(web.InstallService(), kTargetWeb, 32806);
      ReportError(db.InstallService(), kTargetDatabase, 32806);
    } else {
      ReportError(web.RemoveService(), kTargetWeb, 32818);
      ReportError(db.RemoveService(), kTargetDatabase, 32818);
    }
    m_stack.SetServiceMode(services);
    web.SetRestartPending(true);
    db.SetRestartPending(true);
  }

  ++m_tick;
  r.icon = TrayIconFor(web.IsRunning(), db.IsRunning(), m_tick);
  if (forced || static_cast<int>(m_allRunning) != m_shownAllRunning) {
    r.tooltipChanged = true;
    m_shownAllRunning = m_allRunning ? 1 : 0;
  }
  r.tooltip = Cut(m_engine.settings().programName + " (" + text(m_allRunning ? 32796 : 32797) + ")", 63);
  return r;
}

void MainWindowModel::OnPhpChanged() {
  log(text(32814), kTagPhp);
  ReportError(m_stack.web().Restart(), kTargetWeb, 32805);
}

void MainWindowModel::ServerNotification(ServerBase& server, int value, const std::string& message) {
  const bool isWeb = &server == &m_stack.web();
  const int target = isWeb ? kTargetWeb : kTargetDatabase;
  switch (value) {
    case kNotifyUnexpectedEnd:
      m_allRunning = m_stack.web().IsRunning() || m_stack.database().IsRunning();
      log(text(isWeb ? 32787 : 32795), TagOf(target));
      break;
    case kNotifyOutputLine:
      log(message, TagOf(target));
      break;
    case kNotifyBadConfig:
      if (!isWeb) break;
      log("Error in the Apache configuration file", kTagProgram);
      if (m_frontend.AskYesNo(m_engine.settings().programName, Cut(Substitute(text(32813), message), 2259)))
        m_frontend.PostCommand(kCmdEditApacheConf);
      break;
    case kNotifyAutoRestart:
      log(message, TagOf(target));
      m_allRunning = m_stack.web().IsRunning() || m_stack.database().IsRunning();
      break;
    case kNotifyConfChanged:
      log(text(32814), TagOf(target));
      ReportError(server.Restart(), target, 32805);
      break;
    default:
      break;
  }
}

TrayMenuState MainWindowModel::TrayMenu() {
  TrayMenuState m;
  const ServerState w = m_stack.web().State();
  const ServerState d = m_stack.database().State();
  const bool allRunning = w == Running && d == Running;
  const bool busy = w == Starting || w == Stopping || d == Starting || d == Stopping;
  // One server running is something to stop: the toggle waits only while a
  // server is on its way up or down.
  const bool anyRunning = w == Running || d == Running;
  if (!busy) {
    m.toggleText = std::string(text(anyRunning ? 32772 : 32771)) + "\t" + (anyRunning ? "F3" : "F2");
    m.toggleEnabled = true;
  } else {
    m.toggleText = text(32773);
    m.toggleEnabled = false;
  }
  m.phpMyAdmin = allRunning;
  m.localPages = w == Running;
  m.restartBoth = allRunning;
  return m;
}

ServerPopupState MainWindowModel::ServerPopup(int target) {
  ServerPopupState p;
  const ServerBase& s = Server(target);
  const ServerState st = s.State();
  p.defaultCommand = st == Running ? kCmdPopupStop : kCmdPopupStart;
  p.start = st == Stopped;
  p.stop = p.restart = st == Running;
  p.kill = !s.ServiceMode() && (st == Starting || st == Stopping);
  return p;
}

std::string MainWindowModel::LocalPage(std::string_view path) {
  if (!m_stack.web().IsRunning()) return {};
  return LocalAddress(m_stack.web().Port(), path);
}

void MainWindowModel::SettingsClosed(bool servicesBefore) {
  Settings& s = m_engine.settings();
  if (s.startAsServices != servicesBefore) {
    for (int target : {kTargetWeb, kTargetDatabase})
      if (Server(target).IsRunning()) ReportError(Server(target).Stop(), target, 32800);
    m_serviceSwitchPending = true;
  }
  m_stack.registry().checkServerPorts = s.checkServerPorts;
  // The database server keeps the reload switch it was given at start.
  m_stack.web().SetAutoReload(s.autoReloadConf);
  m_stack.web().SetAutoRestart(s.autoRestart);
  m_stack.database().SetAutoRestart(s.autoRestart);
  m_stack.web().SetSsl(s.apacheSsl);
  m_stack.database().SetArguments(m_engine.DatabaseArguments());
  s.Save();
}

void MainWindowModel::Exit() {
  if (!m_engine.settings().startAsServices) {
    m_stack.web().Stop();
    m_stack.database().Stop();
  }
}

}  // namespace tessary
