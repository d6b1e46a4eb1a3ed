// Owners of the MySQL client library's handles: a connection is closed and a
// stored result freed exactly once, when its holder lets go of it.
#pragma once

#include <mysql.h>

#include <memory>

struct MysqlCloser {
  void operator()(MYSQL* handle) const noexcept { mysql_close(handle); }
};

struct MysqlResultFreer {
  void operator()(MYSQL_RES* result) const noexcept { mysql_free_result(result); }
};

using MysqlHandle = std::unique_ptr<MYSQL, MysqlCloser>;
using MysqlResult = std::unique_ptr<MYSQL_RES, MysqlResultFreer>;
