// The fixture of the upgrade tests: a small HTTP server on the loopback
// address, the upgrade site it serves and the transfer options of a test.
#pragma once

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
#include "manager/upgrade/upgrade.h"
#include "manager/upgrade/version_check.h"
#include "manager_env.h"
#include "morvane_version.h"
#include "support/http_test_server.h"
#include "support/test_env.h"

namespace upgradetest {

namespace fs = std::filesystem;
using tessary::FileOutcome;
using tessary::RefreshOutcome;
using tessary::UpgradeDialogModel;
using tessary::UpgradeMessage;
using tessary::UpgradeMode;
using testenv::HttpTestServer;
using Reply = HttpTestServer::Reply;

// SHA-1 of "new x", computed apart from the program.
inline constexpr const char* kNewX = "new x";
inline constexpr const char* kNewXHash = "c712c3d253238f20c24b505982d3aa5d234d906c";

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

}  // namespace upgradetest
