#include "database/sample_names_sql.h"

#include "database/kw_mysql.h"
#include "database/kw_sql.h"

namespace {

// The names of one table (second column of every row) over a connection of
// their own that shows no error; empty when the database is out of reach.
std::vector<std::string> ReadNames(FRONTEND::Frontend& frontend, std::string_view statement) {
  std::vector<std::string> names;
  KW_DATABASE base(frontend);
  if (base.Connect(dbparam::kLocalHost, dbparam::kProgramUser, dbparam::kProgramPassword, dbparam::kPort,
                   0) == 0)
    return names;
  if (base.Select_Base(dbparam::kPlantBase) != 0 && base.Query(statement) != 0) base.Get_Column_List(names);
  base.Disconnect();
  return names;
}

}  // namespace

// The tables by their real names: table names are case-sensitive on a Linux
// server.
std::vector<std::string> SampleNamesSql::genotypeNames(FRONTEND::Frontend& frontend) {
  return ReadNames(frontend, "select * from `" + std::string(KW_SQL::kGenotypeNames[0]) + "`");
}

std::vector<std::string> SampleNamesSql::mediaNames(FRONTEND::Frontend& frontend) {
  return ReadNames(frontend, "select * from `" + std::string(KW_SQL::kMediaNames[0]) + "`");
}

void SampleNamesSql::addGenotype(FRONTEND::Frontend& frontend, std::string_view name) {
  KW_SQL::Add_Genotype(frontend, name);
}

void SampleNamesSql::addMedia(FRONTEND::Frontend& frontend, std::string_view name) {
  KW_SQL::Add_Media(frontend, name);
}
