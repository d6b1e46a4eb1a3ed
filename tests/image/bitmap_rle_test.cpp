// Run-length bitmap data: runs, deltas, absolute runs, overruns, and
// headers that promise more than their data holds.
#include "bitmap_files.h"

namespace {

using namespace bmptest;

TEST(BitmapRle, EightBitRunsLinesDeltasAndAbsoluteRuns) {
  // 4 x 3: run of 3 x idx2; absolute run (1, 4, 3) plus a pad byte; end of
  // line; delta (+1, +1); run of 1 x idx4; end of picture.
  const Bytes data = {3, 2, 0, 3, 1, 4, 3, 0, 0, 0, 0, 2, 1, 1, 1, 4, 0, 1};
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, rleFile(8, 4, 3, data).bytes()));
  EXPECT_EQ(doc.compression, 1);
  EXPECT_EQ(doc.paletteCount, 5);
  // Row 0: 3 3 3 2; the absolute run ran on into row 1: 5 4; the line end
  // goes to row 1, column 0 and the delta to (1, 2). Uncovered pixels hold
  // palette[0].
  EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{3, 3, 3, 2, 5, 4, 1, 1, 1, 5, 1, 1}));
}

TEST(BitmapRle, EightBitDeltaAndUncoveredPixels) {
  // 3 x 3: delta (+2, +1), 1 x idx3, end of line, 2 x idx1; data ends
  // without an end mark, which is fine.
  const Bytes data = {0, 2, 2, 1, 1, 3, 0, 0, 2, 1};
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, rleFile(8, 3, 3, data).bytes()));
  EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{1, 1, 1, 1, 1, 4, 2, 2, 1}));
}

TEST(BitmapRle, EightBitOverrunFails) {
  KW_PicDoc doc;
  EXPECT_FALSE(load(doc, rleFile(8, 2, 2, {5, 1, 0, 1}).bytes()));
  EXPECT_FALSE(doc.hasPicture());
  EXPECT_FALSE(load(doc, rleFile(8, 2, 2, {0, 0, 0, 0, 1, 1}).bytes()));  // third row of two
  EXPECT_FALSE(load(doc, rleFile(8, 2, 2, {0, 2, 255, 255, 1, 1}).bytes()));
  EXPECT_FALSE(load(doc, rleFile(8, 2, 2, {0, 5, 0, 0, 0, 0, 0, 0}).bytes()));  // absolute run too long
  // Exactly filling the picture is fine.
  ASSERT_TRUE(load(doc, rleFile(8, 2, 2, {4, 1, 0, 1}).bytes()));
  EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{2, 2, 2, 2}));
}

TEST(BitmapRle, FourBitRunsAlternateAndStopAtTheLastColumn) {
  // 4 x 2: run of 6 nibbles (1,2) on row 0: 1 2 1 2, then the surplus 1 2
  // lands on the last column; end of line; absolute run of 3 nibbles
  // 3 4 0 (padded to 2 bytes), end of picture.
  const Bytes data = {6, 0x12, 0, 0, 0, 3, 0x34, 0x00, 0, 1};
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, rleFile(4, 4, 2, data).bytes()));
  EXPECT_EQ(doc.compression, 2);
  EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{2, 3, 2, 3, 4, 5, 1, 1}));
}

TEST(BitmapRle, FourBitOddAbsoluteRunPadding) {
  // Absolute run of 5 nibbles takes 3 bytes plus one pad byte; then a run.
  const Bytes data = {0, 5, 0x01, 0x23, 0x40, 0xFF, 2, 0x44, 0, 1};
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, rleFile(4, 8, 1, data).bytes()));
  EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 5, 5, 1}));
}

TEST(BitmapRle, FourBitOverrunFailsAndDeltasMove) {
  KW_PicDoc doc;
  EXPECT_FALSE(load(doc, rleFile(4, 2, 1, {0, 0, 1, 0x11}).bytes()));
  EXPECT_FALSE(doc.hasPicture());
  EXPECT_FALSE(load(doc, rleFile(4, 2, 2, {0, 2, 0, 5, 1, 0x11}).bytes()));
  ASSERT_TRUE(load(doc, rleFile(4, 3, 2, {0, 2, 1, 1, 2, 0x23}).bytes()));
  EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{1, 1, 1, 1, 3, 4}));
}

TEST(BitmapRle, SavedPlainAndReloadedUnchanged) {
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, rleFile(8, 3, 3, {0, 2, 2, 1, 1, 3, 0, 0, 2, 1}).bytes()));
  KW_PicDoc again;
  ASSERT_TRUE(load(again, save(doc)));
  EXPECT_EQ(again.compression, 0);
  EXPECT_EQ(again.pixels, doc.pixels);
}

// Run-length data of n runs of 255 pixels of palette[1], then the end mark.
Bytes runsOf255(int n) {
  Bytes data;
  for (int i = 0; i < n; ++i) {
    data.push_back(255);
    data.push_back(1);
  }
  data.push_back(0);
  data.push_back(1);
  return data;
}

TEST(BitmapRle, HeadersFarBeyondTheirDataAreRefused) {
  // About 1 KB of runs under headers of 2^28 pixels: the picture would cost
  // a gigabyte. The document loses its old picture, as on any failure.
  const Bytes runs = runsOf255(480);
  for (const auto& [bits, w, h] : {std::tuple{8, 16384, 16384}, {8, 1 << 27, 2}, {4, 16384, 16384}}) {
    SCOPED_TRACE(std::to_string(bits) + " bits " + std::to_string(w) + "x" + std::to_string(h));
    KW_PicDoc doc;
    ASSERT_TRUE(load(doc, rgbFile(3, 2, true).bytes()));
    EXPECT_FALSE(load(doc, rleFile(static_cast<std::uint16_t>(bits), w, h, runs).bytes()));
    EXPECT_FALSE(doc.hasPicture());
    EXPECT_EQ(doc.width, 0);
    EXPECT_EQ(doc.height, 0);
  }
}

TEST(BitmapRle, LargePicturesTheirDataDescribesLoad) {
  // 2048 x 1024, every row in runs of at most 255 pixels and a line end: as
  // tightly as run-length data goes (about 100 pixels per byte). Bands of 8
  // rows alternate between palette[1] and palette[2].
  const int w = 2048;
  const int h = 1024;
  Bytes data;
  for (int row = 0; row < h; ++row) {
    for (int left = w; left > 0; left -= 255) {
      data.push_back(static_cast<std::uint8_t>(std::min(left, 255)));
      data.push_back(static_cast<std::uint8_t>(1 + (row / 8) % 2));
    }
    data.push_back(0);
    data.push_back(0);
  }
  data.push_back(0);
  data.push_back(1);
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, rleFile(8, w, h, data).bytes()));
  ASSERT_EQ(doc.pixels.size(), static_cast<std::size_t>(w) * h);
  int wrong = 0;
  for (int row = 0; row < h; ++row)
    for (int col = 0; col < w; ++col) wrong += doc.At(col, row) != 2U + static_cast<unsigned>((row / 8) % 2);
  EXPECT_EQ(wrong, 0);

  // The same header over the first tenth of that data promises ten times
  // what the data describes.
  data.resize(data.size() / 10);
  EXPECT_FALSE(load(doc, rleFile(8, w, h, data).bytes()));
  EXPECT_FALSE(doc.hasPicture());

  // A small picture made of nothing but the end mark is blank, not refused.
  ASSERT_TRUE(load(doc, rleFile(8, 640, 480, {0, 1}).bytes()));
  EXPECT_EQ(std::count(doc.pixels.begin(), doc.pixels.end(), 1U), 640 * 480);
}

}  // namespace
