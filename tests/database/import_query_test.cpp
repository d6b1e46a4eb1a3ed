// Add data and Inquire against the private MariaDB server: the first-use
// set-up, the folder walk, the summary, and the output file read back.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>

#include "database/import.h"
#include "database/password_sql.h"
#include "database/query_run.h"
#include "db_test_server.h"
#include "roots/result_file.h"
#include "synth/synth_plate.h"

namespace fs = std::filesystem;
using dbtest::Row;
using dbtest::ServerTest;

namespace {

// A lateral root of a result file and its own laterals.
struct Lateral {
  double length, position, vector, angle;
  std::vector<Lateral> children;
};
struct Plant {
  double length, vector, angle;
  std::vector<Lateral> laterals;
};

void writeLaterals(std::ostringstream& s, const std::vector<Lateral>& ls, const std::string& label,
                   int depth) {
  int n = 0;
  for (const Lateral& l : ls) {
    const std::string own = label + "-LR" + std::to_string(++n);
    char line[400];
    std::snprintf(line, sizeof line,
                  "%s%s: Length: %f\tPosition: %f\tVector: %f\tAngle: %f\tNumber secondary root(s): %i\n",
                  std::string(static_cast<std::size_t>(depth), '\t').c_str(), own.c_str(), l.length,
                  l.position, l.vector, l.angle, static_cast<int>(l.children.size()));
    s << line;
    writeLaterals(s, l.children, own, depth + 1);
  }
}

// A result file as Save experiment writes it.
std::string resultFile(const std::string& name, const std::string& user, const std::string& genotype, int age,
                       const std::vector<Plant>& plants) {
  std::ostringstream s;
  s << name << "\nUser name: " << user << "\nExperiment name: exp\nBox name: box\nGenotype: " << genotype
    << "\nMedia: MS\nAge of plants: " << age
    << " day(s) after germination\nNumber of plant: " << plants.size() << "\nscale 0.004233\n";
  int k = 0;
  for (const Plant& p : plants) {
    char head[300];
    std::snprintf(head, sizeof head,
                  "\n\n\nRoot %i: \nMain root length: %f\nMain root vector: %f\nMain root angle: %f\n"
                  "Number lateral root(s): %i\n",
                  ++k, p.length, p.vector, p.angle, static_cast<int>(p.laterals.size()));
    s << head;
    writeLaterals(s, p.laterals, "R" + std::to_string(k), 1);
  }
  return s.str();
}

// One plant with LR 1 (two branches of its own) and LR 2.
Plant samplePlant() {
  return {4.0,
          3.5,
          10.0,
          {{1.0, 0.5, 0.9, 45.0, {{0.25, 0.125, 0.2, 30.0, {}}, {0.5, 0.25, 0.4, 35.0, {}}}},
           {2.0, 1.5, 1.75, 50.0, {}}}};
}

// Cells of a delimited file as a standard CSV reader sees them: quoted cells
// may hold the delimiter, doubled quotes and line breaks.
std::vector<std::vector<std::string>> readDelimited(const std::string& text, char delimiter) {
  std::vector<std::vector<std::string>> rows(1);
  std::string cell;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        cell += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cell += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == delimiter) {
      rows.back().push_back(cell);
      cell.clear();
    } else if (c == '\n') {
      rows.back().push_back(cell);  // the cell after the last delimiter: empty
      cell.clear();
      rows.emplace_back();
    } else {
      cell += c;
    }
  }
  if (rows.back().empty()) rows.pop_back();
  return rows;
}

class ImportTest : public ServerTest {
 protected:
  fs::path folder() const { return home / "results"; }
  void file(const std::string& rel, const std::string& text) {
    fs::create_directories((folder() / rel).parent_path());
    testenv::WriteFile(folder() / rel, text);
  }
  void answerPassword(const std::string& password, bool ok = true) {
    script.passwordScripts.push_back([password, ok](PasswordSQL& d) {
      d.type(password);
      return ok;
    });
  }
  AddDataResult addData(ImportSummary* summary = nullptr, bool oneConnection = false) {
    script.folders.push_back({1, folder().string()});
    ImportOptions o;
    o.oneConnection = oneConnection;
    return Add_Data(script, o, summary);
  }
  std::vector<Row> pictureNames() {
    return root().rows("SELECT `Picture name` FROM plant.Picture ORDER BY `Picture name`, `Picture id`");
  }
  std::string count(const std::string& table) {
    return root().value("SELECT COUNT(*) FROM plant.`" + table + "`").value_or("?");
  }
  bool marker() const { return fs::exists(logFolder() / "log_pass.txt"); }
};

Row cells(std::initializer_list<const char*> cs) {
  Row r;
  for (const char* c : cs) r.emplace_back(std::string(c));
  return r;
}

}  // namespace

TEST_F(ImportTest, FirstUseAsksOnceAndOnlyAValidPasswordLeavesTheMarker) {
  file("a.txt", resultFile("a", "ana", "Col", 3, {}));
  // Cancel, then a wrong password: no marker, nothing created.
  script.passwordScripts.push_back([](PasswordSQL&) { return false; });
  EXPECT_EQ(addData(), AddDataResult::Ended);
  EXPECT_FALSE(marker());
  answerPassword("wrong");
  EXPECT_EQ(addData(), AddDataResult::Ended);
  EXPECT_FALSE(marker());
  EXPECT_EQ(script.messages(),
            std::vector<std::string>{"Failure of the attempted connection to the MySQL server"});
  EXPECT_EQ(root().value("SELECT COUNT(*) FROM information_schema.schemata WHERE schema_name = 'plant'"),
            "0");

  script.shown.clear();
  script.folders.clear();
  answerPassword("");
  EXPECT_EQ(addData(), AddDataResult::Inserted);
  EXPECT_EQ(testenv::ReadFile(logFolder() / "log_pass.txt"), "user created\n");
  EXPECT_EQ(script.messages(), std::vector<std::string>{"Data correctly inserted."});
  EXPECT_EQ(script.shown[1].kind, FRONTEND::ScriptedFrontend::Kind::Folder);
  EXPECT_EQ(script.shown[1].title, "Image Analysis Result folder");
  // The marker suppresses the dialog from now on.
  const auto dialogs = script.passwordScripts.size();
  EXPECT_EQ(addData(), AddDataResult::Inserted);
  EXPECT_EQ(script.passwordScripts.size(), dialogs);
  EXPECT_EQ(count("Picture"), "2");  // a second import inserts again
}

TEST_F(ImportTest, ExtensionRuleSubfoldersAndHiddenFolders) {
  setUpPlant();
  ASSERT_TRUE(fs::create_directories(logFolder()) || fs::exists(logFolder()));
  testenv::WriteFile(logFolder() / "log_pass.txt", "user created\n");
  for (const char* name : {"a.txt", "a.b.txt", "a.txt2", "txtdata", "b.TXT", "c.csv"})
    file(name, resultFile(name, "ana", "Col", 3, {samplePlant()}));
  file(".hidden/h.txt", resultFile("hidden", "ana", "Col", 3, {}));
  file("sub/d.txt", resultFile("d", "ana", "Col", 3, {}));
  ImportSummary summary;
  EXPECT_EQ(addData(&summary), AddDataResult::Inserted);
  EXPECT_EQ(summary.found, 5);
  EXPECT_EQ(pictureNames(), (std::vector<Row>{cells({"a.b.txt"}), cells({"a.txt"}), cells({"a.txt2"}),
                                              cells({"d"}), cells({"txtdata"})}));
  EXPECT_EQ(count("Main Root"), "4");
  EXPECT_EQ(count("Secondary Root"), "16");
  // The subfolder's path was shown before the walk went into it.
  const auto messages = script.messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], (folder() / "sub").string());
  EXPECT_EQ(messages[1], "Data correctly inserted.");

  // A folder without result files.
  script.shown.clear();
  fs::remove_all(folder());
  fs::create_directories(folder());
  EXPECT_EQ(addData(&summary), AddDataResult::Inserted);
  EXPECT_EQ(summary.found, 0);
  EXPECT_EQ(script.messages(), std::vector<std::string>{"Data correctly inserted."});
}

TEST_F(ImportTest, FailedFilesAreCountedAndNamedAndLongTextsStoredCut) {
  setUpPlant();
  fs::create_directories(logFolder());
  testenv::WriteFile(logFolder() / "log_pass.txt", "user created\n");
  file("good.txt", resultFile("good", "ana", "Col", 3, {samplePlant()}));
  // Two plants announced, one written.
  std::string cutShort = resultFile("short", "ana", "Col", 3, {samplePlant(), samplePlant()});
  cutShort.resize(cutShort.find("Root 2"));
  file("short.txt", cutShort);
  // Not UTF-8: a strict server refuses the picture row.
  file("bad.txt", resultFile("bad\xff\xfe", "ana", "Col", 3, {samplePlant()}));
  const std::string longUser(60, 'u');
  file("long.txt", resultFile("long", longUser, "Col", 3, {}));
  ImportSummary summary;
  EXPECT_EQ(addData(&summary), AddDataResult::Failed);
  EXPECT_EQ(summary.found, 4);
  EXPECT_EQ(summary.inserted, 2);
  EXPECT_EQ(summary.failed, 2);
  EXPECT_EQ(summary.cut, 1);
  EXPECT_EQ(script.messages().back(),
            "2 result file(s) inserted, 2 failed: see log_read.txt.\n"
            "1 picture(s) with texts longer than 50 characters were stored cut: see log_read.txt.");
  const std::string log = testenv::ReadFile(logFolder() / "log_read.txt");
  EXPECT_NE(log.find("failed " + (folder() / "short.txt").string()), std::string::npos);
  EXPECT_NE(log.find("failed " + (folder() / "bad.txt").string()), std::string::npos);
  EXPECT_NE(log.find("warning " + (folder() / "long.txt").string() + ": User name"), std::string::npos);
  EXPECT_EQ(pictureNames(), (std::vector<Row>{cells({"good"}), cells({"long"})}));
  EXPECT_EQ(root().value("SELECT `User name` FROM plant.Picture WHERE `Picture name` = 'long'"),
            std::string(50, 'u'));
  // Nothing of the refused picture stayed.
  EXPECT_EQ(count("Main Root"), "1");
}

TEST_F(ImportTest, OneConnectionStoresTheSameRowsAsOnePerFile) {
  setUpPlant();
  for (int i = 0; i < 6; ++i)
    file("p" + std::to_string(i) + ".txt",
         resultFile("p" + std::to_string(i), "ana", "Col", i, {samplePlant(), {1.0 + i, 1.0, 2.0, {}}}));
  auto dump = [&] {
    std::vector<Row> all = root().rows("SELECT * FROM plant.Picture ORDER BY 1");
    for (const char* t : {"Main Root", "Secondary Root"}) {
      const auto rows = root().rows(std::string("SELECT * FROM plant.`") + t + "` ORDER BY 1");
      all.insert(all.end(), rows.begin(), rows.end());
    }
    return all;
  };
  ASSERT_EQ(addData(nullptr, false), AddDataResult::Inserted);
  const auto each = dump();
  for (const char* t : {"Picture", "Main Root", "Secondary Root"})
    ASSERT_EQ(root().exec(std::string("TRUNCATE TABLE plant.`") + t + "`"), "");
  ASSERT_EQ(addData(nullptr, true), AddDataResult::Inserted);
  EXPECT_EQ(dump(), each);
  EXPECT_EQ(each.size(), 6u + 12u + 24u);
}

// ---------------------------------------------------------------- Inquire

class InquireTest : public ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    setUpPlant();
    fs::create_directories(logFolder());
    testenv::WriteFile(logFolder() / "log_pass.txt", "user created\n");
  }
  // Runs Inquire with the sheet worked by script; returns the file's text.
  std::string inquire(const std::function<void(BoxQueryPRS&)>& work, const std::string& name = "out.csv",
                      int filter = 0, bool oneConnection = false) {
    const std::string out = (home / name).string();
    script.saveFiles.push_back({1, out, filter});
    script.querySheetScripts.push_back([work](BoxQueryPRS& s) {
      work(s);
      return true;
    });
    Inquire(script, oneConnection);
    return testenv::ReadFile(out);
  }
  static void show(KW_PrpPag& page, std::initializer_list<const char*> labels) {
    page.open();
    for (const char* l : labels) page.setTicked(static_cast<std::size_t>(page.findRow(l)), true);
  }
  static void criterion(KW_PrpPag& page, const char* label, int op, const char* v1, const char* v2 = "") {
    page.open();
    const auto r = static_cast<std::size_t>(page.findRow(label));
    page.selectOperator(r, op);
    page.typeValue1(r, v1);
    page.typeValue2(r, v2);
  }
};

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

// ---------------------------------------------------------------- morvane-batch

namespace {

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

}  // namespace

class BatchDatabaseTest : public InquireTest {
 protected:
  ProgramRun run(const std::string& arguments) {
    ProgramRun r;
    const std::string outFile = (home / "stdout.txt").string();
    const std::string errFile = (home / "stderr.txt").string();
    // Variable assignments before the command name go to the program's environment.
    std::string env;
    std::string rest = arguments;
    while (rest.rfind("MORVANE_", 0) == 0 && rest.find('=') < rest.find(' ')) {
      env += rest.substr(0, rest.find(' ') + 1);
      rest = rest.substr(rest.find(' ') + 1);
    }
    const std::string command = env + "'" + MORVANE_BATCH_PROGRAM + "' " + rest + " </dev/null >'" + outFile +
                                "' 2>'" + errFile + "'";
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = testenv::ReadFile(outFile);
    r.err = testenv::ReadFile(errFile);
    return r;
  }
};

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
  EXPECT_NE(r.out.find("2 result file(s): 2 inserted, 0 failed"), std::string::npos);
  EXPECT_TRUE(marker());
  EXPECT_EQ(count("Secondary Root"), "8");

  // A file cut short: named, and the exit status says so.
  std::string cutShort = resultFile("c", "ana", "Col", 3, {samplePlant(), samplePlant()});
  cutShort.resize(cutShort.find("Root 2"));
  file("c.txt", cutShort);
  r = run(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("failed " + (folder() / "c.txt").string()), std::string::npos);
  EXPECT_EQ(count("Picture"), "4");
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
