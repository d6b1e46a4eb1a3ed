// Reading result files: the fields by their colons, the trace, and files
// that are cut, edited or not result files at all.
#include "roots/result_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/frontend.h"
#include "support/test_env.h"

namespace {

const char* const kTwoPlants =
    "plate1, scanned twice"
    "\nUser name: ana\n"
    "Experiment name: exp 1\n"
    "Box name: box3\n"
    "Genotype: Col-0\n"
    "Media: MS 1/2\n"
    "Age of plants: 3 day(s) after germination\n"
    "Number of plant: 2\n"
    "scale 0.004233\n"
    "\n\n\nRoot 1: \n"
    "Main root length: 2.000000\n"
    "Main root vector: 1.900000\n"
    "Main root angle: -5.500000\n"
    "Number lateral root(s): 2\n"
    "\tR1-LR2: Length: 0.500000\tPosition: 0.300000\tVector: 0.400000\tAngle: 45.000000\t"
    "Number secondary root(s): 1\n"
    "\t\tR1-LR2-LR1: Length: 0.100000\tPosition: 0.050000\tVector: 0.090000\tAngle: -30.000000\t"
    "Number secondary root(s): 0\n"
    "\tR1-LR5: Length: 0.250000\tPosition: 1.200000\tVector: 0.240000\tAngle: 60.000000\t"
    "Number secondary root(s): 0\n"
    "\n\n\nRoot 2: \n"
    "Main root length: 1.500000\n"
    "Main root vector: 1.400000\n"
    "Main root angle: 2.000000\n"
    "Number lateral root(s): 0\n";

class ResultReadTest : public testenv::HomeTest {
 protected:
  int read(const std::string& text, INFO_PICTURE& p) {
    const auto path = home / "r.txt";
    testenv::WriteFile(path, text);
    return ReadResultFile(FRONTEND::DefaultFrontend(), path.string(), p);
  }
};

TEST_F(ResultReadTest, ReadsEveryFieldAndTracesIt) {
  INFO_PICTURE p;
  ASSERT_EQ(read(kTwoPlants, p), 1);
  EXPECT_EQ(p.name, "plate1");  // up to the comma
  EXPECT_EQ(p.user, "ana");
  EXPECT_EQ(p.experiment, "exp 1");
  EXPECT_EQ(p.plate, "box3");
  EXPECT_EQ(p.genotype, "Col-0");
  EXPECT_EQ(p.media, "MS 1/2");
  EXPECT_EQ(p.age, 3);
  ASSERT_EQ(p.nbr, 2);
  ASSERT_EQ(p.arbre.size(), 2U);
  const INFO_MR& a = p.arbre[0];
  EXPECT_EQ(a.genotype, "");
  EXPECT_FLOAT_EQ(a.main_length, 2.0F);
  EXPECT_FLOAT_EQ(a.main_straightness, 1.9F);
  EXPECT_FLOAT_EQ(a.main_angle, -5.5F);
  ASSERT_EQ(a.nbr_secondary_root, 2);
  ASSERT_EQ(a.children.size(), 2U);
  const INFO_LR& lr = a.children[0];
  EXPECT_FLOAT_EQ(lr.length, 0.5F);
  EXPECT_FLOAT_EQ(lr.position, 0.3F);
  EXPECT_FLOAT_EQ(lr.straightness, 0.4F);
  EXPECT_FLOAT_EQ(lr.angle, 45.0F);
  ASSERT_EQ(lr.nbr_child, 1);
  ASSERT_EQ(lr.children.size(), 1U);
  EXPECT_FLOAT_EQ(lr.children[0].angle, -30.0F);
  EXPECT_EQ(lr.children[0].nbr_child, 0);
  EXPECT_FLOAT_EQ(a.children[1].position, 1.2F);
  EXPECT_FLOAT_EQ(p.arbre[1].main_length, 1.5F);
  EXPECT_TRUE(p.arbre[1].children.empty());

  const std::string log = readLog("log_read.txt");
  EXPECT_EQ(log.find("main2 plate1, scanned twice\nmain2 User name: ana\n"), 0U);
  EXPECT_EQ(log.find("main2 Media"), std::string::npos);  // the media line is not traced
  EXPECT_NE(log.find("main1 Number of plant: 2\navant init Root 1: \n\napres init Root 1: \n\n"
                     "fgets  Main root length: 2.000000\n\n"
                     "fichier->arbre->main_length 2.000000\n"),
            std::string::npos);
  EXPECT_NE(log.find("branche->nbr_child 1\n"), std::string::npos);
  EXPECT_EQ(log.substr(log.size() - 12), "fin fichier\n");
}

TEST_F(ResultReadTest, CutOrEditedFilesStopAtTheirEnd) {
  const std::string whole = kTwoPlants;
  // Every cut of the file reads without harm and keeps the counts in step.
  for (std::size_t cut = 0; cut < whole.size(); cut += 7) {
    INFO_PICTURE p;
    const int status = read(whole.substr(0, cut), p);
    EXPECT_EQ(static_cast<std::size_t>(p.nbr), p.arbre.size()) << cut;
    for (const INFO_MR& m : p.arbre) {
      EXPECT_EQ(static_cast<std::size_t>(m.nbr_secondary_root), m.children.size()) << cut;
      for (const INFO_LR& b : m.children) EXPECT_EQ(static_cast<std::size_t>(b.nbr_child), b.children.size());
    }
    if (cut > whole.find("scale") && cut < whole.find("Root 2")) {
      EXPECT_EQ(status, 0) << cut;
    }
  }
  // A missing plant heading and a lateral count larger than the lines left.
  INFO_PICTURE p;
  std::string more = whole;
  more.replace(more.find("Number of plant: 2"), 18, "Number of plant: 3");
  EXPECT_EQ(read(more, p), 0);
  EXPECT_EQ(p.nbr, 2);
  EXPECT_NE(readLog("log_read.txt").find("the file ends before all announced roots were read"),
            std::string::npos);
}

TEST_F(ResultReadTest, AbsurdCountsAreRefused) {
  std::string text = kTwoPlants;
  for (const char* count : {"-4", "2000000000", "999999999999"}) {
    INFO_PICTURE p;
    std::string edited = text;
    edited.replace(edited.find("Number of plant: 2") + 17, 1, count);
    EXPECT_EQ(read(edited, p), 0) << count;
    EXPECT_EQ(p.nbr, 0);
    EXPECT_TRUE(p.arbre.empty());
  }
  INFO_PICTURE p;
  std::string edited = text;
  edited.replace(edited.find("Number lateral root(s): 2") + 24, 1, "50000000");
  EXPECT_EQ(read(edited, p), 0);
  ASSERT_EQ(p.nbr, 2);
  EXPECT_EQ(p.arbre[0].nbr_secondary_root, 0);
  EXPECT_NE(readLog("log_read.txt").find("refused lateral roots 50000000"), std::string::npos);
}

TEST_F(ResultReadTest, DeepChainsAreBoundedAndNoFileIsNeeded) {
  // Each lateral announces one lateral below it, far deeper than any plant.
  std::string text =
      "deep\n\n\n\n\n\nAge of plants: x\nNumber of plant: 1\n\nRoot 1: \na: 1\na: 1\na: 0\na: 1\n";
  for (int k = 0; k < 5000; ++k)
    text += "R: Length: 1\tPosition: 1\tVector: 1\tAngle: 1\tNumber secondary root(s): 1\n";
  INFO_PICTURE p;
  EXPECT_EQ(read(text, p), 0);
  ASSERT_EQ(p.nbr, 1);
  int depth = 0;
  for (const INFO_LR* b = &p.arbre[0].children.at(0); !b->children.empty(); b = &b->children[0]) ++depth;
  EXPECT_EQ(depth, kMaxBranchDepth - 1);
  EXPECT_EQ(p.age, 0);  // no digits
  EXPECT_EQ(ReadResultFile(FRONTEND::DefaultFrontend(), (home / "missing.txt").string(), p), 0);
  EXPECT_EQ(ReadResultFile(FRONTEND::DefaultFrontend(), static_cast<std::FILE*>(nullptr), p), 0);
}

}  // namespace
