// The database "plant": its five tables, the insertion of one analysed
// picture with all its roots, and the genotype and media name tables.
//
// Every statement takes its table and column names from the five name lists
// below; the first entry of a list is the table name, the others are its
// columns in order.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "database/kw_mysql.h"
#include "database/sql_records.h"
#include "roots/result_records.h"

class KW_SQL : public KW_DATABASE, public KW_RF {
 public:
  static constexpr std::array<std::string_view, 10> kPictureNames = {
      "Picture",    "Picture id", "User name", "Experiment",      "Picture name",
      "Plate name", "Age",        "Media",     "Number of plant", "Genotype"};
  static constexpr std::array<std::string_view, 9> kMainRootNames = {
      "Main Root",       "Main root id", "Plant id", "MR path length", "MR vector length",
      "MR vector angle", "Number LR/MR", "Genotype", "Picture id"};
  static constexpr std::array<std::string_view, 10> kSecondaryRootNames = {
      "Secondary Root",  "Secondary root id", "LR id",        "LR path length", "LR vector length",
      "LR vector angle", "Position",          "Number LR/LR", "LR order",       "Parent id"};
  static constexpr std::array<std::string_view, 3> kGenotypeNames = {"Genotype", "Genotype id", "Genotype"};
  static constexpr std::array<std::string_view, 3> kMediaNames = {"Media", "Media id", "Media"};

  explicit KW_SQL(FRONTEND::Frontend& frontend) : KW_DATABASE(frontend) {}
  ~KW_SQL() override = default;

  // Creates the five tables and the record of imported files
  // (database/imported_files.h); a table that exists already is kept with
  // its rows. Always 1.
  int Create_Tables();

  // The statement's return code: 0 inserted. A failure shows the server's
  // error to the user.
  int Insert_Picture(const INFO_PICTURE& picture);
  // Inserts one plant and then its lateral roots; returns the code of the
  // first row that failed (0: every row went in; the rows stop there).
  int Insert_Main_Root(const INFO_MR& plant, int picture_id, int plant_id);
  // Inserts one lateral root (parent_id, level and lr_id set) and then its
  // branches depth first (a tree of any depth); returns the code of the
  // first row that failed (0: all went in).
  int Insert_Secondary_Root(const INFO_LR& root);
  // The picture and every root in one transaction: 1 when every row went in
  // and was committed; 0 when a row was refused, the commit failed or the
  // connection was lost, and then nothing of the picture is stored.
  int Insert_Picture_Data(const INFO_PICTURE& picture);
  // The rows of the picture inside a transaction the caller opened: 1 when
  // every row went in (picture_id is the new picture's), 0 at the first row
  // refused (the caller rolls back).
  int insertPictureRows(const INFO_PICTURE& picture, int& picture_id);
  // Ends the transaction: COMMIT when whole (1 when it went through), else
  // ROLLBACK (0).
  int commitOrRollBack(bool whole);

  // Adds the name to its table unless it is there already, over a connection
  // of their own with the program's account; nothing is shown. Always 1.
  static int Add_Genotype(FRONTEND::Frontend& frontend, std::string_view name);
  static int Add_Media(FRONTEND::Frontend& frontend, std::string_view name);

  // "`table`.`column`", a column as the criteria of a query name it.
  static std::string Column_Name(std::string_view table, std::string_view column);

  // Rows (and commits) refused by the server on this object so far: the
  // import tells a picture that went in whole from one that did not.
  int failedRows() const { return m_failedRows; }

 private:
  // One Secondary Root row; the statement's code, a failure logged.
  int insertSecondaryRow(const INFO_LR& root, int parent_id, int level, int lr_id);
  int insertSecondaryRoot(const INFO_LR& root, int parent_id, int level, int lr_id);
  int logFailedRow(int rc, const char* table);
  static int addName(FRONTEND::Frontend& frontend, const std::array<std::string_view, 3>& names,
                     std::string_view name);

  int m_failedRows = 0;
};
