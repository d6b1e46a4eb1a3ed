// The output file of an inquiry: the rows of the layout the sheet's ticked
// pages choose, lateral roots as trees below their main root.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "base/csv_field.h"
#include "base/frontend.h"
#include "database/detail/lateral_families.h"
#include "database/detail/sql_text.h"
#include "database/query_run.h"

using namespace queryrun;

// ---------------------------------------------------------------- the output

// Builds the output text: cells each followed by the delimiter, lines ended
// by a line feed. A text cell that holds the delimiter, a double quote or a
// line break is quoted with its inner quotes doubled, so no cell shifts.
class QueryRun::Writer {
 public:
  Writer(char delimiter, const BoxQueryPRS& sheet, int depth)
      : m_delimiter(delimiter), m_sheet(sheet), m_depth(depth), m_path(static_cast<std::size_t>(depth), 0) {}

  void text(const std::string& s) {
    appendCsvField(m_out, s, m_delimiter);
    m_out += m_delimiter;
  }
  void integer(std::int32_t v) {
    m_out += std::to_string(v);
    m_out += m_delimiter;
  }
  // Six decimals as printf's %f gives them, but always with a point: the
  // cell must not hold the user's decimal comma.
  void real(float v) {
    std::array<char, 400> buf{};
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), static_cast<double>(v),
                                         std::chars_format::fixed, 6);
    if (ec == std::errc())
      m_out.append(buf.data(), end);
    else
      m_out += std::isnan(v) ? "nan" : v < 0 ? "-inf" : "inf";
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
        m_frontend,
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
    FRONTEND::ShowMessage(m_frontend, SqlFormat("The file %s cannot be written: %s", file.c_str(),
                                                FRONTEND::SystemErrorText().c_str()));
    return 0;
  }
  const std::string& out = w.output();
  // Every write and the final close are checked (a full disk shows at the
  // flush of the close).
  const bool written = std::fwrite(out.data(), 1, out.size(), f) == out.size() && std::fflush(f) == 0;
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    FRONTEND::ShowMessage(m_frontend, SqlFormat("The file %s cannot be written: %s", file.c_str(),
                                                FRONTEND::SystemErrorText().c_str()));
    return 0;
  }
  if (out.empty()) {
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) std::remove(file.c_str());
    FRONTEND::ShowMessage(m_frontend, kRequestWithoutResults);
    return 2;
  }
  FRONTEND::ShowMessage(m_frontend, kRequestDone);
  return 1;
}
