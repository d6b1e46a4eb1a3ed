// Imports that can be trusted, against the private MariaDB server: a broken
// file is refused whole, a file the server refuses or loses half-way leaves
// nothing, a content imported before is skipped and recorded, two imports at
// once store each file once, only regular files inside the chosen folder are
// read, and numbers do not depend on the locale.
#include <sys/stat.h>

#include <clocale>

#include "import_query_fixture.h"

using namespace importquerytest;

namespace {

class TrustTest : public ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    setUpPlant();
  }
  std::vector<Row> records() {
    return root().rows(
        "SELECT `Path`, `Size`, `SHA-256`, `Picture id`, `Settings`, `First copy` FROM plant.`Imported file` "
        "ORDER BY `Import id`");
  }
  std::string readLogText() { return testenv::ReadFile(logFolder() / "log_read.txt"); }
};

std::string fivePlants(const std::string& name) {
  return resultFile(name, "ana", "Col", 3, std::vector<Plant>(5, samplePlant()));
}

}  // namespace

TEST_F(TrustTest, BrokenFilesAreRefusedWholeAndNamedWithTheirLine) {
  file("good.txt", fivePlants("good"));
  std::string inf = fivePlants("inf");
  inf.replace(inf.rfind("Main root length: 4.000000"), 26, "Main root length: inf");
  file("inf.txt", inf);
  std::string big = fivePlants("big");
  big.replace(big.rfind("Length: 0.500000"), 16, "Length: 1e39");
  file("big.txt", big);
  file("empty.txt", "");
  file("short.txt", fivePlants("short").substr(0, fivePlants("short").find("Root 4")));
  ImportSummary summary;
  EXPECT_EQ(addData(&summary), AddDataResult::Failed);
  EXPECT_EQ(summary.inserted, 1);
  EXPECT_EQ(summary.failed, 4);
  // Nothing of a refused file reached the tables.
  EXPECT_EQ(pictureNames(), std::vector<Row>{cells({"good"})});
  EXPECT_EQ(count("Main Root"), "5");
  EXPECT_EQ(count("Secondary Root"), "20");
  EXPECT_EQ(count("Imported file"), "1");
  const std::string log = readLogText();
  for (const char* name : {"inf.txt", "big.txt", "empty.txt", "short.txt"})
    EXPECT_NE(log.find("failed " + (folder() / name).string() + ": line "), std::string::npos) << name << log;
  EXPECT_NE(log.find("the main root length is not a finite number"), std::string::npos) << log;
}

TEST_F(TrustTest, ARefusedRowOrAConnectionKilledHalfWayLeavesNothingOfTheFile) {
  file("p.txt", fivePlants("p"));
  // The server refuses the third plant.
  ASSERT_EQ(root().exec("CREATE TRIGGER plant.refuse BEFORE INSERT ON plant.`Main Root` FOR EACH ROW "
                        "BEGIN IF NEW.`Plant id` = 3 THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'no'; "
                        "END IF; END"),
            "");
  ImportSummary summary;
  EXPECT_EQ(addData(&summary, true), AddDataResult::Failed);
  EXPECT_EQ(summary.failed, 1);
  EXPECT_EQ(count("Picture"), "0");
  EXPECT_EQ(count("Main Root"), "0");
  EXPECT_EQ(count("Imported file"), "0");
  ASSERT_EQ(root().exec("DROP TRIGGER plant.refuse"), "");

  // The connection dies while the fourth plant goes in, as when the server
  // is killed: the open transaction is never committed.
  ASSERT_EQ(root().exec("CREATE TRIGGER plant.cut AFTER INSERT ON plant.`Main Root` FOR EACH ROW "
                        "BEGIN IF NEW.`Plant id` = 4 THEN KILL CONNECTION_ID(); END IF; END"),
            "");
  file("q.txt", fivePlants("q"));
  EXPECT_EQ(addData(&summary, true), AddDataResult::Failed);
  EXPECT_EQ(summary.failed, 2);
  EXPECT_EQ(count("Picture"), "0");
  EXPECT_EQ(count("Main Root"), "0");
  EXPECT_EQ(count("Secondary Root"), "0");
  EXPECT_EQ(count("Imported file"), "0");
  ASSERT_EQ(root().exec("DROP TRIGGER plant.cut"), "");

  // Mended, both go in whole.
  EXPECT_EQ(addData(&summary, true), AddDataResult::Inserted);
  EXPECT_EQ(count("Picture"), "2");
  EXPECT_EQ(count("Main Root"), "10");
}

TEST_F(TrustTest, AContentImportedBeforeIsSkippedUnlessAskedAndEveryImportIsRecorded) {
  const std::string text = fivePlants("a");
  file("a.txt", text);
  const std::string path = (folder() / "a.txt").string();
  fs::create_directories(logFolder());
  testenv::WriteFile(logFolder() / "log_result_file.txt",
                     "Result file\nname_picture_file " + path +
                         "\nlengths pixel, min-lateral 0.000000 cm, background dark\n");
  ASSERT_EQ(addData(), AddDataResult::Inserted);
  const std::string picture = root().value("SELECT `Picture id` FROM plant.Picture").value_or("?");
  EXPECT_EQ(records(),
            (std::vector<Row>{{path, std::to_string(text.size()), Sha256Hex(text), picture,
                               std::string("lengths pixel, min-lateral 0.000000 cm, background dark"),
                               Sha256Hex(text)}}));

  // The same content under another name is the same file.
  file("sub/copy.txt", text);
  std::vector<FileReport> reports;
  script.folders.push_back({1, folder().string()});
  ImportOptions options;
  options.onFile = [&reports](const FileReport& r) { reports.push_back(r); };
  ImportSummary summary;
  EXPECT_EQ(Add_Data(script, options, &summary), AddDataResult::Inserted);
  EXPECT_EQ(summary.already, 2);
  EXPECT_EQ(summary.inserted, 0);
  ASSERT_EQ(reports.size(), 2u);
  for (const FileReport& r : reports)
    EXPECT_EQ(FileReportLine(r), "already imported " + r.path + " (picture " + picture + ")");
  EXPECT_EQ(script.messages().back(),
            "Data correctly inserted.\n2 result file(s) imported before were skipped.");
  EXPECT_EQ(count("Picture"), "1");

  // Asked for, both go in again as copies.
  EXPECT_EQ(addData(&summary, false, true), AddDataResult::Inserted);
  EXPECT_EQ(summary.inserted, 2);
  EXPECT_EQ(count("Picture"), "3");
  const auto all = records();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[1][5], std::nullopt);  // a copy is no first copy
  EXPECT_EQ(all[2][5], std::nullopt);
}

TEST_F(TrustTest, OnlyRegularFilesInsideTheChosenFolderAreRead) {
  file("a.txt", fivePlants("a"));
  ASSERT_EQ(::mkfifo((folder() / "x.txt").c_str(), 0600), 0);
  fs::create_symlink("/dev/null", folder() / "null.txt");
  fs::create_directories(home / "elsewhere");
  testenv::WriteFile(home / "elsewhere" / "far.txt", fivePlants("far"));
  fs::create_directory_symlink(home / "elsewhere", folder() / "out");
  file("sub/b.txt", fivePlants("b"));
  fs::create_directory_symlink(folder() / "sub", folder() / "in");
  ImportSummary summary;
  EXPECT_EQ(addData(&summary), AddDataResult::Inserted);
  EXPECT_EQ(summary.inserted, 2);
  EXPECT_EQ(summary.skipped, 3);
  EXPECT_EQ(pictureNames(), (std::vector<Row>{cells({"a"}), cells({"b"})}));
  const std::string log = readLogText();
  EXPECT_NE(log.find("skipped " + (folder() / "x.txt").string() + ": not a regular file"), std::string::npos)
      << log;
  EXPECT_NE(log.find("skipped " + (folder() / "null.txt").string() + ": not a regular file"),
            std::string::npos);
  EXPECT_NE(log.find("skipped " + (folder() / "out").string() + ": a link to a folder outside"),
            std::string::npos);
}

TEST_F(BatchDatabaseTest, TwoImportsOfOneFolderAtOnceStoreEachFileOnce) {
  for (int i = 0; i < 30; ++i)
    file("p" + std::to_string(i) + ".txt",
         resultFile("p" + std::to_string(i), "ana", "Col", i, {samplePlant()}));
  const std::string program =
      std::string("'") + MORVANE_BATCH_PROGRAM + "' add-data '" + folder().string() + "'";
  const std::string both = program + " >'" + (home / "one").string() + "' 2>&1 & " + program + " >'" +
                           (home / "two").string() + "' 2>&1; wait";
  ASSERT_EQ(std::system(both.c_str()), 0);
  EXPECT_EQ(count("Picture"), "30");
  EXPECT_EQ(count("Imported file"), "30");
  EXPECT_EQ(count("Main Root"), "30");
  const std::string out = testenv::ReadFile(home / "one") + testenv::ReadFile(home / "two");
  auto lines = [&out](std::string_view start) {
    int n = 0;
    for (std::size_t at = out.find(start); at != std::string::npos; at = out.find(start, at + 1))
      n += at == 0 || out[at - 1] == '\n' ? 1 : 0;
    return n;
  };
  EXPECT_EQ(lines("inserted "), 30) << out;
  EXPECT_EQ(lines("already imported "), 30) << out;
  EXPECT_EQ(lines("failed "), 0) << out;
}

TEST_F(BatchDatabaseTest, AnalysisImportAndExportGiveTheSameNumbersUnderADecimalCommaLocale) {
  // The locale must exist on this machine (scripts/install-deps makes it).
  const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  std::setlocale(LC_ALL, "C");
  if (!german) GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed: run scripts/install-deps";

  fs::create_directories(home / "plates");
  for (int k = 0; k < 2; ++k) {
    synth::PlateOptions o;
    o.seed = static_cast<std::uint32_t>(400 + k);
    o.plants = 3;
    std::string error;
    ASSERT_EQ(synth::WritePlate(synth::MakePlate(o), o,
                                (home / "plates" / ("p" + std::to_string(k) + ".bmp")).string(),
                                (home / ("t" + std::to_string(k))).string(), error, 8),
              1)
        << error;
  }
  testenv::WriteFile(home / "q",
                     "[General data]\nshow Picture name\n[Main root]\nshow all\n"
                     "Path length > 0.5\n[Secondary root]\nshow all\n[More parameters]\nshow all\n");
  struct Outcome {
    std::vector<std::string> files;
    std::string rows;
    std::string export_;
  };
  auto pass = [&](const std::string& locale, const std::string& results) {
    Outcome o;
    const std::string env = "LC_ALL=" + locale + " ";
    ProgramRun r =
        run(env + "analyze '" + (home / "plates").string() + "' --resolution 300 --user ana " +
            "--genotype Col --age 5 --min-lateral 0.05 --results '" + (home / results).string() + "'");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    for (int k = 0; k < 2; ++k)
      o.files.push_back(testenv::ReadFile(home / results / ("p" + std::to_string(k) + ".txt")));
    r = run(env + "add-data '" + (home / results).string() + "'");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    for (const char* t : {"Picture", "Main Root", "Secondary Root"})
      for (const Row& row : root().rows(std::string("SELECT * FROM plant.`") + t + "` ORDER BY 1"))
        for (const auto& cell : row) o.rows += cell.value_or("NULL") + "|";
    r = run(env + "inquire '" + (home / "q").string() + "' --out '" + (home / "out.csv").string() + "'");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    o.export_ = testenv::ReadFile(home / "out.csv");
    for (const char* t : {"Picture", "Main Root", "Secondary Root", "Imported file"})
      EXPECT_EQ(root().exec(std::string("TRUNCATE TABLE plant.`") + t + "`"), "");
    return o;
  };
  const Outcome c = pass("C", "c");
  const Outcome de = pass("de_DE.UTF-8", "de");
  EXPECT_EQ(de.files, c.files);
  EXPECT_EQ(de.rows, c.rows);
  EXPECT_EQ(de.export_, c.export_);
  // The files and the export hold points, never a decimal comma.
  EXPECT_NE(c.files[0].find("Main root length: "), std::string::npos);
  EXPECT_EQ(c.files[0].find(std::string("length: ") + "0,"), std::string::npos);
  const auto cellsOut = readDelimited(c.export_, ',');
  ASSERT_GT(cellsOut.size(), 1u);
  for (std::size_t i = 1; i < cellsOut.size(); ++i) EXPECT_EQ(cellsOut[i].size(), cellsOut[0].size()) << i;
  EXPECT_NE(c.export_.find('.'), std::string::npos);
}
