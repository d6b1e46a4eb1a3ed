// The thin layer between the program and the MySQL client library: one
// connection per operation (created, connected, a database selected,
// statements, disconnected, destroyed), stored results read cell by cell,
// and the statements of the account set-up. Every step appends its
// diagnostic lines to log_sql.txt.
//
// KW_MYSQL <- KW_DATABASE <- KW_SQL (kw_sql.h), which also derives from the
// empty KW_RF.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/frontend.h"
#include "database/detail/client_library.h"
#include "database/detail/mysql_handles.h"

// The fixed connection parameters of the program.
namespace dbparam {
inline constexpr std::string_view kLocalHost = "localhost";  // reading and writing results, creating the base
inline constexpr std::string_view kAdminHost = "127.0.0.1";  // account set-up
inline constexpr std::string_view kRootUser = "root";
inline constexpr std::string_view kProgramUser = "Morvane";
inline constexpr std::string_view kProgramPassword = "Ostravel";
inline constexpr int kPort = 3306;
inline constexpr std::string_view kPlantBase = "plant";
inline constexpr std::string_view kMysqlBase = "mysql";

// Environment variables that, when set, replace the host, the port and the
// Unix socket of every connection (a server listening elsewhere, the tests'
// private server). On Linux the host "localhost" means the Unix socket.
inline constexpr const char* kHostVariable = "MORVANE_DB_HOST";
inline constexpr const char* kPortVariable = "MORVANE_DB_PORT";
inline constexpr const char* kSocketVariable = "MORVANE_DB_SOCKET";
}  // namespace dbparam

// Where a connection really goes once the environment has had its say.
struct ConnectionTarget {
  std::string host;
  unsigned int port = 0;
  std::string socket;   // empty: the client library's default
  std::string problem;  // non-empty: an override is unusable, do not connect
};

// The target for the host and port the program asks for.
ConnectionTarget ResolveConnectionTarget(std::string_view host, int port);

// Client and server codes the messages tell apart.
inline constexpr unsigned int kServerUnreachable = 2002;  // no server on the socket
inline constexpr unsigned int kHostUnreachable = 2003;    // no server at host and port
inline constexpr unsigned int kUnknownHost = 2005;
inline constexpr unsigned int kServerGone = 2006;
inline constexpr unsigned int kServerLost = 2013;
inline constexpr unsigned int kAccessDenied = 1045;
inline constexpr unsigned int kDatabaseAccessDenied = 1044;
inline constexpr unsigned int kUnknownDatabase = 1049;
inline constexpr unsigned int kUnknownTable = 1146;

// Why a connection failed, in words the user can act on: the server not
// reachable (with where it was looked for), the administrator password
// refused, the program's account missing, the database missing; else the
// server's own text.
std::string ConnectFailureReason(unsigned int code, const ConnectionTarget& target, std::string_view user,
                                 std::string_view serverText);

// True when the program's connections for host go to this computer (the
// environment's host counts).
bool IsLocalServer(std::string_view host);
// The hosts the program's account is made for: "localhost" for a server on
// this computer, "%" (any computer) for a server elsewhere.
std::string AccountHostFor(std::string_view host);

class KW_RF {
 public:
  KW_RF() = default;
  KW_RF(const KW_RF&) = default;
  KW_RF& operator=(const KW_RF&) = default;
  virtual ~KW_RF() = default;
};

class KW_MYSQL {
 public:
  // The connection logs and shows its failures through frontend (not owned).
  explicit KW_MYSQL(FRONTEND::Frontend& frontend) : m_frontend(frontend) {}
  KW_MYSQL(const KW_MYSQL&) = delete;
  KW_MYSQL& operator=(const KW_MYSQL&) = delete;
  // Closes the connection when it is still open.
  virtual ~KW_MYSQL();

  // 1 connected, 0 failed. With show_errors non-zero a failure is shown to
  // the user. A connection still open on this object is closed first.
  int Connect(std::string_view host, std::string_view user, std::string_view password, int port,
              int show_errors);
  // Always 1. Closes the connection; the client library is shut down when no
  // other connection is open and initialised again by the next Connect.
  int Disconnect();

  bool isConnected() const { return m_handle != nullptr; }
  // The code of the last failed Connect (0: none, or no server code) and its
  // reason in words (ConnectFailureReason).
  unsigned int connectError() const { return m_connectError; }
  const std::string& connectProblem() const { return m_connectProblem; }
  // The open connection, or null.
  MYSQL* handle() const { return m_handle.get(); }
  // text escaped for the connection's character set, ready to stand between
  // single quotes in a statement. Without a connection quotes, backslashes
  // and control characters are escaped by hand.
  std::string escape(std::string_view text) const;

  FRONTEND::Frontend& frontend() const { return m_frontend; }

 protected:
  // Sends one statement and returns mysql_query's code (-1 without a
  // connection). A result set nobody stored from the statement before is
  // read and dropped first, so an unread SELECT never blocks the connection.
  int runStatement(std::string_view statement);
  // Stores the result set of the last statement as the current result.
  void storeResult();
  // Reads and drops a result set that nobody stored.
  void dropUnreadResult();

  // The result set of the last Store_Result. It sits beside the handle so
  // that it is always freed before the connection is closed.
  MysqlResult m_result;

 private:
  void closeConnection();

  FRONTEND::Frontend& m_frontend;
  // The connection's share in the client library, held while it is open.
  ClientLibraryLease m_library;
  MysqlHandle m_handle;
  bool m_unreadResult = false;
  std::string m_host;
  std::string m_user;
  std::string m_password;
  int m_port = 0;
  unsigned int m_connectError = 0;
  std::string m_connectProblem;
};

class KW_DATABASE : public KW_MYSQL {
 public:
  explicit KW_DATABASE(FRONTEND::Frontend& frontend) : KW_MYSQL(frontend) {}
  ~KW_DATABASE() override = default;

  // 1 selected (or an empty name, which sends nothing), 0 failed.
  int Select_Base(std::string_view name);
  // The server's code for the last failed Select_Base (kUnknownDatabase: the
  // database is missing), 0 otherwise.
  unsigned int selectError() const { return m_selectError; }
  // Runs a statement and logs its return code; 1 success, 0 failure.
  int Query(std::string_view statement);
  // Runs a statement without logging (failures expected and ignored).
  int Execute(std::string_view statement);
  // Keeps the result of the last statement as the current result and
  // returns its number of rows (0 when the statement gave no result set).
  int Store_Result();
  // Number of columns of the last statement.
  int Field_Count();
  // Copies one cell of the current result into out; nothing is written when
  // the row or the column does not exist. A NULL cell gives an empty text.
  void Get_Value(std::string& out, int row, int column);
  // Calls visit with the cells of every row of the current result, first to
  // last (a NULL cell is empty); the views last until visit returns.
  // Returns the rows visited. Unlike Get_Value, each row is reached once.
  int For_Each_Row(const std::function<void(const std::vector<std::string_view>&)>& visit);
  // Copies the name of a column of the current result into out; nothing is
  // written when the column does not exist.
  void Get_Field_Name(std::string& out, int column);
  // Stores the result of the last statement and replaces list with its
  // second column (at most 49 characters per entry); returns the row count.
  int Get_Column_List(std::vector<std::string>& list);
  // Rows of the server's account table whose user is like the name, for
  // that host pattern, or -1 when the statement fails.
  int Find_User(std::string_view user, std::string_view host);
  // Creates the account user@host with the password and grants it select
  // and insert on the database "plant" only; 1 success, 0 failure.
  int Insert_User(std::string_view user, std::string_view password, std::string_view host);
  // 1 success, 0 failure.
  int Create_Base(std::string_view name);

  const std::string& baseName() const { return m_base; }

 private:
  std::string m_base;
  unsigned int m_selectError = 0;
};

// Creates the program's account with the administrator password (as root on
// 127.0.0.1, or the server MORVANE_DB_HOST names) for accountHost, by default
// AccountHostFor the server: nothing is inserted when that account exists
// already. 1 when the account is there afterwards, 0 otherwise (the reason
// has been shown).
int Create_Account(FRONTEND::Frontend& frontend, std::string_view user, std::string_view password,
                   std::string_view adminPassword, std::string_view accountHost = {});
