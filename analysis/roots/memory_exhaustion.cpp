#include "roots/detail/memory_exhaustion.h"

#include <cstdlib>

#include "database/kw_log.h"
#include "roots/detail/log_buffer.h"
#include "shell/frontend.h"

void EndOnMemoryExhaustion(LogBuffer* log, std::string_view logName, std::string_view logLine,
                           std::string_view message) {
  if (log != nullptr) log->flush();
  AppendLog(logName, logLine);
  FRONTEND::ShowMessage(message);
  std::exit(kOutOfMemoryExitCode);
}
