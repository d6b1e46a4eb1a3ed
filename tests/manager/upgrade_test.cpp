// The upgrade against a small HTTP server on the loopback address: the
// lists, candidates and grey entries, OK and Cancel, the hash check, the
// set-aside file, full disks and hostile names.
#include "upgrade_fixture.h"

namespace {

using namespace upgradetest;

TEST_F(UpgradeTest, ANewerVersionWithAHashIsACandidateAndOneWithoutIsGrey) {
  local("x;3\ny;2\n");
  upgradeList("x;4;0;1000\ny;5;0;20\n");
  hashList(std::string("x;") + kNewXHash + "\n");
  RefreshOutcome r;
  auto m = open(UpgradeMode::Manual, &r);
  EXPECT_FALSE(r.end);
  EXPECT_TRUE(r.messages.empty());
  ASSERT_EQ(m->entries().size(), 2u);
  const auto& x = m->entries()[0];
  EXPECT_EQ(x.name, "x");
  EXPECT_EQ(x.current, 3);
  EXPECT_EQ(x.newVersion, 4);
  EXPECT_EQ(x.size, 1000);
  EXPECT_EQ(x.hash, kNewXHash);
  EXPECT_TRUE(x.checked);
  EXPECT_TRUE(x.Candidate());
  const auto& y = m->entries()[1];
  EXPECT_FALSE(y.Candidate());
  EXPECT_FALSE(y.checked);
  EXPECT_FALSE(m->SetChecked(1, true));  // a grey entry cannot be checked
  EXPECT_TRUE(m->SetChecked(0, false));
  EXPECT_TRUE(m->SetChecked(0, true));
  EXPECT_EQ(m->status(), "");
  EXPECT_TRUE(m->okEnabled());
  // Every request says who asks and wants a fresh copy.
  for (const auto& req : server.requests()) {
    EXPECT_EQ(req.userAgent, "Tessary Manager");
    EXPECT_NE(req.headers.find("no-cache"), std::string::npos);
  }
}

TEST_F(UpgradeTest, CancelWritesAnEntryAbsentFromTheLocalListWithZero) {
  local("x;3\r\nbroken line\ny;2\n");
  upgradeList("x;4;0;1000\nnew/file.txt;2;0;5\n");
  hashList(std::string("x;") + kNewXHash + "\n");
  auto m = open(UpgradeMode::Manual);
  ASSERT_EQ(m->entries().size(), 3u);
  EXPECT_EQ(UpgradeDialogModel::VersionColumn(m->entries()[2].current), "  -  ");
  EXPECT_EQ(UpgradeDialogModel::VersionColumn(m->entries()[2].newVersion), "2");
  EXPECT_EQ(m->Close(), 0);
  EXPECT_EQ(localList(), "x;3\ny;2\nnew/file.txt;0\n");
  EXPECT_EQ(downloads(), 0);
}

TEST_F(UpgradeTest, ALocalListThatCannotBeReadIsNeverReplaced) {
  const std::string huge = "x;3\n" + std::string(tessary::kMaxListBytes, 'h');
  local(huge);
  upgradeList("x;4;0;5\nz;1\n");
  hashList(std::string("z;") + kNewXHash + "\n");
  auto m = open(UpgradeMode::Manual);
  EXPECT_EQ(m->entries().size(), 2u);
  EXPECT_EQ(m->Close(), 0);
  EXPECT_EQ(localList(), huge);
  // Odd bytes in a readable one are only odd lines.
  local(std::string("x;3\n\x01\x02;9\n", 9));
  m = open(UpgradeMode::Manual);
  ASSERT_EQ(m->entries().size(), 3u);
  EXPECT_EQ(m->entries()[0].current, 3);
  EXPECT_TRUE(m->entries()[1].Refused());
}

TEST_F(UpgradeTest, OkInstallsAFileWhoseHashDiffersOnlyInLetterCase) {
  local("dir/a b&c.so;3\n");
  fs::create_directories(root / "dir");
  testenv::WriteFile(root / "dir/a b&c.so", "old x");
  upgradeList("dir/a b&c.so;4;0;5\n");
  std::string upper = kNewXHash;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  hashList("dir/a b&c.so;" + upper + "\n");
  file(kNewX);
  site.language = "Français";
  auto m = open(UpgradeMode::Manual);
  ASSERT_EQ(m->PendingUpgrades().size(), 1u);
  const std::vector<UpgradeMessage> messages = m->Upgrade(fast);
  EXPECT_TRUE(messages.empty()) << messages.front().text;
  EXPECT_EQ(testenv::ReadFile(root / "dir/a b&c.so"), kNewX);
  EXPECT_EQ(m->status(), "Updating \"dir/a b&c.so\"...");
  EXPECT_EQ(m->Close(), 0);
  EXPECT_EQ(localList(), "dir/a b&c.so;4\n");
  // The name and the language travel escaped.
  bool asked = false;
  for (const auto& r : server.requests())
    if (r.path == "/up/upgrade/get.php") {
      EXPECT_EQ(r.target, "/up/upgrade/get.php?filename=dir%2Fa%20b%26c.so&langue=Fran%C3%A7ais");
      asked = true;
    }
  EXPECT_TRUE(asked);
  EXPECT_EQ(std::distance(fs::directory_iterator(root / "dir"), fs::directory_iterator()),
            1);  // nothing beside it
}

TEST_F(UpgradeTest, AWrongHashIsNeverInstalled) {
  local("x;3\n");
  testenv::WriteFile(root / "x", "old x");
  upgradeList("x;4;1;5\n");
  const std::string expected(40, 'a');
  hashList("x;" + expected + "\n");
  file(kNewX);
  auto m = open(UpgradeMode::Manual);
  const std::vector<UpgradeMessage> messages = m->Upgrade(fast);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].error);
  EXPECT_EQ(messages[0].text, std::string("Bad Hash for  \"x\"\n") + kNewXHash + "\nshould be\n" + expected);
  EXPECT_EQ(testenv::ReadFile(root / "x"), "old x");
  EXPECT_EQ(rootNames(), std::vector<std::string>{"x"});
  EXPECT_EQ(m->Close(), 0);
  EXPECT_EQ(localList(), "x;3\n");
}

TEST_F(UpgradeTest, AFileInUseIsSetAsideReplacedOrRestored) {
  local("x;3\n");
  testenv::WriteFile(root / "x", "old x");
  upgradeList("x;4;1;5\n");
  hashList(std::string("x;") + kNewXHash + "\n");
  file(kNewX);
  {
    // The set-aside name is taken by something that cannot be removed: the
    // installed file stays as it was and the failure is shown.
    fs::create_directories(root / "UpFile.tmp" / "busy");
    auto m = open(UpgradeMode::Manual);
    const std::vector<UpgradeMessage> messages = m->Upgrade(fast);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text.rfind("Error upgrading \"x\" : ", 0), 0u) << messages[0].text;
    EXPECT_EQ(testenv::ReadFile(root / "x"), "old x");
    EXPECT_EQ(rootNames(), (std::vector<std::string>{"UpFile.tmp", "x"}));
    EXPECT_EQ(m->Close(), 0);
    EXPECT_EQ(localList(), "x;3\n");
    fs::remove_all(root / "UpFile.tmp");
  }
  auto m = open(UpgradeMode::Manual);
  const std::vector<UpgradeMessage> messages = m->Upgrade(fast);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_FALSE(messages[0].error);
  EXPECT_EQ(messages[0].text, "Relaunch Tessary to finish the upgrade.");
  EXPECT_EQ(testenv::ReadFile(root / "x"), kNewX);
  EXPECT_EQ(rootNames(), std::vector<std::string>{"x"});
}

// Files may grow to 1000 bytes only, as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit l = m_old;
    l.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &l);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit m_old{};
  void (*m_oldHandler)(int) = nullptr;
};

TEST_F(UpgradeTest, AFullDiskLeavesEveryInstalledFileAsItWas) {
  testenv::WriteFile(root / "x", "old x");
  const std::string big(4000, 'n');
  testenv::WriteFile(base / "download", big);
  server.Set("/big", big);
  {
    const FileSizeLimit full(1000);
    for (const bool replace : {false, true}) {
      const int err = tessary::InstallDownloadedFile(rootText(), "x", replace, (base / "download").string());
      EXPECT_EQ(err, EFBIG);
      EXPECT_EQ(testenv::ReadFile(root / "x"), "old x");
      EXPECT_EQ(rootNames(), std::vector<std::string>{"x"});
    }
    // The download itself fails the same way and leaves no temporary file.
    tessary::TransferOptions o = fast;
    o.tempFolder = (base / "tmp").string();
    fs::create_directories(o.tempFolder);
    std::string temp;
    EXPECT_EQ(tessary::DownloadFile(server.base() + "big", temp, true, o), EFBIG);
    EXPECT_EQ(temp, "");
    EXPECT_TRUE(fs::is_empty(o.tempFolder));
  }
  EXPECT_EQ(tessary::InstallDownloadedFile(rootText(), "x", true, (base / "download").string()), 0);
  EXPECT_EQ(testenv::ReadFile(root / "x"), big);
  EXPECT_EQ(rootNames(), std::vector<std::string>{"x"});
}

TEST_F(UpgradeTest, HostileNamesAreGreyAndNeverDownloaded) {
  for (const char* name : {"../evil", "/etc/evil", "a\\b", "ok/../../evil", "..", "", "a\tb"})
    EXPECT_FALSE(tessary::IsSafeFileName(name)) << name;
  for (const char* name : {"x", "Apache/bin/httpd", "a..b", ".hidden/..x"})
    EXPECT_TRUE(tessary::IsSafeFileName(name)) << name;
  local("../local;1\n");
  upgradeList("../local;2\n../evil;2;0;1\n/etc/evil;2\na\\b;2\nok/../../evil;2\n");
  std::string hashes;
  for (const char* name : {"../local", "../evil", "/etc/evil", "a\\b", "ok/../../evil"})
    hashes += std::string(name) + ";" + kNewXHash + "\n";
  hashList(hashes);
  file(kNewX);
  RefreshOutcome r;
  auto m = open(UpgradeMode::Manual, &r);
  // Nothing to do: the dialog ends.
  EXPECT_TRUE(r.end);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].text, "All files are already up to date");
  // Even asked directly, the transfer refuses such a name.
  tessary::FileJob job;
  job.root = rootText();
  job.name = "../evil";
  job.hash = kNewXHash;
  job.address = server.base() + "up/upgrade/get.php";
  const FileOutcome o = tessary::UpgradeFile(job, fast);
  EXPECT_EQ(o.kind, FileOutcome::Kind::InstallFailed);
  EXPECT_EQ(downloads(), 0);
  EXPECT_FALSE(fs::exists(base / "evil"));
}

TEST_F(UpgradeTest, HostileEntriesStayGreyBesideACandidate) {
  local("x;3\n");
  upgradeList("x;4;0;5\n../evil;2;0;1\n");
  hashList(std::string("x;") + kNewXHash + "\n../evil;" + kNewXHash + "\n");
  file(kNewX);
  auto m = open(UpgradeMode::Manual);
  ASSERT_EQ(m->entries().size(), 2u);
  EXPECT_TRUE(m->entries()[1].Refused());
  EXPECT_FALSE(m->entries()[1].checked);
  EXPECT_FALSE(m->SetChecked(1, true));
  EXPECT_EQ(m->PendingUpgrades(), std::vector<std::size_t>{0});
  EXPECT_TRUE(m->Upgrade(fast).empty());
  EXPECT_EQ(downloads(), 1);
}

TEST_F(UpgradeTest, ALinkOutOfTheRootAndBodiesBeyondTheListedSizeAreRefused) {
  const fs::path elsewhere = base / "elsewhere";
  fs::create_directories(elsewhere);
  fs::create_directories(root / "www");
  fs::create_directory_symlink(elsewhere, root / "www/sym");
  local("www/sym/x;1\nbig;1\nhuge;1\n");
  // The body is 5 bytes: "big" lists 3, "huge" an absurd size.
  upgradeList("www/sym/x;2;0;5\nbig;2;0;3\nhuge;2;0;99999999999\n");
  const std::string hash(kNewXHash);
  hashList("www/sym/x;" + hash + "\nbig;" + hash + "\nhuge;" + hash + "\n");
  file(kNewX);
  auto m = open(UpgradeMode::Manual);
  ASSERT_EQ(m->PendingUpgrades().size(), 3u);
  const std::vector<UpgradeMessage> messages = m->Upgrade(fast);
  ASSERT_EQ(messages.size(), 3u);
  for (const auto& message : messages) EXPECT_TRUE(message.error) << message.text;
  EXPECT_TRUE(fs::is_empty(elsewhere));  // nothing written through the link
  EXPECT_FALSE(fs::exists(root / "big"));
  EXPECT_FALSE(fs::exists(root / "huge"));
  EXPECT_EQ(downloads(), 2);  // the absurd size is refused before any transfer
}

}  // namespace
