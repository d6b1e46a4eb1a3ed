// What the window's server rows, log viewer and editor rest on: the ports
// of a live configuration, the uptime text, following a log within its
// bound, and saving a template whole.
#include "manager/app/server_panel.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "manager/app/log_tail.h"
#include "manager/app/text_file.h"
#include "support/test_env.h"

namespace {

namespace fs = std::filesystem;

void Append(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::app) << bytes;
}

TEST(ServerPanelTest, EveryListenLineGivesItsPortOnce) {
  const std::string conf =
      "# Listen 81\n"
      "Listen 127.0.0.1:8080\n"
      "  Listen\t[::1]:8443 https\n"
      "Listen 8080\n"
      "ListenBacklog 511\n"
      "Listen 127.0.0.1:99999\n"
      "Listen localhost:http\n"
      "Listen 443\r\n";
  EXPECT_EQ(tessary::ListenPorts(conf), (std::vector<int>{8080, 8443, 443}));
  EXPECT_EQ(tessary::PortsText({8080, 8443}), "8080, 8443");
  EXPECT_EQ(tessary::PortsText({}), "");
  EXPECT_TRUE(tessary::ListenPorts("ServerName x\n").empty());
}

TEST(ServerPanelTest, UptimeShowsHoursBelowADayThenDays) {
  EXPECT_EQ(tessary::UptimeText(7, "d"), "0:00:07");
  EXPECT_EQ(tessary::UptimeText(5 * 3600 + 3 * 60, "d"), "5:03:00");
  EXPECT_EQ(tessary::UptimeText(86399, "d"), "23:59:59");
  EXPECT_EQ(tessary::UptimeText(2 * 86400 + 3600 + 1, "j"), "2j 01:00:01");
  EXPECT_EQ(tessary::UptimeText(-1, "d"), "");  // the process is gone
}

class LogTailTest : public ::testing::Test {
 protected:
  void SetUp() override { log = testenv::MakeTempFolder("logtail") / "error.log"; }
  void TearDown() override { fs::remove_all(log.parent_path()); }
  fs::path log;
};

TEST_F(LogTailTest, FollowsWholeLinesFromTheLastPartOnAndStartsAgainWhenTheFileIsReplaced) {
  tessary::LogTail tail(log.string(), 16);
  tessary::LogTail::Chunk c = tail.Read();
  EXPECT_FALSE(c.exists);

  // A file longer than the bound: its last lines from the first that
  // starts inside the bound.
  testenv::WriteFile(log, "old line 1\nold line 2\nlast\n");
  c = tail.Read();
  EXPECT_TRUE(c.exists);
  EXPECT_TRUE(c.replace);
  EXPECT_EQ(c.text, "old line 2\nlast\n");

  // A line is given once it ends.
  Append(log, "new ");
  c = tail.Read();
  EXPECT_FALSE(c.replace);
  EXPECT_EQ(c.text, "");
  Append(log, "one\n");
  EXPECT_EQ(tail.Read().text, "new one\n");
  EXPECT_EQ(tail.Read().text, "");

  // More than the bound at once: only the last part, shown anew.
  Append(log, std::string(40, 'x') + "\nend\n");
  c = tail.Read();
  EXPECT_TRUE(c.replace);
  EXPECT_EQ(c.text, "end\n");

  // Emptied, then rotated: read again from the start.
  testenv::WriteFile(log, "a\n");
  c = tail.Read();
  EXPECT_TRUE(c.replace);
  EXPECT_EQ(c.text, "a\n");
  fs::rename(log, log.string() + ".1");
  testenv::WriteFile(log, "b\n");
  c = tail.Read();
  EXPECT_TRUE(c.replace);
  EXPECT_EQ(c.text, "b\n");
}

TEST_F(LogTailTest, ALineLongerThanTheBoundIsGivenCutNotHeldForever) {
  testenv::WriteFile(log, std::string(100, 'y'));
  tessary::LogTail tail(log.string(), 16);
  EXPECT_EQ(tail.Read().text, std::string(16, 'y'));
  EXPECT_EQ(tail.Read().text, "");
}

TEST(TextFileTest, SavingReplacesTheWholeFileKeepsItsModeAndLeavesNoTemporary) {
  const fs::path folder = testenv::MakeTempFolder("textfile");
  const fs::path file = folder / "httpd.conf";
  testenv::WriteFile(file, "Listen 80\n");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_EQ(tessary::SaveTextFile(file.string(), "Listen 8080\n"), 0);
  EXPECT_EQ(testenv::ReadFile(file), "Listen 8080\n");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

  std::string text;
  EXPECT_EQ(tessary::ReadTextFile(file.string(), text), 0);
  EXPECT_EQ(text, "Listen 8080\n");
  EXPECT_EQ(tessary::ReadTextFile(file.string(), text, 4), EFBIG);
  EXPECT_EQ(text, "");
  EXPECT_EQ(tessary::ReadTextFile(folder.string(), text), EISDIR);
  EXPECT_EQ(tessary::ReadTextFile((folder / "none").string(), text), ENOENT);
  // A folder that is gone: an error, and nothing written.
  EXPECT_EQ(tessary::SaveTextFile((folder / "none" / "my.ini").string(), "x"), ENOENT);
  fs::remove_all(folder);
}

}  // namespace
