#include "database/database_setup.h"

#include <cstdio>

#include "base/atomic_file.h"
#include "base/kw_log.h"
#include "database/detail/sql_text.h"
#include "database/imported_files.h"
#include "database/kw_sql.h"

namespace {

std::string existsStatement(std::string_view table) {
  return SqlFormat("SELECT 1 FROM `%s` LIMIT 0", std::string(table).c_str());
}

}  // namespace

int FirstTimeSetUp(FRONTEND::Frontend& frontend, std::string_view adminPassword,
                   std::string_view accountHost) {
  if (Create_Account(frontend, dbparam::kProgramUser, dbparam::kProgramPassword, adminPassword,
                     accountHost) == 0)
    return 0;

  {
    KW_SQL base(frontend);
    if (base.Connect(dbparam::kLocalHost, dbparam::kRootUser, adminPassword, dbparam::kPort, 1) == 0)
      return 0;
    const std::string plant(dbparam::kPlantBase);
    const bool made = base.Query(SqlFormat("CREATE DATABASE IF NOT EXISTS `%s`", plant.c_str())) != 0 &&
                      base.Select_Base(dbparam::kPlantBase) != 0;
    // Tables that exist already are kept with their rows; then every one
    // must be there.
    bool tables = made && base.Create_Tables() != 0;
    for (const std::string_view table : {KW_SQL::kPictureNames[0], KW_SQL::kMainRootNames[0],
                                         KW_SQL::kSecondaryRootNames[0], kImportedFileNames[0]})
      tables = tables && base.Query(existsStatement(table)) != 0;
    base.Disconnect();
    if (!tables) {
      FRONTEND::ShowMessage(frontend,
                            "The database " + plant + " or its tables could not be created: see log_sql.txt");
      return 0;
    }
  }

  const auto marker = KW_Log::Log_File_Path(frontend, logname::kPass);
  FileError failure;
  if (!marker || !writeFileAtomically(*marker, std::string(kSetUpMarkerText), failure, 0644)) {
    FRONTEND::ShowMessage(frontend, "The set-up marker log_pass.txt could not be written");
    return 0;
  }
  return 1;
}

PlantState CheckPlant(FRONTEND::Frontend& frontend) {
  KW_SQL base(frontend);
  if (base.Connect(dbparam::kLocalHost, dbparam::kProgramUser, dbparam::kProgramPassword, dbparam::kPort,
                   0) == 0) {
    if (base.connectError() == kAccessDenied) return PlantState::NeedsSetUp;
    FRONTEND::ShowMessage(
        frontend, "Failure of the attempted connection to the MySQL server: " + base.connectProblem());
    return PlantState::Unreachable;
  }
  PlantState state = PlantState::Ready;
  if (base.Select_Base(dbparam::kPlantBase) == 0) {
    state = base.selectError() == kUnknownDatabase || base.selectError() == kDatabaseAccessDenied
                ? PlantState::NeedsSetUp
                : PlantState::Unreachable;
    if (state == PlantState::Unreachable)
      FRONTEND::ShowMessage(frontend, "The database plant cannot be used: see log_sql.txt");
  } else if (base.Query(existsStatement(kImportedFileNames[0])) == 0) {
    state = PlantState::NeedsSetUp;
  }
  base.Disconnect();
  return state;
}
