// The skeleton tools: the removable neighbour codes, neighbour codes and
// counts, whitening and the line follower's next pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "image/ima_ana.h"
#include "picture_text.h"

namespace {

using Pixels = std::vector<std::uint32_t>;

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kMagenta = 0xFF00FF;

TEST(RemovableCodes, AreThe120ListedValuesClosedUnderQuarterTurns) {
  const std::array<int, 120> listed = {
      3,   5,   7,   12,  13,  14,  15,  20,  21,  22,  23,  28,  29,  30,  31,  48,  52,  53,  54,  55,
      56,  60,  61,  62,  63,  65,  67,  69,  71,  77,  79,  80,  81,  83,  84,  85,  86,  87,  88,  89,
      91,  92,  93,  94,  95,  97,  99,  101, 103, 109, 111, 112, 113, 115, 116, 117, 118, 119, 120, 121,
      123, 124, 125, 126, 127, 131, 133, 135, 141, 143, 149, 151, 157, 159, 181, 183, 189, 191, 192, 193,
      195, 197, 199, 205, 207, 208, 209, 211, 212, 213, 214, 215, 216, 217, 219, 220, 221, 222, 223, 224,
      225, 227, 229, 231, 237, 239, 240, 241, 243, 244, 245, 246, 247, 248, 249, 251, 252, 253, 254, 255};
  for (std::size_t i = 0; i < 120; ++i) EXPECT_EQ(kRemovableCodes[i], listed[i]);
  int count = 0;
  for (int code = 0; code < 256; ++code) {
    const bool inList = std::find(listed.begin(), listed.end(), code) != listed.end();
    EXPECT_EQ(kIsRemovable[static_cast<std::size_t>(code)], inList) << code;
    count += inList ? 1 : 0;
    // Turning the neighbourhood by a quarter moves every weight two places on.
    const int turned = ((code << 2) | (code >> 6)) & 0xFF;
    if (inList) {
      EXPECT_TRUE(kIsRemovable[static_cast<std::size_t>(turned)]) << code;
    }
  }
  EXPECT_EQ(count, 120);
  // An end pixel (one neighbour) and a lone pixel are never removable.
  for (int bit = 0; bit < 8; ++bit) EXPECT_FALSE(kIsRemovable[static_cast<std::size_t>(1 << bit)]);
  EXPECT_FALSE(kIsRemovable[0]);
}

TEST(SkeletonTools, NeighbourCodeWeighsEachDirectionAndCountsOnlyNonBlack) {
  KW_ImaAna doc;
  pictext::Blank(doc, 5, 5);
  const std::pair<int, int> offsets[8] = {{0, 1},  {1, 1},   {1, 0},  {1, -1},
                                          {0, -1}, {-1, -1}, {-1, 0}, {-1, 1}};
  for (int bit = 0; bit < 8; ++bit) {
    pictext::Blank(doc, 5, 5);
    doc.At(2 + offsets[bit].first, 2 + offsets[bit].second) = 0x000001;
    EXPECT_EQ(doc.NeighbourCode(2, 2), 1 << bit);
  }
  pictext::Load(doc, {"#####", "#####", "#####", "#####", "#####"});
  EXPECT_EQ(doc.NeighbourCode(2, 2), 255);
  // Outside the picture counts as black.
  EXPECT_EQ(doc.NeighbourCode(0, 0), 1 + 2 + 4);
  EXPECT_EQ(doc.NeighbourCode(4, 4), 16 + 32 + 64);
}

TEST(SkeletonTools, CountNeighboursOfSumComparesBrightnessSums) {
  KW_ImaAna doc;
  pictext::Blank(doc, 3, 3);
  doc.At(0, 0) = kRed;
  doc.At(1, 0) = kGreen;
  doc.At(2, 0) = kBlue;
  doc.At(0, 1) = 0xFFFFFF;
  doc.At(2, 2) = kMagenta;
  doc.At(1, 1) = kRed;  // the pixel itself is not its own neighbour
  EXPECT_EQ(doc.CountNeighboursOfSum(1, 1, 255, 0, 0), 3);
  EXPECT_EQ(doc.CountNeighboursOfSum(1, 1, 255, 0, 255), 1);
  EXPECT_EQ(doc.CountNeighboursOfSum(1, 1, 255, 255, 255), 1);
  EXPECT_EQ(doc.CountNeighboursOfSum(1, 1, 0, 0, 0), 3);
  // At the corner only the three neighbours inside the picture count.
  EXPECT_EQ(doc.CountNeighboursOfSum(0, 0, 255, 0, 0), 2);
}

TEST(SkeletonTools, WhitenOrsWhiteIntoEveryNonBlackPixel) {
  KW_ImaAna doc;
  pictext::Blank(doc, 4, 1);
  doc.At(0, 0) = kRed;
  doc.At(1, 0) = 0x000001;
  doc.At(3, 0) = 0xFFFFFF;
  doc.Whiten();
  EXPECT_EQ(doc.pixels, (Pixels{0xFFFFFF, 0xFFFFFF, 0, 0xFFFFFF}));
}

TEST(SkeletonTools, NextLinePixelTriesTheForwardDirectionsFirst) {
  KW_ImaAna doc;
  pictext::Blank(doc, 20, 20);
  int c = 0, r = 0;
  doc.At(11, 9) = 0xFFFFFF;
  doc.At(11, 10) = kRed;
  EXPECT_EQ(doc.NextLinePixel(10, 10, 3, c, r), 2);
  EXPECT_EQ(std::make_pair(c, r), std::make_pair(11, 9));
  EXPECT_EQ(doc.NextLinePixel(10, 10, 7, c, r), 2);
  EXPECT_EQ(std::make_pair(c, r), std::make_pair(11, 9));

  pictext::Blank(doc, 20, 20);
  doc.At(11, 10) = 0xFFFFFF;
  doc.At(10, 11) = 0xFFFFFF;
  EXPECT_EQ(doc.NextLinePixel(10, 10, 5, c, r), 5);
  EXPECT_EQ(std::make_pair(c, r), std::make_pair(10, 11));
  EXPECT_EQ(doc.NextLinePixel(10, 10, 1, c, r), 3);
  EXPECT_EQ(std::make_pair(c, r), std::make_pair(11, 10));
  EXPECT_EQ(doc.NextLinePixel(10, 10, -1, c, r), 5);
  // Unknown previous directions find nothing.
  for (const int bad : {0, 9, -2}) {
    EXPECT_EQ(doc.NextLinePixel(10, 10, bad, c, r), -1);
    EXPECT_EQ(std::make_pair(c, r), std::make_pair(10, 10));
  }
}

TEST(SkeletonTools, NextLinePixelSeesOnlyRedAndWhiteAndStaysInsideThePicture) {
  KW_ImaAna doc;
  pictext::Blank(doc, 5, 5);
  doc.At(3, 2) = kGreen;
  doc.At(2, 3) = kBlue;
  doc.At(1, 2) = 0xFE0000;  // nearly red
  doc.At(1, 1) = kMagenta;
  int c = -5, r = -5;
  EXPECT_EQ(doc.NextLinePixel(2, 2, -1, c, r), -1);
  EXPECT_EQ(std::make_pair(c, r), std::make_pair(2, 2));
  doc.At(3, 3) = 0xFFFFFF;
  EXPECT_EQ(doc.NextLinePixel(2, 2, -1, c, r), 4);
  // Every direction from every pixel of a full white picture, corners included.
  pictext::Load(doc, {"##", "##"});
  for (int dir = 1; dir <= 8; ++dir) {
    const int found = doc.NextLinePixel(0, 0, dir, c, r);
    ASSERT_GE(found, 1);
    EXPECT_EQ(c, kDirectionCol[static_cast<std::size_t>(found)]);
    EXPECT_EQ(r, kDirectionRow[static_cast<std::size_t>(found)]);
  }
}

}  // namespace
