// The tables of "plant" and the insertion of analysed pictures, against the
// private MariaDB server.
#include "database/kw_sql.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "db_test_server.h"
#include "small_stack.h"

using dbtest::Row;
using dbtest::ServerTest;

namespace {

INFO_LR lateral(float length, float straightness, float position, float angle) {
  INFO_LR r;
  r.length = length;
  r.straightness = straightness;
  r.position = position;
  r.angle = angle;
  return r;
}

void addChild(INFO_LR& parent, INFO_LR child) {
  parent.children.push_back(std::move(child));
  parent.nbr_child = static_cast<std::int32_t>(parent.children.size());
}

void addLateral(INFO_MR& plant, INFO_LR root) {
  plant.children.push_back(std::move(root));
  plant.nbr_secondary_root = static_cast<std::int32_t>(plant.children.size());
}

INFO_MR plant(float length, float straightness, float angle) {
  INFO_MR p;
  p.main_length = length;
  p.main_straightness = straightness;
  p.main_angle = angle;
  return p;
}

INFO_PICTURE picture(const std::string& name) {
  INFO_PICTURE p;
  p.user = "ana";
  p.experiment = "exp1";
  p.name = name;
  p.plate = "plate 3";
  p.media = "MS";
  p.genotype = "Col-0";
  p.age = 8;
  return p;
}

void addPlant(INFO_PICTURE& p, INFO_MR m) {
  p.arbre.push_back(std::move(m));
  p.nbr = static_cast<std::int32_t>(p.arbre.size());
}

Row row(std::initializer_list<const char*> cells) {
  Row r;
  for (const char* c : cells) r.emplace_back(c == nullptr ? std::nullopt : std::optional<std::string>(c));
  return r;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class InsertionTest : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    setUpPlant();
  }

  // Imports one picture over its own connection with the program's account,
  // as the import does; 1 when it went in whole.
  int import(const INFO_PICTURE& p) {
    KW_SQL c(script);
    EXPECT_EQ(c.Connect("localhost", "Morvane", "Ostravel", 3306, 1), 1);
    EXPECT_EQ(c.Select_Base("plant"), 1);
    const int whole = c.Insert_Picture_Data(p);
    c.Disconnect();
    return whole;
  }

  std::vector<Row> pictures() { return root().rows("SELECT * FROM plant.Picture ORDER BY `Picture id`"); }
  std::vector<Row> mainRoots() {
    return root().rows("SELECT * FROM plant.`Main Root` ORDER BY `Main root id`");
  }
  std::vector<Row> secondaryRoots() {
    return root().rows("SELECT * FROM plant.`Secondary Root` ORDER BY `Secondary root id`");
  }
};

}  // namespace

TEST_F(InsertionTest, CreateTablesTwiceKeepsTheRows) {
  import(picture("p1.bmp"));
  KW_SQL c(script);
  ASSERT_EQ(c.Connect("localhost", "root", "", 3306, 1), 1);
  ASSERT_EQ(c.Select_Base("plant"), 1);
  EXPECT_EQ(c.Create_Tables(), 1);
  EXPECT_EQ(c.Create_Tables(), 1);
  c.Disconnect();
  EXPECT_EQ(pictures().size(), 1u);
  EXPECT_TRUE(script.shown.empty());
}

TEST_F(InsertionTest, PictureWithoutPlantsIsOnePictureRow) {
  import(picture("p1.bmp"));
  EXPECT_EQ(pictures(),
            (std::vector<Row>{row({"1", "ana", "exp1", "p1.bmp", "plate 3", "8", "MS", "0", "Col-0"})}));
  EXPECT_TRUE(mainRoots().empty());
  EXPECT_TRUE(secondaryRoots().empty());
  EXPECT_TRUE(script.shown.empty());
}

TEST_F(InsertionTest, PlantWithoutLateralsIsOneMainRootRowLinkedToItsPicture) {
  import(picture("first.bmp"));
  INFO_PICTURE p = picture("second.bmp");
  INFO_MR m = plant(12.5f, 11.25f, -3.5f);
  m.genotype = "from heading";
  addPlant(p, m);
  addPlant(p, plant(1.0f, 0.5f, 90.0f));
  import(p);
  EXPECT_EQ(pictures().size(), 2u);
  EXPECT_EQ(mainRoots(), (std::vector<Row>{row({"1", "1", "12.5", "11.25", "-3.5", "0", "from heading", "2"}),
                                           row({"2", "2", "1", "0.5", "90", "0", "", "2"})}));
  EXPECT_TRUE(secondaryRoots().empty());
}

TEST_F(InsertionTest, LateralWithTwoChildrenGivesParentFirstThenChildrenNumberedFromOne) {
  INFO_PICTURE p = picture("p.bmp");
  INFO_MR m = plant(10, 9, 1);
  INFO_LR parent = lateral(4, 3.5f, 2.25f, 45);
  addChild(parent, lateral(1, 0.75f, 0.5f, 30));
  addChild(parent, lateral(2, 1.5f, 1.5f, -30));
  addLateral(m, parent);
  addPlant(p, m);
  import(p);

  ASSERT_EQ(mainRoots().size(), 1u);
  EXPECT_EQ(mainRoots()[0][5], "1");  // Number LR/MR
  // Columns: id, LR id, path length, vector length, angle, position, Number LR/LR, LR order, Parent id.
  EXPECT_EQ(secondaryRoots(), (std::vector<Row>{row({"1", "1", "4", "3.5", "45", "2.25", "2", "1", "1"}),
                                                row({"2", "1", "1", "0.75", "30", "0.5", "0", "2", "1"}),
                                                row({"3", "2", "2", "1.5", "-30", "1.5", "0", "2", "1"})}));
}

TEST_F(InsertionTest, TreesAreInsertedDepthFirstWithOrdersAndParents) {
  // Plant 1: laterals A (children A1 with child A1a, and A2) and B; plant 2: lateral C.
  INFO_PICTURE p = picture("tree.bmp");
  INFO_MR m1 = plant(10, 9, 0);
  INFO_LR a = lateral(1, 1, 1, 1);
  INFO_LR a1 = lateral(2, 2, 2, 2);
  addChild(a1, lateral(3, 3, 3, 3));
  addChild(a, a1);
  addChild(a, lateral(4, 4, 4, 4));
  addLateral(m1, a);
  addLateral(m1, lateral(5, 5, 5, 5));
  INFO_MR m2 = plant(20, 19, 0);
  addLateral(m2, lateral(6, 6, 6, 6));
  addPlant(p, m1);
  addPlant(p, m2);
  import(p);

  // id, LR id, path length, LR order, Parent id.
  EXPECT_EQ(root().rows("SELECT `Secondary root id`, `LR id`, `LR path length`, `LR order`, `Parent id`, "
                        "`Number LR/LR` FROM plant.`Secondary Root` ORDER BY 1"),
            (std::vector<Row>{row({"1", "1", "1", "1", "1", "2"}),     // A on main root 1
                              row({"2", "1", "2", "2", "1", "1"}),     // A1 on A
                              row({"3", "1", "3", "3", "2", "0"}),     // A1a on A1
                              row({"4", "2", "4", "2", "1", "0"}),     // A2 on A
                              row({"5", "2", "5", "1", "1", "0"}),     // B on main root 1
                              row({"6", "1", "6", "1", "2", "0"})}));  // C on main root 2
  EXPECT_EQ(
      root().rows("SELECT `Main root id`, `Plant id`, `Number LR/MR` FROM plant.`Main Root` ORDER BY 1"),
      (std::vector<Row>{row({"1", "1", "2"}), row({"2", "2", "1"})}));
}

TEST_F(InsertionTest, ImportingTheSamePictureTwiceGivesNewIds) {
  INFO_PICTURE p = picture("same.bmp");
  INFO_MR m = plant(3, 2, 1);
  addLateral(m, lateral(1, 1, 1, 1));
  addPlant(p, m);
  import(p);
  import(p);
  EXPECT_EQ(root().rows("SELECT `Picture id`, `Picture name` FROM plant.Picture ORDER BY 1"),
            (std::vector<Row>{row({"1", "same.bmp"}), row({"2", "same.bmp"})}));
  EXPECT_EQ(root().rows("SELECT `Main root id`, `Picture id` FROM plant.`Main Root` ORDER BY 1"),
            (std::vector<Row>{row({"1", "1"}), row({"2", "2"})}));
  EXPECT_EQ(root().rows("SELECT `Secondary root id`, `Parent id` FROM plant.`Secondary Root` ORDER BY 1"),
            (std::vector<Row>{row({"1", "1"}), row({"2", "2"})}));
}

TEST_F(InsertionTest, NamesWithQuotesBackslashesAndAccentsRoundTripExactly) {
  INFO_PICTURE p;
  p.user = "O'Brien";
  p.experiment = "x\\y'); DROP TABLE Picture; --";
  p.name = "plaque \"été\".bmp";
  p.plate = "Größe 5\\";
  p.media = "½ MS + 1% sucrose";
  p.genotype = "łódź_ÅÄÖ_日本";
  INFO_MR m = plant(1, 1, 1);
  m.genotype = "it's";
  addPlant(p, m);
  import(p);
  EXPECT_TRUE(script.shown.empty());
  EXPECT_EQ(root().rows("SELECT `User name`, Experiment, `Picture name`, `Plate name`, Media, Genotype "
                        "FROM plant.Picture"),
            (std::vector<Row>{Row{p.user, p.experiment, p.name, p.plate, p.media, p.genotype}}));
  EXPECT_EQ(root().value("SELECT Genotype FROM plant.`Main Root`"), "it's");

  KW_SQL::Add_Genotype(script, p.genotype);
  KW_SQL::Add_Media(script, p.media);
  KW_SQL::Add_Genotype(script, p.genotype);
  EXPECT_EQ(root().rows("SELECT Genotype FROM plant.Genotype"), (std::vector<Row>{Row{p.genotype}}));
  EXPECT_EQ(root().rows("SELECT Media FROM plant.Media"), (std::vector<Row>{Row{p.media}}));
}

TEST_F(InsertionTest, AddGenotypeInsertsANewNameOnlyOnce) {
  EXPECT_EQ(KW_SQL::Add_Genotype(script, "Col-0"), 1);
  EXPECT_EQ(KW_SQL::Add_Genotype(script, "Ler"), 1);
  EXPECT_EQ(KW_SQL::Add_Genotype(script, "Col-0"), 1);
  EXPECT_EQ(KW_SQL::Add_Media(script, "MS"), 1);
  EXPECT_EQ(KW_SQL::Add_Media(script, "MS"), 1);
  EXPECT_EQ(root().rows("SELECT * FROM plant.Genotype ORDER BY 1"),
            (std::vector<Row>{row({"1", "Col-0"}), row({"2", "Ler"})}));
  EXPECT_EQ(root().rows("SELECT * FROM plant.Media"), (std::vector<Row>{row({"1", "MS"})}));
  EXPECT_TRUE(script.shown.empty());

  // Without the base nothing is shown and nothing is created.
  ASSERT_EQ(root().exec("DROP DATABASE plant"), "");
  EXPECT_EQ(KW_SQL::Add_Genotype(script, "Col-0"), 1);
  EXPECT_TRUE(script.shown.empty());
}

TEST_F(InsertionTest, LowerCaseListReadsFindTheCapitalisedTables) {
  KW_SQL::Add_Genotype(script, "Col-0");
  KW_SQL::Add_Genotype(script, "Ws");
  KW_SQL::Add_Media(script, "MS");
  KW_SQL c(script);
  ASSERT_EQ(c.Connect("localhost", "Morvane", "Ostravel", 3306, 0), 1);
  ASSERT_EQ(c.Select_Base("plant"), 1);
  ASSERT_EQ(c.Query("select * from genotype"), 1);
  std::vector<std::string> list;
  EXPECT_EQ(c.Get_Column_List(list), 2);
  EXPECT_EQ(list, (std::vector<std::string>{"Col-0", "Ws"}));
  ASSERT_EQ(c.Query("select * from media"), 1);
  EXPECT_EQ(c.Get_Column_List(list), 1);
  EXPECT_EQ(list, (std::vector<std::string>{"MS"}));
  EXPECT_EQ(c.Query("select * from `secondary root`"), 1);
}

TEST_F(InsertionTest, AFailedPictureRowShowsTheServersErrorAndInsertsNothing) {
  INFO_PICTURE p = picture(std::string(51, 'n'));  // longer than the column
  addPlant(p, plant(1, 1, 1));
  import(p);
  ASSERT_EQ(script.messages().size(), 1u);
  EXPECT_TRUE(contains(script.messages()[0], "Data too long for column 'Picture name'"))
      << script.messages()[0];
  const std::string log = readLog("log_sql.txt");
  EXPECT_TRUE(contains(log, "query 1 insertion_table_secondary\nmysql_error Data too long")) << log;
  EXPECT_TRUE(pictures().empty());
  EXPECT_TRUE(mainRoots().empty());
}

TEST_F(InsertionTest, AFailedRootRowLeavesNothingOfThePicture) {
  INFO_PICTURE p = picture("p.bmp");
  INFO_MR bad = plant(1, 1, 1);
  bad.genotype = std::string(60, 'g');  // too long: the plant's row fails
  addLateral(bad, lateral(1, 1, 1, 1));
  INFO_MR good = plant(2, 2, 2);
  INFO_LR broken = lateral(std::numeric_limits<float>::quiet_NaN(), 1, 1, 1);  // the server refuses nan
  addChild(broken, lateral(7, 7, 7, 7));
  addLateral(good, broken);
  addLateral(good, lateral(8, 8, 8, 8));
  addPlant(p, good);
  // A lateral the server refuses, below a plant whose row went in.
  EXPECT_EQ(import(p), 0);
  EXPECT_TRUE(script.shown.empty());  // root rows fail silently
  EXPECT_TRUE(pictures().empty());
  EXPECT_TRUE(mainRoots().empty());
  EXPECT_TRUE(secondaryRoots().empty());
  EXPECT_TRUE(contains(readLog("log_sql.txt"), " insertion_table_secondary\nmysql_error "))
      << readLog("log_sql.txt");

  // A plant's row refused, after one that went in.
  INFO_PICTURE q = picture("q.bmp");
  addPlant(q, plant(3, 3, 3));
  addPlant(q, bad);
  EXPECT_EQ(import(q), 0);
  EXPECT_TRUE(pictures().empty());
  EXPECT_TRUE(mainRoots().empty());
  const std::string log = readLog("log_sql.txt");
  EXPECT_TRUE(contains(log, "insertion_table_main_root\nmysql_error Data too long for column 'Genotype'"))
      << log;
}

TEST_F(InsertionTest, CountsBeyondTheRecordsPresentInsertOnlyWhatIsThere) {
  INFO_PICTURE p = picture("p.bmp");
  INFO_MR m = plant(1, 1, 1);
  addLateral(m, lateral(1, 1, 1, 1));
  m.nbr_secondary_root = 4;  // more than are present
  m.children[0].nbr_child = 2;
  addPlant(p, m);
  p.nbr = 3;
  import(p);
  EXPECT_EQ(root().value("SELECT `Number of plant` FROM plant.Picture"), "3");
  EXPECT_EQ(root().value("SELECT COUNT(*) FROM plant.`Main Root`"), "1");
  EXPECT_EQ(root().value("SELECT COUNT(*) FROM plant.`Secondary Root`"), "1");
}

TEST_F(InsertionTest, ALostConnectionLeavesNothingOfThePicture) {
  // The server drops the connection while the second plant goes in.
  ASSERT_EQ(root().exec("CREATE TRIGGER plant.cut AFTER INSERT ON plant.`Main Root` FOR EACH ROW "
                        "BEGIN IF NEW.`Plant id` = 2 THEN KILL CONNECTION_ID(); END IF; END"),
            "");
  INFO_PICTURE p = picture("cut.bmp");
  for (int i = 0; i < 3; ++i) {
    INFO_MR m = plant(1, 1, 1);
    addLateral(m, lateral(1, 1, 1, 1));
    addPlant(p, m);
  }
  // The lost connection is reported, not taken for success.
  EXPECT_EQ(import(p), 0);
  EXPECT_TRUE(pictures().empty());
  EXPECT_TRUE(mainRoots().empty());
  EXPECT_TRUE(secondaryRoots().empty());

  // The next picture, on a new connection, goes in whole.
  ASSERT_EQ(root().exec("DROP TRIGGER plant.cut"), "");
  EXPECT_EQ(import(p), 1);
  EXPECT_EQ(pictures().size(), 1u);
  EXPECT_EQ(mainRoots().size(), 3u);
  EXPECT_EQ(secondaryRoots().size(), 3u);
}

TEST_F(InsertionTest, WithoutAConnectionNothingCrashes) {
  KW_SQL c(script);
  INFO_PICTURE p = picture("p.bmp");
  addPlant(p, plant(1, 1, 1));
  EXPECT_EQ(c.Insert_Picture_Data(p), 0);
  EXPECT_NE(c.Insert_Picture(p), 0);
  EXPECT_NE(c.Insert_Main_Root(p.arbre[0], 1, 1), 0);
  EXPECT_EQ(c.Create_Tables(), 1);
  EXPECT_TRUE(pictures().empty());
}

namespace {

// A random tree of lateral roots; lengths number the roots in depth-first
// order (1, 2, 3 ...), so each stored row names its record.
void growRandom(INFO_LR& root, std::uint32_t& seed, int depth, int& counter) {
  const auto next = [&seed]() {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 16;
  };
  const int children = depth >= 4 ? 0 : static_cast<int>(next() % 4);
  for (int i = 0; i < children; ++i) {
    INFO_LR child = lateral(static_cast<float>(++counter), 1, 1, 1);
    growRandom(child, seed, depth + 1, counter);
    addChild(root, std::move(child));
  }
}

struct StoredRoot {
  int id, lrId, number, order, parent, branches;
};

// Checks that the children of (parent id, order) in the table are exactly
// the given records, numbered from 1, and their own children likewise; ids
// grow in depth-first order.
void expectSameTree(const std::vector<StoredRoot>& rows, int parentId, int order,
                    const std::vector<INFO_LR>& records, int& lastId) {
  std::vector<StoredRoot> children;
  for (const StoredRoot& r : rows)
    if (r.parent == parentId && r.order == order) children.push_back(r);
  std::sort(children.begin(), children.end(), [](auto& a, auto& b) { return a.lrId < b.lrId; });
  ASSERT_EQ(children.size(), records.size()) << "parent " << parentId << " order " << order;
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(children[i].lrId, static_cast<int>(i + 1));
    EXPECT_EQ(children[i].number, static_cast<int>(records[i].length));
    EXPECT_EQ(children[i].branches, records[i].nbr_child);
    EXPECT_GT(children[i].id, lastId) << "not depth first";
    lastId = children[i].id;
    expectSameTree(rows, children[i].id, order + 1, records[i].children, lastId);
  }
}

}  // namespace

TEST_F(InsertionTest, RandomTreesComeBackFromTheirParentIdsAndOrders) {
  std::uint32_t seed = 12345;
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(root().exec("DELETE FROM plant.`Main Root`"), "");
    ASSERT_EQ(root().exec("DELETE FROM plant.`Secondary Root`"), "");
    INFO_PICTURE p = picture("random.bmp");
    int counter = 0;
    for (int m = 0; m < 3; ++m) {
      INFO_MR main = plant(static_cast<float>(m), 1, 1);
      for (int l = 0; l < 3; ++l) {
        INFO_LR r = lateral(static_cast<float>(++counter), 1, 1, 1);
        growRandom(r, seed, 1, counter);
        addLateral(main, std::move(r));
      }
      addPlant(p, std::move(main));
    }
    import(p);

    std::vector<StoredRoot> rows;
    for (const Row& r : root().rows("SELECT `Secondary root id`, `LR id`, `LR path length`, `LR order`, "
                                    "`Parent id`, `Number LR/LR` FROM plant.`Secondary Root`"))
      rows.push_back({std::stoi(*r[0]), std::stoi(*r[1]), std::stoi(*r[2]), std::stoi(*r[3]),
                      std::stoi(*r[4]), std::stoi(*r[5])});
    EXPECT_EQ(rows.size(), static_cast<std::size_t>(counter));
    const auto mains = root().rows("SELECT `Main root id` FROM plant.`Main Root` ORDER BY 1");
    ASSERT_EQ(mains.size(), 3u);
    int lastId = 0;
    for (std::size_t m = 0; m < mains.size(); ++m)
      expectSameTree(rows, std::stoi(*mains[m][0]), 1, p.arbre[m].children, lastId);
  }
}

TEST_F(InsertionTest, ATreeTwentyThousandLevelsDeepGoesInOnASmallStack) {
  // Each level the only branch of the one before; lengths count the levels.
  constexpr int kDepth = 20000;
  INFO_PICTURE p = picture("deep.bmp");
  INFO_MR m = plant(1, 1, 1);
  INFO_LR& first = m.children.emplace_back();
  m.nbr_secondary_root = 1;
  first.length = 1;
  INFO_LR* tip = &first;
  for (int level = 2; level <= kDepth; ++level) {
    tip->nbr_child = 1;
    tip = &tip->children.emplace_back();
    tip->length = static_cast<float>(level);
  }
  addPlant(p, std::move(m));
  // One call per level would need megabytes of stack here.
  ASSERT_TRUE(dbtest::RunOnSmallStack(dbtest::kSmallStackBytes, [&] { import(p); }));

  // Row k is level k, the only branch of row k-1 (of the main root for the
  // first), and all but the last have one branch.
  EXPECT_EQ(root().value("SELECT COUNT(*) FROM plant.`Secondary Root` WHERE `LR id` = 1 "
                         "AND `LR order` = `Secondary root id` AND `LR path length` = `Secondary root id` "
                         "AND `Parent id` = IF(`Secondary root id` = 1, 1, `Secondary root id` - 1) "
                         "AND `Number LR/LR` = IF(`Secondary root id` = " +
                         std::to_string(kDepth) + ", 0, 1)"),
            std::to_string(kDepth));
  EXPECT_EQ(root().value("SELECT COUNT(*) FROM plant.`Secondary Root`"), std::to_string(kDepth));
  EXPECT_TRUE(script.shown.empty());
}
