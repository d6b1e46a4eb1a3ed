#include "database/database_setup.h"

#include <cstdio>

#include "base/kw_log.h"
#include "database/kw_sql.h"

int FirstTimeSetUp(FRONTEND::Frontend& frontend, std::string_view adminPassword) {
  if (Create_Account(frontend, dbparam::kProgramUser, dbparam::kProgramPassword, adminPassword) == 0)
    return 0;

  // A database or tables that exist already are left as they are, so the
  // results of these steps are not checked.
  {
    KW_SQL base(frontend);
    base.Connect(dbparam::kLocalHost, dbparam::kRootUser, adminPassword, dbparam::kPort, 1);
    base.Create_Base(dbparam::kPlantBase);
    base.Select_Base(dbparam::kPlantBase);
    base.Create_Tables();
    base.Disconnect();
  }

  if (const auto marker = KW_Log::Log_File_Path(frontend, logname::kPass)) {
    if (std::FILE* f = std::fopen(marker->c_str(), "wb")) {
      std::fwrite(kSetUpMarkerText.data(), 1, kSetUpMarkerText.size(), f);
      std::fclose(f);
    }
  }
  return 1;
}
