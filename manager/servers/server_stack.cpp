#include "manager/servers/server_stack.h"

#include "manager/config/conf_files.h"

namespace tessary {

ServerStack::ServerStack(const std::string& installRoot, const std::filesystem::path& stateFolder)
    : m_root(installRoot),
      m_staleRegenerated(RegenerateStaleConfFiles(installRoot)),
      m_services(stateFolder, platform::ServiceBackend::Detect),
      m_registry(&m_services),
      m_database(m_registry, installRoot),
      m_web(m_registry, installRoot) {}

void ServerStack::ApplySettings(const Settings& settings, const std::string& databaseArguments) {
  m_database.SetServiceMode(settings.startAsServices);
  m_web.SetServiceMode(settings.startAsServices);
  m_database.SetAutoReload(settings.autoReloadConf);
  m_web.SetAutoReload(settings.autoReloadConf);
  m_database.SetAutoRestart(settings.autoRestart);
  m_web.SetAutoRestart(settings.autoRestart);
  m_registry.checkServerPorts = settings.checkServerPorts;
  m_web.SetSsl(settings.apacheSsl);
  m_database.SetArguments(databaseArguments);
}

void ServerStack::SetServiceMode(bool on) {
  m_database.SetServiceMode(on);
  m_web.SetServiceMode(on);
}

int ServerStack::RegenerateConfFiles() { return tessary::RegenerateConfFiles(m_root); }

void ServerStack::FindPrograms() { m_database.FindProgram(); }

void ServerStack::SetNotificationWindow(ServerNotify* window) {
  m_database.SetNotificationWindow(window);
  m_web.SetNotificationWindow(window);
}

}  // namespace tessary
