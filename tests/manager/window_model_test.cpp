// The window's rules that need no server: addresses, icons, state texts,
// error reports, and the PHP extensions block.
#include "manager/app/window_model.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "manager/config/php_extensions.h"
#include "manager/config/stack_layout.h"
#include "support/test_env.h"

namespace {

namespace fs = std::filesystem;

TEST(WindowModelTest, LocalAddressesNameThePortUnlessItIs80) {
  EXPECT_EQ(tessary::LocalAddress(8080, ""), "http://127.0.0.1:8080/");
  EXPECT_EQ(tessary::LocalAddress(8080, "home/"), "http://127.0.0.1:8080/home/");
  EXPECT_EQ(tessary::LocalAddress(80, "mysql/"), "http://127.0.0.1/mysql/");
  EXPECT_LE(tessary::LocalAddress(80, std::string(300, 'a')).size(), 127u);
}

TEST(WindowModelTest, RunningServersBlinkOnEveryOtherTick) {
  using tessary::TrayIconFor;
  EXPECT_EQ(TrayIconFor(false, false, 2), tessary::kIconStopped);
  EXPECT_EQ(TrayIconFor(true, false, 2), tessary::kIconWeb);
  EXPECT_EQ(TrayIconFor(false, true, 4), tessary::kIconDatabase);
  EXPECT_EQ(TrayIconFor(true, true, 4), tessary::kIconBoth);
  EXPECT_EQ(TrayIconFor(true, true, 5), tessary::kIconStopped);
}

TEST(WindowModelTest, StateTextsArePaddedAndPicturesFollowTheState) {
  tessary::LanguageList texts(tessary::TextVariant::English);
  EXPECT_EQ(tessary::StateText(tessary::Running, texts), "Started             ");
  EXPECT_EQ(tessary::StateText(tessary::Stopping, texts), "Pending...          ");
  EXPECT_EQ(tessary::StatePicture(tessary::Running), 191);
  EXPECT_EQ(tessary::StatePicture(tessary::Starting), 190);
  EXPECT_EQ(tessary::StatePicture(tessary::Stopped), 189);
}

TEST(WindowModelTest, ErrorReportsCarryTheSystemMessageAndCode) {
  EXPECT_EQ(tessary::ErrorReportText("Cannot run server : %s", EACCES),
            "Cannot run server : Permission denied (13)");
  // Codes the system has no message for never show the placeholder.
  EXPECT_EQ(tessary::ErrorReportText("Cannot run server : %s", 10048),
            "Cannot run server : unknown error (10048)");
  // A translation is never a printf format.
  EXPECT_EQ(tessary::ErrorReportText("%n%d %s", ENOENT), "%n%d No such file or directory (2)");
  EXPECT_EQ(tessary::DatabaseErrorLog("/s/", "my host"), "/s/MySql/data/my-host.err");
}

class PhpExtensionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = testenv::MakeTempFolder("phpext");
    fs::create_directories(root / "PHP/extensions");
    // A shared object that opens, standing in for an extension.
    fs::create_symlink("/lib/x86_64-linux-gnu/libz.so.1", root / "PHP/extensions/zz.so");
    tmpl = root / "php.ini";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  tessary::PhpExtensionsModel model() {
    return tessary::PhpExtensionsModel(tmpl.string(), root.string() + "/");
  }
  fs::path root, tmpl;
};

TEST_F(PhpExtensionsTest, ApplyWithUnchangedEntriesRewritesTheSameText) {
  const std::string text =
      "[PHP]\nx=1\n;PHPExt\nextension=zz.so\n;extension=gone.so\n;/PHPExt\n[Session]\ny=2\n";
  testenv::WriteFile(tmpl, text);
  auto m = model();
  ASSERT_TRUE(m.Open());
  m.Refresh();
  ASSERT_EQ(m.entries().size(), 2u);
  EXPECT_TRUE(m.entries()[0].on);
  EXPECT_TRUE(m.entries()[0].loads);
  EXPECT_FALSE(m.entries()[1].on);
  EXPECT_FALSE(m.entries()[1].exists);
  ASSERT_EQ(m.Apply(), 0);
  EXPECT_EQ(testenv::ReadFile(tmpl), text);
}

TEST_F(PhpExtensionsTest, MissingExtensionsCannotBeSwitchedOnAndAreWrittenOff) {
  testenv::WriteFile(tmpl, ";PHPExt\nextension=gone.so\n;extension=zz.so\n;/PHPExt\n");
  auto m = model();
  ASSERT_TRUE(m.Open());
  m.Refresh();
  ASSERT_EQ(m.entries().size(), 2u);
  EXPECT_FALSE(m.entries()[0].on);  // on in the file, but it cannot load
  EXPECT_FALSE(m.SetOn(0, true));
  EXPECT_TRUE(m.SetOn(0, false));
  EXPECT_TRUE(m.SetOn(1, true));
  ASSERT_EQ(m.Apply(), 0);
  EXPECT_EQ(testenv::ReadFile(tmpl), ";PHPExt\n;extension=gone.so\nextension=zz.so\n;/PHPExt\n");
}

TEST_F(PhpExtensionsTest, NothingAfterAnUnclosedBlockIsLost) {
  const std::string text = ";PHPExt\n;extension=zz.so\n[Session]\nsession.a=1\n";
  testenv::WriteFile(tmpl, text);
  auto m = model();
  ASSERT_TRUE(m.Open());
  m.Refresh();
  ASSERT_EQ(m.entries().size(), 1u);
  ASSERT_EQ(m.Apply(), 0);
  EXPECT_EQ(testenv::ReadFile(tmpl), ";PHPExt\n;extension=zz.so\n;/PHPExt\n[Session]\nsession.a=1\n");
}

TEST_F(PhpExtensionsTest, AnUnreadableTemplateListsNothingAndIsNotEmptied) {
  auto m = model();
  EXPECT_FALSE(m.Open());
  m.Refresh();
  EXPECT_TRUE(m.entries().empty());
  EXPECT_NE(m.Apply(), 0);
  EXPECT_FALSE(fs::exists(tmpl));
}

// Debian's extension folder: the database drivers need their bases loaded
// first, and opcache is an engine extension no "extension=" line loads.
TEST_F(PhpExtensionsTest, TheFolderIsListedWithBasesFirstAndSwitchedTogether) {
  const fs::path debian = tessary::FindStackTools().phpExtensions;
  ASSERT_FALSE(debian.empty()) << "PHP's extension folder not found";
  for (const char* name : {"mysqli", "mysqlnd", "calendar", "opcache"})
    fs::create_symlink(debian / (std::string(name) + ".so"),
                       root / "PHP/extensions" / (std::string(name) + ".so"));
  EXPECT_TRUE(tessary::IsPhpModule((root / "PHP/extensions/mysqli.so").string()));
  EXPECT_FALSE(tessary::IsPhpModule((root / "PHP/extensions/opcache.so").string()));
  EXPECT_EQ(tessary::OrderedExtensions((root / "PHP/extensions").string()),
            (std::vector<std::string>{"mysqlnd", "calendar", "mysqli"}));

  testenv::WriteFile(tmpl, ";PHPExt\n;extension=mysqli.so\n;extension=mysqlnd.so\n;/PHPExt\n");
  auto m = model();
  ASSERT_TRUE(m.Open());
  m.Refresh();
  std::vector<std::string> names;
  for (const auto& e : m.entries()) names.push_back(e.name);
  ASSERT_EQ(names, (std::vector<std::string>{"mysqlnd", "mysqli", "calendar"}));
  EXPECT_TRUE(m.entries()[1].loads);

  EXPECT_TRUE(m.SetOn(1, true));  // mysqli takes mysqlnd along
  EXPECT_TRUE(m.entries()[0].on);
  ASSERT_EQ(m.Apply(), 0);
  EXPECT_EQ(testenv::ReadFile(tmpl),
            ";PHPExt\nextension=mysqlnd.so\nextension=mysqli.so\n;extension=calendar.so\n;/PHPExt\n");
  EXPECT_TRUE(m.SetOn(0, false));  // and mysqlnd off takes mysqli along
  EXPECT_FALSE(m.entries()[1].on);
}

}  // namespace
