#include "base/kw_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/scripted_frontend.h"
#include "support/test_env.h"

namespace fs = std::filesystem;
using FRONTEND::ScriptedFrontend;

class KwLogTest : public testenv::HomeTest {
 protected:
  ScriptedFrontend script;
};

TEST_F(KwLogTest, FirstLogWriteCreatesTheLogFolder) {
  ASSERT_FALSE(fs::exists(logFolder()));
  AppendLog(script, logname::kSql, "first\n");
  AppendLogF(script, logname::kSql, "value=%d\n", 42);
  EXPECT_EQ(readLog("log_sql.txt"), "first\nvalue=42\n");
  TruncateLog(script, logname::kSql);
  EXPECT_TRUE(fs::exists(logFolder() / "log_sql.txt"));
  EXPECT_EQ(readLog("log_sql.txt"), "");
  const auto p = KW_Log::Log_File_Path(script, "/log_math.txt");
  ASSERT_TRUE(p);
  EXPECT_EQ(*p, (logFolder() / "log_math.txt").string());
  EXPECT_TRUE(script.shown.empty());
}

TEST_F(KwLogTest, UncreatableLogFolderShowsPathNotFoundAndSkipsTheWrite) {
  // A file where the Log folder should be.
  testenv::WriteFile(logFolder(), "not a folder");
  EXPECT_FALSE(KW_Log::Log_File_Path(script, logname::kSql));
  AppendLog(script, logname::kSql, "lost\n");
  EXPECT_EQ(script.messages(), (std::vector<std::string>{"Path was not found.", "Path was not found."}));
}

TEST_F(KwLogTest, ACaptureGathersTheLogsUntilItIsCommitted) {
  AppendLog(script, logname::kMath, "before\n");
  AppendLog(script, logname::kSql, "kept\n");
  LogCapture capture;
  const LogSink sink(script, &capture);
  AppendLog(sink, logname::kMath, "lost\n");
  TruncateLog(sink, logname::kMath);
  AppendLogF(sink, logname::kMath, "tree %d\n", 1);
  AppendLog(sink, logname::kSql, "more\n");
  // Nothing reaches the files before the commit.
  EXPECT_EQ(readLog("log_math.txt"), "before\n");
  EXPECT_EQ(readLog("log_sql.txt"), "kept\n");
  EXPECT_EQ(capture.size(), std::string("tree 1\nmore\n").size());
  capture.Commit(script);
  // The truncation replaces the file; the other log is appended to.
  EXPECT_EQ(readLog("log_math.txt"), "tree 1\n");
  EXPECT_EQ(readLog("log_sql.txt"), "kept\nmore\n");
  EXPECT_EQ(capture.size(), 0U);
  // A sink without a capture writes straight to the files.
  AppendLog(LogSink(script, nullptr), logname::kSql, "direct\n");
  EXPECT_EQ(readLog("log_sql.txt"), "kept\nmore\ndirect\n");
  EXPECT_TRUE(script.shown.empty());
}

TEST_F(KwLogTest, PathFileWithTwoLinesGivesTheSecond) {
  fs::create_directories(logFolder());
  testenv::WriteFile(logFolder() / "path.txt", "/first/Results\n/second/Results\n");
  EXPECT_EQ(KW_Log::Result_Folder_Path(script), "/second/Results");
  EXPECT_TRUE(script.shown.empty());
}

TEST_F(KwLogTest, ChosenFolderGetsResultsInsideAndIsRemembered) {
  const fs::path data = home / "Data";
  fs::create_directories(data);
  script.folders.push_back({1, data.string()});
  const auto result = KW_Log::Result_Folder_Path(script);
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, (data / "Results").string());
  EXPECT_TRUE(fs::is_directory(data / "Results"));
  EXPECT_EQ(readLog("path.txt"), (data / "Results").string() + "\n");
  ASSERT_EQ(script.shown.size(), 1U);
  EXPECT_EQ(script.shown[0].title, "Select Folder");
  // Asked once only; an existing Results folder is accepted too.
  EXPECT_EQ(KW_Log::Result_Folder_Path(script), result);
  fs::remove(logFolder() / "path.txt");
  script.folders.push_back({1, data.string()});
  EXPECT_EQ(KW_Log::Result_Folder_Path(script), result);
}

TEST_F(KwLogTest, CancelledChooserGivesNoFolderAndNoPathFile) {
  EXPECT_FALSE(KW_Log::Result_Folder_Path(script));
  EXPECT_FALSE(fs::exists(logFolder() / "path.txt"));
  EXPECT_TRUE(script.messages().empty());
}

TEST_F(KwLogTest, UncreatableResultFolderIsReported) {
  script.folders.push_back({1, (home / "missing" / "deeper").string()});
  EXPECT_FALSE(KW_Log::Result_Folder_Path(script));
  EXPECT_EQ(script.messages(), std::vector<std::string>{"Result Folder Path was not found."});
}

TEST_F(KwLogTest, ChangeKeepsAFolderWithResultsAndAsksAgain) {
  const fs::path a = home / "A";
  const fs::path b = home / "B";
  fs::create_directories(a);
  fs::create_directories(b);
  script.folders.push_back({1, a.string()});
  ASSERT_TRUE(KW_Log::Result_Folder_Path(script));
  testenv::WriteFile(a / "Results" / "plate1.txt", "result");
  script.folders.push_back({1, b.string()});
  EXPECT_EQ(KW_Log::Change_Result_Folder(script), (b / "Results").string());
  EXPECT_TRUE(fs::exists(a / "Results" / "plate1.txt"));
  // An empty result folder is removed on change.
  script.folders.push_back({1, a.string()});
  EXPECT_EQ(KW_Log::Change_Result_Folder(script), (a / "Results").string());
  EXPECT_FALSE(fs::exists(b / "Results"));
}

TEST(KwLogProgramFolder, WithoutOverrideIsTheExecutableFolderOrTheUserDataFolder) {
  ::unsetenv("MORVANE_HOME");
  const std::string folder = KW_Log::Program_Folder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  const fs::path exeFolder = fs::read_symlink("/proc/self/exe").parent_path();
  if (::access(exeFolder.c_str(), W_OK) == 0) {
    EXPECT_EQ(fs::path(folder), exeFolder / "");
  }
  const auto xdg = testenv::MakeTempFolder("xdg");
  ::setenv("XDG_DATA_HOME", xdg.c_str(), 1);
  ::setenv("MORVANE_HOME", "/somewhere/else", 1);
  EXPECT_EQ(KW_Log::Program_Folder(), "/somewhere/else/");
  ::unsetenv("MORVANE_HOME");
  fs::remove_all(xdg);
}
