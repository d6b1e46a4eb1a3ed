// What the manager's engine asks of the owner of the two servers, so that
// the engine drives them without knowing how they run.
#pragma once

#include <string>

#include "manager/config/settings.h"

namespace tessary {

// What the engine asks of the two servers' owner. The servers exist before
// the engine (the database server first, then the web server).
class StackControl {
 public:
  virtual ~StackControl() = default;
  // The settings pushed into the servers: service mode from
  // startAsServices, autoReload from autoReloadConf, the port check, the web
  // server's SSL flag, and the database arguments (already defaulted).
  virtual void ApplySettings(const Settings& settings, const std::string& databaseArguments) = 0;
  virtual void SetServiceMode(bool on) = 0;
  // Writes the three live configuration files from their templates.
  virtual int RegenerateConfFiles() = 0;
  // Looks again for the server programs, which install mode may just have
  // linked into the stack.
  virtual void FindPrograms() {}
};

}  // namespace tessary
