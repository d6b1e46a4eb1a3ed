// "Add data": stores saved experiments in the database. Before the first
// import on a machine the program's account, the database "plant" and its
// tables are created with the MySQL administrator's password (the marker
// log_pass.txt then says so). The user picks a folder; every result file in
// it and in its subfolders (depth first, hidden folders skipped) is read and
// inserted picture by picture.
//
// A result file is any file whose extension (the characters after the last
// '.', or the whole name without a '.') begins with "txt". Only regular
// files are read (a pipe or a device of that name is reported and skipped),
// and a link to a folder outside the chosen one is not followed.
//
// Each file is checked whole before anything of it is sent
// (CheckResultFile): a file with a fault is refused with the fault's line
// and nothing of it is stored. A file that passes goes in with its record
// (database/imported_files.h) in one transaction, all or nothing. A file
// whose content was imported before is skipped unless the options ask for
// another copy.
//
// The desktop program opens one connection per result file; a batch run may
// keep one connection for the whole folder. The rows stay the same.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/frontend.h"
#include "database/imported_files.h"
#include "roots/result_records.h"

class KW_SQL;

// Texts shown at the end of an import.
inline constexpr std::string_view kDataInserted = "Data correctly inserted.";
inline constexpr std::string_view kImportFolderTitle = "Image Analysis Result folder";
// The tables' text columns hold this many characters.
inline constexpr std::size_t kTextColumnWidth = 50;

// What became of one file of the walk.
enum class FileOutcome {
  Inserted,         // checked and stored whole
  Failed,           // not readable, refused by the check or by the server: nothing stored
  AlreadyImported,  // its content is in the database already: skipped
  Skipped           // not a regular file, or a link out of the folder
};

struct FileReport {
  std::string path;
  FileOutcome outcome = FileOutcome::Failed;
  std::string reason;  // Failed and Skipped: why
  int pictureId = 0;   // Inserted: the new picture; AlreadyImported: the earlier one
};

// The line a terminal shows for a file: "inserted PATH", "failed PATH:
// REASON", "already imported PATH (picture N)" or "skipped PATH: REASON".
std::string FileReportLine(const FileReport& report);

struct ImportOptions {
  bool oneConnection = false;
  // Imports a content that was imported before once more.
  bool again = false;
  // The hosts a set-up creates the program's account for; empty: the
  // default of AccountHostFor.
  std::string accountHost;
  // Called after each file with what became of it.
  std::function<void(const FileReport&)> onFile;
};

struct ImportSummary {
  int found = 0;     // result files met by the walk
  int inserted = 0;  // checked whole and inserted whole
  int failed = 0;    // not opened, refused by the check, or refused by the server
  int already = 0;   // imported before, skipped
  int skipped = 0;   // not regular files, or links out of the folder
  int cut = 0;       // inserted pictures whose texts were cut to the columns' width
  std::vector<std::string> failedFiles;
};

// Cuts every text of the picture longer than its column to the column's
// width (in characters) and returns the names of the fields cut.
std::vector<std::string> CutToColumns(INFO_PICTURE& picture);

class ResultImport {
 public:
  // Shows and logs through frontend (not owned).
  explicit ResultImport(FRONTEND::Frontend& frontend, ImportOptions options = {});
  ResultImport(const ResultImport&) = delete;
  ResultImport& operator=(const ResultImport&) = delete;
  ~ResultImport();

  // Walks the folder: 1 when its listing came to its end, 0 when it could
  // not be listed.
  int Insert_Folder(const std::string& folder);
  // Inserts one read picture (without a record): 1 when the connection and
  // the database selection succeeded (and the insertion ran), 0 otherwise.
  int Insert_Result_File(const INFO_PICTURE& picture);

  const ImportSummary& summary() const { return m_summary; }
  // The message shown at the end of the walk.
  std::string summaryText() const;

 private:
  void importFile(const std::string& path);
  // Stores the checked picture with its record over the connection of the
  // options; the report says how it went.
  void store(const INFO_PICTURE& picture, const ImportedFile& file, FileReport& report);
  // The connection for the next file, or null (own then holds it when it is
  // not the shared one).
  KW_SQL* connection(std::unique_ptr<KW_SQL>& own);
  void done(const FileReport& report);
  void fail(const std::string& path, const std::string& reason);
  // A folder entry that is a link: true when the walk may follow it.
  bool insideChosenFolder(const std::string& path) const;
  const std::string& resultLog();

  FRONTEND::Frontend& m_frontend;
  ImportOptions m_options;
  ImportSummary m_summary;
  std::unique_ptr<KW_SQL> m_shared;
  // The chosen folder, links resolved.
  std::string m_root;
  std::optional<std::string> m_resultLog;
  // Folders walked (device, inode): a link back up the tree is not followed.
  std::set<std::pair<unsigned long, unsigned long>> m_walked;
};

// How "Add data" ended.
enum class AddDataResult {
  Ended,     // cancelled, set-up refused, or no connection: nothing walked
  Inserted,  // every result file went in ("Data correctly inserted.")
  Failed     // the walk ran but some result files did not go in
};

// The "Add data" command. summary, when given, receives the walk's counts.
AddDataResult Add_Data(FRONTEND::Frontend& frontend, const ImportOptions& options = {},
                       ImportSummary* summary = nullptr);
