#include "database/kw_sql.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "base/frontend.h"
#include "base/kw_log.h"
#include "database/detail/sql_text.h"
#include "database/imported_files.h"

namespace {

// Transactions need InnoDB whatever the server's default engine is, and the
// names the users type (any language) need utf8mb4.
constexpr const char* kTableOptions = " ENGINE=InnoDB DEFAULT CHARSET=utf8mb4";

std::string str(std::string_view s) { return std::string(s); }

// Number of branches to walk: the count the record gives, but never more than
// are really there.
std::size_t branchCount(std::int32_t count, std::size_t present) {
  return count <= 0 ? 0 : std::min(static_cast<std::size_t>(count), present);
}

int insertId(MYSQL* handle) {
  const auto id = mysql_insert_id(handle);
  return id > static_cast<unsigned long long>(INT_MAX) ? INT_MAX : static_cast<int>(id);
}

}  // namespace

int KW_SQL::Create_Tables() {
  const auto& p = kPictureNames;
  const auto& m = kMainRootNames;
  const auto& s = kSecondaryRootNames;
  const auto& g = kGenotypeNames;
  const auto& d = kMediaNames;
  Execute(
      SqlFormat("CREATE TABLE `%s` (`%s` INT NOT NULL AUTO_INCREMENT ,`%s` VARCHAR( 50 ) NOT NULL ,"
                "`%s` VARCHAR( 50 ) NOT NULL ,`%s` VARCHAR( 50 ) NOT NULL ,`%s` VARCHAR( 50 ) NOT NULL ,"
                "`%s` INT DEFAULT '0' NOT NULL ,`%s` VARCHAR( 50 ) NOT NULL ,`%s` INT DEFAULT '0' NOT NULL ,"
                "`%s` VARCHAR( 50 ) NOT NULL ,PRIMARY KEY ( `%s` ))%s",
                str(p[0]).c_str(), str(p[1]).c_str(), str(p[2]).c_str(), str(p[3]).c_str(), str(p[4]).c_str(),
                str(p[5]).c_str(), str(p[6]).c_str(), str(p[7]).c_str(), str(p[8]).c_str(), str(p[9]).c_str(),
                str(p[1]).c_str(), kTableOptions));
  Execute(SqlFormat(
      "CREATE TABLE `%s` (`%s` INT NOT NULL AUTO_INCREMENT ,`%s` INT DEFAULT '0' NOT NULL ,"
      "`%s` FLOAT DEFAULT '0' NOT NULL ,`%s` FLOAT DEFAULT '0' NOT NULL ,"
      "`%s` FLOAT DEFAULT '0' NOT NULL ,`%s` INT DEFAULT '0' NOT NULL ,`%s` VARCHAR( 50 ) NOT NULL ,"
      "`%s` INT DEFAULT '0' NOT NULL ,PRIMARY KEY ( `%s` ),INDEX ( `%s` ))%s",
      str(m[0]).c_str(), str(m[1]).c_str(), str(m[2]).c_str(), str(m[3]).c_str(), str(m[4]).c_str(),
      str(m[5]).c_str(), str(m[6]).c_str(), str(m[7]).c_str(), str(m[8]).c_str(), str(m[1]).c_str(),
      str(m[8]).c_str(), kTableOptions));
  Execute(SqlFormat(
      "CREATE TABLE `%s` (`%s` INT NOT NULL AUTO_INCREMENT ,`%s` INT DEFAULT '0' NOT NULL ,"
      "`%s` FLOAT DEFAULT '0' NOT NULL ,`%s` FLOAT DEFAULT '0' NOT NULL ,"
      "`%s` FLOAT DEFAULT '0' NOT NULL ,`%s` FLOAT DEFAULT '0' NOT NULL ,"
      "`%s` INT DEFAULT '0' NOT NULL ,`%s` INT DEFAULT '0' NOT NULL ,`%s` INT DEFAULT '0' NOT NULL ,"
      "PRIMARY KEY ( `%s` ),INDEX ( `%s` ))%s",
      str(s[0]).c_str(), str(s[1]).c_str(), str(s[2]).c_str(), str(s[3]).c_str(), str(s[4]).c_str(),
      str(s[5]).c_str(), str(s[6]).c_str(), str(s[7]).c_str(), str(s[8]).c_str(), str(s[9]).c_str(),
      str(s[1]).c_str(), str(s[9]).c_str(), kTableOptions));
  Execute(
      SqlFormat("CREATE TABLE `%s` (`%s` INT NOT NULL AUTO_INCREMENT ,`%s` VARCHAR( 50 ) NOT NULL,"
                "PRIMARY KEY ( `%s` ))%s",
                str(g[0]).c_str(), str(g[1]).c_str(), str(g[2]).c_str(), str(g[1]).c_str(), kTableOptions));
  Execute(
      SqlFormat("CREATE TABLE `%s` (`%s` INT NOT NULL AUTO_INCREMENT ,`%s` VARCHAR( 50 ) NOT NULL ,"
                "PRIMARY KEY ( `%s` ))%s",
                str(d[0]).c_str(), str(d[1]).c_str(), str(d[2]).c_str(), str(d[1]).c_str(), kTableOptions));
  Execute(ImportedFilesTable());
  return 1;
}

int KW_SQL::logFailedRow(int rc, const char* table) {
  ++m_failedRows;
  AppendLogF(frontend(), logname::kSql, "query %i %s\n", rc, table);
  AppendLogF(frontend(), logname::kSql, "mysql_error %s\n",
             handle() != nullptr ? mysql_error(handle()) : "not connected");
  return rc;
}

// The key columns get NULL, which makes the server number the row in every
// SQL mode (an empty text is refused by a strict server).
int KW_SQL::Insert_Picture(const INFO_PICTURE& picture) {
  const auto& n = kPictureNames;
  const std::string statement = SqlFormat(
      "insert into `%s`(`%s`,`%s`,`%s`,`%s`,`%s`,`%s`,`%s`,`%s`,`%s`)VALUES "
      "(NULL,'%s','%s','%s','%s','%i','%s','%i','%s')",
      str(n[0]).c_str(), str(n[1]).c_str(), str(n[2]).c_str(), str(n[3]).c_str(), str(n[4]).c_str(),
      str(n[5]).c_str(), str(n[6]).c_str(), str(n[7]).c_str(), str(n[8]).c_str(), str(n[9]).c_str(),
      escape(picture.user).c_str(), escape(picture.experiment).c_str(), escape(picture.name).c_str(),
      escape(picture.plate).c_str(), picture.age, escape(picture.media).c_str(), picture.nbr,
      escape(picture.genotype).c_str());
  if (handle() == nullptr) {
    logFailedRow(-1, "insertion_table_secondary");
    FRONTEND::ShowMessage(frontend(), "not connected to the MySQL server");
    return -1;
  }
  const int rc = runStatement(statement);
  if (rc != 0) {
    // The picture's own failure lines carry this name in the log.
    logFailedRow(rc, "insertion_table_secondary");
    FRONTEND::ShowMessage(frontend(), mysql_error(handle()));
  }
  return rc;
}

int KW_SQL::Insert_Main_Root(const INFO_MR& plant, int picture_id, int plant_id) {
  const auto& n = kMainRootNames;
  const std::string statement = SqlFormat(
      "insert into `%s`(`%s`,`%s`,`%s`,`%s`,`%s`,`%s`,`%s`,`%s`)VALUES "
      "(NULL,'%i','%f','%f','%f','%i','%s','%i')",
      str(n[0]).c_str(), str(n[1]).c_str(), str(n[2]).c_str(), str(n[3]).c_str(), str(n[4]).c_str(),
      str(n[5]).c_str(), str(n[6]).c_str(), str(n[7]).c_str(), str(n[8]).c_str(), plant_id,
      static_cast<double>(plant.main_length), static_cast<double>(plant.main_straightness),
      static_cast<double>(plant.main_angle), plant.nbr_secondary_root, escape(plant.genotype).c_str(),
      picture_id);
  if (handle() == nullptr) return logFailedRow(-1, "insertion_table_main_root");
  const int rc = runStatement(statement);
  if (rc != 0) return logFailedRow(rc, "insertion_table_main_root");

  const int main_root_id = insertId(handle());
  const std::size_t count = branchCount(plant.nbr_secondary_root, plant.children.size());
  for (std::size_t m = 0; m < count; ++m) {
    const int branch = insertSecondaryRoot(plant.children[m], main_root_id, 1, static_cast<int>(m + 1));
    if (branch != 0) return branch;
  }
  return 0;
}

int KW_SQL::Insert_Secondary_Root(const INFO_LR& root) {
  return insertSecondaryRoot(root, root.parent_id, root.level, root.lr_id);
}

int KW_SQL::insertSecondaryRow(const INFO_LR& root, int parent_id, int level, int lr_id) {
  const auto& n = kSecondaryRootNames;
  // Angle before position: the order of the table's columns.
  const std::string statement = SqlFormat(
      "insert into `%s`(`%s`,`%s`,`%s`,`%s`,`%s`,`%s`,`%s`,`%s`,`%s`)VALUES "
      "(NULL,'%i','%f','%f','%f','%f','%i','%i','%i')",
      str(n[0]).c_str(), str(n[1]).c_str(), str(n[2]).c_str(), str(n[3]).c_str(), str(n[4]).c_str(),
      str(n[5]).c_str(), str(n[6]).c_str(), str(n[7]).c_str(), str(n[8]).c_str(), str(n[9]).c_str(), lr_id,
      static_cast<double>(root.length), static_cast<double>(root.straightness),
      static_cast<double>(root.angle), static_cast<double>(root.position), root.nbr_child, level, parent_id);
  if (handle() == nullptr) return logFailedRow(-1, "insertion_table_secondary");
  const int rc = runStatement(statement);
  if (rc != 0) return logFailedRow(rc, "insertion_table_secondary");
  return 0;
}

int KW_SQL::insertSecondaryRoot(const INFO_LR& root, int parent_id, int level, int lr_id) {
  const int rc = insertSecondaryRow(root, parent_id, level, lr_id);
  if (rc != 0) return rc;

  // Depth first, a root before its branches and the branches in their
  // order, as one call per level would go, but with a stack of our own: a
  // tree of any depth fits. Each entry is a root whose row went in and the
  // next of its branches to insert.
  struct Open {
    const INFO_LR* root;
    int id;
    int level;
    std::size_t next;
    std::size_t count;
  };
  std::vector<Open> open{
      {&root, insertId(handle()), level, 0, branchCount(root.nbr_child, root.children.size())}};
  while (!open.empty()) {
    Open& top = open.back();
    if (top.next == top.count) {
      open.pop_back();
      continue;
    }
    const std::size_t c = top.next++;
    const INFO_LR& branch = top.root->children[c];
    const int branchLevel = top.level + 1;
    const int branchRc = insertSecondaryRow(branch, top.id, branchLevel, static_cast<int>(c + 1));
    if (branchRc != 0) return branchRc;
    open.push_back(
        {&branch, insertId(handle()), branchLevel, 0, branchCount(branch.nbr_child, branch.children.size())});
  }
  return 0;
}

int KW_SQL::insertPictureRows(const INFO_PICTURE& picture, int& picture_id) {
  picture_id = 0;
  if (Insert_Picture(picture) != 0) return 0;
  picture_id = insertId(handle());
  const std::size_t count = branchCount(picture.nbr, picture.arbre.size());
  for (std::size_t i = 0; i < count; ++i)
    if (Insert_Main_Root(picture.arbre[i], picture_id, static_cast<int>(i + 1)) != 0) return 0;
  return 1;
}

int KW_SQL::commitOrRollBack(bool whole) {
  if (!whole) {
    Execute("ROLLBACK");
    return 0;
  }
  const int rc = runStatement("COMMIT");
  if (rc == 0) return 1;
  logFailedRow(rc, "insertion_commit");
  FRONTEND::ShowMessage(frontend(),
                        handle() != nullptr ? mysql_error(handle()) : "not connected to the MySQL server");
  return 0;
}

int KW_SQL::Insert_Picture_Data(const INFO_PICTURE& picture) {
  // All or nothing: a row the server refuses, or a connection lost half-way,
  // leaves nothing of the picture.
  if (Execute("START TRANSACTION") == 0) {
    logFailedRow(-1, "insertion_start");
    return 0;
  }
  int picture_id = 0;
  return commitOrRollBack(insertPictureRows(picture, picture_id) == 1);
}

int KW_SQL::addName(FRONTEND::Frontend& frontend, const std::array<std::string_view, 3>& names,
                    std::string_view name) {
  KW_SQL base(frontend);
  if (base.Connect(dbparam::kLocalHost, dbparam::kProgramUser, dbparam::kProgramPassword, dbparam::kPort,
                   0) != 0) {
    if (base.Select_Base(dbparam::kPlantBase) != 0) {
      const std::string value = base.escape(name);
      // A lookup that failed says nothing about the name: no insertion then,
      // or a passing fault would duplicate it.
      const int looked = base.Query(SqlFormat("select `%s` from `%s` where `%s`='%s'", str(names[2]).c_str(),
                                              str(names[0]).c_str(), str(names[2]).c_str(), value.c_str()));
      if (looked != 0 && base.Store_Result() == 0)
        base.Query(SqlFormat("insert into `%s`(`%s`,`%s`)VALUES (NULL,'%s')", str(names[0]).c_str(),
                             str(names[1]).c_str(), str(names[2]).c_str(), value.c_str()));
    }
    base.Disconnect();
  }
  return 1;
}

int KW_SQL::Add_Genotype(FRONTEND::Frontend& frontend, std::string_view name) {
  return addName(frontend, kGenotypeNames, name);
}

int KW_SQL::Add_Media(FRONTEND::Frontend& frontend, std::string_view name) {
  return addName(frontend, kMediaNames, name);
}

std::string KW_SQL::Column_Name(std::string_view table, std::string_view column) {
  return SqlFormat("`%s`.`%s`", str(table).c_str(), str(column).c_str());
}
