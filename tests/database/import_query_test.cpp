// Add data against the private MariaDB server: the first-use set-up, the
// folder walk and the summary.
#include "import_query_fixture.h"

using namespace importquerytest;

TEST_F(ImportTest, FirstUseAsksOnceAndOnlyAValidPasswordLeavesTheMarker) {
  file("a.txt", resultFile("a", "ana", "Col", 3, {}));
  // Cancel, then a wrong password: no marker, nothing created.
  script.passwordScripts.push_back([](PasswordSQL&) { return false; });
  EXPECT_EQ(addData(), AddDataResult::Ended);
  EXPECT_FALSE(marker());
  answerPassword("wrong");
  EXPECT_EQ(addData(), AddDataResult::Ended);
  EXPECT_FALSE(marker());
  ASSERT_EQ(script.messages().size(), 1u);
  EXPECT_TRUE(script.messages()[0].starts_with(
      "Failure of the attempted connection to the MySQL server: the administrator password was refused"))
      << script.messages()[0];
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
  // A second import skips what it imported before, and says so.
  EXPECT_EQ(count("Picture"), "1");
  EXPECT_EQ(script.messages().back(),
            "Data correctly inserted.\n1 result file(s) imported before were skipped.");
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
  for (const char* t : {"Picture", "Main Root", "Secondary Root", "Imported file"})
    ASSERT_EQ(root().exec(std::string("TRUNCATE TABLE plant.`") + t + "`"), "");
  ASSERT_EQ(addData(nullptr, true), AddDataResult::Inserted);
  EXPECT_EQ(dump(), each);
  EXPECT_EQ(each.size(), 6u + 12u + 24u);
}
