// Bitmap files of the picture document: tiny files built byte by byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <future>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/kw_log.h"
#include "image/bitmap_io.h"
#include "image/pic_doc.h"
#include "image/pixel_pool.h"
#include "support/test_env.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void add16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v & 0xFF));
  b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
void add32(Bytes& b, std::uint32_t v) {
  add16(b, v & 0xFFFF);
  add16(b, v >> 16);
}
std::uint32_t read32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// A bitmap file put together field by field. offBits 0 means "directly after
// header and table".
struct BmpFile {
  std::int32_t width = 1;
  std::int32_t height = 1;
  std::uint16_t bits = 24;
  std::uint32_t compression = 0;
  std::uint32_t infoSize = 40;
  std::uint32_t offBits = 0;
  std::uint32_t colorsUsed = 0;
  std::int32_t xPels = 3780;
  std::int32_t yPels = 2835;
  std::uint32_t fileSize = 0;  // 0: the real length
  std::vector<std::uint32_t> palette;
  Bytes data;

  Bytes bytes() const {
    Bytes b;
    const std::uint32_t tableEnd = 14 + infoSize + 4 * static_cast<std::uint32_t>(palette.size());
    const std::uint32_t off = offBits != 0 ? offBits : tableEnd;
    b.push_back('B');
    b.push_back('M');
    add32(b, 0);
    add32(b, 0);
    add32(b, off);
    add32(b, infoSize);
    add32(b, static_cast<std::uint32_t>(width));
    add32(b, static_cast<std::uint32_t>(height));
    add16(b, 1);
    add16(b, bits);
    add32(b, compression);
    add32(b, 0);
    add32(b, static_cast<std::uint32_t>(xPels));
    add32(b, static_cast<std::uint32_t>(yPels));
    add32(b, colorsUsed);
    add32(b, 0);
    while (b.size() < 14 + infoSize) b.push_back(0xEE);  // the larger headers' extra fields
    for (std::uint32_t p : palette) add32(b, p);
    while (b.size() < off) b.push_back(0xAB);  // a gap before the pixels
    b.insert(b.end(), data.begin(), data.end());
    const std::uint32_t size = fileSize != 0 ? fileSize : static_cast<std::uint32_t>(b.size());
    for (int i = 0; i < 4; ++i)
      b[2 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
    return b;
  }
};

bool load(KW_PicDoc& doc, const Bytes& b) { return LoadBitmapFromMemory(doc, b); }

Bytes save(const KW_PicDoc& doc) {
  Bytes out;
  EXPECT_TRUE(SaveBitmapToMemory(doc, out));
  return out;
}

// Rows given top row first, as one reads a picture.
std::vector<std::uint32_t> bottomUp(const std::vector<std::vector<std::uint32_t>>& topFirst) {
  std::vector<std::uint32_t> out;
  for (auto it = topFirst.rbegin(); it != topFirst.rend(); ++it)
    out.insert(out.end(), it->begin(), it->end());
  return out;
}

void addBgr(Bytes& b, std::uint32_t rgb) {
  b.push_back(static_cast<std::uint8_t>(rgb & 0xFF));
  b.push_back(static_cast<std::uint8_t>((rgb >> 8) & 0xFF));
  b.push_back(static_cast<std::uint8_t>((rgb >> 16) & 0xFF));
}

// A w x h 24-bit file whose pixel (x, y) is colourAt(x, y), rows padded
// (or not).
BmpFile rgbFile(int w, int h, bool pad, bool topDown = false) {
  BmpFile f;
  f.width = w;
  f.height = topDown ? -h : h;
  for (int k = 0; k < h; ++k) {
    const int row = topDown ? h - 1 - k : k;
    for (int x = 0; x < w; ++x)
      addBgr(f.data,
             static_cast<std::uint32_t>(0x10000 * (row * 40 + 3) + 0x100 * (x * 30 + 7) + (x + row + 1)));
    if (pad)
      while (f.data.size() % 4 != 0) f.data.push_back(0);
  }
  return f;
}
std::uint32_t colourAt(int x, int row) {
  return static_cast<std::uint32_t>(0x10000 * (row * 40 + 3) + 0x100 * (x * 30 + 7) + (x + row + 1));
}

void expectRgbPicture(const KW_PicDoc& doc, int w, int h) {
  ASSERT_EQ(doc.width, w);
  ASSERT_EQ(doc.height, h);
  ASSERT_EQ(doc.pixels.size(), static_cast<std::size_t>(w * h));
  for (int row = 0; row < h; ++row)
    for (int x = 0; x < w; ++x) EXPECT_EQ(doc.At(x, row), colourAt(x, row)) << x << "," << row;
}

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

BmpFile greyPalette8(int w, int h) {
  BmpFile f;
  f.width = w;
  f.height = h;
  f.bits = 8;
  for (std::uint32_t i = 0; i < 256; ++i) f.palette.push_back(i * 0x010101U);
  return f;
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

// Run-length data.
BmpFile rleFile(std::uint16_t bits, int w, int h, Bytes data) {
  BmpFile f;
  f.width = w;
  f.height = h;
  f.bits = bits;
  f.compression = bits == 8 ? 1 : 2;
  f.palette = {0x000001, 0x000002, 0x000003, 0x000004, 0x000005};
  f.data = std::move(data);
  return f;
}

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

// Random pictures of every depth survive a save and a load.
TEST(BitmapRoundTrip, EveryDepthKeepsEveryPixel) {
  std::mt19937 rng(12345);
  for (const int depth : {1, 4, 8, 16, 24, 32}) {
    const auto bits = static_cast<std::uint16_t>(depth);
    for (int w = 1; w <= 9; ++w) {
      for (int h = 1; h <= 3; ++h) {
        SCOPED_TRACE(std::to_string(bits) + " bits " + std::to_string(w) + "x" + std::to_string(h));
        KW_PicDoc doc;
        doc.width = w;
        doc.height = h;
        doc.bitCount = bits;
        doc.xPelsPerMeter = 1000 + w;
        doc.yPelsPerMeter = 2000 + h;
        const int entries = bits <= 8 ? 1 << bits : 0;
        doc.paletteCount = entries;
        for (int i = 0; i < entries; ++i)
          doc.palette[static_cast<std::size_t>(i)] = (static_cast<std::uint32_t>(i) * 0x9E3779U) & 0xFFFFFFU;
        for (int i = 0; i < w * h; ++i) {
          const auto r = static_cast<std::uint32_t>(rng());
          std::uint32_t p = r;
          if (bits <= 8) p = doc.palette[r % static_cast<std::uint32_t>(entries)];
          if (bits == 16) p = r & 0xF8F8F8U;
          if (bits == 24) p = r & 0xFFFFFFU;
          doc.pixels.push_back(p);
        }
        const Bytes file = save(doc);
        EXPECT_EQ(read32(file, 2), file.size());
        EXPECT_EQ(file.size(),
                  54 + 4 * static_cast<std::size_t>(entries) +
                      static_cast<std::size_t>(h) * ((static_cast<std::size_t>(w) * bits + 31) / 32 * 4));
        KW_PicDoc back;
        ASSERT_TRUE(load(back, file));
        EXPECT_EQ(back.pixels, doc.pixels);
        EXPECT_EQ(back.bitCount, bits);
        EXPECT_EQ(back.paletteCount, entries);
        EXPECT_EQ(back.xPelsPerMeter, doc.xPelsPerMeter);
        EXPECT_EQ(back.yPelsPerMeter, doc.yPelsPerMeter);
      }
    }
  }
}

TEST(BitmapWrite, RefusesABufferThatDoesNotMatchItsSize) {
  KW_PicDoc doc;
  doc.width = 4;
  doc.height = 4;
  doc.bitCount = 24;
  doc.pixels.assign(3, 0);
  Bytes out;
  EXPECT_FALSE(SaveBitmapToMemory(doc, out));
  const auto dir = testenv::MakeTempFolder("bmpw");
  const auto path = (dir / "keep.bmp").string();
  testenv::WriteFile(path, "precious");
  EXPECT_FALSE(doc.SaveBitmap(path));
  EXPECT_EQ(testenv::ReadFile(path), "precious");  // not truncated
  std::filesystem::remove_all(dir);
}

TEST(BitmapWrite, EmptyDocumentWritesHeadersOnly) {
  KW_PicDoc doc;  // bitCount 0, paletteCount 1
  const Bytes out = save(doc);
  ASSERT_EQ(out.size(), 58U);
  EXPECT_EQ(read32(out, 2), 58U);
  EXPECT_EQ(read32(out, 10), 58U);
  EXPECT_EQ(read32(out, 14), 40U);
  KW_PicDoc back;
  EXPECT_FALSE(load(back, out));  // width 0: no picture to read
}

class BitmapFileTest : public testenv::HomeTest {};

TEST_F(BitmapFileTest, LoadAndSaveThroughFiles) {
  const Bytes file = rgbFile(5, 3, true).bytes();
  const auto path = (home / "in.bmp").string();
  testenv::WriteFile(path, std::string(file.begin(), file.end()));
  KW_PicDoc doc;
  const std::uint32_t* result = doc.LoadBitmap(path);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result, doc.pixels.data());
  expectRgbPicture(doc, 5, 3);
  EXPECT_TRUE(std::regex_match(
      doc.loadTime, std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] "
                               "[0-9]{4}\n")))
      << doc.loadTime;
  const auto out = (home / "out.bmp").string();
  ASSERT_TRUE(doc.SaveBitmap(out));
  EXPECT_EQ(testenv::ReadFile(out), std::string(file.begin(), file.end()));

  EXPECT_EQ(doc.LoadBitmap((home / "missing.bmp").string()), nullptr);
  EXPECT_FALSE(doc.hasPicture());
  EXPECT_FALSE(doc.loadTime.empty());
  EXPECT_FALSE(doc.SaveBitmap((home / "no-such-folder" / "x.bmp").string()));
  // A folder is no bitmap, to read or to write.
  EXPECT_EQ(doc.LoadBitmap(home.string()), nullptr);
  EXPECT_FALSE(doc.hasPicture());
  EXPECT_FALSE(doc.SaveBitmap(home.string()));
}

// Runs call on a thread of its own. A call still blocked on the pipe after a
// long wait is released by opening the pipe's other end, and the test fails
// instead of hanging. A blocked reader gets a write end that is closed at
// once, so it then reads the end of the data; a blocked writer gets a read
// end that stays open until it returns, so that its writes (a tiny picture
// fits in the pipe) do not raise SIGPIPE.
template <class Call>
auto withoutHanging(const std::filesystem::path& pipe, bool callReads, Call call) {
  auto result = std::async(std::launch::async, call);
  if (result.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << "blocked on the named pipe " << pipe;
    for (int attempt = 0; attempt < 100; ++attempt) {
      const int fd = ::open(pipe.c_str(), (callReads ? O_WRONLY : O_RDONLY) | O_NONBLOCK);
      if (fd >= 0) {
        if (callReads) ::close(fd);
        result.wait();
        if (!callReads) ::close(fd);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return result.get();
}

TEST_F(BitmapFileTest, OnlyRegularFilesAreReadAndWritten) {
  // A named pipe nobody writes to or reads from.
  const auto pipe = home / "pipe.bmp";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, rgbFile(3, 2, true).bytes()));
  EXPECT_FALSE(withoutHanging(pipe, false, [&doc, &pipe] { return doc.SaveBitmap(pipe.string()); }));
  EXPECT_TRUE(std::filesystem::is_fifo(pipe));
  EXPECT_EQ(withoutHanging(pipe, true, [&doc, &pipe] { return doc.LoadBitmap(pipe.string()); }), nullptr);
  EXPECT_FALSE(doc.hasPicture());
  EXPECT_EQ(doc.width, 0);

  // A longer regular file is replaced whole.
  const auto path = (home / "shorter.bmp").string();
  testenv::WriteFile(path, std::string(1000, 'x'));
  const Bytes file = rgbFile(2, 2, true).bytes();
  ASSERT_TRUE(load(doc, file));
  ASSERT_TRUE(doc.SaveBitmap(path));
  EXPECT_EQ(testenv::ReadFile(path), std::string(file.begin(), file.end()));
}

TEST_F(BitmapFileTest, RunLengthDataReadInPiecesFromAFile) {
  // Longer than one read piece: 70000 two-byte runs, then the end mark.
  Bytes data;
  for (int i = 0; i < 70000; ++i) {
    data.push_back(1);
    data.push_back(static_cast<std::uint8_t>(i % 5));
  }
  data.push_back(0);
  data.push_back(1);
  const Bytes file = rleFile(8, 700, 100, data).bytes();
  const auto path = (home / "rle.bmp").string();
  testenv::WriteFile(path, std::string(file.begin(), file.end()));
  KW_PicDoc doc;
  ASSERT_NE(doc.LoadBitmap(path), nullptr);
  ASSERT_EQ(doc.pixels.size(), 70000U);
  for (std::size_t i = 0; i < doc.pixels.size(); ++i) ASSERT_EQ(doc.pixels[i], i % 5 + 1) << i;
}

TEST_F(BitmapFileTest, LargePlainFilesReadInBlocks) {
  // About 1.3 MB of rows: several read blocks, the last one partly filled.
  const int w = 701;
  const int h = 600;
  auto colour = [](int x, int row) {
    return static_cast<std::uint32_t>((x * 7 + row * 13 * 256 + ((x ^ row) & 0xFF) * 65536) & 0xFFFFFF);
  };
  for (const bool pad : {true, false}) {
    SCOPED_TRACE(pad ? "padded, top-down" : "unpadded, bottom-up");
    BmpFile f;
    f.width = w;
    f.height = pad ? -h : h;
    for (int k = 0; k < h; ++k) {
      const int row = pad ? h - 1 - k : k;
      for (int x = 0; x < w; ++x) addBgr(f.data, colour(x, row));
      if (pad)
        while (f.data.size() % 4 != 0) f.data.push_back(0);
    }
    const Bytes file = f.bytes();
    const auto path = (home / "large.bmp").string();
    testenv::WriteFile(path, std::string(file.begin(), file.end()));
    KW_PicDoc doc;
    ASSERT_NE(doc.LoadBitmap(path), nullptr);
    ASSERT_EQ(doc.pixels.size(), static_cast<std::size_t>(w * h));
    int wrong = 0;
    for (int row = 0; row < h; ++row)
      for (int x = 0; x < w; ++x) wrong += doc.At(x, row) != colour(x, row) ? 1 : 0;
    EXPECT_EQ(wrong, 0);
  }
}

TEST_F(BitmapFileTest, OpenAndSaveFollowTheExtension) {
  const Bytes file = rgbFile(2, 2, true).bytes();
  const std::string bytes(file.begin(), file.end());
  testenv::WriteFile(home / "upper.BMP", bytes);
  testenv::WriteFile(home / "photo.jpg", bytes);
  std::filesystem::create_directories(logFolder());
  const std::string zoomLog = logFolder().string() + std::string(logname::kZoom);
  testenv::WriteFile(zoomLog, "old zoom lines\n");

  KW_PicDoc doc;
  EXPECT_TRUE(doc.OnOpenDocument((home / "upper.BMP").string()));
  EXPECT_TRUE(doc.hasPicture());
  EXPECT_EQ(testenv::ReadFile(zoomLog), "");

  KW_PicDoc other;
  EXPECT_FALSE(other.OnOpenDocument((home / "photo.jpg").string()));
  EXPECT_FALSE(other.hasPicture());
  EXPECT_EQ(other.width, 0);

  testenv::WriteFile(zoomLog, "more zoom lines\n");
  EXPECT_FALSE(doc.OnSaveDocument((home / "copy.jpg").string()));
  EXPECT_FALSE(std::filesystem::exists(home / "copy.jpg"));
  EXPECT_EQ(testenv::ReadFile(zoomLog), "");
  testenv::WriteFile(zoomLog, "more zoom lines\n");
  EXPECT_TRUE(doc.OnSaveDocument((home / "copy.Bmp").string()));
  EXPECT_EQ(testenv::ReadFile(home / "copy.Bmp"), bytes);
  EXPECT_EQ(testenv::ReadFile(zoomLog), "");
}

}  // namespace

TEST(PixelPool, KeepsTheLargestBufferAndHandsItOnce) {
  PixelPool pool;
  EXPECT_TRUE(pool.take(10).empty());
  pool.recycle(std::vector<std::uint32_t>(100, 7));
  pool.recycle(std::vector<std::uint32_t>(50, 8));  // smaller: not kept
  EXPECT_TRUE(pool.take(101).empty());
  const std::vector<std::uint32_t> taken = pool.take(60);
  ASSERT_EQ(taken.size(), 60U);
  EXPECT_EQ(taken.front(), 7U);
  EXPECT_TRUE(pool.take(10).empty());  // handed out once
  pool.recycle(std::vector<std::uint32_t>(20, 9));
  pool.release();
  EXPECT_TRUE(pool.take(10).empty());
}

TEST(PixelPool, PicturesLoadedIntoAReusedBufferHoldNoStaleValues) {
  const auto pool = std::make_shared<PixelPool>();
  // A closed bright picture leaves its buffer behind.
  {
    KW_PicDoc big;
    big.pixelPool = pool;
    big.width = 40;
    big.height = 40;
    big.bitCount = 24;
    big.paletteCount = 0;
    big.pixels.assign(1600, 0xFFFFFF);
  }
  // Each smaller picture then loads into that buffer and must show only its own pixels.
  {
    KW_PicDoc doc;
    doc.pixelPool = pool;
    ASSERT_TRUE(load(doc, rgbFile(5, 3, true).bytes()));
    expectRgbPicture(doc, 5, 3);
  }
  {
    KW_PicDoc doc;
    doc.pixelPool = pool;
    ASSERT_TRUE(load(doc, rgbFile(6, 4, true, true).bytes()));
    expectRgbPicture(doc, 6, 4);
  }
  {
    KW_PicDoc doc;
    doc.pixelPool = pool;
    const Bytes data = {0, 2, 2, 1, 1, 3, 0, 0, 2, 1};
    ASSERT_TRUE(load(doc, rleFile(8, 3, 3, data).bytes()));
    EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{1, 1, 1, 1, 1, 4, 2, 2, 1}));
  }
  // Loading into a document that holds a picture replaces it whole.
  KW_PicDoc doc;
  doc.pixelPool = pool;
  ASSERT_TRUE(load(doc, rgbFile(7, 5, true).bytes()));
  ASSERT_TRUE(load(doc, rgbFile(3, 2, true).bytes()));
  expectRgbPicture(doc, 3, 2);
  // A document without a pool frees its buffer.
  pool->release();
  {
    KW_PicDoc alone;
    alone.pixels.assign(100, 1);
  }
  EXPECT_TRUE(pool->take(1).empty());
}
