// The shared file and text helpers: replacing a file whole, cutting UTF-8
// text, writing a CSV field.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "base/csv_field.h"
#include "base/utf8_cut.h"
#include "support/test_env.h"

namespace fs = std::filesystem;

namespace {

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override { dir = testenv::MakeTempFolder("atomic"); }
  void TearDown() override { fs::remove_all(dir); }

  std::string path(const std::string& name) const { return (dir / name).string(); }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }

  fs::path dir;
};

TEST_F(AtomicFileTest, ReplacesTheWholeFileAndLeavesNothingBeside) {
  testenv::WriteFile(path("f.txt"), "a longer old text\n");
  FileError error;
  ASSERT_TRUE(writeFileAtomically(path("f.txt"), std::string("new\0x", 5), error, 0640));
  EXPECT_EQ(testenv::ReadFile(path("f.txt")), std::string("new\0x", 5));
  EXPECT_EQ(error.step, FileError::Step::None);
  EXPECT_EQ(names(), std::vector<std::string>{"f.txt"});

  // Pieces land in order; a file never committed leaves the old one.
  {
    AtomicFile f(path("f.txt"));
    ASSERT_TRUE(f.write("one ") && f.write("") && f.write("two"));
    ASSERT_TRUE(f.commit());
  }
  EXPECT_EQ(testenv::ReadFile(path("f.txt")), "one two");
  {
    AtomicFile f(path("f.txt"));
    ASSERT_TRUE(f.write("abandoned"));
  }
  EXPECT_EQ(testenv::ReadFile(path("f.txt")), "one two");
  EXPECT_EQ(names(), std::vector<std::string>{"f.txt"});
}

TEST_F(AtomicFileTest, NewFileTakesTheAskedModeUnderTheUmask) {
  const mode_t old = ::umask(022);
  FileError error;
  const bool written = writeFileAtomically(path("a"), "x", error, 0664);
  ::umask(old);
  ASSERT_TRUE(written);
  struct stat st {};
  ASSERT_EQ(::stat(path("a").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644U);
}

TEST_F(AtomicFileTest, FailuresLeaveTheTargetAsItWasAndNoTemporaryFile) {
  FileError error;
  // The folder does not exist.
  EXPECT_FALSE(writeFileAtomically(path("nowhere/f.txt"), "x", error));
  EXPECT_EQ(error.step, FileError::Step::Create);
  EXPECT_EQ(error.code, ENOENT);

  // The target is a folder with content: the rename is refused.
  fs::create_directories(dir / "busy" / "inside");
  EXPECT_FALSE(writeFileAtomically(path("busy"), "x", error));
  EXPECT_EQ(error.step, FileError::Step::Rename);
  EXPECT_NE(error.code, 0);
  EXPECT_TRUE(fs::is_directory(dir / "busy" / "inside"));
  EXPECT_EQ(names(), std::vector<std::string>{"busy"});
}

TEST_F(AtomicFileTest, AWriteThatFailsLeavesTheOldFile) {
  // A file size limit makes the write fail as a full disk would.
  testenv::WriteFile(path("f.txt"), "old");
  rlimit previous{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  rlimit small = previous;
  small.rlim_cur = 4;
  const auto handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  FileError error;
  const bool written = writeFileAtomically(path("f.txt"), "longer than four", error);
  ::setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, handler);
  EXPECT_FALSE(written);
  EXPECT_EQ(error.step, FileError::Step::Write);
  EXPECT_EQ(error.code, EFBIG);
  EXPECT_EQ(testenv::ReadFile(path("f.txt")), "old");
  EXPECT_EQ(names(), std::vector<std::string>{"f.txt"});
}

TEST(Utf8Cut, NeverSplitsASequenceOfOneToFourBytes) {
  for (const std::string seq : {"A", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
    // "x" + seq + "y": the cut points that split nothing.
    const std::string text = "x" + seq + "y";
    const std::size_t seqEnd = 1 + seq.size();
    for (std::size_t n = 0; n <= text.size() + 1; ++n) {
      const std::size_t keep = n >= text.size() ? text.size() : n >= seqEnd ? n : n >= 1 ? 1 : 0;
      EXPECT_EQ(cutUtf8(text, n), text.substr(0, keep)) << seq.size() << "-byte sequence, n=" << n;
      std::string inPlace = text;
      cutUtf8InPlace(inPlace, n);
      EXPECT_EQ(inPlace, text.substr(0, keep)) << seq.size() << "-byte sequence, n=" << n;
    }
  }
}

TEST(Utf8Cut, CutsToCharacters) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // 1, 2, 3 and 4 bytes
  const std::size_t ends[] = {0, 1, 3, 6, 10};
  for (std::size_t k = 0; k <= 5; ++k) {
    std::string s = text;
    EXPECT_EQ(cutUtf8Characters(s, k), k < 4) << k;
    EXPECT_EQ(s, text.substr(0, ends[k < 4 ? k : 4])) << k;
  }
}

TEST(CsvField, QuotesOnlyWhatWouldShiftAField) {
  auto field = [](std::string_view text, char delimiter = ',') {
    std::string out = "<";
    appendCsvField(out, text, delimiter);
    return out;
  };
  EXPECT_EQ(field(""), "<");
  EXPECT_EQ(field("plain text;\t'x'"), "<plain text;\t'x'");
  EXPECT_EQ(field("a,b"), "<\"a,b\"");
  EXPECT_EQ(field("say \"hi\""), "<\"say \"\"hi\"\"\"");
  EXPECT_EQ(field("a\rb"), "<\"a\rb\"");
  EXPECT_EQ(field("a\nb"), "<\"a\nb\"");
  // Another delimiter: it forces quotes, a comma no longer does.
  EXPECT_EQ(field("a,b", '\t'), "<a,b");
  EXPECT_EQ(field("a\tb", '\t'), "<\"a\tb\"");
  EXPECT_EQ(field("a b", ' '), "<\"a b\"");
  EXPECT_EQ(field("\"", ' '), "<\"\"\"\"");
}

}  // namespace
