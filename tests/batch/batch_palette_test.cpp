// Colour tables given to pictures converted to a palette depth.
#include "batch/batch_palette.h"

#include <gtest/gtest.h>

#include <vector>

#include "image/bitmap_io.h"
#include "image/pic_doc.h"

namespace {

// A 24-bit picture of grey levels 0, 17, 34, ... 255 and one colour pixel.
void greyRamp(KW_PicDoc& doc) {
  doc.width = 17;
  doc.height = 1;
  doc.bitCount = 24;
  doc.paletteCount = 0;
  doc.pixels.clear();
  for (std::uint32_t i = 0; i < 16; ++i) doc.pixels.push_back(i * 17 * 0x010101U);
  doc.pixels.push_back(0xFF0000);
}

TEST(BatchPalette, TrueColourPicturesGetBlackWhiteOrGreyLevels) {
  KW_PicDoc doc;
  greyRamp(doc);
  ASSERT_TRUE(PreparePaletteForDepth(doc, 1));
  EXPECT_EQ(doc.paletteCount, 2);
  EXPECT_EQ(doc.palette[0], 0U);
  EXPECT_EQ(doc.palette[1], 0xFFFFFFU);

  greyRamp(doc);
  ASSERT_TRUE(PreparePaletteForDepth(doc, 4));
  EXPECT_EQ(doc.paletteCount, 16);
  for (std::uint32_t i = 0; i < 16; ++i) EXPECT_EQ(doc.palette[i], i * 17 * 0x010101U) << i;

  greyRamp(doc);
  ASSERT_TRUE(PreparePaletteForDepth(doc, 8));
  EXPECT_EQ(doc.paletteCount, 256);
  for (std::uint32_t i = 0; i < 256; ++i) ASSERT_EQ(doc.palette[i], i * 0x010101U) << i;
}

TEST(BatchPalette, UsableTablesAndDeepDepthsAreLeftAlone) {
  KW_PicDoc doc;
  doc.paletteCount = 12;
  doc.palette[3] = 0x123456;
  EXPECT_FALSE(PreparePaletteForDepth(doc, 4));
  EXPECT_FALSE(PreparePaletteForDepth(doc, 8));
  EXPECT_EQ(doc.palette[3], 0x123456U);
  EXPECT_EQ(doc.paletteCount, 12);
  // Twelve entries cannot be indexed by one bit.
  EXPECT_TRUE(PreparePaletteForDepth(doc, 1));
  EXPECT_EQ(doc.paletteCount, 2);
  doc.paletteCount = 0;
  for (int depth : {16, 24, 32}) EXPECT_FALSE(PreparePaletteForDepth(doc, depth));
  EXPECT_EQ(doc.paletteCount, 0);
}

TEST(BatchPalette, GreyPicturesSurviveTheConversion) {
  // Without a table every pixel would be written as index 255 or 15.
  for (int depth : {4, 8}) {
    SCOPED_TRACE(depth);
    KW_PicDoc doc;
    greyRamp(doc);
    PreparePaletteForDepth(doc, depth);
    doc.bitCount = static_cast<std::uint16_t>(depth);
    std::vector<std::uint8_t> file;
    ASSERT_TRUE(SaveBitmapToMemory(doc, file));
    KW_PicDoc back;
    ASSERT_TRUE(LoadBitmapFromMemory(back, file));
    for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(back.pixels[i], doc.pixels[i]) << i;
    // Pure red (R + G + B = 255) is nearest to a dark grey, not to white.
    EXPECT_LT(back.pixels[16] & 0xFF, 0x80U);
  }
}

}  // namespace
