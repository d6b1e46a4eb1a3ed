// A manager test's own world: a fresh install root (TESSARY_ROOT), key store
// and autostart folder (XDG_CONFIG_HOME), runtime folder (XDG_RUNTIME_DIR)
// and locale, all restored and removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "support/test_env.h"

namespace managertest {

class ManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base = testenv::MakeTempFolder("tessary");
    root = base / "root";
    config = base / "config";
    runtime = base / "run";
    std::filesystem::create_directories(root);
    std::filesystem::create_directories(config);
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    setEnv("TESSARY_ROOT", root.string());
    setEnv("XDG_CONFIG_HOME", config.string());
    setEnv("XDG_RUNTIME_DIR", runtime.string());
    setEnv("LANG", "en_US.UTF-8");
    setEnv("LC_ALL", "");
    setEnv("LC_MESSAGES", "");
    setEnv("TESSARY_TRACE", "");
  }
  void TearDown() override {
    for (const auto& [name, value] : saved) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
    std::error_code ec;
    std::filesystem::remove_all(base, ec);
  }
  void setEnv(const std::string& name, const std::string& value) {
    if (saved.find(name) == saved.end()) {
      const char* old = std::getenv(name.c_str());
      saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    ::setenv(name.c_str(), value.c_str(), 1);
  }
  std::string rootText() const { return root.string() + "/"; }

  std::filesystem::path base, root, config, runtime;
  std::map<std::string, std::optional<std::string>> saved;
};

}  // namespace managertest
