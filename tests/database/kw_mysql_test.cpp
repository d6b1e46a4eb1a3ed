// The connection layer against the private MariaDB server: connecting and
// its log, choosing a database, reading stored results, and the set-up of
// the program's account and database.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "base/kw_log.h"
#include "database/database_setup.h"
#include "database/kw_sql.h"
#include "db_test_server.h"

using dbtest::ServerTest;

namespace {

constexpr const char* kConnectFailure = "Failure of the attempted connection to the MySQL server";

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// How often the given connection has changed its database so far.
int changeDbCount(KW_DATABASE& c) {
  EXPECT_EQ(c.Query("SHOW SESSION STATUS LIKE 'Com_change_db'"), 1);
  EXPECT_EQ(c.Store_Result(), 1);
  std::string v = "-1";
  c.Get_Value(v, 0, 1);
  return std::stoi(v);
}

}  // namespace

using ConnectionTest = ServerTest;

TEST_F(ConnectionTest, ConnectLogsTheSizesAndDisconnectReleasesTheConnection) {
  KW_DATABASE c(script);
  ASSERT_EQ(c.Connect("localhost", "root", "", 3306, 1), 1);
  EXPECT_TRUE(c.isConnected());
  EXPECT_EQ(c.Disconnect(), 1);
  EXPECT_FALSE(c.isConnected());
  // A second Disconnect finds nothing to release.
  EXPECT_EQ(c.Disconnect(), 1);
  EXPECT_TRUE(script.shown.empty());
  EXPECT_EQ(readLog("log_sql.txt"),
            "size name_host 9,user_name 4,passwd 0\n"
            "size name_host 9,user_name 4,passwd 0\n"
            "Connection to mysql server succeed\n"
            "Disconnection to the base succeed\n"
            "Disconnection to the base succeed\n");

  // The same object connects again (the client library is set up anew), and
  // over TCP to 127.0.0.1 as the account set-up does.
  ASSERT_EQ(c.Connect("127.0.0.1", "root", "", 3306, 1), 1);
  EXPECT_EQ(c.Select_Base("mysql"), 1);
  // Connecting an open object closes its first connection.
  ASSERT_EQ(c.Connect("localhost", "root", "", 3306, 1), 1);
  EXPECT_EQ(c.baseName(), "mysql");
  std::string db = "unchanged";
  ASSERT_EQ(c.Query("SELECT DATABASE()"), 1);
  ASSERT_EQ(c.Store_Result(), 1);
  c.Get_Value(db, 0, 0);
  EXPECT_EQ(db, "");  // NULL: the new connection has no database yet
}

TEST_F(ConnectionTest, FailedConnectShowsTheMessageOnlyWhenAskedAndNeverLogsThePassword) {
  KW_DATABASE c(script);
  EXPECT_EQ(c.Connect("localhost", "root", "S3cr3t!", 3306, 1), 0);
  EXPECT_FALSE(c.isConnected());
  ASSERT_EQ(script.messages().size(), 1u);
  EXPECT_TRUE(script.messages()[0].starts_with(std::string(kConnectFailure) + ": ")) << script.messages()[0];
  EXPECT_EQ(c.Connect("localhost", "nobody", "S3cr3t!", 3306, 0), 0);
  EXPECT_EQ(script.messages().size(), 1u);

  const std::string log = readLog("log_sql.txt");
  EXPECT_FALSE(contains(log, "S3cr3t!")) << log;
  EXPECT_TRUE(contains(log, "size name_host 9,user_name 4,passwd 7\n")) << log;
  EXPECT_TRUE(contains(log, std::string(kConnectFailure) + " Access denied for user 'root'@'localhost'"))
      << log;
  EXPECT_TRUE(contains(log, "hostname localhost,user root,password *******,port 3306\n")) << log;
  EXPECT_TRUE(contains(log, "namehost localhost,userid root,passwd *******,ports 3306\n")) << log;
  EXPECT_TRUE(contains(log, "namehost localhost,userid nobody,passwd *******,ports 3306\n")) << log;
  EXPECT_FALSE(contains(log, "Connection to mysql server succeed")) << log;
}

TEST_F(ConnectionTest, ServerDownWrongPasswordMissingAccountAndMissingDatabaseAreToldApart) {
  KW_DATABASE c(script);
  EXPECT_EQ(c.Connect("localhost", "root", "wrong", 3306, 1), 0);
  EXPECT_EQ(c.connectError(), kAccessDenied);
  EXPECT_EQ(c.Connect("localhost", "Morvane", "Ostravel", 3306, 1), 0);
  ASSERT_EQ(c.Connect("localhost", "root", "", 3306, 1), 1);
  EXPECT_EQ(c.Select_Base("plant"), 0);
  EXPECT_EQ(c.selectError(), kUnknownDatabase);
  const std::string missingSocket = (home / "no-server.sock").string();
  ::setenv("MORVANE_DB_SOCKET", missingSocket.c_str(), 1);
  EXPECT_EQ(c.Connect("localhost", "root", "", 3306, 1), 0);
  EXPECT_EQ(c.connectError(), kServerUnreachable);
  ::setenv("MORVANE_DB_SOCKET", server.socket.c_str(), 1);

  const std::string at = "the socket " + server.socket;
  EXPECT_EQ(
      script.messages(),
      (std::vector<std::string>{
          std::string(kConnectFailure) + ": the administrator password was refused by the server at " + at,
          std::string(kConnectFailure) + ": the server at " + at +
              " has no account Morvane for this computer (run Add data to set it up)",
          std::string(kConnectFailure) + ": the database server cannot be reached at the socket " +
              missingSocket + " (is it running, and does its firewall let this computer in?)"}));
  ConnectionTarget remote;
  remote.host = "db.example.org";
  remote.port = 3307;
  EXPECT_EQ(ConnectFailureReason(kHostUnreachable, remote, "Morvane", ""),
            "the database server cannot be reached at db.example.org port 3307 (is it running, and does its "
            "firewall let this computer in?)");
  EXPECT_EQ(ConnectFailureReason(kUnknownDatabase, remote, "Morvane", ""),
            "the database is missing on the server at db.example.org port 3307");
}

TEST_F(ConnectionTest, SelectBaseWithAnEmptyNameSendsNothing) {
  KW_DATABASE c(script);
  ASSERT_EQ(c.Connect("localhost", "root", "", 3306, 1), 1);
  const int before = changeDbCount(c);
  EXPECT_EQ(c.Select_Base(""), 1);
  EXPECT_EQ(changeDbCount(c), before);
  EXPECT_EQ(c.baseName(), "");
  // A real selection is counted by the server, so the count above would see it.
  EXPECT_EQ(c.Select_Base("mysql"), 1);
  EXPECT_EQ(changeDbCount(c), before + 1);
  EXPECT_EQ(c.baseName(), "mysql");

  EXPECT_EQ(c.Select_Base("no_such_base"), 0);
  const std::string log = readLog("log_sql.txt");
  EXPECT_TRUE(contains(log, "Connection to the base succeed 0\n")) << log;
  EXPECT_TRUE(contains(log, "Failure of the attempted connection to the database 1\n")) << log;
  EXPECT_TRUE(
      contains(log, "Failure of the attempted connection to the database Unknown database 'no_such_base'\n"))
      << log;
  EXPECT_TRUE(script.shown.empty());
}

TEST_F(ConnectionTest, QueryLogsItsCodeAndErrorsExecuteLogsNothing) {
  KW_DATABASE c(script);
  ASSERT_EQ(c.Connect("localhost", "root", "", 3306, 1), 1);
  TruncateLog(script, logname::kSql);
  EXPECT_EQ(c.Query("SELECT 1"), 1);
  EXPECT_EQ(c.Query("SELEKT 1"), 0);
  EXPECT_EQ(c.Execute("SELEKT 1"), 0);
  EXPECT_EQ(c.Execute("DO 1"), 1);
  const std::string log = readLog("log_sql.txt");
  EXPECT_TRUE(
      log.starts_with("query 0\nquery 1\nmysql_errno(&mysqlconnexion) 1064\n"
                      "mysql_errno(&mysqlconnexion) You have an error in your SQL syntax"))
      << log;
  // Nothing after the Query failure's two lines: Execute wrote nothing.
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4) << log;

  // Without a connection nothing is sent and nothing crashes.
  KW_DATABASE idle(script);
  EXPECT_EQ(idle.Query("SELECT 1"), 0);
  EXPECT_EQ(idle.Execute("SELECT 1"), 0);
  EXPECT_EQ(idle.Select_Base("mysql"), 0);
  EXPECT_EQ(idle.Store_Result(), 0);
  EXPECT_EQ(idle.Field_Count(), 0);
  std::string keep = "keep";
  idle.Get_Value(keep, 0, 0);
  EXPECT_EQ(keep, "keep");
}

TEST_F(ConnectionTest, StoredResultsAreReadCellByCell) {
  KW_DATABASE c(script);
  ASSERT_EQ(c.Connect("localhost", "root", "", 3306, 1), 1);
  ASSERT_EQ(c.Query("SELECT 'a' AS x, 2 AS y UNION ALL SELECT 'b', NULL UNION ALL SELECT 'c', 7"), 1);
  EXPECT_EQ(c.Field_Count(), 2);
  EXPECT_EQ(c.Store_Result(), 3);
  std::string v;
  c.Get_Value(v, 1, 0);
  EXPECT_EQ(v, "b");
  c.Get_Value(v, 2, 1);
  EXPECT_EQ(v, "7");
  c.Get_Value(v, 0, 1);
  EXPECT_EQ(v, "2");
  c.Get_Value(v, 1, 1);
  EXPECT_EQ(v, "");  // NULL
  // Rows and columns beyond the result leave the buffer as it was.
  v = "keep";
  c.Get_Value(v, 3, 0);
  c.Get_Value(v, 100, 0);
  c.Get_Value(v, -1, 0);
  c.Get_Value(v, 0, 2);
  EXPECT_EQ(v, "keep");
  // Rows can be read again in any order.
  c.Get_Value(v, 0, 0);
  EXPECT_EQ(v, "a");

  std::string name = "keep";
  c.Get_Field_Name(name, 5);
  EXPECT_EQ(name, "keep");
  c.Get_Field_Name(name, 1);
  EXPECT_EQ(name, "y");
  c.Get_Field_Name(name, 0);
  EXPECT_EQ(name, "x");

  // A statement without a result set stores nothing.
  ASSERT_EQ(c.Query("DO 1"), 1);
  EXPECT_EQ(c.Field_Count(), 0);
  EXPECT_EQ(c.Store_Result(), 0);
  v = "keep";
  c.Get_Value(v, 0, 0);
  EXPECT_EQ(v, "keep");
}

TEST_F(ConnectionTest, ColumnListsTakeTheSecondColumnCutTo49Characters) {
  ASSERT_EQ(root().exec("CREATE DATABASE other"), "");
  ASSERT_EQ(root().exec("CREATE TABLE other.names (id INT, name VARCHAR(80)) CHARSET=utf8mb4"), "");
  KW_DATABASE c(script);
  ASSERT_EQ(c.Connect("localhost", "root", "", 3306, 1), 1);
  ASSERT_EQ(c.Select_Base("other"), 1);
  ASSERT_EQ(c.Query("SELECT * FROM names"), 1);
  std::vector<std::string> list = {"stale"};
  EXPECT_EQ(c.Get_Column_List(list), 0);
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(contains(readLog("log_sql.txt"), "myRESULT->row_count 0\n"));

  const std::string fifty(50, 'n');
  ASSERT_EQ(root().exec("INSERT INTO other.names VALUES (1,'Col-0'),(2,'" + fifty +
                        "'),(3,NULL),(4,'Wassilewskija')"),
            "");
  TruncateLog(script, logname::kSql);
  ASSERT_EQ(c.Query("SELECT * FROM names ORDER BY id"), 1);
  EXPECT_EQ(c.Get_Column_List(list), 4);
  EXPECT_EQ(list, (std::vector<std::string>{"Col-0", std::string(49, 'n'), "", "Wassilewskija"}));
  EXPECT_EQ(readLog("log_sql.txt"),
            "query 0\nmyRESULT->row_count 4\nCol-0\n" + std::string(49, 'n') + "\n\nWassilewskija\n");
}

using AccountTest = ServerTest;

TEST_F(AccountTest, WrongAdministratorPasswordCreatesNothing) {
  EXPECT_EQ(Create_Account(script, "Morvane", "Ostravel", "wrong"), 0);
  ASSERT_EQ(script.messages().size(), 1u);
  EXPECT_EQ(script.messages()[0],
            std::string(kConnectFailure) +
                ": the administrator password was refused by the server at the socket " + server.socket);
  EXPECT_EQ(root().value("SELECT COUNT(*) FROM mysql.user WHERE user='Morvane'"), "0");
  EXPECT_FALSE(contains(readLog("log_sql.txt"), "wrong"));

  EXPECT_EQ(FirstTimeSetUp(script, "wrong"), 0);
  EXPECT_EQ(root().value("SELECT COUNT(*) FROM information_schema.schemata WHERE schema_name='plant'"), "0");
  EXPECT_FALSE(std::filesystem::exists(logFolder() / "log_pass.txt"));
}

TEST_F(AccountTest, EmptyAdministratorPasswordCreatesTheAccountOnceAndASecondSetUpInsertsNothing) {
  EXPECT_EQ(Create_Account(script, "Morvane", "Ostravel", ""), 1);
  EXPECT_TRUE(script.shown.empty());
  EXPECT_EQ(root().rows("SELECT host FROM mysql.user WHERE user='Morvane'"),
            (std::vector<dbtest::Row>{{std::string("localhost")}}));
  const auto grants = root().rows("SHOW GRANTS FOR 'Morvane'@'localhost'");
  ASSERT_EQ(grants.size(), 2u);
  EXPECT_TRUE(contains(*grants[0][0], "GRANT USAGE ON *.* TO `Morvane`@`localhost`")) << *grants[0][0];
  EXPECT_EQ(*grants[1][0], "GRANT SELECT, INSERT ON `plant`.* TO `Morvane`@`localhost`");

  // The second set-up finds the account and only flushes the privileges.
  TruncateLog(script, logname::kSql);
  EXPECT_EQ(Create_Account(script, "Morvane", "Ostravel", ""), 1);
  EXPECT_EQ(root().value("SELECT COUNT(*) FROM mysql.user WHERE user='Morvane'"), "1");
  // Two statements: the lookup and FLUSH PRIVILEGES, both successful.
  const std::string log = readLog("log_sql.txt");
  EXPECT_TRUE(contains(
      log, "Connection to the base succeed 0\nquery 0\nquery 0\nDisconnection to the base succeed\n"))
      << log;

  // The account's password is the one given.
  KW_MYSQL program(script);
  EXPECT_EQ(program.Connect("localhost", "Morvane", "Ostravel", 3306, 1), 1);
  EXPECT_EQ(program.Disconnect(), 1);
}

TEST_F(AccountTest, FirstTimeSetUpCreatesTheBaseTablesAndMarker) {
  EXPECT_EQ(FirstTimeSetUp(script, ""), 1);
  EXPECT_TRUE(script.shown.empty());
  EXPECT_EQ(readLog("log_pass.txt"), "user created\n");
  const auto tables = root().rows(
      "SELECT table_name, engine, table_collation FROM information_schema.tables WHERE table_schema='plant' "
      "ORDER BY table_name");
  ASSERT_EQ(tables.size(), 6u);
  const std::vector<std::string> names = {"genotype", "imported file", "main root",
                                          "media",    "picture",       "secondary root"};
  for (std::size_t i = 0; i < tables.size(); ++i) {
    EXPECT_EQ(tables[i][0], names[i]);
    // Transactions need InnoDB; any language's names need utf8mb4.
    EXPECT_EQ(tables[i][1], "InnoDB");
    EXPECT_TRUE(tables[i][2]->starts_with("utf8mb4")) << *tables[i][2];
  }
  // Running it again keeps everything and still succeeds.
  ASSERT_EQ(root().exec("INSERT INTO plant.Genotype VALUES (NULL,'Col-0')"), "");
  EXPECT_EQ(FirstTimeSetUp(script, ""), 1);
  EXPECT_EQ(root().value("SELECT COUNT(*) FROM plant.Genotype"), "1");
  EXPECT_EQ(root().value("SELECT COUNT(*) FROM mysql.user WHERE user='Morvane'"), "1");
}

TEST_F(AccountTest, ARemoteServerGetsAnAccountForOtherHostsAndAFailedSetUpLeavesNoMarker) {
  EXPECT_EQ(AccountHostFor("localhost"), "localhost");
  ::setenv("MORVANE_DB_HOST", "127.0.0.1", 1);
  EXPECT_EQ(AccountHostFor("localhost"), "localhost");
  ::setenv("MORVANE_DB_HOST", "db.example.org", 1);
  EXPECT_FALSE(IsLocalServer("localhost"));
  EXPECT_EQ(AccountHostFor("localhost"), "%");
  ::unsetenv("MORVANE_DB_HOST");

  // A pattern the server refuses: the set-up fails and leaves no marker, so
  // it runs again next time.
  EXPECT_EQ(FirstTimeSetUp(script, "", std::string(300, 'h')), 0);
  EXPECT_FALSE(std::filesystem::exists(logFolder() / "log_pass.txt"));
  ASSERT_FALSE(script.messages().empty());
  EXPECT_TRUE(script.messages().back().starts_with("The account Morvane@hhh")) << script.messages().back();

  // The pattern the user gives.
  EXPECT_EQ(FirstTimeSetUp(script, "", "10.1.%"), 1);
  EXPECT_EQ(root().rows("SELECT host FROM mysql.user WHERE user='Morvane'"),
            (std::vector<dbtest::Row>{{std::string("10.1.%")}}));
  EXPECT_EQ(root().rows("SHOW GRANTS FOR 'Morvane'@'10.1.%'").size(), 2u);
  EXPECT_EQ(readLog("log_pass.txt"), "user created\n");
  ASSERT_EQ(root().exec("DROP USER 'Morvane'@'10.1.%'"), "");
}

TEST_F(AccountTest, TheProgramsAccountOnlySelectsAndInsertsInPlant) {
  setUpPlant();
  ASSERT_EQ(root().exec("CREATE DATABASE other"), "");
  ASSERT_EQ(root().exec("CREATE TABLE other.t (v INT)"), "");
  ASSERT_EQ(root().exec("INSERT INTO other.t VALUES (1)"), "");

  KW_DATABASE c(script);
  ASSERT_EQ(c.Connect("localhost", "Morvane", "Ostravel", 3306, 1), 1);
  ASSERT_EQ(c.Select_Base("plant"), 1);
  EXPECT_EQ(c.Query("INSERT INTO Genotype VALUES (NULL,'Col-0')"), 1);
  EXPECT_EQ(c.Query("SELECT * FROM Genotype"), 1);
  EXPECT_EQ(c.Store_Result(), 1);
  EXPECT_EQ(c.Query("UPDATE Genotype SET Genotype='Ler'"), 0);
  EXPECT_EQ(c.Query("DELETE FROM Genotype"), 0);
  EXPECT_EQ(c.Query("DROP TABLE Genotype"), 0);
  EXPECT_EQ(c.Query("CREATE TABLE x (v INT)"), 0);
  EXPECT_EQ(c.Query("DROP DATABASE plant"), 0);
  // Nothing outside "plant": not the server's accounts, not another base.
  EXPECT_EQ(c.Query("SELECT * FROM mysql.user"), 0);
  EXPECT_EQ(c.Query("SELECT * FROM mysql.global_priv"), 0);
  EXPECT_EQ(c.Query("SELECT * FROM other.t"), 0);
  EXPECT_EQ(c.Select_Base("other"), 0);
  EXPECT_EQ(c.Query("CREATE USER 'x'@'localhost'"), 0);
  c.Disconnect();
  EXPECT_EQ(root().value("SELECT Genotype FROM plant.Genotype"), "Col-0");
  EXPECT_EQ(root().value("SELECT COUNT(*) FROM plant.Genotype"), "1");
}

TEST_F(ConnectionTest, AResultNobodyStoredDoesNotBlockTheNextStatement) {
  KW_DATABASE c(script);
  ASSERT_EQ(c.Connect("localhost", "root", "", 3306, 1), 1);
  EXPECT_EQ(c.Query("SELECT 1 UNION ALL SELECT 2"), 1);
  EXPECT_EQ(c.Select_Base("mysql"), 1);
  EXPECT_EQ(c.Query("SELECT 3"), 1);
  EXPECT_EQ(c.Execute("SELECT 4"), 1);
  EXPECT_EQ(c.Query("SELECT 'x', 'y'"), 1);
  EXPECT_EQ(c.Store_Result(), 1);
  std::string v;
  c.Get_Value(v, 0, 1);
  EXPECT_EQ(v, "y");
  // Storing twice gives no second result: the first one is already taken.
  EXPECT_EQ(c.Store_Result(), 0);
}

TEST_F(ConnectionTest, ClosingOneConnectionLeavesAnotherOpenOneWorking) {
  // A genotype lookup may open its own connection while another is open.
  KW_DATABASE outer(script);
  ASSERT_EQ(outer.Connect("localhost", "root", "", 3306, 1), 1);
  {
    KW_DATABASE inner(script);
    ASSERT_EQ(inner.Connect("localhost", "root", "", 3306, 1), 1);
    EXPECT_EQ(inner.Query("SELECT 1"), 1);
    // inner is released by its destructor, without Disconnect.
  }
  ASSERT_EQ(outer.Query("SELECT 'still here'"), 1);
  ASSERT_EQ(outer.Store_Result(), 1);
  std::string v;
  outer.Get_Value(v, 0, 0);
  EXPECT_EQ(v, "still here");
  EXPECT_EQ(outer.Select_Base("mysql"), 1);
  EXPECT_EQ(outer.Disconnect(), 1);
  // And the library comes back for the next connection.
  KW_DATABASE next(script);
  EXPECT_EQ(next.Connect("127.0.0.1", "root", "", 3306, 1), 1);
}

TEST_F(AccountTest, FindUserCountsAccountsAndInsertUserTakesAnyPassword) {
  KW_DATABASE c(script);
  ASSERT_EQ(c.Connect("127.0.0.1", "root", "", 3306, 1), 1);
  // Without the mysql database selected the statement fails.
  EXPECT_EQ(c.Find_User("root", "localhost"), -1);
  ASSERT_EQ(c.Select_Base("mysql"), 1);
  EXPECT_EQ(c.Find_User("Morvane", "localhost"), 0);
  EXPECT_GE(c.Find_User("root", "localhost"), 1);

  // A password with quotes and a backslash is stored as typed.
  const std::string password = "it's a \\ \"test\"";
  EXPECT_EQ(c.Insert_User("Morvane", password, "localhost"), 1);
  EXPECT_EQ(c.Find_User("Morvane", "localhost"), 1);
  EXPECT_EQ(c.Find_User("Morvane", "%"), 0);
  // The account exists now: creating it again fails and changes nothing.
  EXPECT_EQ(c.Insert_User("Morvane", "other", "localhost"), 0);
  c.Disconnect();

  KW_MYSQL program(script);
  EXPECT_EQ(program.Connect("localhost", "Morvane", password, 3306, 0), 1);
  program.Disconnect();
  EXPECT_EQ(program.Connect("localhost", "Morvane", "other", 3306, 0), 0);
  EXPECT_FALSE(contains(readLog("log_sql.txt"), "test")) << readLog("log_sql.txt");
}
