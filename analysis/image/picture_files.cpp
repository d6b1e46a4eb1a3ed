#include "image/picture_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <iterator>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "image/bitmap_io.h"
#include "image/detail/bitmap_decode.h"
#include "image/detail/regular_file.h"

namespace {

enum class Format { Unknown, Png, Jpeg, Tiff, Bitmap };

Format Sniff(std::span<const std::uint8_t> b) {
  if (b.size() >= 8 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G') return Format::Png;
  if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return Format::Jpeg;
  if (b.size() >= 4 && ((b[0] == 'I' && b[1] == 'I' && b[2] == 42 && b[3] == 0) ||
                        (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && b[3] == 42)))
    return Format::Tiff;
  if (b.size() >= 2 && b[0] == 'B' && b[1] == 'M') return Format::Bitmap;
  return Format::Unknown;
}

const char* FormatName(Format f) {
  switch (f) {
    case Format::Png:
      return "PNG";
    case Format::Jpeg:
      return "JPEG";
    case Format::Tiff:
      return "TIFF";
    case Format::Bitmap:
      return "bitmap";
    case Format::Unknown:
      break;
  }
  return "picture";
}

// A JPEG file ends with its end-of-image marker (some writers add a few
// bytes after it); a file cut short lacks it, and the decoder would fill the
// missing rows with grey without failing.
bool HasJpegEnd(std::span<const std::uint8_t> b) {
  const std::size_t from = b.size() > 4096 ? b.size() - 4096 : 0;
  for (std::size_t i = b.size(); i-- > from + 1;)
    if (b[i - 1] == 0xFF && b[i] == 0xD9) return true;
  return false;
}

// A PNG file ends with its IEND chunk; a file cut short lacks it (and the
// decoder would complain on standard error before failing).
bool HasPngEnd(std::span<const std::uint8_t> b) {
  static constexpr std::uint8_t kEnd[] = {'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  return b.size() >= 20 && std::equal(std::begin(kEnd), std::end(kEnd), b.end() - 8);
}

// The decoded picture as 8-bit blue-green-red.
cv::Mat ToEightBitBgr(const cv::Mat& decoded) {
  cv::Mat eight;
  switch (decoded.depth()) {
    case CV_8U:
      eight = decoded;
      break;
    case CV_16U:
      decoded.convertTo(eight, CV_8U, 1.0 / 257.0);
      break;
    default: {
      // Floating-point or signed samples: stretched over their own range.
      double lo = 0;
      double hi = 0;
      cv::minMaxLoc(decoded.reshape(1), &lo, &hi);
      const double span = hi > lo ? hi - lo : 1.0;
      decoded.convertTo(eight, CV_8U, 255.0 / span, -lo * 255.0 / span);
    }
  }
  cv::Mat bgr;
  switch (eight.channels()) {
    case 1:
      cv::cvtColor(eight, bgr, cv::COLOR_GRAY2BGR);
      break;
    case 4:
      cv::cvtColor(eight, bgr, cv::COLOR_BGRA2BGR);
      break;
    case 3:
      bgr = eight;
      break;
    default: {
      std::vector<cv::Mat> planes;
      cv::split(eight, planes);
      cv::merge(std::vector<cv::Mat>{planes[0], planes[0], planes[0]}, bgr);
    }
  }
  return bgr;
}

// Lends OpenCV the document's pixel plane for the decoded picture: its
// width x height blue-green-red bytes fill the first three quarters of as
// many 32-bit pixels, which are then spread out in place. A photograph of 12
// megapixels takes its 49 MB of pixels then, not 37 MB more beside them while
// it is read. Any other allocation, and any after the first, is OpenCV's own.
class PixelPlaneLender : public cv::MatAllocator {
 public:
  PixelPlaneLender(std::vector<std::uint32_t>& plane, std::uint64_t maxPixels)
      : plane_(plane), maxPixels_(maxPixels) {}

  cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, std::size_t* step,
                         cv::AccessFlag flags, cv::UMatUsageFlags usage) const override {
    const bool lend =
        !lent_ && data == nullptr && step != nullptr && dims == 2 && type == CV_8UC3 && sizes[0] > 0 &&
        sizes[1] > 0 &&
        static_cast<std::uint64_t>(sizes[0]) * static_cast<std::uint64_t>(sizes[1]) <= maxPixels_;
    if (!lend) return cv::Mat::getStdAllocator()->allocate(dims, sizes, type, data, step, flags, usage);
    const std::size_t width = static_cast<std::size_t>(sizes[1]);
    plane_.assign(static_cast<std::size_t>(sizes[0]) * width, 0U);
    lent_ = true;
    step[0] = 3 * width;
    step[1] = 3;
    auto* u = new cv::UMatData(this);
    u->data = u->origdata = reinterpret_cast<uchar*>(plane_.data());
    u->size = 3 * plane_.size();
    return u;
  }
  bool allocate(cv::UMatData* u, cv::AccessFlag /*flags*/, cv::UMatUsageFlags /*usage*/) const override {
    return u != nullptr;
  }
  // The plane stays the caller's.
  void deallocate(cv::UMatData* u) const override { delete u; }

  bool lent(const cv::Mat& decoded) const {
    return lent_ && decoded.data == reinterpret_cast<const uchar*>(plane_.data()) &&
           decoded.type() == CV_8UC3 && decoded.isContinuous() && decoded.total() == plane_.size();
  }

 private:
  std::vector<std::uint32_t>& plane_;
  std::uint64_t maxPixels_;
  mutable bool lent_ = false;
};

template <std::size_t kCount>
void SpreadPixels(const std::uint8_t* __restrict bgr, std::uint32_t* __restrict out) {
  for (std::size_t x = 0; x < kCount; ++x)
    out[x] = (std::uint32_t{bgr[3 * x + 2]} << 16) | (std::uint32_t{bgr[3 * x + 1]} << 8) | bgr[3 * x];
}

// The blue-green-red rows (top first) at the start of plane spread out into
// its 0x00RRGGBB pixels, bottom row first. Row y's pixels take the bytes from
// 4 x width x y on, which hold no row above it: each row, copied aside, is
// spread from the last up; the rows are then turned over.
void SpreadInPlace(std::vector<std::uint32_t>& plane, int width, int height) {
  const auto w = static_cast<std::size_t>(width);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(plane.data());
  std::vector<std::uint8_t> row(3 * w);
  for (std::size_t y = static_cast<std::size_t>(height); y-- > 0;) {
    std::memcpy(row.data(), bytes + 3 * w * y, row.size());
    std::uint32_t* out = plane.data() + w * y;
    std::size_t x = 0;
    for (; x + 16 <= w; x += 16) SpreadPixels<16>(row.data() + 3 * x, out + x);
    for (; x < w; ++x) SpreadPixels<1>(row.data() + 3 * x, out + x);
  }
  for (std::size_t y = 0; y < static_cast<std::size_t>(height / 2); ++y)
    std::swap_ranges(plane.data() + w * y, plane.data() + w * (y + 1),
                     plane.data() + w * (static_cast<std::size_t>(height) - 1 - y));
}

}  // namespace

bool HasPhotoExtension(std::string_view path) {
  const std::string ext = PathExtension(path);
  return ext == "png" || ext == "jpg" || ext == "jpeg" || ext == "tif" || ext == "tiff";
}

bool HasPictureExtension(std::string_view path) {
  return HasBitmapExtension(path) || HasPhotoExtension(path);
}

bool LoadPhotoFromMemory(KW_PicDoc& doc, std::span<const std::uint8_t> bytes, std::string& error,
                         std::uint64_t maxPixels) {
  doc.pixels.clear();
  doc.width = 0;
  doc.height = 0;
  const Format format = Sniff(bytes);
  if (format == Format::Unknown || format == Format::Bitmap) {
    error = bytes.empty() ? "empty file" : "not a PNG, JPEG or TIFF picture";
    return false;
  }
  if (format == Format::Jpeg && !HasJpegEnd(bytes)) {
    error = "truncated JPEG data (the end-of-image marker is missing)";
    return false;
  }
  if (format == Format::Png && !HasPngEnd(bytes)) {
    error = "truncated PNG data (the end chunk is missing)";
    return false;
  }
  try {
    // The bytes are only read: OpenCV takes a non-const header over them.
    const cv::Mat raw(
        1, static_cast<int>(bytes.size()), CV_8U,
        const_cast<std::uint8_t*>(bytes.data()));  // NOLINT(cppcoreguidelines-pro-type-const-cast)
    std::vector<std::uint32_t> plane;
    PixelPlaneLender lender(plane, maxPixels);
    cv::Mat decoded;
    decoded.allocator = &lender;
    cv::imdecode(raw, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR, &decoded);
    if (decoded.empty() || decoded.dims != 2) {
      error = std::string("damaged or truncated ") + FormatName(format) + " data";
      return false;
    }
    if (static_cast<std::uint64_t>(decoded.cols) * static_cast<std::uint64_t>(decoded.rows) > maxPixels) {
      error = "picture too large";
      return false;
    }
    if (lender.lent(decoded)) {
      doc.width = decoded.cols;
      doc.height = decoded.rows;
      decoded.release();
      SpreadInPlace(plane, doc.width, doc.height);
      doc.pixels = std::move(plane);
    } else {
      // Any other picture (grey, 16-bit, turned by its orientation) is
      // converted from OpenCV's own copy.
      std::vector<std::uint32_t>().swap(plane);
      const cv::Mat bgr = ToEightBitBgr(decoded);
      doc.pixels.assign(static_cast<std::size_t>(bgr.cols) * static_cast<std::size_t>(bgr.rows), 0U);
      doc.width = bgr.cols;
      doc.height = bgr.rows;
      for (int y = 0; y < bgr.rows; ++y) {
        const auto* in = bgr.ptr<cv::Vec3b>(y);
        std::uint32_t* out = &doc.At(0, bgr.rows - 1 - y);
        for (int x = 0; x < bgr.cols; ++x)
          out[x] = (std::uint32_t{in[x][2]} << 16) | (std::uint32_t{in[x][1]} << 8) | in[x][0];
      }
    }
  } catch (const cv::Exception& e) {
    doc.pixels.clear();
    doc.width = 0;
    doc.height = 0;
    error = std::string("damaged ") + FormatName(format) + " data (" + e.err + ")";
    return false;
  } catch (const std::bad_alloc&) {
    doc.pixels.clear();
    doc.width = 0;
    doc.height = 0;
    error = "not enough memory for the picture";
    return false;
  }
  doc.bitCount = 24;
  doc.compression = 0;
  doc.paletteCount = 1;
  doc.xPelsPerMeter = 0;
  doc.yPelsPerMeter = 0;
  return true;
}

bool LoadPictureFile(KW_PicDoc& doc, const std::string& path, std::string& error) {
  error.clear();
  std::uint64_t size = 0;
  errno = 0;
  const FilePtr file = openForReading(path, size);
  if (file == nullptr) {
    error = errno == ENOENT ? "no such file" : errno != 0 ? std::strerror(errno) : "not a regular file";
    return false;
  }
  if (HasBitmapExtension(path)) {
    if (LoadOpenedBitmap(doc, file.get(), size)) return true;
    error = "not a readable bitmap";
    return false;
  }
  // A compressed picture is far smaller than its pixels; a file larger than
  // the largest picture's pixels is not worth reading.
  if (size > kMaxBitmapPixels * 4) {
    error = "file too large";
    return false;
  }
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    error = "not enough memory for the file";
    return false;
  }
  if (size > 0 && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    error = "read error";
    return false;
  }
  doc.loadTime = LocalTimeText();
  return LoadPhotoFromMemory(doc, bytes, error, kMaxBitmapPixels);
}
