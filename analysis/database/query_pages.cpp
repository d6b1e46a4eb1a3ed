#include "database/query_pages.h"

#include <algorithm>

#include "base/frontend.h"
#include "database/detail/sql_text.h"
#include "database/kw_mysql.h"
#include "database/kw_sql.h"

namespace {

std::string str(std::string_view s) { return std::string(s); }

std::string qualified(std::span<const std::string_view> names, std::size_t column) {
  return KW_SQL::Column_Name(names[0], names[column]);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// What a number field takes while it is typed: a minus sign first, digits
// and one decimal point ("C" conventions, whatever the locale).
bool numberBeingTyped(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  const std::size_t point = text.find('.');
  const std::string_view before = text.substr(0, point);
  const std::string_view after =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  return std::all_of(before.begin(), before.end(), isDigit) &&
         std::all_of(after.begin(), after.end(), isDigit);
}

// Appends the conditions of a page in the order of its table's columns.
std::string pageCriteria(const KW_PrpPag& page, std::span<const std::string_view> names, int& count) {
  std::string text;
  for (std::size_t column = 1; column < names.size(); ++column)
    if (const Criterion* c = page.criterionOfColumn(static_cast<int>(column)))
      Add_Criterion(text, count, qualified(names, column), *c);
  return text;
}

}  // namespace

void Add_Criterion(std::string& text, int& count, std::string_view column, const Criterion& criterion) {
  if (criterion.oper.empty() || criterion.value1.empty()) return;
  // Escaped without a connection: the statements are utf8mb4, where quotes,
  // backslashes and control characters are all that need it.
  const KW_MYSQL escaper(FRONTEND::DefaultFrontend());
  const std::string v1 = escaper.escape(criterion.value1);
  std::string condition = SqlFormat("%s %s '%s'", str(column).c_str(), criterion.oper.c_str(), v1.c_str());
  if (!criterion.value2.empty())
    condition += SqlFormat(" and '%s'", escaper.escape(criterion.value2).c_str());
  text = count == 0 ? condition : text + " and " + condition;
  ++count;
}

bool IsQueryNumber(std::string_view text) {
  if (!numberBeingTyped(text)) return false;
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  return std::any_of(text.begin(), text.end(), isDigit);
}

// ---------------------------------------------------------------- KW_PrpPag

KW_PrpPag::KW_PrpPag(std::string_view title, std::vector<Row> rows, bool hasCriteria)
    : m_title(title),
      m_rows(std::move(rows)),
      m_hasCriteria(hasCriteria),
      m_state(m_rows.size()),
      m_criteria(m_rows.size()) {}

void KW_PrpPag::open() {
  if (m_open) return;
  m_open = true;
  for (RowState& s : m_state) {
    s.oper = -1;
    s.secondVisible = false;
  }
}

void KW_PrpPag::updateSelectAll() {
  m_selectAll = std::all_of(m_state.begin(), m_state.end(), [](const RowState& s) { return s.ticked; });
}

void KW_PrpPag::setTicked(std::size_t displayRow, bool on) {
  if (displayRow >= m_state.size()) return;
  m_state[displayRow].ticked = on;
  updateSelectAll();
}

void KW_PrpPag::setSelectAll(bool on) {
  m_selectAll = on;
  for (RowState& s : m_state) s.ticked = on;
}

void KW_PrpPag::selectOperator(std::size_t displayRow, int operatorIndex) {
  if (!m_hasCriteria || displayRow >= m_state.size()) return;
  RowState& s = m_state[displayRow];
  s.oper =
      operatorIndex >= 0 && operatorIndex < static_cast<int>(kQueryOperators.size()) ? operatorIndex : -1;
  s.secondVisible = s.oper == kBetweenOperator || s.oper == kNotBetweenOperator;
}

bool KW_PrpPag::typeValue(std::size_t displayRow, std::string_view text, std::string& field) const {
  if (!m_hasCriteria || displayRow >= m_state.size()) return false;
  if (m_rows[displayRow].digitsOnly && !numberBeingTyped(text)) return false;
  field = FRONTEND::CutText(text, kMaxCriterionText);
  return true;
}

bool KW_PrpPag::typeValue1(std::size_t displayRow, std::string_view text) {
  return displayRow < m_state.size() && typeValue(displayRow, text, m_state[displayRow].value1);
}

bool KW_PrpPag::typeValue2(std::size_t displayRow, std::string_view text) {
  return displayRow < m_state.size() && typeValue(displayRow, text, m_state[displayRow].value2);
}

void KW_PrpPag::readOnOk() {
  if (!m_open) return;
  for (std::size_t r = 0; r < m_rows.size(); ++r) {
    const RowState& s = m_state[r];
    Criterion& c = m_criteria[static_cast<std::size_t>(m_rows[r].index)];
    if (s.ticked) c.ticked = 1;
    if (!m_hasCriteria) continue;
    if (s.oper >= 0) c.oper = std::string(kQueryOperators[static_cast<std::size_t>(s.oper)]);
    c.value1 = s.value1;
    c.value2 = s.value2;
  }
}

const Criterion* KW_PrpPag::criterionOfColumn(int column) const {
  for (const Row& r : m_rows)
    if (r.column == column) return &m_criteria[static_cast<std::size_t>(r.index)];
  return nullptr;
}

bool KW_PrpPag::anyTicked() const {
  return std::any_of(m_criteria.begin(), m_criteria.end(), [](const Criterion& c) { return c.ticked != 0; });
}

int KW_PrpPag::findRow(std::string_view display) const {
  for (std::size_t r = 0; r < m_rows.size(); ++r)
    if (m_rows[r].display == display) return static_cast<int>(r);
  return -1;
}

// ---------------------------------------------------------------- the pages

namespace {

void labelsFromNames(std::vector<Criterion>& criteria, const KW_PrpPag& page,
                     std::span<const std::string_view> names) {
  for (std::size_t r = 0; r < page.rowCount(); ++r) {
    const auto& row = page.row(r);
    if (row.column > 0 && static_cast<std::size_t>(row.column) < names.size())
      criteria[static_cast<std::size_t>(row.index)].label =
          FRONTEND::CutText(names[static_cast<std::size_t>(row.column)], kMaxCriterionLabel);
  }
}

}  // namespace

// Columns count from the first after the table name: Picture id is 1.
QueryPicPAG::QueryPicPAG()
    : KW_PrpPag("General data",
                {{"User name", 6, 2, false, ""},
                 {"Experiment", 1, 3, false, ""},
                 {"Picture name", 5, 4, false, ""},
                 {"Plate name", 4, 5, false, ""},
                 {"Age", 0, 6, true, ""},
                 {"Media", 3, 7, false, ""},
                 {"Number of plant", 7, 8, true, ""},
                 {"Genotype", 2, 9, false, ""}},
                true) {}

void QueryPicPAG::setLabels(std::span<const std::string_view> names) {
  labelsFromNames(mutableCriteria(), *this, names);
}

QueryMrPAG::QueryMrPAG()
    : KW_PrpPag("Main root",
                {{"Plant id", 4, 2, true, ""},
                 {"Path length", 2, 3, true, ""},
                 {"Vector length", 5, 4, true, ""},
                 {"Vector angle", 0, 5, true, ""},
                 {"Number LR", 3, 6, true, ""},
                 {"Genotype", 1, 7, false, ""}},
                true) {}

void QueryMrPAG::setLabels(std::span<const std::string_view> names) {
  labelsFromNames(mutableCriteria(), *this, names);
}

QueryLrPAG::QueryLrPAG()
    : KW_PrpPag("Secondary root",
                {{"LR id", 4, 2, true, ""},
                 {"Path length", 1, 3, true, ""},
                 {"Vector length", 6, 4, true, ""},
                 {"Vector angle", 0, 5, true, ""},
                 {"Position", 5, 6, true, ""},
                 {"Number LR", 3, 7, true, ""},
                 {"Level", 2, 8, true, ""}},
                true) {}

void QueryLrPAG::setLabels(std::span<const std::string_view> names) {
  labelsFromNames(mutableCriteria(), *this, names);
}

QueryMorParamPAG::QueryMorParamPAG()
    : KW_PrpPag("More parameters",
                {{"LR density/MR", kLrDensityMr, 0, false, "LR density/MR"},
                 {"Basal zone", kBasal, 0, false, "Basal"},
                 {"Branched zone", kBranchedZone, 0, false, "Branched zone"},
                 {"Apical zone", kApical, 0, false, "Apical"},
                 {"Total root size", kTotalRootSize, 0, false, "Total root size"},
                 {"LR density/branched zone", kLrDensityBz, 0, false, "LR density/bz"},
                 {"Straightness", kStraightness, 0, false, "Straightness"},
                 {"Depth", kDepth, 0, false, "Depth"}},
                false) {}

void QueryMorParamPAG::setLabels() {
  for (std::size_t r = 0; r < rowCount(); ++r)
    mutableCriteria()[static_cast<std::size_t>(row(r).index)].label = std::string(row(r).heading);
}

// ---------------------------------------------------------------- BoxQueryPRS

BoxQueryPRS::BoxQueryPRS() : m_pages(std::make_shared<Pages>()) {}

KW_PrpPag& BoxQueryPRS::page(std::size_t i) const {
  switch (i) {
    case 0:
      return m_pages->picture;
    case 1:
      return m_pages->mainRoot;
    case 2:
      return m_pages->lateral;
    default:
      return m_pages->more;
  }
}

KW_PrpPag* BoxQueryPRS::findPage(std::string_view title) const {
  for (std::size_t i = 0; i < pageCount(); ++i)
    if (page(i).title() == title) return &page(i);
  return nullptr;
}

bool BoxQueryPRS::DoModal(FRONTEND::Frontend& frontend) {
  // A sheet opens on its first page.
  m_pages->picture.open();
  if (!FRONTEND::Accepted(frontend, this)) return false;
  pressOk();
  return true;
}

void BoxQueryPRS::pressOk() {
  for (std::size_t i = 0; i < pageCount(); ++i) page(i).readOnOk();
}

std::string BoxQueryPRS::Check_Criteria() const {
  for (std::size_t i = 0; i < pageCount(); ++i) {
    const KW_PrpPag& p = page(i);
    if (!p.hasCriteria()) continue;
    for (std::size_t r = 0; r < p.rowCount(); ++r) {
      const Criterion& c = p.criterionOfRow(r);
      if (c.oper.empty() || c.value1.empty()) continue;
      const std::string where = std::string(p.title()) + ", " + std::string(p.row(r).display) + ": ";
      const bool between =
          c.oper == kQueryOperators[kBetweenOperator] || c.oper == kQueryOperators[kNotBetweenOperator];
      if (between && c.value2.empty()) return where + c.oper + " takes two values";
      if (p.row(r).digitsOnly &&
          (!IsQueryNumber(c.value1) || (!c.value2.empty() && !IsQueryNumber(c.value2))))
        return where + "a number is expected";
    }
  }
  return {};
}

std::vector<std::string> BoxQueryPRS::Unused_Criteria() const {
  std::vector<std::string> unused;
  for (std::size_t i = 0; i < pageCount(); ++i) {
    const KW_PrpPag& p = page(i);
    if (!p.hasCriteria() || p.anyTicked()) continue;
    const auto& cs = p.criteria();
    if (std::any_of(cs.begin(), cs.end(),
                    [](const Criterion& c) { return !c.oper.empty() && !c.value1.empty(); }))
      unused.push_back("the criteria of the page " + std::string(p.title()) +
                       " are not used: no column of that page is shown");
  }
  return unused;
}

void BoxQueryPRS::Set_Labels() {
  m_pages->picture.setLabels(KW_SQL::kPictureNames);
  m_pages->mainRoot.setLabels(KW_SQL::kMainRootNames);
  m_pages->lateral.setLabels(KW_SQL::kSecondaryRootNames);
  m_pages->more.setLabels();
}

std::string BoxQueryPRS::Build_Picture_Query(std::span<const std::string_view> names) const {
  int count = 0;
  const std::string criteria = pageCriteria(m_pages->picture, names, count);
  if (count > 0) return SqlFormat("select * from `%s` where %s", str(names[0]).c_str(), criteria.c_str());
  return SqlFormat("select * from `%s`", str(names[0]).c_str());
}

std::string BoxQueryPRS::Build_Main_Root_Query(std::span<const std::string_view> names,
                                               int picture_id) const {
  int count = 0;
  const std::string criteria = pageCriteria(m_pages->mainRoot, names, count);
  const std::string where = count > 0 ? "where " + criteria : std::string();
  const std::string table = str(names[0]);
  // The picture id is the last column of the main root list.
  const std::string pictureColumn = str(names[names.size() - 1]);
  if (picture_id == 0) return SqlFormat("select * from `%s` %s", table.c_str(), where.c_str());
  if (count == 0)
    return SqlFormat("select * from `%s` where `%s`.`%s` = '%i'", table.c_str(), table.c_str(),
                     pictureColumn.c_str(), picture_id);
  return SqlFormat("select * from `%s` %s and `%s`.`%s` = '%i'", table.c_str(), where.c_str(), table.c_str(),
                   pictureColumn.c_str(), picture_id);
}

std::string BoxQueryPRS::Build_Secondary_Root_Query(std::span<const std::string_view> names, int parent_id,
                                                    int level) const {
  int count = 0;
  const std::string criteria = pageCriteria(m_pages->lateral, names, count);
  const std::string where = count > 0 ? "where " + criteria : std::string();
  const std::string table = str(names[0]);
  // Parent id is the last column, LR order the one before it.
  const std::string parentColumn = str(names[names.size() - 1]);
  const std::string orderColumn = str(names[names.size() - 2]);
  if (parent_id == 0) return SqlFormat("select * from `%s` %s", table.c_str(), where.c_str());
  if (count == 0)
    return SqlFormat("select * from `%s` where `%s`.`%s` = '%i' and `%s`.`%s` = '%i'", table.c_str(),
                     table.c_str(), parentColumn.c_str(), parent_id, table.c_str(), orderColumn.c_str(),
                     level);
  return SqlFormat("select * from `%s` %s and `%s`.`%s` = '%i' and `%s`.`%s` = '%i'", table.c_str(),
                   where.c_str(), table.c_str(), parentColumn.c_str(), parent_id, table.c_str(),
                   orderColumn.c_str(), level);
}
