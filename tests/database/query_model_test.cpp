// The "Query" sheet without a window: the pages' rows and rules, what OK
// reads, and the statements built from the criteria.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "database/kw_sql.h"
#include "database/query_pages.h"
#include "database/query_run.h"
#include "support/scripted_frontend.h"
#include "support/test_env.h"

namespace {

// Works a row as a user would: operator by its text, then the values.
void setRow(KW_PrpPag& page, std::string_view display, std::string_view op, std::string_view v1,
            std::string_view v2 = "") {
  page.open();
  const int r = page.findRow(display);
  ASSERT_GE(r, 0) << display;
  const auto row = static_cast<std::size_t>(r);
  for (std::size_t i = 0; i < kQueryOperators.size(); ++i)
    if (kQueryOperators[i] == op) page.selectOperator(row, static_cast<int>(i));
  ASSERT_TRUE(page.typeValue1(row, v1));
  ASSERT_TRUE(page.typeValue2(row, v2));
}

void tick(KW_PrpPag& page, std::string_view display) {
  page.open();
  page.setTicked(static_cast<std::size_t>(page.findRow(display)), true);
}

}  // namespace

TEST(QueryPages, RowsIndicesAndRules) {
  BoxQueryPRS sheet;
  EXPECT_EQ(sheet.page(0).title(), "General data");
  EXPECT_EQ(sheet.page(1).title(), "Main root");
  EXPECT_EQ(sheet.page(2).title(), "Secondary root");
  EXPECT_EQ(sheet.page(3).title(), "More parameters");
  QueryPicPAG& pic = sheet.picturePage();
  ASSERT_EQ(pic.rowCount(), 8u);
  EXPECT_EQ(sheet.mainRootPage().rowCount(), 6u);
  EXPECT_EQ(sheet.lateralPage().rowCount(), 7u);
  EXPECT_EQ(sheet.moreParametersPage().rowCount(), 8u);

  pic.open();
  const auto age = static_cast<std::size_t>(pic.findRow("Age"));
  EXPECT_EQ(pic.selectedOperator(age), -1);
  EXPECT_FALSE(pic.secondValueVisible(age));
  pic.selectOperator(age, kBetweenOperator);
  EXPECT_TRUE(pic.secondValueVisible(age));
  EXPECT_TRUE(pic.typeValue1(age, "5"));
  EXPECT_TRUE(pic.typeValue2(age, "9"));
  // A number field takes a minus sign first, digits and one point, also
  // while they are typed; anything else leaves its text as it was.
  for (const char* typed : {"-", "-0.", "5.5", "-12.25", ".5"})
    EXPECT_TRUE(pic.typeValue1(age, typed)) << typed;
  for (const char* refused : {"5,5", "1-2", "1.2.3", "5a", "+3"}) EXPECT_FALSE(pic.typeValue1(age, refused));
  EXPECT_EQ(pic.value1(age), ".5");
  EXPECT_TRUE(pic.typeValue1(age, "5"));
  for (const char* number : {"-0.5", "3", "2.", ".5"}) EXPECT_TRUE(IsQueryNumber(number)) << number;
  for (const char* text : {"", "-", ".", "-.", "1e3", "abc"}) EXPECT_FALSE(IsQueryNumber(text)) << text;
  pic.selectOperator(age, 1);  // "=": hidden, text kept
  EXPECT_FALSE(pic.secondValueVisible(age));
  EXPECT_EQ(pic.value2(age), "9");
  pic.selectOperator(age, kNotBetweenOperator);
  EXPECT_TRUE(pic.secondValueVisible(age));

  // Select all sets every box; the last box ticked by hand ticks Select all.
  pic.setSelectAll(true);
  for (std::size_t r = 0; r < pic.rowCount(); ++r) EXPECT_TRUE(pic.isTicked(r));
  pic.setTicked(3, false);
  EXPECT_FALSE(pic.selectAll());
  pic.setTicked(3, true);
  EXPECT_TRUE(pic.selectAll());
  pic.setSelectAll(false);
  EXPECT_FALSE(pic.isTicked(0));

  // OK reads each row into the criterion at its index: Age is index 0.
  pic.setTicked(age, true);
  sheet.pressOk();
  EXPECT_EQ(pic.criteria()[0].ticked, 1);
  EXPECT_EQ(pic.criteria()[0].oper, "not between");
  EXPECT_EQ(pic.criteria()[0].value1, "5");
  EXPECT_TRUE(sheet.picturesTicked());
  // Ticked is never reset while the sheet lives.
  pic.setTicked(age, false);
  sheet.pressOk();
  EXPECT_EQ(pic.criteria()[0].ticked, 1);

  // A page never opened reads nothing.
  EXPECT_FALSE(sheet.mainRootsTicked());
  sheet.mainRootPage().setSelectAll(true);
  sheet.pressOk();
  EXPECT_FALSE(sheet.mainRootsTicked());

  sheet.Set_Labels();
  EXPECT_EQ(pic.criteria()[0].label, "Age");
  EXPECT_EQ(sheet.mainRootPage().criteria()[2].label, "MR path length");
  EXPECT_EQ(sheet.moreParametersPage().criteria()[QueryMorParamPAG::kBasal].label, "Basal");
  EXPECT_EQ(sheet.moreParametersPage().criteria()[QueryMorParamPAG::kLrDensityBz].label, "LR density/bz");
}

TEST(QueryPages, CriteriaTextAndStatements) {
  BoxQueryPRS sheet;
  setRow(sheet.picturePage(), "Genotype", "=", "Col");
  setRow(sheet.picturePage(), "Age", "between", "5", "9");
  // An operator without a first value, and the empty operator, add nothing.
  setRow(sheet.picturePage(), "Media", "<>", "");
  setRow(sheet.picturePage(), "User name", "", "ana");
  sheet.pressOk();
  EXPECT_EQ(
      sheet.Build_Picture_Query(KW_SQL::kPictureNames),
      "select * from `Picture` where `Picture`.`Age` between '5' and '9' and `Picture`.`Genotype` = 'Col'");

  BoxQueryPRS empty;
  empty.pressOk();
  EXPECT_EQ(empty.Build_Picture_Query(KW_SQL::kPictureNames), "select * from `Picture`");
  EXPECT_EQ(empty.Build_Main_Root_Query(KW_SQL::kMainRootNames, 0), "select * from `Main Root` ");
  EXPECT_EQ(empty.Build_Main_Root_Query(KW_SQL::kMainRootNames, 7),
            "select * from `Main Root` where `Main Root`.`Picture id` = '7'");
  EXPECT_EQ(empty.Build_Secondary_Root_Query(KW_SQL::kSecondaryRootNames, 12, 2),
            "select * from `Secondary Root` where `Secondary Root`.`Parent id` = '12' and "
            "`Secondary Root`.`LR order` = '2'");

  // A second value left from "between" still joins the condition; quotes in
  // values are escaped.
  BoxQueryPRS mr;
  setRow(mr.mainRootPage(), "Path length", "between", "1", "3");
  mr.mainRootPage().selectOperator(static_cast<std::size_t>(mr.mainRootPage().findRow("Path length")), 1);
  setRow(mr.mainRootPage(), "Genotype", "=", "O'Brien");
  mr.pressOk();
  EXPECT_EQ(mr.Build_Main_Root_Query(KW_SQL::kMainRootNames, 4),
            "select * from `Main Root` where `Main Root`.`MR path length` = '1' and '3' and "
            "`Main Root`.`Genotype` = 'O\\'Brien' and `Main Root`.`Picture id` = '4'");
  EXPECT_EQ(mr.Build_Main_Root_Query(KW_SQL::kMainRootNames, 0),
            "select * from `Main Root` where `Main Root`.`MR path length` = '1' and '3' and "
            "`Main Root`.`Genotype` = 'O\\'Brien'");

  BoxQueryPRS lr;
  setRow(lr.lateralPage(), "Level", ">", "1");
  lr.pressOk();
  EXPECT_EQ(lr.Build_Secondary_Root_Query(KW_SQL::kSecondaryRootNames, 0, 1),
            "select * from `Secondary Root` where `Secondary Root`.`LR order` > '1'");
  EXPECT_EQ(lr.Build_Secondary_Root_Query(KW_SQL::kSecondaryRootNames, 3, 2),
            "select * from `Secondary Root` where `Secondary Root`.`LR order` > '1' and "
            "`Secondary Root`.`Parent id` = '3' and `Secondary Root`.`LR order` = '2'");
  // Criteria do not tick anything.
  EXPECT_FALSE(lr.lateralsTicked());
}

TEST(QueryPages, CriteriaThatMakeNoStatementAreNamedAndUnusedOnesWarned) {
  BoxQueryPRS sheet;
  KW_PrpPag& mr = sheet.mainRootPage();
  mr.open();
  const auto length = static_cast<std::size_t>(mr.findRow("Path length"));
  mr.selectOperator(length, kBetweenOperator);
  ASSERT_TRUE(mr.typeValue1(length, "-1.5"));
  sheet.pressOk();
  EXPECT_EQ(sheet.Check_Criteria(), "Main root, Path length: between takes two values");
  // Criteria on a page without a shown column: one warning for that page.
  EXPECT_EQ(sheet.Unused_Criteria(), std::vector<std::string>{"the criteria of the page Main root are not "
                                                              "used: no column of that page is shown"});

  ASSERT_TRUE(mr.typeValue2(length, "2.25"));
  mr.setTicked(length, true);
  sheet.pressOk();
  EXPECT_EQ(sheet.Check_Criteria(), "");
  EXPECT_TRUE(sheet.Unused_Criteria().empty());
  EXPECT_EQ(sheet.Build_Main_Root_Query(KW_SQL::kMainRootNames, 0),
            "select * from `Main Root` where `Main Root`.`MR path length` between '-1.5' and '2.25'");
  // A value typed as "-" never makes a number.
  ASSERT_TRUE(mr.typeValue2(length, "-"));
  sheet.pressOk();
  EXPECT_EQ(sheet.Check_Criteria(), "Main root, Path length: a number is expected");
}

TEST(QueryPages, ModesFromTheTickedPages) {
  auto mode = [](bool p, bool m, bool l, bool more) {
    BoxQueryPRS s;
    if (p) tick(s.picturePage(), "Age");
    if (m) tick(s.mainRootPage(), "Plant id");
    if (l) tick(s.lateralPage(), "LR id");
    if (more) tick(s.moreParametersPage(), "Depth");
    s.pressOk();
    return QueryRun::Output_Mode(s);
  };
  EXPECT_EQ(mode(true, false, false, false), kModePictures);
  EXPECT_EQ(mode(false, true, false, true), kModeMainRoots);
  EXPECT_EQ(mode(true, true, false, false), kModePictureMainRoot);
  EXPECT_EQ(mode(false, false, true, false), kModeLaterals);
  EXPECT_EQ(mode(true, true, true, false), kModeEverything);
  EXPECT_EQ(mode(false, false, false, true), kNoMode);
  EXPECT_EQ(mode(false, true, true, false), kNoMode);
  EXPECT_EQ(mode(true, false, true, false), kNoMode);
}

TEST(QueryPages, DerivedValues) {
  QueryRun run(FRONTEND::DefaultFrontend());
  SQL_MR one;  // n = 1, path length 0, angle 0
  one.main_root_id = 1;
  one.main_straightness = 2.5f;
  one.nbr_secondary_root = 1;
  SQL_MR three;  // n = 3 over a 10 cm root at 90 degrees
  three.main_root_id = 2;
  three.main_length = 10;
  three.main_straightness = 8;
  three.main_angle = 90;
  three.nbr_secondary_root = 3;
  run.mainRoots = {one, three};
  auto lr = [](int id, int lr_id, float pos, float len, int level, int parent, int n) {
    SQL_LR r;
    r.secondary_root_id = id;
    r.lr_id = lr_id;
    r.position = pos;
    r.lr_length = len;
    r.level = level;
    r.parent_id = parent;
    r.nbr_secondary_root = n;
    return r;
  };
  // Main root 1 has its LR 1 at 0.5; main root 2 has LRs 1..3, LR 1 with one
  // branch. Secondary root id 2 and main root id 2 overlap: only the order
  // tells them apart.
  run.laterals = {lr(1, 1, 0.5f, 1, 1, 1, 0), lr(2, 1, 2, 1.5f, 1, 2, 1), lr(3, 2, 5, 2, 1, 2, 0),
                  lr(4, 3, 7, 0.25f, 1, 2, 0), lr(5, 1, 0.1f, 0.5f, 2, 2, 0)};
  run.lateralListExists = true;
  run.Compute_More_Parameters();
  const SQL_MR& a = run.mainRoots[0];
  EXPECT_EQ(a.lr_density_mr, 0.0f);
  EXPECT_EQ(a.straightnes, 0.0f);
  EXPECT_FLOAT_EQ(a.depth, 2.5f);
  EXPECT_FLOAT_EQ(a.basal_length, 0.5f);
  EXPECT_FLOAT_EQ(a.apical_length, -0.5f);  // length 0 minus the same root's position
  EXPECT_EQ(a.bz_length, 0.0f);
  EXPECT_EQ(a.lr_density_bz, 0.0f);
  EXPECT_FLOAT_EQ(a.total_r_length, 1.0f);
  const SQL_MR& b = run.mainRoots[1];
  EXPECT_FLOAT_EQ(b.lr_density_mr, 0.3f);
  EXPECT_FLOAT_EQ(b.straightnes, 0.8f);
  EXPECT_NEAR(b.depth, 0.0f, 1e-6f);
  EXPECT_FLOAT_EQ(b.basal_length, 2);
  EXPECT_FLOAT_EQ(b.apical_length, 3);
  EXPECT_FLOAT_EQ(b.bz_length, 5);
  EXPECT_FLOAT_EQ(b.lr_density_bz, 0.6f);
  EXPECT_FLOAT_EQ(b.total_r_length, 10 + 1.5f + 2 + 0.25f + 0.5f);
}

class QueryFileTest : public testenv::HomeTest {
 protected:
  void SetUp() override { testenv::HomeTest::SetUp(); }
  void TearDown() override { testenv::HomeTest::TearDown(); }
  // Writes the output; rows: whether rows are expected (1) or none (2).
  std::string write(QueryRun& run, BoxQueryPRS& sheet, int expected = 1) {
    sheet.pressOk();
    sheet.Set_Labels();
    const std::string file = (home / "out.csv").string();
    EXPECT_EQ(run.Write_Query_File(file, QueryRun::Output_Mode(sheet), sheet), expected);
    return testenv::ReadFile(file);
  }
  FRONTEND::ScriptedFrontend script;

 private:
};

TEST_F(QueryFileTest, BranchNumberPathsDepthFirst) {
  QueryRun run(script);
  run.delimiter = '\t';
  auto lr = [](int id, int lr_id, int level, int parent, int n) {
    SQL_LR r;
    r.secondary_root_id = id;
    r.lr_id = lr_id;
    r.level = level;
    r.parent_id = parent;
    r.nbr_secondary_root = n;
    return r;
  };
  // LR 3 of its main root, its second branch, and that one's first.
  run.laterals = {lr(10, 3, 1, 1, 1), lr(13, 4, 1, 1, 0), lr(11, 2, 2, 10, 1), lr(12, 1, 3, 11, 0)};
  BoxQueryPRS sheet;
  tick(sheet.lateralPage(), "LR id");
  tick(sheet.lateralPage(), "Level");
  EXPECT_EQ(write(run, sheet),
            "LR1 id\tLR2 id\tLR3 id\tLR order\t\n"
            "3\t0\t0\t1\t\n"
            "3\t2\t0\t2\t\n"
            "3\t2\t1\t3\t\n"
            "4\t0\t0\t1\t\n");
  EXPECT_EQ(script.messages(), std::vector<std::string>{"Request done."});
}

TEST_F(QueryFileTest, TextCellsWithTheDelimiterAreQuoted) {
  QueryRun run(script);
  SQL_PICTURE p;
  p.user = "a,b";
  p.age = 5;
  p.genotype = "say \"hi\"";
  run.pictures = {p};
  BoxQueryPRS sheet;
  tick(sheet.picturePage(), "User name");
  tick(sheet.picturePage(), "Age");
  tick(sheet.picturePage(), "Genotype");
  EXPECT_EQ(write(run, sheet), "User name,Age,Genotype,\n\"a,b\",5,\"say \"\"hi\"\"\",\n");
  // With spaces between cells the headings with a space are quoted too.
  run.delimiter = ' ';
  p.user = "ana";
  run.pictures = {p};
  EXPECT_EQ(write(run, sheet), "\"User name\" Age Genotype \nana 5 \"say \"\"hi\"\"\" \n");
}

TEST_F(QueryFileTest, HeadingAloneOrNoFile) {
  QueryRun run(script);
  BoxQueryPRS sheet;
  tick(sheet.mainRootPage(), "Path length");
  tick(sheet.moreParametersPage(), "Depth");
  tick(sheet.moreParametersPage(), "Basal zone");
  // Mode 2 without rows: the heading, More parameters in their output order.
  EXPECT_EQ(write(run, sheet), "MR path length,Basal,Depth,\n");

  BoxQueryPRS onlyMore;
  tick(onlyMore.moreParametersPage(), "Depth");
  EXPECT_EQ(write(run, onlyMore, 2), "");
  EXPECT_FALSE(std::filesystem::exists(home / "out.csv"));
  EXPECT_EQ(script.messages().back(), "Request done but without results.");

  BoxQueryPRS laterals;  // mode 4 without lateral roots
  tick(laterals.lateralPage(), "Position");
  EXPECT_EQ(write(run, laterals, 2), "");
  EXPECT_FALSE(std::filesystem::exists(home / "out.csv"));
}
