// morvane-batch run as a program: info and convert on small files, measure
// on a generated plate.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "image/bitmap_io.h"
#include "image/pic_doc.h"
#include "morvane_version.h"
#include "support/test_env.h"
#include "synth/synth_plate.h"

namespace {

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

class BatchProgramTest : public testenv::HomeTest {
 protected:
  ProgramRun run(const std::string& arguments, const std::string& environment = "") {
    ProgramRun r;
    const std::string outFile = (home / "stdout.txt").string();
    const std::string errFile = (home / "stderr.txt").string();
    const std::string command = environment + " '" + MORVANE_BATCH_PROGRAM + "' " + arguments + " >'" +
                                outFile + "' 2>'" + errFile + "'";
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = testenv::ReadFile(outFile);
    r.err = testenv::ReadFile(errFile);
    return r;
  }
  std::string path(const std::string& name) const { return (home / name).string(); }
  std::string quoted(const std::string& name) const { return "'" + path(name) + "'"; }

  // A 6 x 2 24-bit picture of black, white and greys.
  void writeSample(const std::string& name) {
    KW_PicDoc doc;
    doc.width = 6;
    doc.height = 2;
    doc.bitCount = 24;
    doc.paletteCount = 0;
    doc.xPelsPerMeter = 23622;
    doc.yPelsPerMeter = 23621;
    doc.pixels = {0, 0xFFFFFF, 0x808080, 0x111111, 0xFFFFFF, 0, 0xFFFFFF, 0, 0x222222, 0xEEEEEE, 0, 0xFFFFFF};
    ASSERT_TRUE(doc.SaveBitmap(path(name)));
  }
};

TEST_F(BatchProgramTest, InfoPrintsSizeDepthPaletteAndResolution) {
  writeSample("sample.bmp");
  const ProgramRun r = run("info " + quoted("sample.bmp"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            path("sample.bmp") + ": 6 x 2, 24 bits, 0 palette entries, 23622 x 23621 pixels per metre\n");
}

TEST_F(BatchProgramTest, UnreadableFilesGiveExitOneAndOneLine) {
  testenv::WriteFile(home / "broken.bmp", "BM this is not a bitmap");
  testenv::WriteFile(home / "text.jpg", "a text file named like a photograph");
  // A JPEG cut after its first bytes: the start of a real one, no end.
  testenv::WriteFile(home / "cut.jpg", std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11));
  testenv::WriteFile(home / "cut.png", std::string("\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR", 16));
  for (const auto& [name, why] : {std::pair<std::string, std::string>{"broken.bmp", " as a bitmap"},
                                  {"missing.bmp", ": no such file"},
                                  {"text.jpg", ": not a PNG, JPEG or TIFF picture"},
                                  {"cut.jpg", ": truncated JPEG data (the end-of-image marker is missing)"},
                                  {"cut.png", ": truncated PNG data (the end chunk is missing)"}}) {
    SCOPED_TRACE(name);
    ProgramRun r = run("info " + quoted(name));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "morvane-batch: cannot read " + path(name) + why + "\n");
    r = run("convert " + quoted(name) + " " + quoted("out.bmp"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "morvane-batch: cannot read " + path(name) + why + "\n");
    EXPECT_FALSE(std::filesystem::exists(home / "out.bmp"));
  }
}

TEST_F(BatchProgramTest, ConvertToPaletteDepthsKeepsGreyPictures) {
  writeSample("sample.bmp");
  KW_PicDoc original;
  ASSERT_NE(original.LoadBitmap(path("sample.bmp")), nullptr);
  for (int depth : {8, 4, 1}) {
    SCOPED_TRACE(depth);
    const std::string out = "d" + std::to_string(depth) + ".bmp";
    const ProgramRun r =
        run("convert " + quoted("sample.bmp") + " " + quoted(out) + " --depth " + std::to_string(depth));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, path(out) + ": 6 x 2, " + std::to_string(depth) + " bits\n");
    KW_PicDoc back;
    ASSERT_NE(back.LoadBitmap(path(out)), nullptr);
    EXPECT_EQ(back.bitCount, depth);
    EXPECT_EQ(back.paletteCount, 1 << depth);
    EXPECT_EQ(back.xPelsPerMeter, 23622);
    for (std::size_t i = 0; i < original.pixels.size(); ++i) {
      const std::uint32_t was = original.pixels[i];
      const std::uint32_t now = back.pixels[i];
      if (depth == 8 || was == 0 || was == 0xFFFFFF) {
        EXPECT_EQ(now, was) << i;
      } else {
        // 4 bits: the nearest of 16 greys; 1 bit: black or white by nearness.
        const int diff = static_cast<int>(now & 0xFF) - static_cast<int>(was & 0xFF);
        EXPECT_LE(std::abs(diff), depth == 4 ? 8 : 127) << i;
      }
    }
  }
}

TEST_F(BatchProgramTest, ConvertWithoutDepthKeepsTheFile) {
  writeSample("sample.bmp");
  const ProgramRun r = run("convert " + quoted("sample.bmp") + " " + quoted("copy.bmp"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testenv::ReadFile(home / "copy.bmp"), testenv::ReadFile(home / "sample.bmp"));
}

TEST_F(BatchProgramTest, BadArgumentsAndUnwritableTargets) {
  writeSample("sample.bmp");
  ProgramRun r = run("convert " + quoted("sample.bmp") + " " + quoted("x.bmp") + " --depth 3");
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(std::filesystem::exists(home / "x.bmp"));
  r = run("info");
  EXPECT_EQ(r.status, 2);
  r = run("convert " + quoted("sample.bmp") + " " + quoted("no-folder/x.bmp"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "morvane-batch: cannot write " + path("no-folder/x.bmp") + "\n");
}

}  // namespace

// One line per plant after the table's heading: number, main root, vector,
// angle, laterals.
struct MeasuredPlant {
  int number = 0;
  double length = 0, vector = 0, angle = 0;
  int laterals = 0;
};

std::vector<MeasuredPlant> plantLines(const std::string& out) {
  std::vector<MeasuredPlant> plants;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    MeasuredPlant p;
    if (std::sscanf(line.c_str(), " %d %lf %lf %lf %d", &p.number, &p.length, &p.vector, &p.angle,
                    &p.laterals) == 5)
      plants.push_back(p);
  }
  return plants;
}

TEST_F(BatchProgramTest, MeasureFindsEveryGeneratedSeedlingInCentimetres) {
  synth::PlateOptions options;
  options.dpi = 300;
  options.plants = 4;
  options.seed = 11;
  const synth::Plate plate = synth::MakePlate(options);
  std::string error;
  ASSERT_EQ(synth::WritePlate(plate, options, path("plate.bmp"), path("plate.txt"), error), 1) << error;
  testenv::WriteFile(home / "broken.bmp", "BM broken");

  const ProgramRun r = run("measure " + quoted("plate.bmp") + " " + quoted("broken.bmp"));
  // The broken picture is reported and the plate is still measured.
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "morvane-batch: cannot read " + path("broken.bmp") + " as a bitmap\n");
  EXPECT_EQ(r.out.rfind(path("plate.bmp") + ": 4 plants, ", 0), 0U) << r.out;
  const std::vector<MeasuredPlant> plants = plantLines(r.out);
  ASSERT_EQ(plants.size(), plate.plants.size()) << r.out;
  for (std::size_t i = 0; i < plants.size(); ++i) {
    SCOPED_TRACE(i);
    const synth::PlantTruth& truth = plate.plants[i];
    EXPECT_EQ(plants[i].number, static_cast<int>(i + 1));
    // Lengths come from the plate's scale (12.5 cm over its height), not from the dpi.
    EXPECT_NEAR(plants[i].length, truth.mainLengthCm, 0.1 * truth.mainLengthCm);
    EXPECT_NEAR(plants[i].vector, truth.mainVectorCm, 0.1 * truth.mainVectorCm);
    EXPECT_NEAR(plants[i].angle, truth.mainAngleDeg, 10.0);
  }

  const ProgramRun none = run("measure");
  EXPECT_EQ(none.status, 2);
}

TEST_F(BatchProgramTest, MeasureReportsAPictureWithoutAPlateFrame) {
  writeSample("frameless.bmp");  // no bright rim anywhere
  const ProgramRun r = run("measure " + quoted("frameless.bmp"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  // The step's own message, then the program's.
  EXPECT_EQ(r.err, "Morvane: Impossible to find the box!\nmorvane-batch: " + path("frameless.bmp") +
                       ": no plate frame found, nothing measured\n");
}

TEST_F(BatchProgramTest, HelpPrintsTheUsageAndSucceeds) {
  const ProgramRun r = run("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("morvane-batch measure PICTURE..."), std::string::npos);
  EXPECT_TRUE(r.err.empty());
  // Every command tells its own options and usage.
  for (const char* command :
       {"info", "convert", "synth", "steps", "measure", "analyze", "add-data", "inquire"}) {
    const ProgramRun c = run(std::string(command) + " --help");
    EXPECT_EQ(c.status, 0) << command << ": " << c.err;
    EXPECT_NE(c.out.find(std::string("morvane-batch ") + command + " "), std::string::npos) << c.out;
    EXPECT_TRUE(c.err.empty()) << c.err;
  }
  const ProgramRun version = run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "morvane-batch " MORVANE_VERSION "\n");
  // A command the program does not know, an option a command does not know,
  // and no command at all are said, with the status of a bad argument.
  for (const char* bad : {"frobnicate", "analyze --no-such-option x.bmp --resolution 300", ""}) {
    const ProgramRun b = run(bad);
    EXPECT_EQ(b.status, 2) << bad;
    EXPECT_NE(b.err.find("morvane-batch: "), std::string::npos) << b.err;
  }
}

TEST_F(BatchProgramTest, ALogFolderThatCannotBeUsedIsSaidBeforeAnythingRuns) {
  // A program folder that is a file: no Log folder can be made in it.
  testenv::WriteFile(home / "not-a-folder", "x");
  writeSample("sample.bmp");
  const ProgramRun r = run("measure " + quoted("sample.bmp"), "MORVANE_HOME=" + quoted("not-a-folder"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("the log folder cannot be used"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("not-a-folder/Log"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("no plate frame"), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty());
}
