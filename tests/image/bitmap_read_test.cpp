// Plain bitmap files of every depth read and written: tiny files built byte
// by byte, headers of every size, malformed headers.
#include "bitmap_files.h"

namespace {

using namespace bmptest;

TEST(BitmapRead, TwentyFourBitRowsWithAndWithoutPadding) {
  for (int w : {4, 5, 6, 7}) {
    SCOPED_TRACE(w);
    const Bytes file = rgbFile(w, 3, true).bytes();
    KW_PicDoc doc;
    ASSERT_TRUE(load(doc, file));
    expectRgbPicture(doc, w, 3);
    EXPECT_EQ(doc.bitCount, 24);
    EXPECT_EQ(doc.paletteCount, 0);
    EXPECT_EQ(doc.xPelsPerMeter, 3780);
    EXPECT_EQ(doc.yPelsPerMeter, 2835);
    // Our own writer produces the same bytes: 12-byte rows for 4 pixels,
    // 16-byte rows (15 + 1 pad byte) for 5.
    EXPECT_EQ(save(doc), file);
  }
  EXPECT_EQ(rgbFile(4, 1, true).data.size(), 12U);
  EXPECT_EQ(rgbFile(5, 1, true).data.size(), 16U);
}

TEST(BitmapRead, UnpaddedRowsLoadThroughTheRetry) {
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, rgbFile(5, 4, false).bytes()));
  expectRgbPicture(doc, 5, 4);
  // One byte short even without padding: no picture.
  BmpFile cut = rgbFile(5, 4, false);
  cut.data.pop_back();
  EXPECT_FALSE(load(doc, cut.bytes()));
  EXPECT_FALSE(doc.hasPicture());
  EXPECT_EQ(doc.width, 0);
  EXPECT_EQ(doc.height, 0);
}

TEST(BitmapRead, PaddingMissingOnlyAfterTheLastRowIsEnough) {
  BmpFile f = rgbFile(5, 3, true);
  f.data.pop_back();
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, f.bytes()));
  expectRgbPicture(doc, 5, 3);
}

TEST(BitmapRead, TopDownFileMatchesItsBottomUpTwin) {
  KW_PicDoc up;
  KW_PicDoc down;
  ASSERT_TRUE(load(up, rgbFile(5, 3, true).bytes()));
  ASSERT_TRUE(load(down, rgbFile(5, 3, true, true).bytes()));
  expectRgbPicture(down, 5, 3);
  EXPECT_EQ(up.pixels, down.pixels);
  const Bytes saved = save(down);
  EXPECT_EQ(static_cast<std::int32_t>(read32(saved, 22)), 3);  // positive height: bottom-up
  EXPECT_EQ(saved, save(up));
}

TEST(BitmapRead, OneBitWithAndWithoutColourTable) {
  // 10 x 2: bits 1011 0000 01 on the bottom row, all set on the top row.
  BmpFile f;
  f.width = 10;
  f.height = 2;
  f.bits = 1;
  f.data = {0xB0, 0x40, 0, 0, 0xFF, 0xC0, 0, 0};
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, f.bytes()));
  EXPECT_EQ(doc.paletteCount, 0);
  const std::uint32_t B = 0;
  const std::uint32_t W = 0xFFFFFF;
  EXPECT_EQ(doc.pixels, (bottomUp({{W, W, W, W, W, W, W, W, W, W}, {W, B, W, W, B, B, B, B, B, W}})));
  EXPECT_EQ(save(doc), f.bytes());  // no table, the same bits back

  f.palette = {0x00123456, 0x00ABCDEF};
  ASSERT_TRUE(load(doc, f.bytes()));
  EXPECT_EQ(doc.paletteCount, 2);
  EXPECT_EQ(doc.At(0, 0), 0xABCDEFU);
  EXPECT_EQ(doc.At(1, 0), 0x123456U);
  EXPECT_EQ(save(doc), f.bytes());
}

TEST(BitmapWrite, OneBitHalfwayPixelsGiveSetBits) {
  KW_PicDoc doc;
  doc.width = 9;
  doc.height = 1;
  doc.bitCount = 1;
  doc.paletteCount = 2;
  doc.palette[0] = 0x000000;
  doc.palette[1] = 0x0000C8;
  // 100 is exactly halfway between blue 0 and blue 200; 99 is nearer 0.
  doc.pixels = {0x64, 0x63, 0xC8, 0, 0x640000, 0x000064, 0x63, 0x65, 0x64};
  const Bytes out = save(doc);
  ASSERT_EQ(out.size(), 54U + 8 + 4);
  EXPECT_EQ(read32(out, 10), 62U);
  // 1 0 1 0 0 1 0 1 | 1, the unused bits of the last byte 0.
  EXPECT_EQ(out[62], 0xA5);
  EXPECT_EQ(out[63], 0x80);
  EXPECT_EQ(out[64], 0);
  EXPECT_EQ(out[65], 0);
}

TEST(BitmapRead, SixteenBitFiveFiveFive) {
  BmpFile f;
  f.width = 4;
  f.height = 1;
  f.bits = 16;
  for (std::uint32_t w : {0x7FFFU, 0x7C00U, 0x83E0U, 0x001FU}) add16(f.data, w);
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, f.bytes()));
  EXPECT_EQ(doc.At(0, 0), 0xF8F8F8U);
  EXPECT_EQ(doc.Red(0, 0), 248);
  EXPECT_EQ(doc.At(1, 0), 0xF80000U);
  EXPECT_EQ(doc.At(2, 0), 0x00F800U);  // bit 15 ignored
  EXPECT_EQ(doc.At(3, 0), 0x0000F8U);
  const Bytes out = save(doc);
  ASSERT_EQ(out.size(), 54U + 8);
  EXPECT_EQ(read32(out, 54), 0x7C007FFFU);
  EXPECT_EQ(read32(out, 58), 0x001F03E0U);  // bit 15 is not written back
}

TEST(BitmapRead, ThirtyTwoBitKeepsTheFourthByte) {
  BmpFile f;
  f.width = 2;
  f.height = 2;
  f.bits = 32;
  for (std::uint32_t v : {0x11223344U, 0xFF000000U, 0x00ABCDEFU, 0x80FFFFFFU}) add32(f.data, v);
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, f.bytes()));
  EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{0x11223344U, 0xFF000000U, 0x00ABCDEFU, 0x80FFFFFFU}));
  EXPECT_EQ(save(doc), f.bytes());
}

TEST(BitmapWrite, EightBitWithFullTableUsesNearestEntries) {
  BmpFile f = greyPalette8(3, 1);
  f.data = {0, 128, 255, 0};
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, f.bytes()));
  EXPECT_EQ(doc.paletteCount, 256);
  EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{0, 0x808080, 0xFFFFFF}));
  doc.pixels = {0x0A0A0C, 0xFF0000, 0x102030};
  const Bytes out = save(doc);
  EXPECT_EQ(read32(out, 10), 1078U);
  ASSERT_EQ(out.size(), 1078U + 4);
  // (10,10,12) is 2 from grey 10 and 3 from grey 11. Pure red is 255 + g
  // from grey g: black.
  // (16,32,48): |16-g|+|32-g|+|48-g| is smallest at g = 32.
  EXPECT_EQ(out[1078], 10);
  EXPECT_EQ(out[1079], 0);
  EXPECT_EQ(out[1080], 32);
  EXPECT_EQ(out[1081], 0);
}

TEST(BitmapWrite, NearestIndexRules) {
  const std::uint32_t table[4] = {0x102030, 0x405060, 0x102030, 0xFFFFFF};
  EXPECT_EQ(NearestPaletteIndex(table, 4, 0x102030), 0);    // the first of equal entries
  EXPECT_EQ(NearestPaletteIndex(table, 4, 0xFF102030), 0);  // the fourth byte does not count
  EXPECT_EQ(NearestPaletteIndex(table, 4, 0xF0F0F0), 3);
  EXPECT_EQ(NearestPaletteIndex(table, 0, 0x102030), 255);
  // Equal distances: 0x283848 lies 72 from both of the first two entries.
  EXPECT_EQ(NearestPaletteIndex(table, 4, 0x283848), 0);
}

TEST(BitmapWrite, EmptyTableGivesIndexFifteenAndTwoFiftyFive) {
  KW_PicDoc doc;
  doc.width = 3;
  doc.height = 1;
  doc.paletteCount = 0;
  doc.pixels = {0, 0x123456, 0xFFFFFF};
  doc.bitCount = 8;
  Bytes out = save(doc);
  EXPECT_EQ(read32(out, 10), 54U);
  EXPECT_EQ((Bytes{out.begin() + 54, out.end()}), (Bytes{255, 255, 255, 0}));
  doc.bitCount = 4;
  out = save(doc);
  EXPECT_EQ((Bytes{out.begin() + 54, out.end()}), (Bytes{0xFF, 0xF0, 0, 0}));  // odd last pixel: low nibble 0
}

TEST(BitmapRead, FourBitPlainAndUnpadded) {
  BmpFile f;
  f.width = 3;
  f.height = 2;
  f.bits = 4;
  f.palette = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
  f.data = {0x12, 0x30, 0, 0, 0x33, 0x20, 0, 0};
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, f.bytes()));
  EXPECT_EQ(doc.paletteCount, 4);
  EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{0xFF, 0xFF00, 0xFF0000, 0xFF0000, 0xFF0000, 0xFF00}));
  EXPECT_EQ(save(doc), f.bytes());
  f.data = {0x12, 0x30, 0x33, 0x20};
  ASSERT_TRUE(load(doc, f.bytes()));
  EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{0xFF, 0xFF00, 0xFF0000, 0xFF0000, 0xFF0000, 0xFF00}));
}

TEST(BitmapRead, EightBitIndexBeyondTheTableIsBlack) {
  BmpFile f;
  f.width = 4;
  f.height = 1;
  f.bits = 8;
  f.palette = {0x111111, 0x222222};
  f.data = {1, 2, 255, 0};
  KW_PicDoc doc;
  doc.palette.fill(0x777777);  // leftovers must not leak in
  ASSERT_TRUE(load(doc, f.bytes()));
  EXPECT_EQ(doc.paletteCount, 2);
  EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{0x222222, 0, 0, 0x111111}));
}

TEST(BitmapRead, OversizedTableIsCappedAndPixelsFollowTheOffset) {
  BmpFile f;
  f.width = 2;
  f.height = 1;
  f.bits = 8;
  for (std::uint32_t i = 0; i < 300; ++i) f.palette.push_back(i * 3);
  f.data = {255, 7, 0, 0};
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, f.bytes()));
  EXPECT_EQ(doc.paletteCount, 256);
  EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{765, 21}));
}

TEST(BitmapRead, LargerInformationHeadersAndGaps) {
  for (std::uint32_t size : {52U, 56U, 108U, 124U}) {
    SCOPED_TRACE(size);
    BmpFile f;
    f.infoSize = size;
    f.width = 2;
    f.height = 1;
    f.bits = 8;
    f.palette = {0x0000FF, 0x00FF00, 0xFF0000};
    f.data = {2, 1, 0, 0};
    KW_PicDoc doc;
    ASSERT_TRUE(load(doc, f.bytes()));
    EXPECT_EQ(doc.paletteCount, 3);
    EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{0xFF0000, 0xFF00}));

    BmpFile rgb = rgbFile(3, 2, true);
    rgb.infoSize = size;
    ASSERT_TRUE(load(doc, rgb.bytes()));
    expectRgbPicture(doc, 3, 2);
  }
  // A 24-bit file with a colour table, and one with a gap before its pixels.
  BmpFile withTable = rgbFile(3, 2, true);
  withTable.palette.assign(256, 0x00FFFFFF);
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, withTable.bytes()));
  expectRgbPicture(doc, 3, 2);
  EXPECT_EQ(doc.paletteCount, 0);
  BmpFile gap = greyPalette8(2, 1);
  gap.offBits = 14 + 40 + 1024 + 6;
  gap.data = {9, 200, 0, 0};
  ASSERT_TRUE(load(doc, gap.bytes()));
  EXPECT_EQ(doc.paletteCount, 256);
  EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{0x090909, 0xC8C8C8}));
}

TEST(BitmapRead, ImplausibleHeaderSizeFallsBackToFortyBytes) {
  // A header size field of 1000 would put the table past the pixel data.
  BmpFile f;
  f.width = 2;
  f.height = 1;
  f.bits = 8;
  f.palette = {0x0000FF, 0x00FF00};
  f.data = {1, 0, 0, 0};
  Bytes b = f.bytes();
  b[14] = 0xE8;
  b[15] = 0x03;
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, b));
  EXPECT_EQ(doc.paletteCount, 2);
  EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{0xFF00, 0xFF}));
}

TEST(BitmapRead, SixteenAndThirtyTwoBitSkipTheirColoursUsed) {
  BmpFile f;
  f.width = 1;
  f.height = 1;
  f.bits = 32;
  f.colorsUsed = 2;
  f.palette = {0x99, 0x98};
  add32(f.data, 0x00445566);
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, f.bytes()));
  EXPECT_EQ(doc.At(0, 0), 0x445566U);
  EXPECT_EQ(doc.paletteCount, 0);
}

TEST(BitmapRead, MalformedHeadersFailWithoutAPicture) {
  KW_PicDoc doc;
  const Bytes good = rgbFile(2, 2, true).bytes();
  ASSERT_TRUE(load(doc, good));
  EXPECT_FALSE(load(doc, Bytes(good.begin(), good.begin() + 13)));  // short file header
  EXPECT_FALSE(doc.hasPicture());
  EXPECT_EQ(doc.width, 0);
  EXPECT_FALSE(load(doc, Bytes(good.begin(), good.begin() + 53)));  // short information header
  Bytes wrongType = good;
  wrongType[0] = 'X';
  EXPECT_FALSE(load(doc, wrongType));
  EXPECT_FALSE(load(doc, Bytes{}));

  auto fails = [&doc](const BmpFile& f, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_TRUE(load(doc, rgbFile(1, 1, true).bytes()));
    EXPECT_FALSE(load(doc, f.bytes()));
    EXPECT_FALSE(doc.hasPicture());
    EXPECT_EQ(doc.width, 0);
    EXPECT_EQ(doc.height, 0);
  };
  BmpFile f = rgbFile(2, 2, true);
  f.width = 0;
  fails(f, "width 0");
  f.width = -2;
  fails(f, "negative width");
  f = rgbFile(2, 2, true);
  f.height = 0;
  fails(f, "height 0");
  f.height = INT32_MIN;
  fails(f, "height INT32_MIN");
  f = rgbFile(2, 2, true);
  f.width = INT32_MAX;
  f.height = INT32_MAX;
  fails(f, "width x height beyond any limit");
  f.width = 10000;
  f.height = 10000;
  fails(f, "more pixels than the data holds");
  f = rgbFile(2, 2, true);
  f.bits = 2;
  fails(f, "2 bits");
  f.bits = 16;
  f.compression = 3;
  fails(f, "16 bits with bit fields");
  f.bits = 8;
  f.compression = 2;
  fails(f, "8 bits with 4-bit run-length");
  f.compression = 0x10001;  // must not pass for 1 after narrowing
  fails(f, "8 bits, compression beyond 16 bits");
  f.bits = 32;
  f.compression = 3;
  fails(f, "32 bits with bit fields");
  BmpFile pal = greyPalette8(2, 1);
  pal.data = {1, 2, 0, 0};
  Bytes shortTable = pal.bytes();
  shortTable.resize(54 + 100);
  ASSERT_TRUE(load(doc, rgbFile(1, 1, true).bytes()));
  EXPECT_FALSE(load(doc, shortTable));
  EXPECT_FALSE(doc.hasPicture());
}

TEST(BitmapRead, ShortDataFailsForOneSixteenAndThirtyTwoBits) {
  for (const std::uint16_t bits : {std::uint16_t{1}, std::uint16_t{16}, std::uint16_t{32}}) {
    SCOPED_TRACE(bits);
    BmpFile f;
    f.width = 3;
    f.height = 2;
    f.bits = bits;
    const std::size_t rowBytes = (3U * bits + 7) / 8;
    // Enough bytes for two unpadded rows, too few for the padded ones: these
    // depths do not retry.
    f.data.assign(2 * rowBytes, 0x55);
    if (rowBytes % 4 == 0) continue;  // no padding to miss
    KW_PicDoc doc;
    EXPECT_FALSE(load(doc, f.bytes()));
    EXPECT_FALSE(doc.hasPicture());
  }
}

}  // namespace
