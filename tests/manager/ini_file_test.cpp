#include "manager/platform/ini_file.h"

#include <gtest/gtest.h>

#include <string>

#include "manager_env.h"
#include "support/test_env.h"

namespace {

using tessary::IniFile;

TEST(IniFile, NamesCompareWithoutCaseAndTheFirstOccurrenceWins) {
  IniFile ini;
  ini.Parse("[Tessary]\r\n  autostartservers = Y \r\nAutoStartServers=N\n[tessary]\nLang=Other\n");
  EXPECT_EQ(ini.Get("TESSARY", "AutoStartServers"), "Y");
  EXPECT_EQ(ini.Get("Tessary", "Lang", "dflt"), "dflt");  // only the first section is read
  EXPECT_TRUE(ini.Has("tessary", "AUTOSTARTSERVERS"));
  EXPECT_FALSE(ini.Has("MySql", "AutoStartServers"));
}

TEST(IniFile, ValuesLoseBlanksAndOnePairOfQuotesAndAreCutAtCharacterBoundaries) {
  IniFile ini;
  ini.Parse("[s]\na=\"quoted value\"\nb=\"only one\nc=\nd = Fran\xC3\xA7\x61is\n");
  EXPECT_EQ(ini.Get("s", "a"), "quoted value");
  EXPECT_EQ(ini.Get("s", "b"), "\"only one");
  EXPECT_EQ(ini.Get("s", "c", "dflt"), "");     // present but empty is not the default
  EXPECT_EQ(ini.Get("s", "d", "", 5), "Fran");  // the two-byte c cedilla is not split
  EXPECT_EQ(ini.Get("s", "d", "", 6), "Fran\xC3\xA7");
  EXPECT_EQ(ini.Get("s", "missing", "abcdef", 3), "abc");
}

TEST(IniFile, BrokenLinesNeverMatchAndNothingCrashes) {
  IniFile ini;
  std::string text = "key=before any section\n[open section\nk=v\n=novalue\n;c=comment\nnoequals\n";
  text += std::string(1 << 20, 'x') + "=huge\n";      // a one-megabyte key
  text += std::string("[bin\0ary]\nz=\xff\xfe", 14);  // binary, no line end at the end
  ini.Parse(text);
  EXPECT_EQ(ini.Get("open section", "k"), "v");
  EXPECT_FALSE(ini.Has("open section", ""));
  EXPECT_FALSE(ini.Has("open section", ";c"));
  EXPECT_FALSE(ini.Has("", "key"));
  EXPECT_EQ(ini.Get(std::string("bin\0ary", 7), "z"), "\xff\xfe");
}

TEST(IniFile, SetKeepsEveryOtherLineAndRemoveTakesOnlyWhatItNames) {
  IniFile ini;
  ini.Parse("; my notes\n[Tessary]\nLang=English\n\n[Other]\nx=1\n");
  ini.Set("Tessary", "Lang", "Français");
  ini.Set("Tessary", "ShowAlways", "Y");
  ini.Set("MySql", "MySqlArguments", "a\nb");
  EXPECT_EQ(
      ini.Text(),
      "; my notes\n[Tessary]\nLang=Français\nShowAlways=Y\n\n[Other]\nx=1\n\n[MySql]\nMySqlArguments=a b\n");
  EXPECT_TRUE(ini.Remove("other", "X"));
  EXPECT_FALSE(ini.Remove("other", "X"));
  EXPECT_TRUE(ini.RemoveSection("MySql"));
  EXPECT_FALSE(ini.HasSection("MySql"));
  EXPECT_TRUE(ini.HasSection("Other"));
}

class IniFileOnDisk : public managertest::ManagerTest {};

TEST_F(IniFileOnDisk, SaveThenLoadGivesTheSameTextAndTooLargeFilesAreRefused) {
  const auto file = root / "a.ini";
  IniFile ini;
  ini.Set("Tessary", "Lang", "English");
  ASSERT_EQ(ini.Save(file), 0);
  IniFile back;
  ASSERT_TRUE(back.Load(file));
  EXPECT_EQ(back.Text(), ini.Text());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root), {}), 1);  // no temporary left

  std::string error;
  EXPECT_FALSE(back.Load(root / "missing.ini", &error));
  EXPECT_TRUE(back.empty());
  std::filesystem::resize_file(file, IniFile::kMaxFileBytes + 1);
  EXPECT_FALSE(back.Load(file, &error));
  EXPECT_NE(error.find("larger than"), std::string::npos);
  EXPECT_NE(ini.Save(root / "no-such-folder" / "a.ini"), 0);
}

}  // namespace
