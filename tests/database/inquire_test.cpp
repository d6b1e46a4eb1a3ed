// Inquire against the private MariaDB server: the output file read back.
#include <sys/stat.h>

#include "import_query_fixture.h"

using namespace importquerytest;

TEST_F(InquireTest, EverythingTickedWritesOneRowPerLateralWithItsPath) {
  file("p.txt", resultFile("p1", "O'Brien", "Col", 7, {samplePlant()}));
  file("q.txt", resultFile("q1", "bo", "Ler", 9, {{3.0, 3.0, 0.0, {}}}));
  ASSERT_EQ(addData(), AddDataResult::Inserted);
  script.shown.clear();
  const std::string text = inquire([](BoxQueryPRS& s) {
    show(s.picturePage(), {"User name", "Age"});
    show(s.mainRootPage(), {"Path length"});
    show(s.lateralPage(), {"LR id", "Path length", "Level"});
    show(s.moreParametersPage(), {"Total root size", "Depth"});
    // A quote in a typed value finds the picture that holds it.
    criterion(s.picturePage(), "User name", 1, "O'Brien");
  });
  EXPECT_EQ(text,
            "User name,Age,MR path length,Total root size,Depth,LR1 id,LR2 id,LR path length,LR order,\n"
            "O'Brien,7,4.000000,7.750000,3.446827,1,0,1.000000,1,\n"
            "O'Brien,7,4.000000,7.750000,3.446827,1,1,0.250000,2,\n"
            "O'Brien,7,4.000000,7.750000,3.446827,1,2,0.500000,2,\n"
            "O'Brien,7,4.000000,7.750000,3.446827,2,0,2.000000,1,\n");
  EXPECT_EQ(script.messages(), std::vector<std::string>{"Request done."});
  ASSERT_FALSE(script.lastSaveFilters.empty());
  EXPECT_EQ(script.lastSaveFilters[0].name, "Csv file");

  // The Secondary root criteria restrict the fetched roots, and so the
  // derived values, even when nothing on that page is ticked; parent id 0
  // fetches every order.
  const std::string mode2 = inquire([](BoxQueryPRS& s) {
    show(s.mainRootPage(), {"Plant id"});
    show(s.moreParametersPage(), {"Total root size", "Basal zone"});
    criterion(s.lateralPage(), "Level", 1, "1");
  });
  // Row order is the server's: compare the rows as a set.
  auto lines = readDelimited(mode2, ',');
  std::sort(lines.begin() + 1, lines.end());
  EXPECT_EQ(lines, (std::vector<std::vector<std::string>>{{"Plant id", "Basal", "Total root size", ""},
                                                          {"1", "0.000000", "3.000000", ""},
                                                          {"1", "0.500000", "7.000000", ""}}));
  // Modes 1 to 3 without rows still write the heading.
  const std::string none = inquire([](BoxQueryPRS& s) {
    show(s.picturePage(), {"Genotype"});
    criterion(s.picturePage(), "Age", kBetweenOperator, "20", "30");
  });
  EXPECT_EQ(none, "Genotype,\n");
}

TEST_F(InquireTest, OneConnectionGivesTheSameFileAsOnePerStatement) {
  // 20 generated result files, with branches down to the third order.
  std::mt19937 random(7);
  std::uniform_real_distribution<double> u(0.0, 5.0);
  std::vector<std::vector<Plant>> pictures;
  for (int i = 0; i < 20; ++i) {
    std::vector<Plant> plants;
    for (int k = 0; k < 1 + i % 3; ++k) {
      Plant p{u(random) + 1.0, u(random), u(random) * 18.0, {}};
      for (int j = 0; j < (i + k) % 4; ++j) {
        Lateral l{u(random), u(random), u(random), u(random) * 10.0, {}};
        if (j == 1) l.children.push_back({u(random), u(random), u(random), 5.0, {{0.5, 0.25, 0.5, 1.0, {}}}});
        p.laterals.push_back(l);
      }
      plants.push_back(p);
    }
    pictures.push_back(plants);
    file("plate" + std::to_string(i) + ".txt",
         resultFile("plate" + std::to_string(i), "user, " + std::to_string(i), "Col", i, plants));
  }
  ImportSummary summary;
  ASSERT_EQ(addData(&summary, true), AddDataResult::Inserted);
  ASSERT_EQ(summary.inserted, 20);

  auto everything = [](BoxQueryPRS& s) {
    s.picturePage().open();
    s.picturePage().setSelectAll(true);
    s.mainRootPage().open();
    s.mainRootPage().setSelectAll(true);
    s.lateralPage().open();
    s.lateralPage().setSelectAll(true);
    s.moreParametersPage().open();
    s.moreParametersPage().setSelectAll(true);
  };
  const std::string each = inquire(everything, "each.csv", 0, false);
  const std::string one = inquire(everything, "one.csv", 0, true);
  EXPECT_EQ(each, one);

  // Read back with a CSV reader: every lateral of every file, in the order
  // of the files' lines, with its branch path and order.
  const auto rows = readDelimited(one, ',');
  ASSERT_FALSE(rows.empty());
  const auto& heading = rows[0];
  ASSERT_EQ(heading.size(), 8u + 6u + 8u + 3u + 6u + 1u);  // d = 3, and the empty cell after the last
  std::size_t expected = 0;
  for (const auto& plants : pictures)
    for (const Plant& p : plants)
      for (const Lateral& l : p.laterals) expected += 1 + (l.children.empty() ? 0 : 2);
  ASSERT_EQ(rows.size(), expected + 1);
  for (std::size_t r = 1; r < rows.size(); ++r) {
    ASSERT_EQ(rows[r].size(), heading.size()) << r;
    EXPECT_EQ(rows[r][0].rfind("user, ", 0), 0u);  // the comma stayed inside its cell
  }
  // Mode 2: one row per main root with its length as the file holds it.
  const auto mains = readDelimited(inquire(
                                       [](BoxQueryPRS& s) {
                                         show(s.mainRootPage(), {"Path length", "Number LR"});
                                       },
                                       "main.txt", 1),
                                   '\t');
  std::size_t plantsTotal = 0;
  for (const auto& plants : pictures) plantsTotal += plants.size();
  ASSERT_EQ(mains.size(), plantsTotal + 1);
  double sumFile = 0;
  double sumOut = 0;
  for (const auto& plants : pictures)
    for (const Plant& p : plants) sumFile += std::round(p.length * 1e6) / 1e6;
  for (std::size_t r = 1; r < mains.size(); ++r) sumOut += std::stod(mains[r][0]);
  EXPECT_NEAR(sumOut, sumFile, 1e-3);
}

TEST_F(InquireTest, FailuresAreNeverReportedAsSuccessAndOnePageReadsNoLateralRoot) {
  file("p.txt", resultFile("p1", "ana", "Col", 7, {samplePlant()}));
  ASSERT_EQ(addData(), AddDataResult::Inserted);

  // Pictures alone, then main roots alone: the lateral roots are never read.
  for (const int page : {0, 1}) {
    BoxQueryPRS sheet;
    sheet.page(static_cast<std::size_t>(page)).open();
    sheet.page(static_cast<std::size_t>(page)).setSelectAll(true);
    sheet.pressOk();
    QueryRun run(script, true);
    run.Run_Queries(sheet);
    EXPECT_EQ(run.statementCount(), 1) << page;
    EXPECT_TRUE(run.laterals.empty());
    EXPECT_EQ(page == 0 ? run.pictures.size() : run.mainRoots.size(), 1u);
  }

  // "between" with one value: named, nothing queried, no file.
  script.shown.clear();
  inquire([](BoxQueryPRS& s) {
    show(s.picturePage(), {"Age"});
    criterion(s.picturePage(), "Age", kBetweenOperator, "8");
  });
  EXPECT_EQ(script.messages(),
            std::vector<std::string>{"The inquiry cannot run: General data, Age: between takes two values"});
  EXPECT_FALSE(fs::exists(home / "out.csv"));

  // A statement the server refuses ends the inquiry: no "Request done.".
  ASSERT_EQ(root().exec("DROP TABLE plant.`Secondary Root`"), "");
  script.shown.clear();
  const std::string out = (home / "lr.csv").string();
  script.saveFiles.push_back({1, out, 0});
  script.querySheetScripts.push_back([](BoxQueryPRS& s) {
    show(s.lateralPage(), {"Path length"});
    return true;
  });
  EXPECT_EQ(Inquire(script, true), InquireResult::Failed);
  ASSERT_EQ(script.messages().size(), 1u);
  EXPECT_TRUE(script.messages()[0].starts_with("The inquiry failed: ")) << script.messages()[0];
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(BatchDatabaseTest, InquireFailsLoudlyOnAFullDiskAndWarnsOfUnusedCriteria) {
  file("p.txt", resultFile("p1", "ana", "Col", 7, {samplePlant()}));
  ASSERT_EQ(addData(), AddDataResult::Inserted);
  testenv::WriteFile(home / "q", "[General data]\nshow Age\n[Main root]\nPath length > -1.5\n");
  ProgramRun r = run("inquire '" + (home / "q").string() + "' --out /dev/full");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(r.out.find("written"), std::string::npos) << r.out;
  EXPECT_NE((r.out + r.err).find("cannot be written"), std::string::npos) << r.out << r.err;
  EXPECT_NE(r.err.find("warning: the criteria of the page Main root are not used"), std::string::npos)
      << r.err;
  // The device is left as it was.
  struct stat st {};
  ASSERT_EQ(::stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));

  testenv::WriteFile(home / "q", "[General data]\nshow Age\nAge between 8\n");
  r = run("inquire '" + (home / "q").string() + "' --out '" + (home / "a.csv").string() + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("query file line 3: between takes two values"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(home / "a.csv"));
}
