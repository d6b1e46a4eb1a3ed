// The "Query" sheet of the Inquire command and its four pages, as a model
// without any window: General data (pictures), Main root, Secondary root and
// More parameters. Each of the first three pages has one row per column of
// its table: a tick box (the column goes to the output file), an operator
// list and two value fields (the second only shown for "between" and
// "not between"). More parameters has tick boxes only. A view binds its
// widgets to a page's rows by display row number and calls the page's
// operations; every rule lives here.
//
// What a page holds for the query is its array of Criterion records, one per
// row, at the row's index (not its display place). They are filled from the
// widgets' state only when the sheet is closed with OK, and only for pages
// that were opened while the sheet was shown.
//
// From the criteria the sheet builds the three SELECT statements of the
// query (pictures; main roots of one picture or of all; lateral roots of one
// parent or of all). Typed values are escaped, so a quote in a value finds
// the rows that hold it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/frontend.h"

// The operators of every criterion row, in list order; index 0 (the empty
// text) means no criterion.
inline constexpr std::array<std::string_view, 7> kQueryOperators = {"",  "=",       "<>",         "<",
                                                                    ">", "between", "not between"};
// Index of the first operator that takes a second value ("between"), and of
// the other one ("not between").
inline constexpr int kBetweenOperator = 5;
inline constexpr int kNotBetweenOperator = 6;
// Typed values and the operator text keep at most 4095 characters.
inline constexpr std::size_t kMaxCriterionText = 4095;
// Labels keep at most 99 characters.
inline constexpr std::size_t kMaxCriterionLabel = 99;

// A number as the number fields take it: an optional minus sign, digits
// and at most one decimal point, at least one digit ("-0.5", "3", "2.").
bool IsQueryNumber(std::string_view text);

// One column row of a page as the query reads it.
struct Criterion {
  std::string label;        // the column's name; the output file's heading
  std::int32_t ticked = 0;  // 1: the column goes to the output; never reset
  std::string oper;         // the chosen operator's text; empty: none chosen
  std::string value1;       // first value as typed
  std::string value2;       // second value as typed ("between", "not between")
};

// Appends one condition for column (already qualified as "`table`.`column`")
// to text and counts it in count, when the criterion has an operator and a
// first value. The second value joins with "and" whenever it is not empty,
// whatever the operator. Values are escaped for the statement.
void Add_Criterion(std::string& text, int& count, std::string_view column, const Criterion& criterion);

// A page of the sheet (the base of the four pages holds the operator list).
class KW_PrpPag {
 public:
  // One row of the page, in display order.
  struct Row {
    std::string_view display;  // the row's text beside its tick box
    int index;                 // its place in the page's criteria array
    int column;                // its column in the table's name list (1 = first column after the table)
    bool digitsOnly;           // the value fields take a number (IsQueryNumber)
    std::string_view heading;  // More parameters: the output heading
  };

  KW_PrpPag(const KW_PrpPag&) = delete;
  KW_PrpPag& operator=(const KW_PrpPag&) = delete;
  virtual ~KW_PrpPag() = default;

  std::string_view title() const { return m_title; }
  // False for More parameters, which only has tick boxes.
  bool hasCriteria() const { return m_hasCriteria; }
  std::size_t rowCount() const { return m_rows.size(); }
  const Row& row(std::size_t displayRow) const { return m_rows[displayRow]; }
  // The seven operators of every row's list.
  static std::span<const std::string_view> operators() { return kQueryOperators; }

  // The page is shown for the first time: every operator list is filled,
  // nothing is selected and every second value field is hidden. Calling it
  // again (the user comes back to the page) changes nothing.
  void open();
  bool isOpen() const { return m_open; }

  // Tick boxes. Ticking or unticking a row's box ticks "Select all" when
  // every box of the page is ticked and unticks it otherwise; "Select all"
  // sets every box to its own state.
  void setTicked(std::size_t displayRow, bool on);
  bool isTicked(std::size_t displayRow) const { return m_state[displayRow].ticked; }
  void setSelectAll(bool on);
  bool selectAll() const { return m_selectAll; }

  // Operator list of a row: -1 when nothing is selected. Selecting "between"
  // or "not between" shows the second value field, any other selection
  // hides it (its text is kept). An index outside the list selects nothing.
  void selectOperator(std::size_t displayRow, int operatorIndex);
  int selectedOperator(std::size_t displayRow) const { return m_state[displayRow].oper; }
  bool secondValueVisible(std::size_t displayRow) const { return m_state[displayRow].secondVisible; }

  // Value fields. A number field refuses text that is not on its way to a
  // number: a minus sign first, digits and one point (the field keeps its
  // text, false is returned); text is cut to 4095 characters.
  bool typeValue1(std::size_t displayRow, std::string_view text);
  bool typeValue2(std::size_t displayRow, std::string_view text);
  const std::string& value1(std::size_t displayRow) const { return m_state[displayRow].value1; }
  const std::string& value2(std::size_t displayRow) const { return m_state[displayRow].value2; }

  // OK on the sheet: every ticked box sets its row's ticked to 1; a row with
  // a selected operator copies its text; both value fields are copied. A page
  // that was never opened reads nothing. More parameters reads its boxes only.
  void readOnOk();

  // The criteria, one per row at the row's index.
  const std::vector<Criterion>& criteria() const { return m_criteria; }
  // The criterion of a table column (1 = first column after the table name),
  // or null when the page has no row for it.
  const Criterion* criterionOfColumn(int column) const;
  // The criterion a display row reads into.
  const Criterion& criterionOfRow(std::size_t displayRow) const {
    return m_criteria[static_cast<std::size_t>(m_rows[displayRow].index)];
  }
  // At least one row is ticked (as read on OK).
  bool anyTicked() const;

  // The display row with this text, or -1.
  int findRow(std::string_view display) const;

 protected:
  KW_PrpPag(std::string_view title, std::vector<Row> rows, bool hasCriteria);
  std::vector<Criterion>& mutableCriteria() { return m_criteria; }

 private:
  struct RowState {
    bool ticked = false;
    int oper = -1;
    bool secondVisible = false;
    std::string value1;
    std::string value2;
  };
  bool typeValue(std::size_t displayRow, std::string_view text, std::string& field) const;
  void updateSelectAll();

  std::string_view m_title;
  std::vector<Row> m_rows;
  bool m_hasCriteria;
  bool m_open = false;
  bool m_selectAll = false;
  std::vector<RowState> m_state;
  std::vector<Criterion> m_criteria;
};

// "General data": the Picture table.
class QueryPicPAG : public KW_PrpPag {
 public:
  QueryPicPAG();
  // Labels from the picture name list: each criterion takes its column's name.
  void setLabels(std::span<const std::string_view> names);
};

// "Main root": the Main Root table.
class QueryMrPAG : public KW_PrpPag {
 public:
  QueryMrPAG();
  void setLabels(std::span<const std::string_view> names);
};

// "Secondary root": the Secondary Root table.
class QueryLrPAG : public KW_PrpPag {
 public:
  QueryLrPAG();
  void setLabels(std::span<const std::string_view> names);
};

// "More parameters": eight derived values of the main roots, tick boxes only.
class QueryMorParamPAG : public KW_PrpPag {
 public:
  // The derived values by their index on this page.
  enum Value {
    kLrDensityMr = 0,
    kBasal = 1,
    kBranchedZone = 2,
    kApical = 3,
    kTotalRootSize = 4,
    kLrDensityBz = 5,
    kStraightness = 6,
    kDepth = 7
  };
  // The order in which the ticked values are written to the output file.
  static constexpr std::array<int, 8> kOutputOrder = {
      kBasal, kBranchedZone, kApical, kStraightness, kTotalRootSize, kLrDensityMr, kLrDensityBz, kDepth};
  QueryMorParamPAG();
  // Labels: the fixed heading of each value.
  void setLabels();
};

// The sheet titled "Query". Copies share the four pages, as the query that
// runs after the sheet closed reads the pages the user filled.
class BoxQueryPRS {
 public:
  static constexpr std::string_view kCaption = "Query";

  BoxQueryPRS();

  // The pages in the sheet's order: General data, Main root, Secondary root,
  // More parameters.
  QueryPicPAG& picturePage() const { return m_pages->picture; }
  QueryMrPAG& mainRootPage() const { return m_pages->mainRoot; }
  QueryLrPAG& lateralPage() const { return m_pages->lateral; }
  QueryMorParamPAG& moreParametersPage() const { return m_pages->more; }
  std::size_t pageCount() const { return 4; }
  KW_PrpPag& page(std::size_t i) const;
  // The page with this title, or null.
  KW_PrpPag* findPage(std::string_view title) const;

  // Shows the sheet through frontend (the first page is
  // opened); on OK every page is read. True for OK.
  bool DoModal(FRONTEND::Frontend& frontend);
  // OK pressed: reads every page.
  void pressOk();

  // The first criterion (as read on OK) that cannot make a valid statement,
  // "PAGE, ROW: why" ("between" with one value, a number field without a
  // number), or empty.
  std::string Check_Criteria() const;
  // One warning per page whose criteria are set while none of its columns
  // is shown (those criteria then select nothing).
  std::vector<std::string> Unused_Criteria() const;

  // The labels after the queries ran: the criteria pages take the names of
  // their table's columns, More parameters its fixed headings.
  void Set_Labels();

  // Any box ticked on a page (as read on OK).
  bool picturesTicked() const { return m_pages->picture.anyTicked(); }
  bool mainRootsTicked() const { return m_pages->mainRoot.anyTicked(); }
  bool lateralsTicked() const { return m_pages->lateral.anyTicked(); }
  bool moreParametersTicked() const { return m_pages->more.anyTicked(); }

  // The statements, from the pages' criteria in table-column order.
  std::string Build_Picture_Query(std::span<const std::string_view> names) const;
  // picture id 0: the main roots of every picture.
  std::string Build_Main_Root_Query(std::span<const std::string_view> names, int picture_id) const;
  // parent id 0: every lateral root of any order (level is then not used).
  std::string Build_Secondary_Root_Query(std::span<const std::string_view> names, int parent_id,
                                         int level) const;

 private:
  struct Pages {
    QueryPicPAG picture;
    QueryMrPAG mainRoot;
    QueryLrPAG lateral;
    QueryMorParamPAG more;
  };
  std::shared_ptr<Pages> m_pages;
};
