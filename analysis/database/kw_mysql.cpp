#include "database/kw_mysql.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/frontend.h"
#include "base/kw_log.h"
#include "base/text_format.h"
#include "database/detail/sql_text.h"

namespace {

constexpr const char* kInitFailure = "Failure in initialization of manager of mysql connection";
constexpr const char* kConnectFailure = "Failure of the attempted connection to the MySQL server";
// Every text the program stores is UTF-8; the tables hold utf8mb4.
constexpr const char* kCharacterSet = "utf8mb4";
// The names of the list reads are cut to 49 characters.
constexpr std::size_t kListEntryLength = 49;

// The password as it goes into the log: one asterisk per character.
std::string masked(std::string_view password) { return std::string(password.size(), '*'); }

int clampToInt(unsigned long long n) {
  return n > static_cast<unsigned long long>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

const char* envValue(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? v : nullptr;
}

}  // namespace

std::string SqlFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatTextV(format, args);
  va_end(args);
  return text;
}

ConnectionTarget ResolveConnectionTarget(std::string_view host, int port) {
  ConnectionTarget target;
  target.host = std::string(host);
  if (port < 0 || port > 65535) {
    target.problem = "port out of range";
    return target;
  }
  target.port = static_cast<unsigned int>(port);
  if (const char* h = envValue(dbparam::kHostVariable)) target.host = h;
  if (const char* s = envValue(dbparam::kSocketVariable)) target.socket = s;
  if (const char* p = envValue(dbparam::kPortVariable)) {
    // A port that cannot be read must not send the connection to the
    // default server instead.
    const std::string_view text(p);
    unsigned int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
      target.problem = std::string(dbparam::kPortVariable) + " is not a port number: " + std::string(text);
    else
      target.port = value;
  }
  return target;
}

std::string ConnectFailureReason(unsigned int code, const ConnectionTarget& target, std::string_view user,
                                 std::string_view serverText) {
  const std::string where = !target.socket.empty() ? "the socket " + target.socket
                            : target.host == "localhost"
                                ? std::string("the local server's socket")
                                : target.host + " port " + std::to_string(target.port);
  switch (code) {
    case 0:
      return std::string(serverText);
    case kServerUnreachable:
    case kHostUnreachable:
    case kUnknownHost:
    case kServerGone:
    case kServerLost:
      return "the database server cannot be reached at " + where +
             " (is it running, and does its firewall let "
             "this computer in?)";
    case kAccessDenied:
      if (user == dbparam::kRootUser)
        return "the administrator password was refused by the server at " + where;
      return "the server at " + where + " has no account " + std::string(user) +
             " for this computer (run Add data to set it up)";
    case kUnknownDatabase:
      return "the database is missing on the server at " + where;
    default:
      return std::string(serverText);
  }
}

// ---------------------------------------------------------------- KW_MYSQL

KW_MYSQL::~KW_MYSQL() { closeConnection(); }

void KW_MYSQL::closeConnection() {
  m_result.reset();
  m_unreadResult = false;
  if (m_handle == nullptr) return;
  m_handle.reset();
  // The client library is shut down after the last connection of the
  // process is closed, never under an open one.
  m_library.release();
}

int KW_MYSQL::Connect(std::string_view host, std::string_view user, std::string_view password, int port,
                      int show_errors) {
  closeConnection();
  m_connectError = 0;
  m_connectProblem.clear();
  MysqlHandle handle;
  if (m_library.acquire()) handle.reset(mysql_init(nullptr));
  if (handle == nullptr) {
    m_library.release();
    AppendLogF(m_frontend, logname::kSql, "%s\n", kInitFailure);
    if (show_errors != 0) FRONTEND::ShowMessage(m_frontend, kInitFailure);
    return 0;
  }
  m_handle = std::move(handle);

  AppendLogF(m_frontend, logname::kSql, "size name_host %i,user_name %i,passwd %i\n", clampToInt(host.size()),
             clampToInt(user.size()), clampToInt(password.size()));
  m_host = std::string(host);
  m_user = std::string(user);
  m_password = std::string(password);
  m_port = port;
  AppendLogF(m_frontend, logname::kSql, "size name_host %i,user_name %i,passwd %i\n",
             clampToInt(m_host.size()), clampToInt(m_user.size()), clampToInt(m_password.size()));

  const ConnectionTarget target = ResolveConnectionTarget(m_host, m_port);
  const char* error = nullptr;
  if (target.problem.empty()) {
    mysql_options(m_handle.get(), MYSQL_SET_CHARSET_NAME, kCharacterSet);
    if (mysql_real_connect(m_handle.get(), target.host.c_str(), m_user.c_str(), m_password.c_str(), nullptr,
                           target.port, target.socket.empty() ? nullptr : target.socket.c_str(),
                           0) != nullptr) {
      AppendLog(m_frontend, logname::kSql, "Connection to mysql server succeed\n");
      return 1;
    }
    error = mysql_error(m_handle.get());
  } else {
    error = target.problem.c_str();
  }

  m_connectError = target.problem.empty() ? mysql_errno(m_handle.get()) : 0;
  m_connectProblem = ConnectFailureReason(m_connectError, target, m_user, error);
  AppendLogF(m_frontend, logname::kSql, "%s %s\n", kConnectFailure, error);
  AppendLogF(m_frontend, logname::kSql, "hostname %s,user %s,password %s,port %i\n", m_host.c_str(),
             m_user.c_str(), masked(m_password).c_str(), m_port);
  const std::string givenHost(host), givenUser(user);
  AppendLogF(m_frontend, logname::kSql, "namehost %s,userid %s,passwd %s,ports %i\n", givenHost.c_str(),
             givenUser.c_str(), masked(password).c_str(), port);
  closeConnection();
  if (show_errors != 0)
    FRONTEND::ShowMessage(m_frontend, std::string(kConnectFailure) + ": " + m_connectProblem);
  return 0;
}

int KW_MYSQL::runStatement(std::string_view statement) {
  if (m_handle == nullptr) return -1;
  dropUnreadResult();
  const int rc =
      mysql_real_query(m_handle.get(), statement.data(), static_cast<unsigned long>(statement.size()));
  m_unreadResult = rc == 0 && mysql_field_count(m_handle.get()) > 0;
  return rc;
}

void KW_MYSQL::dropUnreadResult() {
  if (m_handle != nullptr && m_unreadResult) {
    const MysqlResult dropped(mysql_store_result(m_handle.get()));
  }
  m_unreadResult = false;
}

void KW_MYSQL::storeResult() {
  m_result.reset();
  if (m_handle == nullptr) return;
  // Only the statement just run can have a result set to store.
  if (m_unreadResult) m_result.reset(mysql_store_result(m_handle.get()));
  m_unreadResult = false;
}

int KW_MYSQL::Disconnect() {
  closeConnection();
  AppendLog(m_frontend, logname::kSql, "Disconnection to the base succeed\n");
  return 1;
}

std::string KW_MYSQL::escape(std::string_view text) const {
  if (m_handle != nullptr) {
    std::string out(text.size() * 2 + 1, '\0');
    const unsigned long n = mysql_real_escape_string(m_handle.get(), out.data(), text.data(),
                                                     static_cast<unsigned long>(text.size()));
    if (n != static_cast<unsigned long>(-1)) {
      out.resize(n);
      return out;
    }
  }
  std::string out;
  out.reserve(text.size() + 8);
  for (const char c : text) {
    switch (c) {
      case '\0':
        out += "\\0";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\x1a':
        out += "\\Z";
        break;
      case '\'':
        out += "\\'";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// ------------------------------------------------------------- KW_DATABASE

int KW_DATABASE::Select_Base(std::string_view name) {
  if (name.empty()) return 1;
  m_base = std::string(name);
  if (handle() == nullptr) {
    AppendLogF(frontend(), logname::kSql, "Failure of the attempted connection to the database %i\n", -1);
    AppendLog(frontend(), logname::kSql,
              "Failure of the attempted connection to the database not connected\n");
    return 0;
  }
  dropUnreadResult();
  m_selectError = 0;
  const int rc = mysql_select_db(handle(), m_base.c_str());
  if (rc == 0) {
    AppendLogF(frontend(), logname::kSql, "Connection to the base succeed %i\n", 0);
    return 1;
  }
  m_selectError = mysql_errno(handle());
  AppendLogF(frontend(), logname::kSql, "Failure of the attempted connection to the database %i\n", rc);
  AppendLogF(frontend(), logname::kSql, "Failure of the attempted connection to the database %s\n",
             mysql_error(handle()));
  return 0;
}

int KW_DATABASE::Query(std::string_view statement) {
  if (handle() == nullptr) {
    AppendLogF(frontend(), logname::kSql, "query %i\n", -1);
    AppendLog(frontend(), logname::kSql,
              "mysql_errno(&mysqlconnexion) 0\nmysql_errno(&mysqlconnexion) not connected\n");
    return 0;
  }
  const int rc = runStatement(statement);
  AppendLogF(frontend(), logname::kSql, "query %i\n", rc);
  if (rc == 0) return 1;
  AppendLogF(frontend(), logname::kSql, "mysql_errno(&mysqlconnexion) %i\n",
             static_cast<int>(mysql_errno(handle())));
  AppendLogF(frontend(), logname::kSql, "mysql_errno(&mysqlconnexion) %s\n", mysql_error(handle()));
  return 0;
}

int KW_DATABASE::Execute(std::string_view statement) { return runStatement(statement) == 0 ? 1 : 0; }

int KW_DATABASE::Store_Result() {
  storeResult();
  if (m_result == nullptr) return 0;
  return clampToInt(mysql_num_rows(m_result.get()));
}

int KW_DATABASE::Field_Count() {
  if (handle() == nullptr) return 0;
  return static_cast<int>(mysql_field_count(handle()));
}

void KW_DATABASE::Get_Value(std::string& out, int row, int column) {
  if (m_result == nullptr || row < 0 || column < 0) return;
  if (static_cast<unsigned long long>(row) >= mysql_num_rows(m_result.get())) return;
  if (static_cast<unsigned int>(column) >= mysql_num_fields(m_result.get())) return;
  mysql_data_seek(m_result.get(), static_cast<unsigned long long>(row));
  MYSQL_ROW cells = mysql_fetch_row(m_result.get());
  if (cells == nullptr) return;
  const unsigned long* lengths = mysql_fetch_lengths(m_result.get());
  const auto c = static_cast<std::size_t>(column);
  if (cells[c] == nullptr)
    out.clear();
  else
    out.assign(cells[c], lengths != nullptr ? lengths[c] : std::char_traits<char>::length(cells[c]));
}

int KW_DATABASE::For_Each_Row(const std::function<void(const std::vector<std::string_view>&)>& visit) {
  if (m_result == nullptr) return 0;
  mysql_data_seek(m_result.get(), 0);
  const unsigned int columns = mysql_num_fields(m_result.get());
  std::vector<std::string_view> cells(columns);
  int rows = 0;
  while (MYSQL_ROW row = mysql_fetch_row(m_result.get())) {
    const unsigned long* lengths = mysql_fetch_lengths(m_result.get());
    for (unsigned int c = 0; c < columns; ++c)
      cells[c] = row[c] == nullptr
                     ? std::string_view()
                     : std::string_view(row[c], lengths != nullptr ? lengths[c] : std::strlen(row[c]));
    visit(cells);
    ++rows;
  }
  return rows;
}

void KW_DATABASE::Get_Field_Name(std::string& out, int column) {
  if (m_result == nullptr || column < 0) return;
  if (static_cast<unsigned int>(column) >= mysql_num_fields(m_result.get())) return;
  const MYSQL_FIELD* field = mysql_fetch_field_direct(m_result.get(), static_cast<unsigned int>(column));
  if (field != nullptr && field->name != nullptr) out = field->name;
}

int KW_DATABASE::Get_Column_List(std::vector<std::string>& list) {
  const int rows = Store_Result();
  AppendLogF(frontend(), logname::kSql, "myRESULT->row_count %i\n", rows);
  list.clear();
  list.reserve(static_cast<std::size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    std::string name;
    Get_Value(name, r, 1);
    name = FRONTEND::CutText(name, kListEntryLength);
    AppendLogF(frontend(), logname::kSql, "%s\n", name.c_str());
    list.push_back(std::move(name));
  }
  return rows;
}

int KW_DATABASE::Find_User(std::string_view user, std::string_view host) {
  const std::string statement = SqlFormat("SELECT user FROM `user` WHERE user like '%s' AND host = '%s'",
                                          escape(user).c_str(), escape(host).c_str());
  if (Query(statement) == 0) return -1;
  return Store_Result();
}

int KW_DATABASE::Insert_User(std::string_view user, std::string_view password, std::string_view host) {
  // The account may only read and insert results, and only in "plant": the
  // program's password is fixed and widely known.
  const std::string account = SqlFormat("'%s'@'%s'", escape(user).c_str(), escape(host).c_str());
  if (Query(SqlFormat("CREATE USER %s IDENTIFIED BY '%s'", account.c_str(), escape(password).c_str())) == 0)
    return 0;
  return Query(SqlFormat("GRANT SELECT, INSERT ON `%s`.* TO %s", std::string(dbparam::kPlantBase).c_str(),
                         account.c_str()));
}

int KW_DATABASE::Create_Base(std::string_view name) {
  return Query(SqlFormat("CREATE DATABASE %s", std::string(name).c_str()));
}

// ------------------------------------------------------------ account set-up

bool IsLocalServer(std::string_view host) {
  const ConnectionTarget target = ResolveConnectionTarget(host, dbparam::kPort);
  return target.host.empty() || target.host == "localhost" || target.host == "127.0.0.1" ||
         target.host == "::1";
}

int Create_Account(FRONTEND::Frontend& frontend, std::string_view user, std::string_view password,
                   std::string_view adminPassword, std::string_view accountHost) {
  KW_DATABASE base(frontend);
  if (base.Connect(dbparam::kAdminHost, dbparam::kRootUser, adminPassword, dbparam::kPort, 1) == 0) return 0;
  if (base.Select_Base(dbparam::kMysqlBase) == 0) return 0;
  const std::string host(accountHost.empty() ? AccountHostFor(dbparam::kAdminHost) : accountHost);
  const int found = base.Find_User(user, host);
  if (found < 0) return 0;
  if (found == 0 && base.Insert_User(user, password, host) == 0) {
    FRONTEND::ShowMessage(
        frontend, "The account " + std::string(user) + "@" + host + " could not be created: see log_sql.txt");
    return 0;
  }
  base.Query("FLUSH PRIVILEGES");
  base.Disconnect();
  return 1;
}

std::string AccountHostFor(std::string_view host) {
  return IsLocalServer(host) ? std::string("localhost") : std::string("%");
}
