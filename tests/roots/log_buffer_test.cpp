// The grouped log writer: the text reaches the file exactly as printf would
// write it, in order, whether flushed by size, by hand or at the end.
#include "roots/detail/log_buffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "base/frontend.h"
#include "base/kw_log.h"
#include "support/test_env.h"

namespace {

class LogBufferTest : public testenv::HomeTest {};

std::string Printf(const char* format, int i, double f) {
  char text[600];
  std::snprintf(text, sizeof text, format, i, f);
  return text;
}

TEST_F(LogBufferTest, FormatsLikePrintf) {
  const char* formats[] = {"tab[%i]= %f\n", "%i%f", "x %i y %f %% done\n", "%d:%f\n", "plain %i, %f end"};
  const int ints[] = {0, -1, 7, INT_MAX, INT_MIN, 123456};
  const double doubles[] = {0.0,   -0.0,           1.5,       141.0,     -26.565051177077990,
                            1e300, 3.0000005,      0.1234565, 5e-7,      2.5e-7,
                            -1e-9, 987654.3210005, HUGE_VAL,  -HUGE_VAL, NAN};
  std::string expected;
  {
    LogBuffer log(FRONTEND::DefaultFrontend(), logname::kMath);
    for (const char* format : formats)
      for (const int i : ints)
        for (const double f : doubles) {
          log.addF(format, i, f);
          expected += Printf(format, i, f);
        }
    // Conversions outside %i and %f, and texts longer than the small buffer.
    log.addF("%s|%5i|%.2f\n", "name", 42, 2.345);
    expected += "name|   42|2.35\n";
    const std::string longText(2000, 'z');
    log.addF("%s\n", longText.c_str());
    expected += longText + "\n";
    log.add("tail");
    expected += "tail";
  }
  std::string got = readLog("log_math.txt");
  // The one rounding left to the C library: take its own answer.
  char rounded[32];
  std::snprintf(rounded, sizeof rounded, "%.2f", 2.345);
  const std::size_t at = expected.find("2.35\n");
  expected.replace(at, 4, rounded);
  EXPECT_EQ(got, expected);
}

TEST_F(LogBufferTest, KeepsOrderAcrossSizeFlushesAndAppends) {
  std::filesystem::create_directories(logFolder());
  testenv::WriteFile(logFolder() / "log_math.txt", "before\n");
  std::string expected = "before\n";
  {
    LogBuffer log(FRONTEND::DefaultFrontend(), logname::kMath);
    for (int i = 0; i < 20000; ++i) {
      log.addF("line %i\n", i);
      expected += "line " + std::to_string(i) + "\n";
    }
    log.flush();
    EXPECT_TRUE(readLog("log_math.txt") == expected);
    log.add("last\n");
    expected += "last\n";
  }
  const std::string got = readLog("log_math.txt");
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected);
}

}  // namespace

namespace {

TEST_F(LogBufferTest, StopsAtItsBoundWithOneLineSayingSo) {
  {
    LogBuffer log(FRONTEND::DefaultFrontend(), logname::kMath, 100);
    for (int i = 0; i < 50; ++i) log.addF("line %i\n", i);  // 7 or 8 bytes each
    EXPECT_TRUE(log.full());
    log.add("after the bound\n");
  }
  const std::string text = readLog("log_math.txt");
  // Every whole line that fits, then the notice, nothing after it.
  std::string expected;
  for (int i = 0; expected.size() + 8 <= 100; ++i) expected += "line " + std::to_string(i) + "\n";
  EXPECT_EQ(text, expected + "[log bound reached: the rest of this log was left out]\n");
}

}  // namespace
