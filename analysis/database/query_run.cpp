#include "database/query_run.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "base/frontend.h"
#include "base/kw_log.h"
#include "database/detail/sql_text.h"
#include "database/kw_sql.h"

namespace {

// log_sql.txt grows with the rows of an inquiry; it stops at this many
// lines of the inquiry's own with one line saying so.
constexpr long kMaxLogLines = 20000;
// The longest output file name the save dialog takes.
constexpr std::size_t kMaxFileName = 259;
// Lateral root orders the output follows: no plate comes near this, and a
// table edited by hand must not make the branch-number path unbounded.
constexpr int kMaxLrOrder = 1000;

constexpr double kPi = 3.141592653589793;

// Roots by their parent and order.
std::uint64_t familyKey(std::int32_t parent, std::int32_t level) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(parent)) << 32U) |
         static_cast<std::uint32_t>(level);
}

using Family = std::unordered_map<std::uint64_t, std::vector<std::size_t>>;

Family familiesOf(const std::vector<SQL_LR>& laterals) {
  Family f;
  for (std::size_t i = 0; i < laterals.size(); ++i)
    f[familyKey(laterals[i].parent_id, laterals[i].level)].push_back(i);
  return f;
}

const std::vector<std::size_t>& familyOf(const Family& f, std::int32_t parent, std::int32_t level) {
  static const std::vector<std::size_t> kNone;
  const auto it = f.find(familyKey(parent, level));
  return it == f.end() ? kNone : it->second;
}

std::string lateralLine(const SQL_LR& r) {
  return SqlFormat(
      "secondary_root_id %i,lr_id %i,lr_length %f,lr_straightness %f,lr_angle %f,position %f,"
      "nbr_secondary_root %i,level %i,parent_id %i\n",
      r.secondary_root_id, r.lr_id, static_cast<double>(r.lr_length), static_cast<double>(r.lr_straightness),
      static_cast<double>(r.lr_angle), static_cast<double>(r.position), r.nbr_secondary_root, r.level,
      r.parent_id);
}

float toFloat(const std::string& s) { return static_cast<float>(std::atof(s.c_str())); }
std::int32_t toInt(const std::string& s) { return std::atoi(s.c_str()); }

}  // namespace

// ---------------------------------------------------------------- the output

// Builds the output text: cells each followed by the delimiter, lines ended
// by a line feed. A text cell that holds the delimiter, a double quote or a
// line break is quoted with its inner quotes doubled, so no cell shifts.
class QueryRun::Writer {
 public:
  Writer(char delimiter, const BoxQueryPRS& sheet, int depth)
      : m_delimiter(delimiter), m_sheet(sheet), m_depth(depth), m_path(static_cast<std::size_t>(depth), 0) {}

  void text(const std::string& s) {
    if (s.find_first_of(std::string{m_delimiter, '"', '\n', '\r'}) == std::string::npos) {
      m_out += s;
    } else {
      m_out += '"';
      for (char c : s) {
        if (c == '"') m_out += '"';
        m_out += c;
      }
      m_out += '"';
    }
    m_out += m_delimiter;
  }
  void integer(std::int32_t v) {
    m_out += std::to_string(v);
    m_out += m_delimiter;
  }
  void real(float v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%f", static_cast<double>(v));
    m_out += buf;
    m_out += m_delimiter;
  }
  void endLine() { m_out += '\n'; }

  bool ticked(const KW_PrpPag& page, int column) const {
    const Criterion* c = page.criterionOfColumn(column);
    return c != nullptr && c->ticked != 0;
  }

  void pictureHeading() {
    const auto& page = m_sheet.picturePage();
    for (int col = 2; col <= 9; ++col)
      if (ticked(page, col)) text(page.criterionOfColumn(col)->label);
  }
  void mainRootHeading() {
    const auto& page = m_sheet.mainRootPage();
    for (int col = 2; col <= 7; ++col)
      if (ticked(page, col)) text(page.criterionOfColumn(col)->label);
  }
  void moreHeading() {
    const auto& c = m_sheet.moreParametersPage().criteria();
    for (int i : QueryMorParamPAG::kOutputOrder)
      if (c[static_cast<std::size_t>(i)].ticked != 0) text(c[static_cast<std::size_t>(i)].label);
  }
  void lateralHeading() {
    const auto& page = m_sheet.lateralPage();
    if (ticked(page, 2))
      for (int i = 1; i <= m_depth; ++i) text(SqlFormat("LR%i id", i));
    for (int col = 3; col <= 8; ++col)
      if (ticked(page, col)) text(page.criterionOfColumn(col)->label);
  }

  void picture(const SQL_PICTURE& p) {
    const auto& page = m_sheet.picturePage();
    if (ticked(page, 2)) text(p.user);
    if (ticked(page, 3)) text(p.experiment);
    if (ticked(page, 4)) text(p.name);
    if (ticked(page, 5)) text(p.plate);
    if (ticked(page, 6)) integer(p.age);
    if (ticked(page, 7)) text(p.media);
    if (ticked(page, 8)) integer(p.nbr);
    if (ticked(page, 9)) text(p.genotype);
  }
  void mainRoot(const SQL_MR& m) {
    const auto& page = m_sheet.mainRootPage();
    if (ticked(page, 2)) integer(m.plant_id);
    if (ticked(page, 3)) real(m.main_length);
    if (ticked(page, 4)) real(m.main_straightness);
    if (ticked(page, 5)) real(m.main_angle);
    if (ticked(page, 6)) integer(m.nbr_secondary_root);
    if (ticked(page, 7)) text(m.genotype);
  }
  void more(const SQL_MR& m) {
    const auto& c = m_sheet.moreParametersPage().criteria();
    for (int i : QueryMorParamPAG::kOutputOrder) {
      if (c[static_cast<std::size_t>(i)].ticked == 0) continue;
      switch (i) {
        case QueryMorParamPAG::kBasal:
          real(m.basal_length);
          break;
        case QueryMorParamPAG::kBranchedZone:
          real(m.bz_length);
          break;
        case QueryMorParamPAG::kApical:
          real(m.apical_length);
          break;
        case QueryMorParamPAG::kStraightness:
          real(m.straightnes);
          break;
        case QueryMorParamPAG::kTotalRootSize:
          real(m.total_r_length);
          break;
        case QueryMorParamPAG::kLrDensityMr:
          real(m.lr_density_mr);
          break;
        case QueryMorParamPAG::kLrDensityBz:
          real(m.lr_density_bz);
          break;
        default:
          real(m.depth);
          break;
      }
    }
  }
  void lateral(const SQL_LR& r) {
    const auto& page = m_sheet.lateralPage();
    if (ticked(page, 2))
      for (int cell : m_path) integer(cell);
    if (ticked(page, 3)) real(r.lr_length);
    if (ticked(page, 4)) real(r.lr_straightness);
    if (ticked(page, 5)) real(r.lr_angle);
    if (ticked(page, 6)) real(r.position);
    if (ticked(page, 7)) integer(r.nbr_secondary_root);
    if (ticked(page, 8)) integer(r.level);
  }

  // Branch-number path, cells 1 .. depth.
  void setCell(int level, int value) {
    if (level >= 1 && level <= m_depth) m_path[static_cast<std::size_t>(level - 1)] = value;
  }
  void clearFrom(int level) {
    for (int i = std::max(level, 1); i <= m_depth; ++i) m_path[static_cast<std::size_t>(i - 1)] = 0;
  }

  const std::string& output() const { return m_out; }

 private:
  char m_delimiter;
  const BoxQueryPRS& m_sheet;
  int m_depth;
  std::vector<int> m_path;
  std::string m_out;
};

// ---------------------------------------------------------------- QueryRun

QueryRun::QueryRun(bool oneConnection) : m_oneConnection(oneConnection) {}

QueryRun::~QueryRun() {
  if (m_shared) m_shared->Disconnect();
}

void QueryRun::logLine(const std::string& line) {
  if (m_logLines > kMaxLogLines) return;
  if (m_logLines++ == kMaxLogLines) {
    AppendLogF(logname::kSql, "log_sql.txt stops here: the inquiry wrote %li lines\n", kMaxLogLines);
    return;
  }
  AppendLog(logname::kSql, line);
}

void QueryRun::logLateral(const SQL_LR& r) { logLine(lateralLine(r)); }

int QueryRun::Choose_Result_File() {
  const std::vector<FRONTEND::FileFilter> filters = {
      {"Csv file", "*.csv"}, {"Text", "*.txt"}, {"All", "*.*"}};
  const FRONTEND::SaveFileChoice choice = FRONTEND::ChooseSaveFile(filters, 0, kMaxFileName);
  if (choice.status != 1) {
    AppendLog(logname::kSql, "false\n");
    return 0;
  }
  TruncateLog(logname::kSql);
  AppendLog(logname::kSql, "lpstrFile\n");
  AppendLogF(logname::kSql, "lpstrFile %s\n", choice.path.c_str());
  AppendLogF(logname::kSql, "name_file_query %s\n", choice.path.c_str());
  name_file_query = choice.path;

  struct stat st {};
  if (::stat(name_file_query.c_str(), &st) == 0) {
    // An existing file is replaced. A file held open elsewhere does not stop
    // that here, so the test is whether it may be written at all; a folder
    // of that name is refused as well, and nothing else is moved or deleted.
    std::FILE* f = S_ISDIR(st.st_mode) ? nullptr : std::fopen(name_file_query.c_str(), "ab");
    if (f == nullptr) {
      FRONTEND::ShowMessage(kFileAlreadyOpens);
      return -1;
    }
    std::fclose(f);
    std::remove(name_file_query.c_str());
  }
  delimiter = choice.filter == 0 ? ',' : choice.filter == 1 ? '\t' : ' ';
  return 1;
}

KW_SQL* QueryRun::connection(bool& own, std::unique_ptr<KW_SQL>& holder) {
  own = !m_oneConnection;
  if (m_oneConnection && m_shared && m_shared->isConnected()) return m_shared.get();
  holder = std::make_unique<KW_SQL>();
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
  logLine("query " + statement + "\n");
  ++m_statements;
  bool own = false;
  std::unique_ptr<KW_SQL> holder;
  KW_SQL* c = connection(own, holder);
  if (c == nullptr) return 0;
  int read = 0;
  if (c->Query(statement) != 0) {
    const int rows = c->Store_Result();
    logLine(SqlFormat("%s %i\n", countLine, rows));
    std::vector<Record> fetched(static_cast<std::size_t>(std::max(rows, 0)));
    std::string cell;
    for (int r = 0; r < rows; ++r) {
      // A cell that is not there reads as empty, so as 0.
      auto get = [&](int column) -> const std::string& {
        cell.clear();
        c->Get_Value(cell, r, column);
        return cell;
      };
      fill(fetched[static_cast<std::size_t>(r)], get);
    }
    read = rows;
    if (replace) list.clear();
    list.insert(list.end(), std::make_move_iterator(fetched.begin()), std::make_move_iterator(fetched.end()));
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
  if (p) Query_Pictures(sheet.Build_Picture_Query(KW_SQL::kPictureNames));
  if (m) {
    if (p) {
      for (std::size_t i = 0; i < pictures.size(); ++i)
        Query_Main_Roots(sheet.Build_Main_Root_Query(KW_SQL::kMainRootNames, pictures[i].pictureid));
    } else {
      Query_Main_Roots(sheet.Build_Main_Root_Query(KW_SQL::kMainRootNames, 0));
    }
  }
  if (m && p) {
    for (std::size_t i = 0; i < mainRoots.size(); ++i) {
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

int QueryRun::Output_Mode(const BoxQueryPRS& sheet) {
  const bool p = sheet.picturesTicked();
  const bool m = sheet.mainRootsTicked();
  const bool l = sheet.lateralsTicked();
  if (p && !m && !l) return kModePictures;
  if (!p && m && !l) return kModeMainRoots;
  if (p && m && !l) return kModePictureMainRoot;
  if (!p && !m && l) return kModeLaterals;
  if (p && m && l) return kModeEverything;
  return kNoMode;
}

int QueryRun::Write_Query_File(const std::string& file, int mode, const BoxQueryPRS& sheet) {
  std::int32_t depth = 0;
  for (const SQL_LR& r : laterals) depth = std::max(depth, r.level);
  if ((mode == kModeLaterals || mode == kModeEverything) && depth > kMaxLrOrder) {
    FRONTEND::ShowMessage(
        SqlFormat("Lateral roots of order %i cannot be written: more than %i orders.", depth, kMaxLrOrder));
    depth = 0;
  }
  Writer w(delimiter, sheet, depth);

  // Main roots by picture and lateral roots by parent and order, in list order.
  std::unordered_map<std::int32_t, std::vector<std::size_t>> rootsOfPicture;
  for (std::size_t i = 0; i < mainRoots.size(); ++i) rootsOfPicture[mainRoots[i].picture_id].push_back(i);
  const Family families = familiesOf(laterals);
  const std::vector<std::size_t> none;
  auto mainRootsOf = [&](std::int32_t id) -> const std::vector<std::size_t>& {
    const auto it = rootsOfPicture.find(id);
    return it == rootsOfPicture.end() ? none : it->second;
  };

  // The branches of order `level` of a parent, each followed by its own,
  // depth first.
  auto Create_File_Result_More_Level = [&](auto& self, std::int32_t parent, std::int32_t level,
                                           const SQL_PICTURE* pic, const SQL_MR* mr) -> void {
    logLine(SqlFormat("Create_File_Result_More_Level %i,%i\n", parent, level));
    for (std::size_t i : familyOf(families, parent, level)) {
      const SQL_LR& r = laterals[i];
      if (pic != nullptr && mr != nullptr) {
        w.picture(*pic);
        w.mainRoot(*mr);
        w.more(*mr);
      }
      w.setCell(level, r.lr_id);
      w.lateral(r);
      w.endLine();
      logLine(SqlFormat("boucle %i\n", static_cast<int>(i)));
      logLateral(r);
      if (r.nbr_secondary_root != 0 && level < depth) {
        self(self, r.secondary_root_id, level + 1, pic, mr);
        w.clearFrom(level);
      }
    }
  };

  switch (mode) {
    case kModePictures:
      w.pictureHeading();
      w.endLine();
      for (const SQL_PICTURE& p : pictures) {
        w.picture(p);
        w.endLine();
      }
      break;
    case kModeMainRoots:
      w.mainRootHeading();
      w.moreHeading();
      w.endLine();
      for (const SQL_MR& m : mainRoots) {
        w.mainRoot(m);
        w.more(m);
        w.endLine();
      }
      break;
    case kModePictureMainRoot:
      w.pictureHeading();
      w.mainRootHeading();
      w.moreHeading();
      w.endLine();
      for (const SQL_PICTURE& p : pictures)
        for (std::size_t i : mainRootsOf(p.pictureid)) {
          w.picture(p);
          w.mainRoot(mainRoots[i]);
          w.more(mainRoots[i]);
          w.endLine();
        }
      break;
    case kModeLaterals:
      if (laterals.empty() || depth == 0) break;
      w.lateralHeading();
      w.endLine();
      for (const SQL_LR& r : laterals) {
        if (r.level != 1) continue;
        w.setCell(1, r.lr_id);
        w.lateral(r);
        w.endLine();
        if (r.nbr_secondary_root != 0)
          Create_File_Result_More_Level(Create_File_Result_More_Level, r.secondary_root_id, 2, nullptr,
                                        nullptr);
        w.clearFrom(1);
      }
      break;
    case kModeEverything:
      if (laterals.empty() || depth == 0) break;
      w.pictureHeading();
      w.mainRootHeading();
      w.moreHeading();
      w.lateralHeading();
      w.endLine();
      for (const SQL_PICTURE& p : pictures)
        for (std::size_t mi : mainRootsOf(p.pictureid)) {
          const SQL_MR& mr = mainRoots[mi];
          for (std::size_t li : familyOf(families, mr.main_root_id, 1)) {
            const SQL_LR& r = laterals[li];
            w.picture(p);
            w.mainRoot(mr);
            w.more(mr);
            w.setCell(1, r.lr_id);
            w.lateral(r);
            w.endLine();
            if (r.nbr_secondary_root != 0)
              Create_File_Result_More_Level(Create_File_Result_More_Level, r.secondary_root_id, 2, &p, &mr);
            w.clearFrom(1);
          }
        }
      break;
    default:
      break;
  }

  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (f == nullptr) {
    FRONTEND::ShowMessage(
        SqlFormat("The file %s cannot be written: %s", file.c_str(), FRONTEND::SystemErrorText().c_str()));
    return 0;
  }
  const std::string& out = w.output();
  const bool written = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    FRONTEND::ShowMessage(
        SqlFormat("The file %s cannot be written: %s", file.c_str(), FRONTEND::SystemErrorText().c_str()));
    return 0;
  }
  if (out.empty()) {
    std::remove(file.c_str());
    FRONTEND::ShowMessage(kRequestWithoutResults);
  } else {
    FRONTEND::ShowMessage(kRequestDone);
  }
  return 1;
}

InquireResult Inquire(bool oneConnection) {
  TruncateLog(logname::kSql);
  {
    KW_SQL test;
    if (test.Connect(dbparam::kLocalHost, dbparam::kProgramUser, dbparam::kProgramPassword, dbparam::kPort,
                     1) == 0)
      return InquireResult::Ended;
    test.Disconnect();
  }
  QueryRun run(oneConnection);
  int chosen = 0;
  while ((chosen = run.Choose_Result_File()) == -1) {
  }
  if (chosen == 0) return InquireResult::Ended;

  BoxQueryPRS sheet;
  if (!sheet.DoModal()) return InquireResult::Ended;
  run.Run_Queries(sheet);
  run.Compute_More_Parameters();
  sheet.Set_Labels();
  if (run.Write_Query_File(run.name_file_query, QueryRun::Output_Mode(sheet), sheet) == 0)
    return InquireResult::Ended;
  struct stat st {};
  return ::stat(run.name_file_query.c_str(), &st) == 0 ? InquireResult::Written : InquireResult::NoResults;
}
