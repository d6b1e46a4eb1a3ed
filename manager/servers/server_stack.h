// The two servers of the stack as their owner holds them: the service layer,
// the supervision registry, then the database server and the web server (in
// that order, as the main window builds them).
#pragma once

#include <filesystem>
#include <string>

#include "manager/platform/service.h"
#include "manager/servers/apache.h"
#include "manager/servers/mysql.h"
#include "manager/servers/server_base.h"
#include "manager/servers/stack_control.h"

namespace tessary {

class ServerStack : public StackControl {
 public:
  // installRoot ends with a "/"; stateFolder holds the service layer's files.
  // A live file older than its template is generated again first.
  explicit ServerStack(const std::string& installRoot, const std::filesystem::path& stateFolder =
                                                           platform::ServiceLayer::DefaultStateFolder());

  // Service mode, autoReload, the port check, the SSL flag and the database
  // arguments from the settings.
  void ApplySettings(const Settings& settings, const std::string& databaseArguments) override;
  // Service mode of both servers (applied to a server only while stopped).
  void SetServiceMode(bool on) override;
  // The three live files from their templates.
  int RegenerateConfFiles() override;
  void FindPrograms() override;

  // One supervision tick (every kTimerPeriodMs).
  void Tick() { ServerBase::TimerProc(m_registry); }
  // Both servers report to window.
  void SetNotificationWindow(ServerNotify* window);

  CApache& web() { return m_web; }
  CMySql& database() { return m_database; }
  ServerRegistry& registry() { return m_registry; }
  platform::ServiceLayer& services() { return m_services; }
  // How many live files were generated again at construction.
  int staleRegenerated() const { return m_staleRegenerated; }

 private:
  std::string m_root;
  // Live files older than their templates, generated again before the
  // servers read them.
  int m_staleRegenerated;
  platform::ServiceLayer m_services;
  ServerRegistry m_registry;
  CMySql m_database;
  CApache m_web;
};

}  // namespace tessary
