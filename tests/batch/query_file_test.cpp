// The query file of morvane-batch inquire: what it does to the sheet's pages
// and the lines it refuses.
#include <gtest/gtest.h>

#include "batch/database_commands.h"
#include "database/kw_sql.h"
#include "database/query_pages.h"

namespace {

std::string apply(const std::string& text, BoxQueryPRS& sheet) {
  std::string error;
  if (!ApplyQueryFile(text, sheet, error)) return error;
  sheet.pressOk();
  return "";
}

}  // namespace

TEST(QueryFile, TheReadmeExamplesWorkThePages) {
  BoxQueryPRS pictures;
  ASSERT_EQ(apply("[General data]\nshow User name, Plate name, Age\nGenotype = Col-0\nAge between 8 10\n",
                  pictures),
            "");
  EXPECT_EQ(pictures.Build_Picture_Query(KW_SQL::kPictureNames),
            "select * from `Picture` where `Picture`.`Age` between '8' and '10' and `Picture`.`Genotype` = "
            "'Col-0'");
  const auto& pic = pictures.picturePage();
  EXPECT_TRUE(pic.isTicked(static_cast<std::size_t>(pic.findRow("Plate name"))));
  EXPECT_FALSE(pic.isTicked(static_cast<std::size_t>(pic.findRow("Genotype"))));

  BoxQueryPRS laterals;
  ASSERT_EQ(apply("# one row per lateral root\n[General data]\nshow Picture name\n[Main root]\n"
                  "show Plant id, Path length\nPath length > 3\n[Secondary root]\n"
                  "show LR id, Path length, Level\n[More parameters]\nshow all\n",
                  laterals),
            "");
  EXPECT_TRUE(laterals.picturesTicked() && laterals.mainRootsTicked() && laterals.lateralsTicked());
  EXPECT_TRUE(laterals.moreParametersPage().selectAll());
  EXPECT_EQ(laterals.Build_Main_Root_Query(KW_SQL::kMainRootNames, 0),
            "select * from `Main Root` where `Main Root`.`MR path length` > '3'");

  BoxQueryPRS quoted;
  ASSERT_EQ(apply("[General data]\n\"User name\" not between \"a b\" \"c'd\"\n", quoted), "");
  EXPECT_EQ(quoted.Build_Picture_Query(KW_SQL::kPictureNames),
            "select * from `Picture` where `Picture`.`User name` not between 'a b' and 'c\\'d'");
}

TEST(QueryFile, RefusedLinesAreNamed) {
  const std::pair<const char*, const char*> cases[] = {
      {"[Roots]\n", "line 1: unknown page"},
      {"show all\n", "line 1: no page given yet"},
      {"[Main root]\n\nshow Plant id, Length\n", "line 3: unknown label \"Length\""},
      {"[Main root]\nPlant id like 3\n", "line 2: unknown operator"},
      {"[Main root]\nPath length > 2,5\n", "line 2: the field Path length takes a number"},
      {"[Main root]\nPath length between 2\n", "line 2: between takes two values"},
      {"[Main root]\nPath length not between 2\n", "line 2: not between takes two values"},
      {"[Main root]\nPath length > 2 3\n", "line 2: > takes one value"},
      {"[Main root]\nPlant id =\n", "line 2: one or two values"},
      {"[More parameters]\nDepth > 1\n", "line 2: the page More parameters takes no criteria"},
      {"[General data]\nMedia = \"MS\n", "line 2: a double quote is not closed"}};
  for (const auto& [text, expected] : cases) {
    BoxQueryPRS sheet;
    EXPECT_NE(apply(text, sheet).find(expected), std::string::npos) << text << " -> " << apply(text, sheet);
  }
  EXPECT_EQ(FilterForFileName("a.csv"), 0);
  EXPECT_EQ(FilterForFileName("a.txt"), 1);
  EXPECT_EQ(FilterForFileName("a.dat"), 2);
}
