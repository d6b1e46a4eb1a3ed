// The upgrade against a small HTTP server on the loopback address: the
// lists, candidates and grey entries, OK and Cancel, the hash check, the
// set-aside file, full disks, hostile names, the failures of both modes,
// the transfers themselves and the version check.
#include "manager/upgrade/upgrade.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <string>

#include "manager/config/settings.h"
#include "manager/platform/system.h"
#include "manager/upgrade/file_version.h"
#include "manager/upgrade/version_check.h"
#include "manager_env.h"
#include "morvane_version.h"
#include "support/http_test_server.h"
#include "support/test_env.h"

namespace {

namespace fs = std::filesystem;
using tessary::FileOutcome;
using tessary::RefreshOutcome;
using tessary::UpgradeDialogModel;
using tessary::UpgradeMessage;
using tessary::UpgradeMode;
using testenv::HttpTestServer;
using Reply = HttpTestServer::Reply;

// SHA-1 of "new x", computed apart from the program.
constexpr const char* kNewX = "new x";
constexpr const char* kNewXHash = "c712c3d253238f20c24b505982d3aa5d234d906c";

class UpgradeTest : public managertest::ManagerTest {
 protected:
  void SetUp() override {
    ManagerTest::SetUp();
    ASSERT_NE(server.port(), 0);
    site.root = rootText();
    site.upgradeServer = server.base() + "up/";
    site.hashServer = server.base() + "hs/";
    site.language = "English";
    fast.stallSeconds = 1;
  }
  void local(const std::string& text) { testenv::WriteFile(root / "upgrade.dat", text); }
  std::string localList() { return testenv::ReadFile(root / "upgrade.dat"); }
  void upgradeList(const std::string& text) { server.Set("/up/upgrade/1801.dat", text); }
  void hashList(const std::string& text) { server.Set("/hs/check/hash.dat", text); }
  void file(const std::string& body) { server.Set("/up/upgrade/get.php", body); }
  int downloads() {
    int n = 0;
    for (const auto& r : server.requests()) n += r.path == "/up/upgrade/get.php" ? 1 : 0;
    return n;
  }
  // The names in the root besides upgrade.dat (no file left behind).
  std::vector<std::string> rootNames() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(root))
      if (e.path().filename() != "upgrade.dat") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  // A model opened and refreshed.
  std::unique_ptr<UpgradeDialogModel> open(UpgradeMode mode, RefreshOutcome* outcome = nullptr) {
    auto m = std::make_unique<UpgradeDialogModel>(site, texts, mode);
    m->Open();
    const RefreshOutcome r = m->Refresh(fast);
    if (outcome != nullptr) *outcome = r;
    return m;
  }

  HttpTestServer server;
  tessary::UpgradeSite site;
  tessary::LanguageList texts{tessary::TextVariant::English};
  tessary::TransferOptions fast;
};

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

// Each way a list can fail, with the text manual mode shows for it.
struct Failure {
  const char* what;
  void (*arrange)(HttpTestServer&);
  const char* text;
};

void Good(HttpTestServer& s) {
  s.Set("/up/upgrade/1801.dat", "x;3;0;1\n");
  s.Set("/hs/check/hash.dat", std::string("x;") + kNewXHash + "\n");
}

const Failure kFailures[] = {
    {"upgrade list missing",
     [](HttpTestServer& s) {
       Good(s);
       s.Remove("/up/upgrade/1801.dat");
     },
     "ERROR : Can't retreive upgrade data from Web"},
    {"hash list missing",
     [](HttpTestServer& s) {
       Good(s);
       s.Remove("/hs/check/hash.dat");
     },
     "ERROR : Can't retreive hash data from Web"},
    {"hash list redirected",
     [](HttpTestServer& s) {
       Good(s);
       s.Set("/hs/check/hash.dat", Reply{302, "", Reply::Kind::Normal, "/elsewhere"});
       s.Set("/elsewhere", std::string("x;") + kNewXHash + "\n");
     },
     "ERROR : Can't retreive hash data from Web"},
    {"upgrade list stalls",
     [](HttpTestServer& s) {
       Good(s);
       s.Set("/up/upgrade/1801.dat", Reply{200, "x;4", Reply::Kind::Stall, {}});
     },
     "ERROR : Can't retreive upgrade data from Web"},
    {"hash list cut short",
     [](HttpTestServer& s) {
       Good(s);
       s.Set("/hs/check/hash.dat",
             Reply{200, std::string("x;") + kNewXHash + "\n", Reply::Kind::Truncate, {}});
     },
     "ERROR : Can't retreive hash data from Web"},
    {"hash list connection closed",
     [](HttpTestServer& s) {
       Good(s);
       s.Set("/hs/check/hash.dat", Reply{200, "", Reply::Kind::Close, {}});
     },
     "ERROR : Can't retreive hash data from Web"},
    {"upgrade list binary",
     [](HttpTestServer& s) {
       Good(s);
       s.Set("/up/upgrade/1801.dat", std::string("x;4\0\1\2", 6));
     },
     "ERROR : Can't retreive upgrade data from Web\nthe list holds binary data (byte 0 at offset 3)"},
    {"hash list huge",
     [](HttpTestServer& s) {
       Good(s);
       s.Set("/hs/check/hash.dat", std::string(tessary::kMaxListBytes + 10, 'h'));
     },
     "ERROR : Can't retreive hash data from Web\nthe list is larger than 1048576 bytes"},
};

TEST_F(UpgradeTest, EveryNetworkFailureIsSilentAtStartUpAndShownWhenAsked) {
  local("x;3\n");
  for (const Failure& f : kFailures) {
    for (const UpgradeMode mode : {UpgradeMode::StartUp, UpgradeMode::Manual}) {
      SCOPED_TRACE(std::string(f.what) + (mode == UpgradeMode::Manual ? " (manual)" : " (start-up)"));
      f.arrange(server);
      RefreshOutcome r;
      auto m = open(mode, &r);
      EXPECT_TRUE(r.end);
      EXPECT_FALSE(m->okEnabled());
      if (mode == UpgradeMode::StartUp) {
        EXPECT_TRUE(r.messages.empty());
      } else {
        ASSERT_EQ(r.messages.size(), 1u);
        EXPECT_TRUE(r.messages[0].error);
        EXPECT_EQ(r.messages[0].text, f.text);
      }
      // An ended dialog leaves the local list alone.
      EXPECT_EQ(m->Close(), 0);
      EXPECT_EQ(localList(), "x;3\n");
    }
  }
  // No server at all.
  site.upgradeServer = site.hashServer = "http://127.0.0.1:1/";
  RefreshOutcome r;
  open(UpgradeMode::StartUp, &r);
  EXPECT_TRUE(r.end);
  EXPECT_TRUE(r.messages.empty());
  open(UpgradeMode::Manual, &r);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].text, "ERROR : Can't retreive hash data from Web");
  // Up to date: said only when asked.
  Good(server);
  open(UpgradeMode::StartUp, &r);
  EXPECT_TRUE(r.messages.empty());
}

TEST_F(UpgradeTest, AFailedDownloadOfAFileIsShownAndTheNextFileStillComes) {
  local("a;1\nb;1\n");
  upgradeList("a;2\nb;2\n");
  hashList(std::string("a;") + kNewXHash + "\nb;" + kNewXHash + "\n");
  file(kNewX);
  auto m = open(UpgradeMode::Manual);
  server.Set("/up/upgrade/get.php", Reply{404, "", Reply::Kind::Normal, {}});
  std::vector<UpgradeMessage> messages = m->Upgrade(fast);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, "Error upgrading \"a\" : 404 !");
  EXPECT_EQ(messages[1].text, "Error upgrading \"b\" : 404 !");
  EXPECT_EQ(rootNames(), std::vector<std::string>{});
}

TEST_F(UpgradeTest, TransfersFollowRedirectsOnlyWhenAskedAndEndOnStallsOrCancel) {
  const std::string tmp = (base / "tmp").string();
  fs::create_directories(tmp);
  tessary::TransferOptions o = fast;
  o.tempFolder = tmp;
  server.Set("/there", "body");
  server.Set("/moved", Reply{302, "", Reply::Kind::Normal, "/there"});
  std::string temp;
  EXPECT_EQ(tessary::DownloadFile(server.base() + "moved", temp, false, o), 302);
  EXPECT_EQ(temp, "");
  ASSERT_EQ(tessary::DownloadFile(server.base() + "moved", temp, true, o), 0);
  EXPECT_EQ(fs::path(temp).parent_path(), fs::path(tmp));
  EXPECT_EQ(fs::path(temp).filename().string().rfind("Tessary", 0), 0u);
  EXPECT_EQ(testenv::ReadFile(temp), "body");
  fs::remove(temp);
  EXPECT_EQ(tessary::DownloadFile(server.base() + "nothing", temp, true, o), 404);

  server.Set("/stall", Reply{200, "part", Reply::Kind::Stall, {}});
  EXPECT_GT(tessary::DownloadFile(server.base() + "stall", temp, true, o), tessary::kTransferErrorBase);
  std::atomic<bool> cancel{true};
  o.cancel = &cancel;
  o.stallSeconds = 30;
  EXPECT_EQ(tessary::DownloadFile(server.base() + "stall", temp, true, o), tessary::kTransferCancelled);
  o.cancel = nullptr;
  o.stallSeconds = 1;
  // An https address speaks TLS and gets no answer from a plain server.
  std::string https = server.base();
  https.replace(0, 4, "https");
  EXPECT_GT(tessary::DownloadFile(https + "there", temp, true, o), tessary::kTransferErrorBase);
  EXPECT_TRUE(fs::is_empty(tmp));
  EXPECT_EQ(tessary::UrlEscape("a b/é&=~._-Z9"), "a%20b%2F%C3%A9%26%3D~._-Z9");
}

TEST_F(UpgradeTest, HttpsVerifiesTheServerAndNeverFallsBackToPlainHttp) {
  HttpTestServer tls(true);
  ASSERT_NE(tls.port(), 0);
  ASSERT_EQ(tls.base().rfind("https://", 0), 0u);
  tls.Set("/there", "secret");
  server.Set("/there", "plain");
  tls.Set("/down", Reply{302, "", Reply::Kind::Normal, server.base() + "there"});
  tessary::TransferOptions o = fast;
  o.tempFolder = (base / "tmp").string();
  fs::create_directories(o.tempFolder);
  std::string temp;
  // A certificate nobody vouches for fails the transfer.
  EXPECT_EQ(tessary::DownloadFile(tls.base() + "there", temp, true, o),
            tessary::kTransferErrorBase + 60);  // the peer's certificate was refused
  o.caFile = tls.certificateFile();
  ASSERT_EQ(tessary::DownloadFile(tls.base() + "there", temp, true, o), 0);
  EXPECT_EQ(testenv::ReadFile(temp), "secret");
  fs::remove(temp);
  EXPECT_GT(tessary::DownloadFile(tls.base() + "down", temp, true, o), tessary::kTransferErrorBase);
  EXPECT_TRUE(server.requests().empty());
  EXPECT_TRUE(fs::is_empty(o.tempFolder));
}

TEST_F(UpgradeTest, ListsSkipWhatIsNotTheirs) {
  auto entries = tessary::ParseLocalList("a;1\r\nno separator\n" + std::string(149, 'l') + ";1\nb;x7\nc;-2");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].current, 0);
  EXPECT_EQ(entries[2].current, -2);
  tessary::MergeUpgradeList(
      entries, "a;2\nd\ne;3;1\n;4\nf;99999999999;0;12345678901\n" + std::string(99, 'u') + ";1\n");
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].newVersion, 2);
  EXPECT_EQ(entries[3].name, "e");
  EXPECT_EQ(entries[3].replace, 1);
  EXPECT_EQ(entries[3].size, 0);
  EXPECT_EQ(entries[4].newVersion, 2147483647);
  EXPECT_EQ(entries[4].size, 12345678901);
  tessary::MergeHashList(entries, "a;" + std::string(39, '1') + "\ne;" + std::string(39, 'z') + "g\n" + "e;" +
                                      std::string(40, '2') + "\ne;" + std::string(40, 'F') + "\n");
  EXPECT_EQ(entries[0].hash, "");
  EXPECT_EQ(entries[3].hash, std::string(40, 'f'));  // a later line of a name replaces an earlier one
  EXPECT_EQ(tessary::ListProblem("a;1\tb\r\n"), "");
  EXPECT_NE(tessary::ListProblem(std::string("a\x1b")), "");
}

TEST_F(UpgradeTest, Sha1OfAFileIsFortyLowerCaseDigits) {
  std::string text;
  testenv::WriteFile(base / "abc", "abc");
  ASSERT_TRUE(tessary::FileSha1Text((base / "abc").string(), text));
  EXPECT_EQ(text, "a9993e364706816aba3e25717850c26c9cd0d89d");
  testenv::WriteFile(base / "empty", "");
  ASSERT_TRUE(tessary::FileSha1Text((base / "empty").string(), text));
  EXPECT_EQ(text, "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  testenv::WriteFile(base / "million", std::string(1000000, 'a'));  // many blocks, the last one short
  ASSERT_TRUE(tessary::FileSha1Text((base / "million").string(), text));
  EXPECT_EQ(text, "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
  testenv::WriteFile(base / "x", kNewX);
  ASSERT_TRUE(tessary::FileSha1Text((base / "x").string(), text));
  EXPECT_EQ(text, kNewXHash);
  EXPECT_FALSE(tessary::FileSha1Text((base / "missing").string(), text));
  EXPECT_EQ(text, "");
}

TEST_F(UpgradeTest, TheVersionCheckComparesTheVersionAsText) {
  tessary::FileVersion v;
  ASSERT_TRUE(tessary::GetFileVersion(tessary::ProgramPath(), v));
  EXPECT_EQ(v, tessary::ProgramVersion());
  EXPECT_FALSE(tessary::GetFileVersion((base / "abc").string(), v));
  const std::string mine = tessary::VersionText(tessary::ProgramVersion());
  EXPECT_EQ(mine, MORVANE_VERSION);  // the version of the project

  server.Set("/checktessary.php3", "TessaryVersion=" + mine + " \nNothing new\n");
  std::string version, news;
  ASSERT_TRUE(tessary::QueryLatestVersion(server.base(), tessary::ProgramPath(), version, news, fast));
  EXPECT_EQ(version, mine);
  EXPECT_EQ(news, "Nothing new\n");
  EXPECT_EQ(server.requests().back().target, "/checktessary.php3?v=" + mine);
  EXPECT_EQ(server.requests().back().userAgent, "Tessary Manager");
  EXPECT_FALSE(tessary::NewVersionQuestion(mine, version, news, texts));
  EXPECT_FALSE(tessary::NewVersionQuestion(mine, "", news, texts));
  for (const char* other : {"1.0.0.1", "0.9.0.0", "01.0.0.0", "1.0.0.0b"}) {
    const auto q = tessary::NewVersionQuestion(mine, other, "Faster", texts);
    ASSERT_TRUE(q) << other;
    std::string expected = "A new version (";
    expected.append(other).append(") is available. Go to the Tessary web ?\nv ").append(other);
    EXPECT_EQ(*q, expected + ":\nFaster");
  }
  // Only the first 1024 bytes are read; the news is at most 99 characters.
  server.Set("/checktessary.php3", "TessaryVersion=2.0.0.0\n" + std::string(5000, 'n'));
  ASSERT_TRUE(tessary::QueryLatestVersion(server.base(), tessary::ProgramPath(), version, news, fast));
  EXPECT_EQ(version, "2.0.0.0");
  EXPECT_EQ(news, std::string(99, 'n'));
  // A page without the key, a key not at the start, a failed query.
  server.Set("/checktessary.php3", "Maintenance\n");
  EXPECT_FALSE(tessary::QueryLatestVersion(server.base(), tessary::ProgramPath(), version, news, fast));
  server.Set("/checktessary.php3", "News\nTessaryVersion=3");
  ASSERT_TRUE(tessary::QueryLatestVersion(server.base(), tessary::ProgramPath(), version, news, fast));
  EXPECT_EQ(version, "");
  server.Set("/checktessary.php3", Reply{404, "TessaryVersion=9.9.9.9", Reply::Kind::Normal, {}});
  EXPECT_FALSE(tessary::QueryLatestVersion(server.base(), tessary::ProgramPath(), version, news, fast));
  EXPECT_FALSE(
      tessary::QueryLatestVersion("http://127.0.0.1:1/", tessary::ProgramPath(), version, news, fast));
}

TEST_F(UpgradeTest, ServerAddressesComeFromTheSettingsAndSurviveASave) {
  {
    const tessary::Settings s(rootText());
    EXPECT_EQ(s.upgradeServer, tessary::Settings::kDefaultUpgradeServer);
    EXPECT_EQ(s.hashServer, tessary::Settings::kDefaultHashServer);
  }
  testenv::WriteFile(root / "Tessary.ini",
                     "[Servers]\nUpgradeServer=http://127.0.0.1:8/up\nHashServer=https://mirror.example/\n");
  tessary::Settings s(rootText());
  EXPECT_EQ(s.upgradeServer, "http://127.0.0.1:8/up/");
  EXPECT_EQ(s.hashServer, "https://mirror.example/");
  EXPECT_EQ(s.versionServer, tessary::Settings::kDefaultVersionServer);
  EXPECT_EQ(s.homePage, tessary::Settings::kDefaultHomePage);
  s.Save();
  EXPECT_NE(testenv::ReadFile(root / "Tessary.ini").find("UpgradeServer=http://127.0.0.1:8/up"),
            std::string::npos);
}

}  // namespace
