// The web server tests' fixture: a temporary installation with a free port,
// its own supervision registry and a recorder of the notifications.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "manager/config/conf_files.h"
#include "manager/servers/apache.h"
#include "stack_fixture.h"

namespace apachetest {

using namespace stacktest;

// Gives the tests the pid field, to play a server whose signal cannot be sent.
class TestApache : public tessary::CApache {
 public:
  using CApache::CApache;
  void SetPid(pid_t p) { pi.pid = p; }
};

inline pid_t DeadPid() {
  pid_t pid = 0;
  tessary::platform::Spawn("/bin/true", {}, pid);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return pid;
}

class ApacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = MakeRoot("web");
    port = FreePort();
  }
  void TearDown() override {
    KillLeftovers(root);
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  // Writes the template and the live file generated from it.
  void WriteConf(const std::string& text) {
    testenv::WriteFile(root + "conf_files/httpd.conf", text);
    ASSERT_EQ(tessary::GenerateConfFile(tessary::RegenerateSubstitution(root), root + "conf_files/httpd.conf",
                                        root + "Apache/conf/httpd.conf", '#'),
              0);
  }
  // Puts a launcher script in the server's place; it runs the real server
  // after its own first lines.
  void WriteLauncher(const std::string& before) {
    fs::remove(root + "Apache/apache");
    testenv::WriteFile(root + "Apache/apache",
                       "#!/bin/bash\n" + before + "exec -a \"$0\" /usr/sbin/apache2 \"$@\"\n");
    fs::permissions(root + "Apache/apache",
                    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  }
  bool WaitState(tessary::CApache& web, tessary::ServerState s, int timeoutMs = 8000) {
    return TickUntil(
        registry, [&] { return web.State() == s; }, timeoutMs);
  }

  std::string root;
  int port = 0;
  tessary::ServerRegistry registry;
  Recorder recorder;
};

}  // namespace apachetest
