#include "database/query_run.h"

#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unordered_map>

#include "base/frontend.h"
#include "base/kw_log.h"
#include "database/detail/lateral_families.h"
#include "database/detail/sql_text.h"
#include "database/kw_sql.h"

using namespace queryrun;

namespace {

// log_sql.txt grows with the rows of an inquiry; it stops at this many
// lines of the inquiry's own with one line saying so.
constexpr long kMaxLogLines = 20000;
// The longest output file name the save dialog takes.
constexpr std::size_t kMaxFileName = 259;
constexpr double kPi = 3.141592653589793;

std::string lateralLine(const SQL_LR& r) {
  return SqlFormat(
      "secondary_root_id %i,lr_id %i,lr_length %f,lr_straightness %f,lr_angle %f,position %f,"
      "nbr_secondary_root %i,level %i,parent_id %i\n",
      r.secondary_root_id, r.lr_id, static_cast<double>(r.lr_length), static_cast<double>(r.lr_straightness),
      static_cast<double>(r.lr_angle), static_cast<double>(r.position), r.nbr_secondary_root, r.level,
      r.parent_id);
}

// The server writes numbers in the "C" conventions; the program's locale
// must not read them otherwise.
float toFloat(std::string_view s) {
  float v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}
std::int32_t toInt(std::string_view s) {
  std::int32_t v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

// The More parameters values that read the lateral roots.
bool moreNeedsLaterals(const BoxQueryPRS& sheet) {
  const auto& c = sheet.moreParametersPage().criteria();
  for (const int i : {QueryMorParamPAG::kBasal, QueryMorParamPAG::kBranchedZone, QueryMorParamPAG::kApical,
                      QueryMorParamPAG::kTotalRootSize, QueryMorParamPAG::kLrDensityBz})
    if (c[static_cast<std::size_t>(i)].ticked != 0) return true;
  return false;
}

}  // namespace

// ---------------------------------------------------------------- QueryRun

QueryRun::QueryRun(FRONTEND::Frontend& frontend, bool oneConnection)
    : m_frontend(frontend), m_oneConnection(oneConnection) {}

QueryRun::~QueryRun() {
  if (m_shared) m_shared->Disconnect();
}

void QueryRun::logLine(const std::string& line) {
  if (m_logLines > kMaxLogLines) return;
  if (m_logLines++ == kMaxLogLines) {
    AppendLogF(m_frontend, logname::kSql, "log_sql.txt stops here: the inquiry wrote %li lines\n",
               kMaxLogLines);
    return;
  }
  AppendLog(m_frontend, logname::kSql, line);
}

void QueryRun::logLateral(const SQL_LR& r) { logLine(lateralLine(r)); }

int QueryRun::Choose_Result_File() {
  const std::vector<FRONTEND::FileFilter> filters = {
      {"Csv file", "*.csv"}, {"Text", "*.txt"}, {"All", "*.*"}};
  FRONTEND::SaveFileRequest request{filters, 0, kMaxFileName, {}};
  const FRONTEND::SaveFileChoice choice =
      FRONTEND::Accepted(m_frontend, &request) ? request.choice : FRONTEND::SaveFileChoice{};
  if (choice.status != 1) {
    AppendLog(m_frontend, logname::kSql, "false\n");
    return 0;
  }
  TruncateLog(m_frontend, logname::kSql);
  AppendLog(m_frontend, logname::kSql, "lpstrFile\n");
  AppendLogF(m_frontend, logname::kSql, "lpstrFile %s\n", choice.path.c_str());
  AppendLogF(m_frontend, logname::kSql, "name_file_query %s\n", choice.path.c_str());
  name_file_query = choice.path;

  struct stat st {};
  if (::stat(name_file_query.c_str(), &st) == 0) {
    // An existing file is replaced. A file held open elsewhere does not stop
    // that here, so the test is whether it may be written at all; a folder
    // of that name is refused as well. Only a regular file is removed: a
    // device or pipe of that name is written to as it is.
    std::FILE* f = S_ISDIR(st.st_mode) ? nullptr : std::fopen(name_file_query.c_str(), "ab");
    if (f == nullptr) {
      FRONTEND::ShowMessage(m_frontend, kFileAlreadyOpens);
      return -1;
    }
    std::fclose(f);
    if (S_ISREG(st.st_mode)) std::remove(name_file_query.c_str());
  }
  delimiter = choice.filter == 0 ? ',' : choice.filter == 1 ? '\t' : ' ';
  return 1;
}

KW_SQL* QueryRun::connection(bool& own, std::unique_ptr<KW_SQL>& holder) {
  own = !m_oneConnection;
  if (m_oneConnection && m_shared && m_shared->isConnected()) return m_shared.get();
  holder = std::make_unique<KW_SQL>(m_frontend);
  if (holder->Connect(dbparam::kLocalHost, dbparam::kProgramUser, dbparam::kProgramPassword, dbparam::kPort,
                      1) == 0)
    return nullptr;
  if (holder->Select_Base(dbparam::kPlantBase) == 0) {
    holder->Disconnect();
    return nullptr;
  }
  if (m_oneConnection) {
    m_shared = std::move(holder);
    return m_shared.get();
  }
  return holder.get();
}

template <class Record, class Fill>
int QueryRun::runSelect(const std::string& statement, const char* countLine, std::vector<Record>& list,
                        bool replace, Fill fill) {
  // After a failed statement the inquiry is over: nothing more is asked.
  if (!m_failure.empty()) return 0;
  logLine("query " + statement + "\n");
  ++m_statements;
  bool own = false;
  std::unique_ptr<KW_SQL> holder;
  KW_SQL* c = connection(own, holder);
  if (c == nullptr) {
    m_failure = "no connection to the database";
    return 0;
  }
  int read = 0;
  if (c->Query(statement) != 0) {
    const int rows = c->Store_Result();
    logLine(SqlFormat("%s %i\n", countLine, rows));
    std::vector<Record> fetched;
    fetched.reserve(static_cast<std::size_t>(std::max(rows, 0)));
    std::string cell;
    // Row after row from the first: each cell is read once.
    c->For_Each_Row([&](const std::vector<std::string_view>& cells) {
      // A cell that is not there reads as empty, so as 0.
      auto get = [&](int column) -> const std::string& {
        const auto k = static_cast<std::size_t>(column);
        cell.assign(k < cells.size() ? cells[k] : std::string_view());
        return cell;
      };
      fill(fetched.emplace_back(), get);
    });
    read = static_cast<int>(fetched.size());
    if (replace) list.clear();
    list.insert(list.end(), std::make_move_iterator(fetched.begin()), std::make_move_iterator(fetched.end()));
  } else {
    m_failure = c->handle() != nullptr ? mysql_error(c->handle()) : "not connected";
  }
  if (own) c->Disconnect();
  return read;
}

int QueryRun::Query_Pictures(const std::string& statement) {
  return runSelect(statement, "nbr_result_picture", pictures, true, [](SQL_PICTURE& p, auto get) {
    p.pictureid = toInt(get(0));
    p.user = get(1);
    p.experiment = get(2);
    p.name = get(3);
    p.plate = get(4);
    p.age = toInt(get(5));
    p.media = get(6);
    p.nbr = toInt(get(7));
    p.genotype = get(8);
  });
}

int QueryRun::Query_Main_Roots(const std::string& statement) {
  return runSelect(statement, "nbr_result_mr_tmp", mainRoots, false, [](SQL_MR& m, auto get) {
    m.main_root_id = toInt(get(0));
    m.plant_id = toInt(get(1));
    m.main_length = toFloat(get(2));
    m.main_straightness = toFloat(get(3));
    m.main_angle = toFloat(get(4));
    m.nbr_secondary_root = toInt(get(5));
    m.genotype = get(6);
    m.picture_id = toInt(get(7));
  });
}

int QueryRun::Query_Secondary_Roots(const std::string& statement) {
  const int n = runSelect(statement, "nbr_result_lr_tmp", laterals, false, [](SQL_LR& l, auto get) {
    l.secondary_root_id = toInt(get(0));
    l.lr_id = toInt(get(1));
    l.lr_length = toFloat(get(2));
    l.lr_straightness = toFloat(get(3));
    l.lr_angle = toFloat(get(4));
    l.position = toFloat(get(5));
    l.nbr_secondary_root = toInt(get(6));
    l.level = toInt(get(7));
    l.parent_id = toInt(get(8));
  });
  if (n > 0) lateralListExists = true;
  return n;
}

void QueryRun::Run_Queries(const BoxQueryPRS& sheet) {
  const bool p = sheet.picturesTicked();
  const bool m = sheet.mainRootsTicked();
  // Pictures or main roots alone never read the lateral roots, unless a
  // value of More parameters is made from them.
  const bool l = sheet.lateralsTicked() || (m && moreNeedsLaterals(sheet));
  if (p) Query_Pictures(sheet.Build_Picture_Query(KW_SQL::kPictureNames));
  if (m) {
    if (p) {
      for (std::size_t i = 0; i < pictures.size(); ++i)
        Query_Main_Roots(sheet.Build_Main_Root_Query(KW_SQL::kMainRootNames, pictures[i].pictureid));
    } else {
      Query_Main_Roots(sheet.Build_Main_Root_Query(KW_SQL::kMainRootNames, 0));
    }
  }
  if (!l) return;
  if (m && p) {
    for (std::size_t i = 0; i < mainRoots.size() && m_failure.empty(); ++i) {
      const int h = Query_Secondary_Roots(
          sheet.Build_Secondary_Root_Query(KW_SQL::kSecondaryRootNames, mainRoots[i].main_root_id, 1));
      Buid_Requete_Secondary_Root_More_Level(2, laterals.size() - static_cast<std::size_t>(h), sheet);
    }
    logLine(SqlFormat("\n\nAffichage LR %s\n", std::string(KW_SQL::kSecondaryRootNames[0]).c_str()));
    for (std::size_t i = 0; i < laterals.size() && m_logLines <= kMaxLogLines; ++i)
      logLine(SqlFormat("indx %i\t", static_cast<int>(i)) + lateralLine(laterals[i]));
  } else {
    Query_Secondary_Roots(sheet.Build_Secondary_Root_Query(KW_SQL::kSecondaryRootNames, 0, 1));
  }
}

void QueryRun::Buid_Requete_Secondary_Root_More_Level(int level, std::size_t start,
                                                      const BoxQueryPRS& sheet) {
  if (level > kMaxLrOrder) return;
  logLine("Buid_Requete_Secondary_Root_More_Level\n");
  // The list grows inside the loop; the rows it gains are visited too.
  for (std::size_t i = start; i < laterals.size(); ++i) {
    const SQL_LR root = laterals[i];
    logLine(SqlFormat("indx %i \t level %i \t nbr_child %i \t nbr_result_lr %i \t start_search %i\n",
                      static_cast<int>(i), level, root.nbr_secondary_root, static_cast<int>(laterals.size()),
                      static_cast<int>(start)));
    if (root.level != level - 1 || root.nbr_secondary_root <= 0) continue;
    const int m = Query_Secondary_Roots(
        sheet.Build_Secondary_Root_Query(KW_SQL::kSecondaryRootNames, root.secondary_root_id, level));
    Buid_Requete_Secondary_Root_More_Level(level + 1, laterals.size() - static_cast<std::size_t>(m), sheet);
  }
}

void QueryRun::Compute_More_Parameters() {
  const Family families = familiesOf(laterals);
  for (SQL_MR& mr : mainRoots) {
    const float length = mr.main_length;
    const float vector = mr.main_straightness;
    const std::int32_t n = mr.nbr_secondary_root;
    if (length != 0) {
      mr.lr_density_mr = static_cast<float>(n) / length;
      mr.straightnes = vector / length;
    }
    mr.depth = static_cast<float>(std::cos(static_cast<double>(mr.main_angle) * kPi / 180.0) *
                                  static_cast<double>(vector));

    // The plant's size is its main root plus every fetched lateral root of
    // it, also when no lateral root was fetched at all.
    float total = length;
    auto addBranches = [&](auto& self, std::int32_t parent, std::int32_t level) -> void {
      for (std::size_t i : familyOf(families, parent, level)) {
        const SQL_LR& r = laterals[i];
        total += r.lr_length;
        if (r.nbr_secondary_root != 0 && level < kMaxLrOrder) {
          logLine(SqlFormat("main_root_id %i\n", mr.main_root_id));
          logLateral(r);
          self(self, r.secondary_root_id, level + 1);
        }
      }
    };
    addBranches(addBranches, mr.main_root_id, 1);
    mr.total_r_length = total;
    if (!lateralListExists) continue;

    const auto& first = familyOf(families, mr.main_root_id, 1);
    // When several fetched roots match, the last one in the list wins.
    for (std::size_t i : first) {
      if (laterals[i].lr_id == 1) mr.basal_length = laterals[i].position;
      if (laterals[i].lr_id == n) mr.apical_length = length - laterals[i].position;
    }
    if (n > 1) mr.bz_length = length - mr.apical_length - mr.basal_length;
    mr.lr_density_bz = mr.bz_length != 0 ? static_cast<float>(n) / mr.bz_length : 0.0f;
  }
}

InquireResult Inquire(FRONTEND::Frontend& frontend, bool oneConnection) {
  TruncateLog(frontend, logname::kSql);
  {
    KW_SQL test(frontend);
    if (test.Connect(dbparam::kLocalHost, dbparam::kProgramUser, dbparam::kProgramPassword, dbparam::kPort,
                     1) == 0)
      return InquireResult::Ended;
    test.Disconnect();
  }
  QueryRun run(frontend, oneConnection);
  int chosen = 0;
  while ((chosen = run.Choose_Result_File()) == -1) {
  }
  if (chosen == 0) return InquireResult::Ended;

  BoxQueryPRS sheet;
  if (!sheet.DoModal(frontend)) return InquireResult::Ended;
  const std::string invalid = sheet.Check_Criteria();
  if (!invalid.empty()) {
    FRONTEND::ShowMessage(frontend, "The inquiry cannot run: " + invalid);
    return InquireResult::Failed;
  }
  for (const std::string& warning : sheet.Unused_Criteria())
    AppendLog(frontend, logname::kSql, warning + "\n");
  run.Run_Queries(sheet);
  if (!run.failure().empty()) {
    FRONTEND::ShowMessage(frontend, "The inquiry failed: " + run.failure());
    return InquireResult::Failed;
  }
  run.Compute_More_Parameters();
  sheet.Set_Labels();
  switch (run.Write_Query_File(run.name_file_query, QueryRun::Output_Mode(sheet), sheet)) {
    case 0:
      return InquireResult::Failed;
    case 2:
      return InquireResult::NoResults;
    default:
      return InquireResult::Written;
  }
}
