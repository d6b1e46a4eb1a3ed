#include "manager/config/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "manager/config/install_root.h"
#include "manager/platform/ini_file.h"
#include "manager/platform/key_store.h"
#include "manager/platform/system.h"
#include "manager_env.h"
#include "support/test_env.h"

namespace {

using managertest::ManagerTest;
using tessary::KeyStore;
using tessary::Settings;

class SettingsTest : public ManagerTest {
 protected:
  void writeIni(const std::string& text) { testenv::WriteFile(root / "Tessary.ini", text); }
  std::string readIni() const { return testenv::ReadFile(root / "Tessary.ini"); }
};

TEST_F(SettingsTest, WithoutIniOrImportEveryDefaultApplies) {
  Settings s;
  EXPECT_EQ(s.root, rootText());
  EXPECT_EQ(s.iniFile, rootText() + "Tessary.ini");
  EXPECT_EQ(s.logFile, rootText() + "Tessary.log");
  EXPECT_EQ(s.programName, "Tessary");
  EXPECT_TRUE(s.autoStartServers);
  EXPECT_FALSE(s.autoStartTessary);
  EXPECT_FALSE(s.autoReloadConf);
  EXPECT_TRUE(s.checkServerPorts);
  EXPECT_FALSE(s.checkVersion);
  EXPECT_FALSE(s.startAsServices);
  EXPECT_TRUE(s.showAlways);
  EXPECT_TRUE(s.expandPos);
  EXPECT_EQ(s.lang, "");
  EXPECT_EQ(s.mySqlArguments, "");
  EXPECT_FALSE(s.apacheSsl);
}

TEST_F(SettingsTest, AnIniWithOnlyAutoStartServersNTurnsEveryFlagOffAndTakesTheLocaleLanguage) {
  setEnv("LANG", "fr_FR.UTF-8");
  writeIni("[Tessary]\nAutoStartServers=N\n");
  Settings s;
  EXPECT_FALSE(s.autoStartServers);
  EXPECT_FALSE(s.autoReloadConf);
  EXPECT_FALSE(s.checkServerPorts);
  EXPECT_FALSE(s.checkVersion);
  EXPECT_FALSE(s.showAlways);
  EXPECT_FALSE(s.expandPos);
  EXPECT_EQ(s.lang, "Français");
}

TEST_F(SettingsTest, OnlyAnUpperCaseYAsFirstCharacterIsTrue) {
  writeIni(
      "[Tessary]\nAutoStartServers=Yes\nShowAlways=y\nExpandPos=N\nCheckVersion=YN\nAutoReloadConf= Y\n"
      "TessaryLogPath=/var/log/mine.log\nLang=Deutch\n[MySql]\nMySqlArguments=--skip-grant-tables\n");
  Settings s;
  EXPECT_TRUE(s.autoStartServers);
  EXPECT_FALSE(s.showAlways);
  EXPECT_FALSE(s.expandPos);
  EXPECT_TRUE(s.checkVersion);
  EXPECT_TRUE(s.autoReloadConf);  // blanks around a value are not part of it
  EXPECT_FALSE(s.autoRestart);    // absent: off
  EXPECT_EQ(s.logFile, "/var/log/mine.log");
  EXPECT_EQ(s.lang, "Deutch");
  EXPECT_EQ(s.mySqlArguments, "--skip-grant-tables");
}

TEST_F(SettingsTest, AnIniWithoutAutoStartServersIsTreatedAsAbsent) {
  writeIni("[Tessary]\nShowAlways=N\nCheckServerPorts=N\nLang=Deutch\n");
  KeyStore().SetDword(tessary::kConfigurationKey, "CheckVersion", 1);
  Settings s;
  EXPECT_TRUE(s.showAlways);
  EXPECT_TRUE(s.checkServerPorts);
  EXPECT_EQ(s.lang, "");
  EXPECT_TRUE(s.checkVersion);  // the import ran instead
}

TEST_F(SettingsTest, TheImportHappensOnceAndLaterLoadsReadOnlyTheIni) {
  const KeyStore store;
  store.SetDword(tessary::kConfigurationKey, "AutoStartServers", 0);
  store.SetDword(tessary::kConfigurationKey, "AutoReloadConf", 7);
  store.SetDword(tessary::kConfigurationKey, "StartAsServices", 1);
  store.SetString(tessary::kConfigurationKey, "MySqlArguments", std::string(150, 'a'));
  store.SetString(tessary::kConfigurationKey, "CheckVersion", "1");  // text, not a number: ignored
  {
    Settings s;
    EXPECT_FALSE(s.autoStartServers);
    EXPECT_TRUE(s.autoReloadConf);
    EXPECT_TRUE(s.startAsServices);
    EXPECT_FALSE(s.checkVersion);
    EXPECT_EQ(s.mySqlArguments, std::string(99, 'a'));
    EXPECT_EQ(s.Save(), 0);
    EXPECT_FALSE(store.KeyExists(tessary::kConfigurationKey));
  }
  EXPECT_EQ(readIni(),
            "[Tessary]\nAutoStartServers=N\nAutoStartTessary=N\nAutoReloadConf=Y\nAutoRestart="
            "N\nCheckServerPorts=Y\n"
            "CheckVersion=N\nStartAsServices=Y\nShowAlways=Y\nExpandPos=Y\nLang=\n");
  store.SetDword(tessary::kConfigurationKey, "AutoReloadConf", 0);
  Settings again;
  EXPECT_TRUE(again.autoReloadConf);  // from the ini, not the key
}

TEST_F(SettingsTest, SaveKeepsForeignLinesAndNeverWritesTheArgumentsOrTheLogPath) {
  writeIni(
      "; kept\n[Tessary]\nAutoStartServers=Y\nTessaryLogPath=/tmp/x.log\n[MySql]\nMySqlArguments=--abc\n");
  {
    Settings s;
    s.mySqlArguments = "--changed";
    s.logFile = "/elsewhere.log";
    s.lang = "English";
  }  // saved when destroyed
  const std::string ini = readIni();
  EXPECT_EQ(ini.rfind("; kept\n[Tessary]\nAutoStartServers=Y\nTessaryLogPath=/tmp/x.log\n", 0), 0u) << ini;
  EXPECT_NE(ini.find("MySqlArguments=--abc\n"), std::string::npos);
  EXPECT_NE(ini.find("Lang=English\n"), std::string::npos);
  EXPECT_EQ(ini.find("--changed"), std::string::npos);
}

TEST_F(SettingsTest, TheEditorIsKeptWithItsArgumentsAndItsKeyGoesWhenEmptied) {
  writeIni("[Tessary]\nAutoStartServers=Y\n");
  {
    Settings s;
    EXPECT_EQ(s.editor, "");
    s.editor = "kate --new \"x y\"";
  }
  EXPECT_EQ(Settings().editor, "kate --new \"x y\"");
  {
    Settings s;
    s.editor.clear();
  }
  EXPECT_EQ(readIni().find("Editor"), std::string::npos) << readIni();
}

TEST_F(SettingsTest, TheAutostartEntryHoldsTheQuotedProgramPathAndGoesWhenTurnedOff) {
  Settings s;
  s.autoStartTessary = true;
  ASSERT_EQ(s.Save(), 0);
  const auto entry = tessary::AutostartCommand("Tessary");
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(*entry, "\"" + tessary::ProgramPath() + "\"");
  EXPECT_TRUE(std::filesystem::exists(config / "autostart" / "Tessary.desktop"));
  s.autoStartTessary = false;
  ASSERT_EQ(s.Save(), 0);
  EXPECT_FALSE(tessary::AutostartCommand("Tessary").has_value());
  EXPECT_FALSE(std::filesystem::exists(config / "autostart" / "Tessary.desktop"));
}

TEST_F(SettingsTest, AnAutostartFolderThatCannotBeMadeFailsTheSaveAfterTheIniIsWritten) {
  testenv::WriteFile(config / "autostart", "a file where the folder should be");
  Settings s;
  s.autoStartTessary = true;
  EXPECT_NE(s.Save(), 0);
  EXPECT_NE(readIni().find("AutoStartTessary=Y"), std::string::npos);
}

TEST_F(SettingsTest, AnUnreadableIniGivesDefaultsWithAMessageAndIsNotReplaced) {
  writeIni("[Tessary]\nAutoStartServers=N\n");
  std::filesystem::resize_file(root / "Tessary.ini", tessary::IniFile::kMaxFileBytes + 10);
  {
    Settings s;
    EXPECT_TRUE(s.autoStartServers);
    EXPECT_NE(s.loadMessage, "");
    EXPECT_NE(s.Save(), 0);
  }
  EXPECT_EQ(std::filesystem::file_size(root / "Tessary.ini"), tessary::IniFile::kMaxFileBytes + 10);
}

TEST_F(SettingsTest, PathGainsTheServerFoldersOnce) {
  setEnv("PATH", "/usr/bin:/bin");
  { Settings s; }
  { Settings s; }
  EXPECT_EQ(std::string(std::getenv("PATH")), "/usr/bin:/bin:" + rootText() + "Apache:" + rootText() + "PHP");
  EXPECT_EQ(tessary::ExtendedPath("", "/r/"), "/r/Apache:/r/PHP");  // no empty entry
}

TEST(DefaultLanguage, FollowsThePrimaryLanguageOfTheLocale) {
  EXPECT_EQ(tessary::DefaultLanguageName("fr"), "Français");
  EXPECT_EQ(tessary::DefaultLanguageName("de"), "Deutch");
  EXPECT_EQ(tessary::DefaultLanguageName("nb"), "Norsk");
  EXPECT_EQ(tessary::DefaultLanguageName("lt"), "Lietuvio");
  EXPECT_EQ(tessary::DefaultLanguageName("ja"), "English");
}

class InstallRootTest : public ManagerTest {};

TEST_F(InstallRootTest, EnvironmentThenKeyStoreThenProgramFolder) {
  setEnv("TESSARY_ROOT", (base / "a" / ".." / "root").string());
  EXPECT_EQ(tessary::InstallRoot(), rootText());  // normalised, one slash at the end
  setEnv("TESSARY_ROOT", "");
  ASSERT_EQ(KeyStore().SetString(tessary::kRootKey, "path", "/srv/stack"), 0);
  EXPECT_EQ(tessary::InstallRoot(), "/srv/stack/");
  ASSERT_EQ(KeyStore().SetDword(tessary::kRootKey, "path", 5), 0);  // not text: ignored
  EXPECT_EQ(tessary::InstallRoot(), tessary::ProgramFolder());
  EXPECT_EQ(tessary::ProgramFolder().back(), '/');
  // A packaged program keeps each user's stack in the user's data folder.
  setEnv("XDG_DATA_HOME", (base / "data").string());
  EXPECT_EQ(tessary::RootBesideProgram("/usr/bin/"), (base / "data" / "tessary").string() + "/");
  setEnv("XDG_DATA_HOME", "");
  setEnv("HOME", base.string());
  EXPECT_EQ(tessary::RootBesideProgram("/usr/local/bin/"), (base / ".local/share/tessary").string() + "/");
  EXPECT_EQ(tessary::RootBesideProgram("/home/ann/stack/"), "/home/ann/stack/");
}

}  // namespace
