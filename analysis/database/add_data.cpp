// The "Add data" command: the set-up when the server needs it, the folder
// dialog, the walk and its summary.
#include <unistd.h>

#include "base/frontend.h"
#include "base/kw_log.h"
#include "database/database_setup.h"
#include "database/detail/sql_text.h"
#include "database/import.h"
#include "database/password_sql.h"

namespace {

// Asks the administrator password and runs the set-up; true when it succeeded.
bool setUp(FRONTEND::Frontend& frontend, const ImportOptions& options) {
  PasswordSQL dialog;
  if (dialog.DoModal(frontend) != PasswordSQL::Result::Ok) return false;
  return FirstTimeSetUp(frontend, dialog.password(), options.accountHost) != 0;
}

}  // namespace

AddDataResult Add_Data(FRONTEND::Frontend& frontend, const ImportOptions& options, ImportSummary* summary) {
  const auto marker = KW_Log::Log_File_Path(frontend, logname::kPass);
  if (!marker) return AddDataResult::Ended;
  if (::access(marker->c_str(), R_OK) != 0 && !setUp(frontend, options)) return AddDataResult::Ended;
  // A server that lost the account or the database, or a database set up
  // before imports were recorded, is set up again.
  switch (CheckPlant(frontend)) {
    case PlantState::Ready:
      break;
    case PlantState::Unreachable:
      return AddDataResult::Ended;
    case PlantState::NeedsSetUp:
      if (!setUp(frontend, options) || CheckPlant(frontend) != PlantState::Ready) return AddDataResult::Ended;
      break;
  }
  const FRONTEND::FolderChoice choice = FRONTEND::ChooseFolder(frontend, kImportFolderTitle, "");
  if (choice.status != 1) return AddDataResult::Ended;

  TruncateLog(frontend, logname::kRead);
  ResultImport import(frontend, options);
  if (import.Insert_Folder(choice.path) == 0) {
    FRONTEND::ShowMessage(frontend, SqlFormat("The folder %s cannot be read: %s", choice.path.c_str(),
                                              FRONTEND::SystemErrorText().c_str()));
    if (summary != nullptr) *summary = import.summary();
    return AddDataResult::Failed;
  }
  FRONTEND::ShowMessage(frontend, import.summaryText());
  if (summary != nullptr) *summary = import.summary();
  return import.summary().failed == 0 ? AddDataResult::Inserted : AddDataResult::Failed;
}
