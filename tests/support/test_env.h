// Shared tools of the tests: a fresh program folder per test and the
// location of the external test data.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace testenv {

// Makes a fresh empty folder under the system's temporary folder.
std::filesystem::path MakeTempFolder(const std::string& tag);

// The external test data folder (bitmap suite, plates), or nothing. When it
// is missing the calling test is skipped with a message, or fails when the
// environment variable CI is set.
std::optional<std::filesystem::path> TestData(const std::string& sub);

// Reads a whole file; empty on failure.
std::string ReadFile(const std::filesystem::path& p);
// Writes a whole file.
void WriteFile(const std::filesystem::path& p, const std::string& bytes);

// A test whose program folder (MORVANE_HOME) is a fresh temporary folder,
// removed after the test.
class HomeTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::filesystem::path home;
  std::filesystem::path logFolder() const { return home / "Log"; }
  std::string readLog(const std::string& name) const { return ReadFile(logFolder() / name); }
};

}  // namespace testenv

// Skips (or, in CI, fails) when the test data folder is missing.
// var names the variable it declares, so it cannot stand in parentheses.
#define MORVANE_REQUIRE_TESTDATA(var, sub)                                            \
  const auto var##_opt = ::testenv::TestData(sub);                                    \
  if (!var##_opt) {                                                                   \
    if (std::getenv("CI") != nullptr) FAIL() << "test data " sub " is missing in CI"; \
    GTEST_SKIP() << "test data " sub " not found; set MORVANE_TESTDATA";              \
  }                                                                                   \
  const std::filesystem::path& var = *var##_opt /* NOLINT(bugprone-macro-parentheses) */
