#include "manager/config/manager_log.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "manager_env.h"
#include "support/test_env.h"

namespace {

struct ListRecorder : tessary::LogListSink {
  void AddLogLine(const std::string& line) override { lines.push_back(line); }
  std::vector<std::string> lines;
};

TEST(ManagerLogFormat, LinesCarryDayMonthTimeAndTheSevenCharacterTags) {
  std::tm t{};
  t.tm_mday = 3;
  t.tm_mon = 11;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  EXPECT_EQ(tessary::FormatLogLine(t, tessary::LogTagText(1), "Unexpected end of MySql !"),
            "03/12 09:05:07 MySql  : Unexpected end of MySql !");
  EXPECT_EQ(tessary::LogTagText(0), "Tessary");
  EXPECT_EQ(tessary::LogTagText(2), "Apache ");
  EXPECT_EQ(tessary::LogTagText(3), "PHP    ");
  EXPECT_EQ(tessary::LogTagText(4), "Debug");
  EXPECT_EQ(tessary::LogTagText(9), "Tessary");
  EXPECT_EQ(tessary::FormatLogLine(t, "Debug", std::string(400, 'a')).size(), 255u);
  EXPECT_EQ(tessary::FormatTraceLine(t, "Start Tessary, cmdline = x"),
            "03/12 09:05:07 Tessary Start Tessary, cmdline = x");
}

class ManagerLogTest : public managertest::ManagerTest {};

TEST_F(ManagerLogTest, EachLineGoesToTheFileAndTheListAndAMissingFolderOnlySkipsTheFile) {
  ListRecorder list;
  tessary::ManagerLog log((root / "Tessary.log").string());
  log.setList(&list);
  const std::string line = log.WriteLog("two\nlines", tessary::kTagApache);
  EXPECT_NE(line.find(" Apache : two lines"), std::string::npos);
  EXPECT_EQ(testenv::ReadFile(root / "Tessary.log"), line + "\n");
  log.setFile((root / "missing" / "Tessary.log").string());
  log.WriteLog("still listed", 0);
  ASSERT_EQ(list.lines.size(), 2u);
  EXPECT_NE(list.lines[1].find("Tessary: still listed"), std::string::npos);
}

TEST_F(ManagerLogTest, TheFileStopsAtItsBoundWithOneLineSayingSo) {
  const auto file = root / "Tessary.log";
  testenv::WriteFile(file, std::string(tessary::ManagerLog::kMaxBytes - 10, 'x'));
  tessary::ManagerLog log(file.string());
  log.WriteLog("reaches the bound", 0);
  log.WriteLog("after the bound", 0);
  const std::string text = testenv::ReadFile(file);
  EXPECT_NE(text.find("reaches the bound\nTessary.log reached"), std::string::npos);
  EXPECT_EQ(text.find("after the bound"), std::string::npos);
}

TEST_F(ManagerLogTest, TraceGoesWhereTheEnvironmentSays) {
  tessary::Trace("nowhere %d", 1);  // TESSARY_TRACE is empty: no file appears
  const auto file = root / "trace.txt";
  setEnv("TESSARY_TRACE", file.string());
  tessary::Trace("%s ServerBase::Start ScanProcess -> %d", "MySQL", 42);
  const std::string text = testenv::ReadFile(file);
  EXPECT_NE(text.find(" Tessary MySQL ServerBase::Start ScanProcess -> 42\n"), std::string::npos);
  EXPECT_EQ(text.find("nowhere"), std::string::npos);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root), {}), 1);
}

}  // namespace
