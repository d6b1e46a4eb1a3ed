// What the commands of the analysis document share: its life, the plant
// dump the detection and the tree logs hold, and the report of a command
// that ran out of memory.
#include "roots/sci_doc.h"

#include <new>

#include "base/frontend.h"
#include "base/kw_log.h"
#include "roots/detail/log_buffer.h"
#include "roots/detail/tree_index.h"

KW_SciDoc::KW_SciDoc() = default;
KW_SciDoc::~KW_SciDoc() = default;

void KW_SciDoc::appendPlantDump(LogBuffer& log, std::int32_t numero, std::int32_t plantThreshold,
                                const std::vector<ContourPoint>& points) const {
  log.addF("numero %i\n", numero);
  log.addF("nbr_point %i\n", static_cast<int>(points.size()));
  log.addF("threshold %i\n", plantThreshold);
  for (std::size_t i = 0; i < points.size(); ++i) {
    const ContourPoint& p = points[i];
    log.addF("tab[%i]= %i\t%i\t%i\n", static_cast<int>(i), p.col, topRow(p.row), p.direction);
  }
}

void KW_SciDoc::reportOutOfMemory(LogBuffer& log, std::string_view logLine, std::string_view message) {
  m_outOfMemory = true;
  log.flush();
  // The line goes in even past the log's bound: it says why the command failed.
  AppendLog(logSink(), log.name(), logLine);
  try {
    FRONTEND::ShowMessage(frontend(), message);
  } catch (const std::bad_alloc&) {
    // The log line says it; the caller sees the failed status.
  }
}
