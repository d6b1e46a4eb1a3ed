// The bitmap conformance suite: good files against their reference pictures,
// bad and questionable files load or fail cleanly, and every picture that
// loads survives a save and a reload.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "image/bitmap_io.h"
#include "image/pic_doc.h"
#include "support/png_reader.h"
#include "support/test_env.h"

namespace {

namespace fs = std::filesystem;

struct Reference {
  const char* file;
  const char* png;
};

// Good files and the reference picture each must match.
constexpr Reference kGood[] = {
    {"pal1", "pal1"},         {"pal1wb", "pal1"},       {"pal1bg", "pal1bg"},
    {"pal4", "pal4"},         {"pal4gs", "pal4gs"},     {"pal4rle", "pal4"},
    {"pal8", "pal8"},         {"pal8gs", "pal8gs"},     {"pal8-0", "pal8"},
    {"pal8rle", "pal8"},      {"pal8topdown", "pal8"},  {"pal8w124", "pal8w124"},
    {"pal8w125", "pal8w125"}, {"pal8w126", "pal8w126"}, {"pal8nonsquare", "pal8nonsquare-e"},
    {"pal8v4", "pal8"},       {"pal8v5", "pal8"},       {"rgb16", "rgb16"},
    {"rgb24", "rgb24"},       {"rgb24pal", "rgb24"},    {"rgb32", "rgb24"},
};

// Files whose pixels are described by bit-field masks: not read.
constexpr const char* kBitFields[] = {"rgb16bfdef", "rgb16-565", "rgb16-565pal", "rgb32bfdef", "rgb32bf"};

std::vector<fs::path> bitmapsIn(const fs::path& dir) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().extension() == ".bmp") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(BitmapSuite, GoodFilesMatchTheirReferencePictures) {
  MORVANE_REQUIRE_TESTDATA(suite, "bmpsuite");
  for (const Reference& ref : kGood) {
    SCOPED_TRACE(ref.file);
    KW_PicDoc doc;
    ASSERT_NE(doc.LoadBitmap((suite / "g" / (std::string(ref.file) + ".bmp")).string()), nullptr);
    const auto png = testenv::ReadPng(suite / "html" / (std::string(ref.png) + ".png"));
    ASSERT_TRUE(png.has_value());
    ASSERT_EQ(doc.width, png->width);
    ASSERT_EQ(doc.height, png->height);
    const bool fiveBit = std::string(ref.file) == "rgb16";
    int mismatches = 0;
    for (int row = 0; row < doc.height; ++row) {
      for (int col = 0; col < doc.width; ++col) {
        const std::uint32_t want = png->at(col, doc.height - 1 - row);
        if ((want >> 24) != 0xFF) continue;  // only pixels the reference shows as opaque
        std::uint32_t expected = want & 0xFFFFFF;
        // A 16-bit file holds 5 bits per channel and we scale them by 8; the
        // reference scales to the full 0-255 range, so only the top 5 bits
        // of each of its channels can agree.
        if (fiveBit) expected &= 0xF8F8F8;
        const std::uint32_t got = doc.At(col, row) & 0xFFFFFF;
        if (got != expected && ++mismatches <= 5)
          ADD_FAILURE() << "pixel " << col << "," << row << ": " << std::hex << got << " != " << expected;
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

TEST(BitmapSuite, ReferencePicturesAreMostlyOpaque) {
  // Guards the comparison above against skipping everything.
  MORVANE_REQUIRE_TESTDATA(suite, "bmpsuite");
  for (const Reference& ref : kGood) {
    const auto png = testenv::ReadPng(suite / "html" / (std::string(ref.png) + ".png"));
    ASSERT_TRUE(png.has_value()) << ref.png;
    const auto opaque =
        std::count_if(png->argb.begin(), png->argb.end(), [](std::uint32_t p) { return (p >> 24) == 0xFF; });
    EXPECT_EQ(static_cast<std::size_t>(opaque), png->argb.size()) << ref.png;
  }
}

TEST(BitmapSuite, BitFieldFilesFailCleanly) {
  MORVANE_REQUIRE_TESTDATA(suite, "bmpsuite");
  for (const char* name : kBitFields) {
    KW_PicDoc doc;
    EXPECT_EQ(doc.LoadBitmap((suite / "g" / (std::string(name) + ".bmp")).string()), nullptr) << name;
    EXPECT_FALSE(doc.hasPicture());
    EXPECT_EQ(doc.width, 0);
  }
}

// Palette entries distinct in their colour, so that nearest-colour coding
// gives every pixel its own entry back.
bool savesLosslessly(const KW_PicDoc& doc) {
  if (doc.bitCount > 8) return true;
  const int entries = doc.paletteCount == 0 && doc.bitCount == 1 ? 2 : doc.paletteCount;
  if (entries > (1 << doc.bitCount)) return false;
  std::set<std::uint32_t> colours;
  for (int i = 0; i < entries; ++i) colours.insert(doc.palette[static_cast<std::size_t>(i)] & 0xFFFFFF);
  if (static_cast<int>(colours.size()) != entries) return false;
  std::set<std::uint32_t> exact(doc.palette.begin(), doc.palette.begin() + entries);
  return std::all_of(doc.pixels.begin(), doc.pixels.end(),
                     [&exact](std::uint32_t p) { return exact.count(p) != 0; });
}

TEST(BitmapSuite, EveryFileLoadsOrFailsAndSurvivesARoundTrip) {
  MORVANE_REQUIRE_TESTDATA(suite, "bmpsuite");
  const fs::path out = testenv::MakeTempFolder("bmpsuite");
  int loaded = 0;
  int failed = 0;
  int lossless = 0;
  for (const char* dir : {"g", "q", "b", "x"}) {
    for (const fs::path& file : bitmapsIn(suite / dir)) {
      SCOPED_TRACE(file.string());
      KW_PicDoc doc;
      if (doc.LoadBitmap(file.string()) == nullptr) {
        ++failed;
        EXPECT_FALSE(doc.hasPicture());
        EXPECT_EQ(doc.width, 0);
        EXPECT_EQ(doc.height, 0);
        continue;
      }
      ++loaded;
      ASSERT_GT(doc.width, 0);
      ASSERT_GT(doc.height, 0);
      ASSERT_EQ(doc.pixels.size(),
                static_cast<std::size_t>(doc.width) * static_cast<std::size_t>(doc.height));
      const std::string copy = (out / file.filename()).string();
      ASSERT_TRUE(doc.SaveBitmap(copy));
      KW_PicDoc back;
      ASSERT_NE(back.LoadBitmap(copy), nullptr);
      EXPECT_EQ(back.width, doc.width);
      EXPECT_EQ(back.height, doc.height);
      EXPECT_EQ(back.bitCount, doc.bitCount);
      EXPECT_EQ(back.xPelsPerMeter, doc.xPelsPerMeter);
      if (savesLosslessly(doc)) {
        ++lossless;
        EXPECT_TRUE(back.pixels == doc.pixels);
      }
    }
  }
  fs::remove_all(out);
  // Every good file without bit fields loads; all bit-field and bad-depth files fail.
  EXPECT_GE(loaded, 30);
  EXPECT_GE(failed, 10);
  EXPECT_GE(lossless, 25);
}

TEST(BitmapSuite, BadFilesNeverLoadAsHugePictures) {
  MORVANE_REQUIRE_TESTDATA(suite, "bmpsuite");
  for (const char* name : {"badwidth", "reallybig", "badbitcount", "badplanes", "shortfile", "badrle",
                           "badrlebis", "badrleter", "badrle4", "badrle4bis", "badrle4ter", "rgb16-880"}) {
    KW_PicDoc doc;
    const bool ok = doc.LoadBitmap((suite / "b" / (std::string(name) + ".bmp")).string()) != nullptr;
    EXPECT_LE(doc.pixels.size(), kMaxBitmapPixels) << name;
    if (std::string(name) == "badwidth" || std::string(name) == "reallybig" ||
        std::string(name) == "badbitcount" || std::string(name) == "shortfile" ||
        std::string(name) == "rgb16-880") {
      EXPECT_FALSE(ok) << name;
    }
  }
}

}  // namespace
