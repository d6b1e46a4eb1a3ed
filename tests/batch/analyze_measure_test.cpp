// morvane-batch analyze with its measuring options: the default mode gives
// the result files it gave before them, the trait table agrees with the
// result files and is read as RFC 4180 text, the settings are recorded, and
// --shard takes its part of the pictures.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/frontend.h"
#include "batch/analysis_options.h"
#include "roots/result_file.h"
#include "support/test_env.h"
#include "synth/synth_plate.h"

namespace {

namespace fs = std::filesystem;
using Row = std::vector<std::string>;

// RFC 4180 records: fields split at commas outside double quotes, doubled
// quotes inside them one quote, records ended by CR LF. Fails the test on a
// record not ended by CR LF.
std::vector<Row> ParseCsv(const std::string& text) {
  std::vector<Row> rows;
  Row row;
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
    } else if (c == '\r') {
      EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "CR without LF at " << i;
      row.push_back(field);
      field.clear();
      rows.push_back(row);
      row.clear();
      ++i;
    } else {
      EXPECT_NE(c, '\n') << "LF without CR at " << i;
      field += c;
    }
  }
  EXPECT_TRUE(field.empty() && row.empty()) << "the last record has no CR LF";
  return rows;
}

class AnalyzeMeasureTest : public testenv::HomeTest {
 protected:
  int analyze(const std::string& arguments, std::string* out = nullptr) {
    const fs::path outFile = home / "stdout.txt";
    const std::string command = "MORVANE_HOME='" + home.string() + "' '" + MORVANE_BATCH_PROGRAM +
                                "' analyze " + arguments + " >'" + outFile.string() + "' 2>'" +
                                (home / "stderr.txt").string() + "'";
    const int raw = std::system(command.c_str());
    if (out != nullptr) *out = testenv::ReadFile(outFile) + testenv::ReadFile(home / "stderr.txt");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  void makePlate(const fs::path& bitmap, int dpi, int plants, std::uint32_t seed, bool crossing = false) {
    synth::PlateOptions o;
    o.dpi = dpi;
    o.plants = plants;
    o.seed = seed;
    o.crossing = crossing;
    fs::create_directories(bitmap.parent_path());
    std::string error;
    ASSERT_EQ(
        synth::WritePlate(synth::MakePlate(o), o, bitmap.string(), (home / "truth.txt").string(), error, 8),
        1)
        << error;
  }
  std::string q(const fs::path& p) const { return "'" + p.string() + "'"; }
};

// The trait rows of one picture agree with its result file, field by field.
void ExpectTraitsMatchResultFile(const std::vector<Row>& rows, const std::string& picture,
                                 const fs::path& resultFile) {
  INFO_PICTURE p;
  ASSERT_EQ(ReadResultFile(FRONTEND::DefaultFrontend(), resultFile.string(), p), 1);
  std::vector<Row> mine;
  for (const Row& r : rows)
    if (!r.empty() && r[0] == picture) mine.push_back(r);
  ASSERT_EQ(mine.size(), static_cast<std::size_t>(p.nbr)) << picture;
  for (std::size_t k = 0; k < mine.size(); ++k) {
    const Row& r = mine[k];
    const INFO_MR& plant = p.arbre[k];
    ASSERT_EQ(r.size(), 24U);
    EXPECT_EQ(std::stoi(r[1]), static_cast<int>(k) + 1);
    EXPECT_NEAR(std::stod(r[2]), plant.main_length, 1e-5 + 1e-6 * plant.main_length);
    EXPECT_NEAR(std::stod(r[3]), plant.main_straightness, 1e-5 + 1e-6 * plant.main_straightness);
    EXPECT_NEAR(std::stod(r[4]), plant.main_angle, 1e-4);
    EXPECT_EQ(std::stoi(r[5]), plant.nbr_secondary_root);
    double total = 0.0;
    for (const INFO_LR& lateral : plant.children) total += lateral.length;
    EXPECT_NEAR(std::stod(r[6]), total, 1e-5 * static_cast<double>(plant.children.size() + 1));
    if (plant.nbr_secondary_root > 0) {
      EXPECT_NEAR(std::stod(r[7]), total / plant.nbr_secondary_root, 1e-5);
      EXPECT_NEAR(std::stod(r[8]), plant.nbr_secondary_root / static_cast<double>(plant.main_length), 1e-4);
    } else {
      EXPECT_EQ(r[7], "");
    }
    // The whole plant: the main root and the laterals of every order.
    std::vector<const INFO_LR*> higher;
    for (std::vector<const INFO_LR*> level{}; const INFO_LR& lateral : plant.children)
      for (const INFO_LR& child : lateral.children) {
        // Every branch below a lateral, depth first.
        level.assign(1, &child);
        while (!level.empty()) {
          const INFO_LR* x = level.back();
          level.pop_back();
          higher.push_back(x);
          for (const INFO_LR& below : x->children) level.push_back(&below);
        }
      }
    double higherLength = 0.0;
    for (const INFO_LR* x : higher) higherLength += x->length;
    EXPECT_NEAR(std::stod(r[12]), plant.main_length + total + higherLength, 1e-4);
    EXPECT_GT(std::stod(r[13]), 0.0);
    // The depth holds the main root's vertical run (the pixel mode's vector
    // counts one pixel more, at most 2.54 / 300 cm).
    EXPECT_GE(std::stod(r[14]) + 2.54 / 300 + 1e-4,
              plant.main_straightness * std::cos(plant.main_angle * M_PI / 180));
    EXPECT_EQ(std::stoi(r[16]), static_cast<int>(higher.size()));
    EXPECT_NEAR(std::stod(r[17]), higherLength, 1e-4);
  }
}

}  // namespace

TEST_F(AnalyzeMeasureTest, DefaultModeWritesTheResultFilesOfBeforeAndATraitTableThatAgrees) {
  // The plates and options of the reference files: 300 dpi through Auto,
  // and four crossing plants at 600 dpi through the threshold and a filter.
  makePlate(home / "p3/ref300.bmp", 300, 5, 3);
  makePlate(home / "p6/ref600.bmp", 600, 4, 8, true);
  const std::string info =
      " --user ana --experiment ref --box 2 --genotype Col-0 --media MS --age 7 --results " +
      q(home / "res") + " --jobs 1";
  ASSERT_EQ(analyze(q(home / "p3") + " --resolution 300" + info + " --traits " + q(home / "t3.csv")), 0);
  ASSERT_EQ(analyze(q(home / "p6") + " --resolution 600 --threshold 90 --method Gaussian2" + info +
                    " --lengths pixel --min-lateral 0 --background dark --traits " + q(home / "t6.csv")),
            0);
  const fs::path reference = MORVANE_REFERENCE_RESULTS;
  for (const char* name : {"ref300.txt", "ref600.txt"}) {
    const std::string before = testenv::ReadFile(reference / name);
    ASSERT_FALSE(before.empty()) << name;
    EXPECT_EQ(testenv::ReadFile(home / "res" / name), before) << name;
  }
  for (const auto& [table, picture] : {std::pair{"t3.csv", "ref300"}, std::pair{"t6.csv", "ref600"}}) {
    const std::vector<Row> rows = ParseCsv(testenv::ReadFile(home / table));
    ASSERT_GE(rows.size(), 2U);
    EXPECT_EQ(rows[0][0], "picture");
    EXPECT_EQ(rows[0].size(), 24U);
    ExpectTraitsMatchResultFile(rows, picture, home / "res" / (std::string(picture) + ".txt"));
    for (std::size_t k = 1; k < rows.size(); ++k) {
      EXPECT_EQ(rows[k][9], "pixel");
      EXPECT_EQ(rows[k][10], "0");
      EXPECT_EQ(rows[k][11], "dark");
      EXPECT_EQ(std::vector<std::string>(rows[k].begin() + 18, rows[k].end()),
                (std::vector<std::string>{"ref", "2", "Col-0", "MS", "7",
                                          // The crossing plants grow into trees of two seedlings.
                                          std::string(picture) == "ref600" ? "merged" : ""}));
    }
  }
  EXPECT_NE(testenv::ReadFile(home / "Log/log_result_file.txt")
                .find("lengths pixel, min-lateral 0.000000 cm, background dark\n"),
            std::string::npos);
}

TEST_F(AnalyzeMeasureTest, TraitTableQuotesNamesAndKeepsPictureOrderWithJobs) {
  makePlate(home / "plates/a,b\"c.bmp", 300, 2, 31);
  makePlate(home / "plates/b.bmp", 300, 3, 32);
  makePlate(home / "plates/c.bmp", 300, 2, 33);
  const std::string common =
      q(home / "plates") + " --resolution 300 --lengths true --min-lateral 0.1 --overwrite --results ";
  ASSERT_EQ(analyze(common + q(home / "one") + " --jobs 1 --traits " + q(home / "one.csv")), 0);
  ASSERT_EQ(analyze(common + q(home / "two") + " --jobs 2 --traits " + q(home / "two.csv")), 0);
  const std::string one = testenv::ReadFile(home / "one.csv");
  EXPECT_EQ(testenv::ReadFile(home / "two.csv"), one);
  const std::vector<Row> rows = ParseCsv(one);
  ASSERT_EQ(rows.size(), 8U);
  const std::vector<std::string> pictures{"a,b\"c", "a,b\"c", "b", "b", "b", "c", "c"};
  for (std::size_t k = 1; k < rows.size(); ++k) {
    ASSERT_EQ(rows[k].size(), 24U);
    EXPECT_EQ(rows[k][0], pictures[k - 1]);
    EXPECT_EQ(rows[k][9], "true");
    EXPECT_EQ(rows[k][10], "0.1");
  }
  EXPECT_NE(one.find("\"a,b\"\"c\",1,"), std::string::npos);
  // The result files keep the layout Add data reads.
  for (const char* name : {"a,b\"c", "b", "c"})
    ExpectTraitsMatchResultFile(rows, name, home / "one" / (std::string(name) + ".txt"));
  const std::string log = testenv::ReadFile(home / "Log/log_result_file.txt");
  EXPECT_NE(log.find("lengths true, min-lateral 0.100000 cm, background dark\n"), std::string::npos);
  EXPECT_NE(log.find("lateral roots left out "), std::string::npos);
}

TEST_F(AnalyzeMeasureTest, ShardsTakeTheirPartOfTheSortedPictures) {
  for (int k = 0; k < 5; ++k)
    makePlate(home / "plates" / ("p" + std::to_string(k) + ".bmp"), 300, 1,
              40U + static_cast<std::uint32_t>(k));
  std::string out;
  // Pictures named in any order: the shard is cut from the sorted list.
  std::string pictures;
  for (int k : {4, 0, 3, 1, 2}) pictures += q(home / "plates" / ("p" + std::to_string(k) + ".bmp")) + " ";
  ASSERT_EQ(analyze(pictures + "--resolution 300 --shard 2/2 --results " + q(home / "res"), &out), 0) << out;
  EXPECT_NE(out.find("3 pictures: 3 saved"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(home / "res/p0.txt"));
  EXPECT_FALSE(fs::exists(home / "res/p1.txt"));
  EXPECT_TRUE(fs::exists(home / "res/p2.txt"));
  EXPECT_TRUE(fs::exists(home / "res/p4.txt"));
  ASSERT_EQ(analyze(q(home / "plates") + " --resolution 300 --shard 1/8 --results " + q(home / "res"), &out),
            0);
  EXPECT_NE(out.find("shard 1/8 holds no picture"), std::string::npos) << out;
  for (const char* bad : {"0/2", "3/2", "2", "a/b", "1/0", "-1/2", "1/2/3", "1/100001", " 1/2"}) {
    EXPECT_EQ(analyze(q(home / "plates") + " --resolution 300 --shard '" + bad + "'", &out), 2) << bad;
    EXPECT_NE(out.find("--shard needs K/N"), std::string::npos) << out;
  }
  for (const std::string& bad : std::vector<std::string>{"--lengths exact", "--min-lateral -1",
                                                         "--min-lateral 0.1cm", "--background grey"})
    EXPECT_EQ(analyze(q(home / "plates") + " --resolution 300 " + bad), 2) << bad;
}

TEST(Shards, PartsCoverTheListOnceWithSizesThatDifferByOneAtMost) {
  EXPECT_FALSE(ParseShard("4/3"));
  ASSERT_TRUE(ParseShard("3/3"));
  EXPECT_EQ(ParseShard("3/3")->index, 3);
  for (const int total : {0, 1, 7, 10}) {
    std::vector<std::string> list;
    for (int k = total; k-- > 0;) list.push_back("p" + std::to_string(k));
    for (const int n : {1, 3, 4, 12}) {
      std::vector<std::string> all;
      std::size_t smallest = list.size(), largest = 0;
      for (int k = 1; k <= n; ++k) {
        const std::vector<std::string> part = ShardPictures(list, Shard{k, n});
        smallest = std::min(smallest, part.size());
        largest = std::max(largest, part.size());
        all.insert(all.end(), part.begin(), part.end());
      }
      std::vector<std::string> sorted = list;
      std::sort(sorted.begin(), sorted.end());
      EXPECT_EQ(all, sorted) << total << " pictures in " << n;
      EXPECT_LE(largest - std::min(smallest, largest), 1U);
    }
  }
}

TEST_F(AnalyzeMeasureTest, AutoBackgroundTakesTheLightBoxPhotoAsLightAndSaysSo) {
  MORVANE_REQUIRE_TESTDATA(plates, "plates");
  std::string out;
  ASSERT_EQ(analyze(q(plates / "rhizoscan_J10_Photo_011.bmp") +
                        " --resolution 150 --threshold 120 --method Original --background auto " +
                        "--results " + q(home / "res") + " --traits " + q(home / "t.csv"),
                    &out),
            0)
      << out;
  const std::vector<Row> rows = ParseCsv(testenv::ReadFile(home / "t.csv"));
  ASSERT_GE(rows.size(), 2U);
  for (std::size_t k = 1; k < rows.size(); ++k) EXPECT_EQ(rows[k][11], "light (auto)");
  EXPECT_NE(testenv::ReadFile(home / "Log/log_result_file.txt").find("background light (auto)\n"),
            std::string::npos);
}
