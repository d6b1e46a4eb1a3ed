// The strict check of result files before an import: broken files, cut from
// files as Save experiment writes them, are refused at their first fault with
// its line, and whole files read back exactly.
#include "import_query_fixture.h"

using namespace importquerytest;

namespace {

// Five plants, the second with eight laterals, as the analysis saves them.
std::string fivePlants() {
  std::vector<Plant> plants(5, samplePlant());
  plants[1].laterals.assign(8, {0.5, 0.25, 0.4, 20.0, {}});
  return resultFile("plate", "ana", "Col", 3, plants);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The line (from 1) on which text first holds part.
int lineOf(const std::string& text, const std::string& part) {
  const std::size_t at = text.find(part);
  return at == std::string::npos ? -1
                                 : static_cast<int>(std::count(
                                       text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n')) +
                                       1;
}

std::string check(const std::string& text) {
  INFO_PICTURE picture;
  ResultFileFault fault;
  if (CheckResultFile(text, picture, fault)) return "";
  return fault.text();
}

}  // namespace

TEST(ResultCheck, AWholeFileReadsBackExactly) {
  const std::string text = fivePlants();
  INFO_PICTURE p;
  ResultFileFault fault;
  ASSERT_TRUE(CheckResultFile(text, p, fault)) << fault.text();
  EXPECT_EQ(p.name, "plate");
  EXPECT_EQ(p.user, "ana");
  EXPECT_EQ(p.plate, "box");
  EXPECT_EQ(p.genotype, "Col");
  EXPECT_EQ(p.media, "MS");
  EXPECT_EQ(p.age, 3);
  ASSERT_EQ(p.nbr, 5);
  ASSERT_EQ(p.arbre.size(), 5u);
  EXPECT_EQ(p.arbre[1].nbr_secondary_root, 8);
  EXPECT_EQ(p.arbre[1].children.size(), 8u);
  const INFO_LR& lr = p.arbre[0].children[0];
  EXPECT_FLOAT_EQ(lr.length, 1.0f);
  EXPECT_FLOAT_EQ(lr.position, 0.5f);
  EXPECT_FLOAT_EQ(lr.straightness, 0.9f);
  EXPECT_FLOAT_EQ(lr.angle, 45.0f);
  ASSERT_EQ(lr.children.size(), 2u);
  EXPECT_FLOAT_EQ(lr.children[1].length, 0.5f);
  // The lenient reader agrees on every value.
  INFO_PICTURE lenient;
  std::FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  ASSERT_NE(f, nullptr);
  FRONTEND::ScriptedFrontend script;
  EXPECT_EQ(ReadResultFile(script, f, lenient), 1);
  std::fclose(f);
  EXPECT_EQ(lenient.arbre.size(), p.arbre.size());
  EXPECT_FLOAT_EQ(lenient.arbre[4].main_angle, p.arbre[4].main_angle);
  // Carriage returns and blank lines at the end change nothing.
  std::string crlf;
  for (const char c : text + "\n\n") crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(check(crlf), "");
}

TEST(ResultCheck, BrokenFilesAreRefusedAtTheirFirstFaultWithItsLine) {
  const std::string good = fivePlants();
  const int mainLength = lineOf(good, "Main root length: 4.000000");
  const int lateral = lineOf(good, "R1-LR1: Length:");
  std::string sevenOfEight = good;
  // The eighth lateral of plant 2 removed.
  const std::size_t eighth = sevenOfEight.find("R2-LR8");
  sevenOfEight.erase(eighth - 1, sevenOfEight.find('\n', eighth) - eighth + 2);
  std::string threeOfFive = good.substr(0, good.find("Root 4"));
  std::mt19937 random(21);
  std::string noise(5000, '\0');
  for (char& c : noise) c = static_cast<char>(random() & 0xFF);

  const std::pair<std::string, std::string> cases[] = {
      {"", "line 1: the file is empty"},
      {noise, "line "},
      {replaced(good, "User name: ana", "User name: " + std::string(10u << 20, 'u')),
       "line 2: the line is longer than 248 characters"},
      {replaced(good, "Box name: box", "Box name: " + std::string(245, 'b')),
       "line 4: the line is longer than 248 characters"},
      {replaced(good, "Main root length: 4.000000", "Main root length: inf"),
       "line " + std::to_string(mainLength) + ": the main root length is not a finite number"},
      {replaced(good, "Main root length: 4.000000", "Main root length: -inf"),
       "line " + std::to_string(mainLength) + ": the main root length is not a finite number"},
      {replaced(good, "Main root length: 4.000000", "Main root length: 1e39"),
       "line " + std::to_string(mainLength) + ": the main root length is not a finite number"},
      {replaced(good, "Main root length: 4.000000", "Main root length: NaN"),
       "line " + std::to_string(mainLength) + ": the main root length is not a finite number"},
      {replaced(good, "R1-LR1: Length: 1.000000", "R1-LR1: Length: 1e39"),
       "line " + std::to_string(lateral) + ": the lateral root length is not a finite number"},
      {replaced(good, "Main root length: 4.000000", "Main root length: 4,0"),
       "line " + std::to_string(mainLength) + ": the main root length is not a number"},
      {sevenOfEight, "line "},
      {threeOfFive, "the file ends before \"Root 4\""},
      {replaced(good, "Number of plant: 5", "Number of plant: 4"), "more lines than the counts announce"},
      {replaced(good, "Number of plant: 5", "Number of plant: -1"),
       "line 8: the number of plants is not a count"},
      {replaced(good, "Media: MS", "Medium: MS"), "line 6: \"Media:\" expected"},
      {replaced(good, "Age of plants: 3", "Age of plants: three"), "line 7: the age is not a number"},
      {replaced(good, "exp", std::string("e\0p", 3)), "line 3: the line holds a zero byte"},
      {good.substr(0, good.find('\n')), "line 2: the file ends before the line \"User name:\""},
  };
  for (const auto& [text, expected] : cases) {
    const std::string got = check(text);
    EXPECT_NE(got.find(expected), std::string::npos)
        << "expected \"" << expected << "\", got \"" << got << "\"";
    EXPECT_TRUE(got.starts_with("line ")) << got;
  }
  // The missing lateral: its place holds the first blank line before the next plant.
  EXPECT_EQ(check(sevenOfEight), "line " + std::to_string(lineOf(sevenOfEight, "Root 3") - 3) +
                                     ": a lateral root line expected, found \"\"");
}

TEST(ResultCheck, Sha256AndTheSettingsLineOfTheLog) {
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  const std::string log =
      "Result file\nname_picture_file /r/a.txt\nlengths true, min-lateral 0.100000 cm, background dark\n";
  EXPECT_EQ(SettingsLineFor(log, "/r/a.txt"), "lengths true, min-lateral 0.100000 cm, background dark");
  EXPECT_EQ(SettingsLineFor(log, "/r/b.txt"), "");
  EXPECT_EQ(SettingsLineFor("", "/r/a.txt"), "");
}
