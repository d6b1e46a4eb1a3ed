// morvane-batch add-data and inquire against the private MariaDB server,
// and plates analysed by morvane-batch coming back in every layout.
#include "import_query_fixture.h"

using namespace importquerytest;

TEST_F(BatchDatabaseTest, AddDataSetsUpImportsAndReportsEachFile) {
  // A fresh machine: no account, no database, no marker.
  ASSERT_EQ(root().exec("DROP DATABASE plant"), "");
  ASSERT_EQ(root().exec("DROP USER 'Morvane'@'localhost'"), "");
  fs::remove(logFolder() / "log_pass.txt");
  file("a.txt", resultFile("a", "ana", "Col", 3, {samplePlant()}));
  file("sub/b.txt", resultFile("b", "ana", "Col", 3, {samplePlant()}));
  testenv::WriteFile(home / "admin", "");
  const std::string args =
      "add-data '" + folder().string() + "' --admin-password-file '" + (home / "admin").string() + "'";
  ProgramRun r = run(args);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("inserted " + (folder() / "a.txt").string() + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("inserted " + (folder() / "sub/b.txt").string() + "\n"), std::string::npos);
  EXPECT_NE(r.out.find("2 result file(s): 2 inserted, 0 already imported, 0 failed"), std::string::npos);
  EXPECT_TRUE(marker());
  EXPECT_EQ(count("Secondary Root"), "8");

  // A file cut short: named, and the exit status says so.
  std::string cutShort = resultFile("c", "ana", "Col", 3, {samplePlant(), samplePlant()});
  cutShort.resize(cutShort.find("Root 2"));
  file("c.txt", cutShort);
  r = run(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("failed " + (folder() / "c.txt").string() + ": line "), std::string::npos) << r.out;
  // The files imported before are skipped, each with its picture.
  EXPECT_NE(r.out.find("already imported " + (folder() / "a.txt").string() + " (picture "), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("3 result file(s): 0 inserted, 2 already imported, 1 failed"), std::string::npos)
      << r.out;
  EXPECT_EQ(count("Picture"), "2");
  // --again imports them once more.
  fs::remove(folder() / "c.txt");
  r = run(args + " --again");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(count("Picture"), "4");
  EXPECT_EQ(count("Imported file"), "4");
}

TEST_F(BatchDatabaseTest, AddDataGoesToTheServerThatMorvaneDbHostNames) {
  // A batch node reaches the lab's server by its name, over TCP: here the
  // private server by its address, the socket left out.
  file("a.txt", resultFile("a", "ana", "Col", 3, {samplePlant()}));
  ProgramRun r = run("add-data '" + folder().string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string before = count("Picture");
  file("b.txt", resultFile("b", "ana", "Col", 3, {samplePlant()}));
  r = run("MORVANE_DB_HOST=db.morvane.invalid MORVANE_DB_SOCKET= add-data '" + folder().string() + "'");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(count("Picture"), before);
  fs::remove(folder() / "a.txt");
  r = run("MORVANE_DB_HOST=127.0.0.1 MORVANE_DB_SOCKET= add-data '" + folder().string() + "'");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(std::stoi(count("Picture")), std::stoi(before) + 1);
}

TEST_F(BatchDatabaseTest, InquireWritesWhatTheSheetWrites) {
  file("p.txt", resultFile("p1", "ana lee", "Col", 7, {samplePlant(), {3.0, 2.0, 5.0, {}}}));
  ASSERT_EQ(addData(), AddDataResult::Inserted);
  testenv::WriteFile(home / "query",
                     "# plants of more than 2 cm\n"
                     "[General data]\n"
                     "show User name, Age\n"
                     "User name = \"ana lee\"\n"
                     "\n"
                     "[Main root]\n"
                     "show all\n"
                     "Path length > 2\n"
                     "[Secondary root]\n"
                     "show LR id, Level\n"
                     "Level not between 3 9\n"
                     "[More parameters]\n"
                     "show Depth\n");
  const std::string out = (home / "batch.txt").string();
  ProgramRun r = run("inquire '" + (home / "query").string() + "' --out '" + out + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string sheet = inquire(
      [](BoxQueryPRS& s) {
        show(s.picturePage(), {"User name", "Age"});
        criterion(s.picturePage(), "User name", 1, "ana lee");
        s.mainRootPage().open();
        s.mainRootPage().setSelectAll(true);
        criterion(s.mainRootPage(), "Path length", 4, "2");
        show(s.lateralPage(), {"LR id", "Level"});
        criterion(s.lateralPage(), "Level", kNotBetweenOperator, "3", "9");
        show(s.moreParametersPage(), {"Depth"});
      },
      "sheet.txt", 1);
  EXPECT_EQ(testenv::ReadFile(out), sheet);
  EXPECT_NE(sheet.find("ana lee\t7\t1\t4.000000\t"), std::string::npos) << sheet;

  // An unknown label names its line and nothing is queried or written.
  testenv::WriteFile(home / "bad", "[Main root]\nshow Plant id\nLength > 2\n");
  r = run("inquire '" + (home / "bad").string() + "' --out '" + (home / "bad.csv").string() + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("line 3"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(home / "bad.csv"));
}

namespace {

// One exported or expected lateral root: its picture, plant, branch path
// and order (exact), and its length.
struct LateralKey {
  std::string key;
  double length;
  bool operator<(const LateralKey& o) const { return key < o.key; }
};

void expectedLaterals(const std::string& picture, int plant, const std::vector<INFO_LR>& roots,
                      std::vector<int>& path, std::size_t depth, std::vector<LateralKey>& out) {
  for (std::size_t i = 0; i < roots.size(); ++i) {
    path.push_back(static_cast<int>(i + 1));
    std::string key = picture + "|" + std::to_string(plant) + "|";
    for (std::size_t c = 0; c < depth; ++c) key += std::to_string(c < path.size() ? path[c] : 0) + ".";
    key += "|" + std::to_string(path.size());
    out.push_back({key, roots[i].length});
    expectedLaterals(picture, plant, roots[i].children, path, depth, out);
    path.pop_back();
  }
}

int maxOrder(const std::vector<INFO_LR>& roots, int level) {
  int d = roots.empty() ? level - 1 : level;
  for (const INFO_LR& r : roots) d = std::max(d, maxOrder(r.children, level + 1));
  return d;
}

}  // namespace

TEST_F(BatchDatabaseTest, AnalysedPlatesComeBackInEveryLayout) {
  // 20 generated plates analysed and saved by morvane-batch analyze.
  fs::create_directories(home / "plates");
  for (int k = 0; k < 20; ++k) {
    synth::PlateOptions o;
    o.seed = static_cast<std::uint32_t>(100 + k);
    o.plants = 2 + k % 2;
    std::string error;
    ASSERT_EQ(synth::WritePlate(synth::MakePlate(o), o,
                                (home / "plates" / ("p" + std::to_string(k) + ".bmp")).string(),
                                (home / ("t" + std::to_string(k))).string(), error, 8),
              1)
        << error;
  }
  ProgramRun r =
      run("analyze '" + (home / "plates").string() + "' --resolution 300 --user ana --genotype Col " +
          "--age 5 --results '" + folder().string() + "' --jobs 2");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  r = run("add-data '" + folder().string() + "'");
  ASSERT_EQ(r.status, 0) << r.out << r.err;

  // What the result files hold.
  std::vector<INFO_PICTURE> files;
  for (const auto& e : fs::directory_iterator(folder())) {
    files.emplace_back();
    ASSERT_EQ(ReadResultFile(script, e.path().string(), files.back()), 1);
  }
  ASSERT_EQ(files.size(), 20u);
  std::size_t plants = 0;
  int depth = 0;
  std::vector<LateralKey> expected;
  std::vector<LateralKey> expectedMains;
  for (const INFO_PICTURE& p : files)
    for (std::size_t k = 0; k < p.arbre.size(); ++k) {
      ++plants;
      depth = std::max(depth, maxOrder(p.arbre[k].children, 1));
      expectedMains.push_back({p.name + "|" + std::to_string(k + 1), p.arbre[k].main_length});
    }
  ASSERT_GT(depth, 0) << "the plates gave no lateral roots";
  for (const INFO_PICTURE& p : files)
    for (std::size_t k = 0; k < p.arbre.size(); ++k) {
      std::vector<int> path;
      expectedLaterals(p.name, static_cast<int>(k + 1), p.arbre[k].children, path,
                       static_cast<std::size_t>(depth), expected);
    }

  auto inquireFile = [&](const std::string& query) {
    testenv::WriteFile(home / "q", query);
    const std::string out = (home / "out.csv").string();
    const ProgramRun q = run("inquire '" + (home / "q").string() + "' --out '" + out + "'");
    EXPECT_EQ(q.status, 0) << q.err;
    return readDelimited(testenv::ReadFile(out), ',');
  };
  auto sameLengths = [](std::vector<LateralKey> got, std::vector<LateralKey> want) {
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].key, want[i].key);
      EXPECT_NEAR(got[i].length, want[i].length, 1e-5 * std::max(1.0, want[i].length)) << got[i].key;
    }
  };

  // Mode 1: one row per picture.
  EXPECT_EQ(inquireFile("[General data]\nshow Picture name, Number of plant\n").size(), 21u);
  // Mode 2: one row per main root with its length.
  auto mains = inquireFile("[Main root]\nshow Plant id, Path length\n");
  EXPECT_EQ(mains.size(), plants + 1);
  // Mode 3: with its picture, so every main root is known by name.
  mains = inquireFile("[General data]\nshow Picture name\n[Main root]\nshow Plant id, Path length\n");
  std::vector<LateralKey> gotMains;
  for (std::size_t i = 1; i < mains.size(); ++i)
    gotMains.push_back({mains[i][0] + "|" + mains[i][1], std::stod(mains[i][2])});
  sameLengths(gotMains, expectedMains);
  // Mode 4: one row per lateral root of any order, with its path.
  const auto laterals = inquireFile("[Secondary root]\nshow LR id, Path length, Level\n");
  EXPECT_EQ(laterals.size(), expected.size() + 1);
  EXPECT_EQ(laterals[0].size(), static_cast<std::size_t>(depth) + 3u);
  // Mode 5: every lateral root with its picture, plant, path, order and length.
  const auto all = inquireFile(
      "[General data]\nshow Picture name\n[Main root]\nshow Plant id\n[Secondary root]\n"
      "show LR id, Path length, Level\n");
  std::vector<LateralKey> got;
  for (std::size_t i = 1; i < all.size(); ++i) {
    const auto& row = all[i];
    std::string key = row[0] + "|" + row[1] + "|";
    for (int c = 0; c < depth; ++c) key += row[2 + static_cast<std::size_t>(c)] + ".";
    key += "|" + row[3 + static_cast<std::size_t>(depth)];
    got.push_back({key, std::stod(row[2 + static_cast<std::size_t>(depth)])});
  }
  sameLengths(got, expected);
}
