// The Inquire command: the output file is chosen, the "Query" sheet shown,
// the matching pictures, main roots and lateral roots fetched, eight values
// derived per main root, and one delimited text file written.
//
// Lateral roots are fetched and written as trees: under each main root
// order by order, each written root followed by its own branches, depth
// first, with the path of branch numbers from the main root down to it.
//
// The desktop program opens one connection per statement. A batch run may
// keep one connection for the whole inquiry instead: the statements, rows
// and output stay the same.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "database/query_pages.h"
#include "database/sql_records.h"

class KW_SQL;

// Output layouts, chosen from which pages have a ticked box.
enum QueryMode : int {
  kNoMode = 0,
  kModePictures = 1,         // one row per picture
  kModeMainRoots = 2,        // one row per main root
  kModePictureMainRoot = 3,  // one row per main root, with its picture
  kModeLaterals = 4,         // one row per lateral root
  kModeEverything = 5        // one row per lateral root, with its picture and main root
};

// Texts shown at the end of an inquiry.
inline constexpr std::string_view kRequestDone = "Request done.";
inline constexpr std::string_view kRequestWithoutResults = "Request done but without results.";
inline constexpr std::string_view kFileAlreadyOpens = "File already opens";

class QueryRun {
 public:
  // oneConnection: every statement of the run goes over one connection,
  // opened at the first statement and closed with the object.
  // Shows and logs through frontend (not owned).
  explicit QueryRun(FRONTEND::Frontend& frontend, bool oneConnection = false);
  QueryRun(const QueryRun&) = delete;
  QueryRun& operator=(const QueryRun&) = delete;
  ~QueryRun();

  // The save-file dialog ("Csv file", "Text", "All"): 1 chosen, 0 cancelled,
  // -1 chosen but the file cannot be replaced ("File already opens" shown).
  int Choose_Result_File();

  // Each runs one SELECT and returns the number of rows read. Pictures
  // replace the picture list; main and lateral roots are appended.
  int Query_Pictures(const std::string& statement);
  int Query_Main_Roots(const std::string& statement);
  int Query_Secondary_Roots(const std::string& statement);

  // All queries of the sheet.
  void Run_Queries(const BoxQueryPRS& sheet);
  // Fetches the branches of order `level` of the roots of order level - 1
  // from index start on, and recursively theirs.
  void Buid_Requete_Secondary_Root_More_Level(int level, std::size_t start, const BoxQueryPRS& sheet);
  // The eight derived values of every main root.
  void Compute_More_Parameters();
  // The layout for the sheet's ticked pages.
  static int Output_Mode(const BoxQueryPRS& sheet);
  // Writes the output file (created anew), then deletes it when it is empty
  // (a regular file only) and says how the request ended. 1 when rows were
  // written, 2 when there were none, 0 when a write or the final close
  // failed (the reason has been shown, "Request done." has not).
  int Write_Query_File(const std::string& file, int mode, const BoxQueryPRS& sheet);

  // Query state.
  std::string name_file_query;  // the chosen output file
  char delimiter = ',';
  std::vector<SQL_PICTURE> pictures;
  std::vector<SQL_MR> mainRoots;
  std::vector<SQL_LR> laterals;
  // Set once a lateral root query returned rows: the five values that use
  // the lateral roots are computed only then.
  bool lateralListExists = false;

  // Statements run so far.
  int statementCount() const { return m_statements; }
  // Why the run failed (no connection, a statement the server refused), or
  // empty; after a failure no further statement is sent.
  const std::string& failure() const { return m_failure; }

 private:
  class Writer;
  template <class Record, class Fill>
  int runSelect(const std::string& statement, const char* countLine, std::vector<Record>& list, bool replace,
                Fill fill);
  KW_SQL* connection(bool& own, std::unique_ptr<KW_SQL>& holder);
  void logLine(const std::string& line);
  void logLateral(const SQL_LR& r);

  FRONTEND::Frontend& m_frontend;
  bool m_oneConnection;
  std::unique_ptr<KW_SQL> m_shared;
  int m_statements = 0;
  long m_logLines = 0;
  std::string m_failure;
};

// How an inquiry ended.
enum class InquireResult {
  Ended,      // cancelled or no connection
  Written,    // "Request done."
  NoResults,  // "Request done but without results."
  Failed      // a criterion that makes no statement, a statement refused, or the file not written
};

// The Inquire command of the Database menu.
InquireResult Inquire(FRONTEND::Frontend& frontend, bool oneConnection = false);
