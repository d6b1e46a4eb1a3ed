#include "manager/app/engine.h"

#include <system_error>

#include "base/utf8_cut.h"
#include "manager/config/conf_files.h"
#include "manager/config/stack_layout.h"
#include "manager/platform/system.h"

namespace tessary {
namespace {

std::filesystem::file_time_type WriteTime(const std::string& path) {
  std::error_code ec;
  const auto t = std::filesystem::last_write_time(path, ec);
  return ec ? std::filesystem::file_time_type{} : t;
}

}  // namespace

void WriteSafeCopies(const std::string& root) {
  const std::filesystem::path r(root);
  const std::pair<const char*, const char*> copies[] = {
      {"Apache/conf/httpd.conf", "safe/httpd-safe.conf"},
      {"MySql/my.ini", "safe/my-safe.ini"},
      {"Apache/php.ini", "safe/php-safe.ini"},
  };
  std::error_code ec;
  std::filesystem::create_directories(r / "safe", ec);
  for (const auto& [live, safe] : copies) {
    std::filesystem::copy_file(r / live, r / safe, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) Trace("Safe copy of %s: %s", live, ec.message().c_str());
  }
}

ManagerEngine::ManagerEngine(ManagerFrontend& frontend, const Switches& switches, StackControl* stack)
    : m_frontend(frontend), m_switches(switches), m_stack(stack) {
  m_log.setFile(m_settings.logFile);
  m_log.setList(&m_frontend);

  m_languages.Read(LanguageFilePath(m_settings.root));
  m_languages.SelectByName(m_settings.lang);

  if (m_stack != nullptr) m_stack->ApplySettings(m_settings, DatabaseArguments());

  m_phpTemplate = m_settings.root + "conf_files/php.ini";
  m_phpLive = m_settings.root + "Apache/php.ini";
  m_phpTemplateTime = WriteTime(m_phpTemplate);
}

std::string ManagerEngine::DatabaseArguments() {
  std::string args =
      m_settings.mySqlArguments.empty() ? std::string(LoadText(32782)) : m_settings.mySqlArguments;
  cutUtf8InPlace(args, 249);
  return args;
}

int ManagerEngine::Initialise() {
  // Files that could not be used are told once the window can show it.
  if (!m_settings.loadMessage.empty()) m_log.WriteLog(m_settings.loadMessage, kTagProgram);
  if (!m_languages.loadMessage.empty()) m_log.WriteLog(m_languages.loadMessage, kTagProgram);
  if (m_switches.IsPresent("install")) return InstallMode();
  if (!IsOnFixedDrive()) AskRemovableDriveQuestion();
  return 0;
}

bool ManagerEngine::AskRemovableDriveQuestion() {
  const bool yes = m_frontend.AskYesNo(m_settings.programName, LoadText(32871));
  if (yes && m_stack != nullptr) m_stack->RegenerateConfFiles();
  return yes;
}

int ManagerEngine::InstallMode() {
  m_settings.startAsServices = false;
  if (m_stack != nullptr) m_stack->SetServiceMode(false);

  m_installMessages.clear();
  const int result = LayOutStack(m_settings.root, FindStackTools(), m_installMessages);
  for (const std::string& m : m_installMessages) m_log.WriteLog(m, kTagProgram);
  // The language file may be new: offer its languages at once.
  m_languages.Read(LanguageFilePath(m_settings.root));
  m_languages.SelectByName(m_settings.lang);

  // Without a display there are no servers to drive, but the live files
  // are written all the same: the first start must find them.
  if (m_stack != nullptr) {
    m_stack->FindPrograms();
    m_stack->RegenerateConfFiles();
  } else {
    RegenerateConfFiles(m_settings.root);
  }
  WriteSafeCopies(m_settings.root);
  m_phpTemplateTime = WriteTime(m_phpTemplate);
  return result;
}

void ManagerEngine::PostSwitches() {
  for (const int command : m_switches.Commands()) m_frontend.PostCommand(command);
}

void ManagerEngine::HandOver(const Switches& switches) {
  m_frontend.BringToFront();
  for (const int command : switches.Commands()) m_frontend.PostCommand(command);
}

}  // namespace tessary
