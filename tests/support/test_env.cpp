#include "support/test_env.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace testenv {

std::filesystem::path MakeTempFolder(const std::string& tag) {
  static std::atomic<int> counter{0};
  const auto base = std::filesystem::temp_directory_path();
  for (;;) {
    auto p = base / ("morvane-" + tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (std::filesystem::create_directory(p, ec)) return p;
  }
}

std::optional<std::filesystem::path> TestData(const std::string& sub) {
  const char* env = std::getenv("MORVANE_TESTDATA");
  if (env == nullptr || *env == '\0') return std::nullopt;
  std::filesystem::path p = std::filesystem::path(env) / sub;
  std::error_code ec;
  if (!std::filesystem::is_directory(p, ec)) return std::nullopt;
  return p;
}

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void HomeTest::SetUp() {
  home = MakeTempFolder("home");
  ::setenv("MORVANE_HOME", home.c_str(), 1);
}

void HomeTest::TearDown() {
  std::error_code ec;
  std::filesystem::remove_all(home, ec);
}

}  // namespace testenv
