#include "database/import.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "base/frontend.h"
#include "base/kw_log.h"
#include "base/utf8_cut.h"
#include "database/database_setup.h"
#include "database/detail/sql_text.h"
#include "database/kw_sql.h"
#include "database/password_sql.h"
#include "roots/result_file.h"

namespace {

struct DirCloser {
  void operator()(DIR* d) const noexcept { ::closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// A result file's extension, the characters after the last '.', begins with
// "txt" (case counts); a name without a '.' is compared whole.
bool isResultFileName(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  const std::string ext = dot == std::string::npos ? name : name.substr(dot + 1);
  return ext.compare(0, 3, "txt") == 0;
}

}  // namespace

std::vector<std::string> CutToColumns(INFO_PICTURE& picture) {
  std::vector<std::string> cut;
  const std::pair<std::string*, const char*> fields[] = {
      {&picture.user, "User name"},   {&picture.experiment, "Experiment"}, {&picture.name, "Picture name"},
      {&picture.plate, "Plate name"}, {&picture.media, "Media"},           {&picture.genotype, "Genotype"}};
  // The columns count characters, not bytes.
  for (const auto& [text, field] : fields)
    if (cutUtf8Characters(*text, kTextColumnWidth)) cut.emplace_back(field);
  for (std::size_t i = 0; i < picture.arbre.size(); ++i)
    if (cutUtf8Characters(picture.arbre[i].genotype, kTextColumnWidth))
      cut.push_back(SqlFormat("Genotype of plant %i", static_cast<int>(i + 1)));
  return cut;
}

ResultImport::ResultImport(FRONTEND::Frontend& frontend, ImportOptions options)
    : m_frontend(frontend), m_options(std::move(options)) {}

ResultImport::~ResultImport() {
  if (m_shared) m_shared->Disconnect();
}

void ResultImport::fail(const std::string& path, const std::string& reason) {
  ++m_summary.failed;
  m_summary.failedFiles.push_back(path);
  AppendLogF(m_frontend, logname::kRead, "failed %s: %s\n", path.c_str(), reason.c_str());
  if (m_options.onFile) m_options.onFile(path, false, reason);
}

int ResultImport::Insert_Folder(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return 0;
  // A folder met again through a link is not walked twice.
  if (!m_walked.emplace(static_cast<unsigned long>(st.st_dev), static_cast<unsigned long>(st.st_ino)).second)
    return 1;
  const DirHandle listing(::opendir(folder.c_str()));
  if (listing == nullptr) return 0;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string name = entry->d_name;
    std::string path = folder;
    path += '/';
    path += name;
    struct stat es {};
    if (::stat(path.c_str(), &es) != 0) continue;  // a dangling link
    if (S_ISDIR(es.st_mode)) {
      // ".", ".." and hidden folders are skipped.
      if (name.empty() || name[0] == '.') continue;
      FRONTEND::ShowMessage(m_frontend, path);
      Insert_Folder(path);
    } else if (isResultFileName(name)) {
      importFile(path);
    }
  }
  return 1;
}

void ResultImport::importFile(const std::string& path) {
  ++m_summary.found;
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) {
    fail(path, "cannot be opened: " + FRONTEND::SystemErrorText());
    return;
  }
  INFO_PICTURE picture;
  const int whole = ReadResultFile(m_frontend, file, picture);
  std::fclose(file);
  // A file cut short or edited is not inserted half: it is named instead.
  if (whole == 0) {
    fail(path, "not a complete result file");
    return;
  }
  const std::vector<std::string> cut = CutToColumns(picture);
  for (const std::string& field : cut)
    AppendLogF(m_frontend, logname::kRead, "warning %s: %s longer than %i characters, stored cut\n",
               path.c_str(), field.c_str(), static_cast<int>(kTextColumnWidth));

  bool connected = false;
  const bool whole_inserted = insert(picture, connected);
  if (!connected) {
    fail(path, "no connection to the database");
  } else if (!whole_inserted) {
    fail(path, "refused by the database (see log_sql.txt)");
  } else {
    ++m_summary.inserted;
    if (!cut.empty()) ++m_summary.cut;
    if (m_options.onFile) m_options.onFile(path, true, "");
  }
}

int ResultImport::Insert_Result_File(const INFO_PICTURE& picture) {
  bool connected = false;
  insert(picture, connected);
  return connected ? 1 : 0;
}

bool ResultImport::insert(const INFO_PICTURE& picture, bool& connected) {
  connected = false;
  std::unique_ptr<KW_SQL> own;
  KW_SQL* base = nullptr;
  if (m_options.oneConnection && m_shared) {
    base = m_shared.get();
  } else {
    own = std::make_unique<KW_SQL>(m_frontend);
    if (own->Connect(dbparam::kLocalHost, dbparam::kProgramUser, dbparam::kProgramPassword, dbparam::kPort,
                     1) == 0)
      return false;
    if (own->Select_Base(dbparam::kPlantBase) == 0) {
      own->Disconnect();
      return false;
    }
    base = own.get();
  }
  connected = true;
  const int failedBefore = base->failedRows();
  base->Insert_Picture_Data(picture);
  const bool whole = base->failedRows() == failedBefore;
  if (m_options.oneConnection) {
    if (own) m_shared = std::move(own);
    // A connection that went wrong is not trusted with the next file.
    if (!whole) {
      m_shared->Disconnect();
      m_shared.reset();
    }
  } else {
    own->Disconnect();
  }
  return whole;
}

std::string ResultImport::summaryText() const {
  std::string text = m_summary.failed == 0
                         ? std::string(kDataInserted)
                         : SqlFormat("%i result file(s) inserted, %i failed: see log_read.txt.",
                                     m_summary.inserted, m_summary.failed);
  if (m_summary.cut > 0)
    text +=
        SqlFormat("\n%i picture(s) with texts longer than %i characters were stored cut: see log_read.txt.",
                  m_summary.cut, static_cast<int>(kTextColumnWidth));
  return text;
}

AddDataResult Add_Data(FRONTEND::Frontend& frontend, const ImportOptions& options, ImportSummary* summary) {
  const auto marker = KW_Log::Log_File_Path(frontend, logname::kPass);
  if (!marker) return AddDataResult::Ended;
  if (::access(marker->c_str(), R_OK) != 0) {
    PasswordSQL dialog;
    if (dialog.DoModal(frontend) != PasswordSQL::Result::Ok) return AddDataResult::Ended;
    if (FirstTimeSetUp(frontend, dialog.password()) == 0) return AddDataResult::Ended;
  }
  {
    KW_SQL test(frontend);
    if (test.Connect(dbparam::kLocalHost, dbparam::kProgramUser, dbparam::kProgramPassword, dbparam::kPort,
                     1) == 0)
      return AddDataResult::Ended;
    test.Disconnect();
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
