// "Add data": stores saved experiments in the database. Before the first
// import on a machine the program's account, the database "plant" and its
// tables are created with the MySQL administrator's password (the marker
// log_pass.txt then says so). The user picks a folder; every result file in
// it and in its subfolders (depth first, hidden folders skipped) is read and
// inserted picture by picture.
//
// A result file is any file whose extension (the characters after the last
// '.', or the whole name without a '.') begins with "txt".
//
// The desktop program opens one connection per result file; a batch run may
// keep one connection for the whole folder. The rows stay the same.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/frontend.h"
#include "roots/result_records.h"

class KW_SQL;

// Texts shown at the end of an import.
inline constexpr std::string_view kDataInserted = "Data correctly inserted.";
inline constexpr std::string_view kImportFolderTitle = "Image Analysis Result folder";
// The tables' text columns hold this many characters.
inline constexpr std::size_t kTextColumnWidth = 50;

struct ImportOptions {
  bool oneConnection = false;
  // Called after each result file with its path, whether it went in whole,
  // and the reason when it did not.
  std::function<void(const std::string& path, bool inserted, const std::string& reason)> onFile;
};

struct ImportSummary {
  int found = 0;     // result files met by the walk
  int inserted = 0;  // read whole and inserted whole
  int failed = 0;    // not opened, read incompletely, or refused by the server
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
  // Inserts one read picture: 1 when the connection and the database
  // selection succeeded (and the insertion ran), 0 otherwise.
  int Insert_Result_File(const INFO_PICTURE& picture);

  const ImportSummary& summary() const { return m_summary; }
  // The message shown at the end of the walk.
  std::string summaryText() const;

 private:
  void importFile(const std::string& path);
  // Inserts; true when every row went in.
  bool insert(const INFO_PICTURE& picture, bool& connected);
  void fail(const std::string& path, const std::string& reason);

  FRONTEND::Frontend& m_frontend;
  ImportOptions m_options;
  ImportSummary m_summary;
  std::unique_ptr<KW_SQL> m_shared;
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
