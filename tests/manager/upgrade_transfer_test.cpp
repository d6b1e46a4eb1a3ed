// The upgrade's transfers against a small HTTP server on the loopback
// address: the failures of both modes, redirects, stalls, cancel, https,
// the lists' own lines and the version check.
#include "upgrade_fixture.h"

namespace {

using namespace upgradetest;

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
     "ERROR : Can't retrieve upgrade data from Web"},
    {"hash list missing",
     [](HttpTestServer& s) {
       Good(s);
       s.Remove("/hs/check/hash.dat");
     },
     "ERROR : Can't retrieve hash data from Web"},
    {"hash list redirected",
     [](HttpTestServer& s) {
       Good(s);
       s.Set("/hs/check/hash.dat", Reply{302, "", Reply::Kind::Normal, "/elsewhere"});
       s.Set("/elsewhere", std::string("x;") + kNewXHash + "\n");
     },
     "ERROR : Can't retrieve hash data from Web"},
    {"upgrade list stalls",
     [](HttpTestServer& s) {
       Good(s);
       s.Set("/up/upgrade/1801.dat", Reply{200, "x;4", Reply::Kind::Stall, {}});
     },
     "ERROR : Can't retrieve upgrade data from Web"},
    {"hash list cut short",
     [](HttpTestServer& s) {
       Good(s);
       s.Set("/hs/check/hash.dat",
             Reply{200, std::string("x;") + kNewXHash + "\n", Reply::Kind::Truncate, {}});
     },
     "ERROR : Can't retrieve hash data from Web"},
    {"hash list connection closed",
     [](HttpTestServer& s) {
       Good(s);
       s.Set("/hs/check/hash.dat", Reply{200, "", Reply::Kind::Close, {}});
     },
     "ERROR : Can't retrieve hash data from Web"},
    {"upgrade list binary",
     [](HttpTestServer& s) {
       Good(s);
       s.Set("/up/upgrade/1801.dat", std::string("x;4\0\1\2", 6));
     },
     "ERROR : Can't retrieve upgrade data from Web\nthe list holds binary data (byte 0 at offset 3)"},
    {"hash list huge",
     [](HttpTestServer& s) {
       Good(s);
       s.Set("/hs/check/hash.dat", std::string(tessary::kMaxListBytes + 10, 'h'));
     },
     "ERROR : Can't retrieve hash data from Web\nthe list is larger than 1048576 bytes"},
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
  EXPECT_EQ(r.messages[0].text, "ERROR : Can't retrieve hash data from Web");
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
