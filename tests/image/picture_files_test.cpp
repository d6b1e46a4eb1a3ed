// Photographs and scans in PNG, JPEG and TIFF: every depth and channel count
// a camera or scanner writes comes out as the document's 0x00RRGGBB pixels
// with row 0 at the bottom; damaged files are refused with their reason.
#include "image/picture_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "image/pic_doc.h"

namespace {

// A 3 x 2 picture whose every pixel differs: top row first, blue-green-red.
cv::Mat Sample8() {
  cv::Mat m(2, 3, CV_8UC3);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      m.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(10 + x), uchar(100 + y), uchar(200 + x + y));
  return m;
}

std::vector<std::uint8_t> Encode(const std::string& ext, const cv::Mat& m) {
  std::vector<std::uint8_t> bytes;
  EXPECT_TRUE(cv::imencode(ext, m, bytes));
  return bytes;
}

// The document's pixel at (x, y from the top).
std::uint32_t TopDown(const KW_PicDoc& doc, int x, int y) { return doc.At(x, doc.height - 1 - y); }

TEST(PictureFiles, EveryDepthAndChannelCountGivesTheSamePixels) {
  const cv::Mat colour = Sample8();
  cv::Mat colour16, grey, grey16, bgra;
  colour.convertTo(colour16, CV_16U, 257.0);
  cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
  grey.convertTo(grey16, CV_16U, 257.0);
  cv::cvtColor(colour, bgra, cv::COLOR_BGR2BGRA);
  struct Case {
    const char* ext;
    const cv::Mat* picture;
    bool isGrey;
  };
  for (const Case& c :
       {Case{".png", &colour, false}, Case{".png", &colour16, false}, Case{".png", &grey, true},
        Case{".png", &grey16, true}, Case{".png", &bgra, false}, Case{".tif", &colour, false},
        Case{".tif", &colour16, false}, Case{".tif", &grey16, true}}) {
    SCOPED_TRACE(std::string(c.ext) + " depth " + std::to_string(c.picture->depth()) + " channels " +
                 std::to_string(c.picture->channels()));
    KW_PicDoc doc;
    std::string error;
    ASSERT_TRUE(LoadPhotoFromMemory(doc, Encode(c.ext, *c.picture), error, 1000)) << error;
    ASSERT_EQ(doc.width, 3);
    ASSERT_EQ(doc.height, 2);
    EXPECT_EQ(doc.bitCount, 24);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) {
        const cv::Vec3b& bgr = colour.at<cv::Vec3b>(y, x);
        const std::uint32_t g = grey.at<std::uint8_t>(y, x);
        const std::uint32_t want =
            c.isGrey ? g * 0x010101U : (std::uint32_t{bgr[2]} << 16) | (std::uint32_t{bgr[1]} << 8) | bgr[0];
        EXPECT_EQ(TopDown(doc, x, y), want) << x << "," << y;
      }
  }
}

TEST(PictureFiles, JpegComesCloseAndOversizedOrDamagedFilesAreRefused) {
  cv::Mat flat(16, 16, CV_8UC3, cv::Scalar(40, 120, 200));
  KW_PicDoc doc;
  std::string error;
  const std::vector<std::uint8_t> jpeg = Encode(".jpg", flat);
  ASSERT_TRUE(LoadPhotoFromMemory(doc, jpeg, error, 1000)) << error;
  const std::uint32_t px = TopDown(doc, 5, 5);
  EXPECT_NEAR(static_cast<int>(px >> 16), 200, 3);
  EXPECT_NEAR(static_cast<int>((px >> 8) & 0xFF), 120, 3);
  EXPECT_NEAR(static_cast<int>(px & 0xFF), 40, 3);

  EXPECT_FALSE(LoadPhotoFromMemory(doc, jpeg, error, 255));
  EXPECT_EQ(error, "picture too large");
  EXPECT_FALSE(doc.hasPicture());

  std::vector<std::uint8_t> cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2));
  EXPECT_FALSE(LoadPhotoFromMemory(doc, cut, error, 1000));
  EXPECT_EQ(error, "truncated JPEG data (the end-of-image marker is missing)");
  // A PNG whose image data is spoilt but whose end is intact.
  std::vector<std::uint8_t> png = Encode(".png", Sample8());
  for (std::size_t i = 40; i < png.size() - 12; ++i) png[i] = 0x5A;
  EXPECT_FALSE(LoadPhotoFromMemory(doc, png, error, 1000));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(doc.hasPicture());
  EXPECT_FALSE(LoadPhotoFromMemory(doc, std::vector<std::uint8_t>{'B', 'M', 0, 0}, error, 1000));
  EXPECT_EQ(error, "not a PNG, JPEG or TIFF picture");
}

TEST(PictureFiles, ExtensionsOpenedAreThoseOfPictures) {
  for (const char* path : {"a.BMP", "dir.x/b.png", "c.JPG", "d.jpeg", "e.Tif", "f.tiff"})
    EXPECT_TRUE(HasPictureExtension(path)) << path;
  for (const char* path : {"a.txt", "png", "dir.png/file", "g.gif"})
    EXPECT_FALSE(HasPictureExtension(path)) << path;
}

}  // namespace
