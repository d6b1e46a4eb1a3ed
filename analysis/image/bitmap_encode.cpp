// Encoding a picture document as a Windows bitmap file of its own depth.
//
// The headers are always the 40-byte kind, uncompressed, bottom-up; the
// colour table holds the document's paletteCount entries. Palette depths code
// each pixel as its nearest table entry; rows are encoded into a block of
// about kWriteBlock bytes before each write.
#include "image/detail/bitmap_encode.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/bitmap_io.h"
#include "image/detail/bitmap_format.h"

namespace {

using bitmap::put16;
using bitmap::put32;

constexpr std::size_t kWriteBlock = std::size_t{1} << 20;

int colourDistance(std::uint32_t a, std::uint32_t b) {
  const int dr = static_cast<int>((a >> 16) & 0xFF) - static_cast<int>((b >> 16) & 0xFF);
  const int dg = static_cast<int>((a >> 8) & 0xFF) - static_cast<int>((b >> 8) & 0xFF);
  const int db = static_cast<int>(a & 0xFF) - static_cast<int>(b & 0xFF);
  return std::abs(dr) + std::abs(dg) + std::abs(db);
}

// Remembers the nearest palette index of recently seen colours; pictures hold
// few distinct colours, so most pixels skip the table search.
class NearestIndexCache {
 public:
  NearestIndexCache(const std::uint32_t* palette, int count) : m_palette(palette), m_count(count) {
    m_keys.fill(kEmpty);
  }
  int operator()(std::uint32_t pixel) {
    const std::uint32_t rgb = pixel & 0xFFFFFF;
    const std::size_t slot = (rgb * 2654435761U) >> (32 - kBits);
    if (m_keys[slot] != rgb) {
      m_keys[slot] = rgb;
      m_values[slot] = static_cast<std::uint8_t>(NearestPaletteIndex(m_palette, m_count, rgb));
    }
    return m_values[slot];
  }

 private:
  static constexpr int kBits = 12;
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;  // never a masked colour
  const std::uint32_t* m_palette;
  int m_count;
  std::array<std::uint32_t, std::size_t{1} << kBits> m_keys{};
  std::array<std::uint8_t, std::size_t{1} << kBits> m_values{};
};

int clampedPaletteCount(const KW_PicDoc& doc) {
  return std::clamp(doc.paletteCount, 0, bitmap::kPaletteCapacity);
}

// File header (size field 0), information header and colour table.
std::vector<std::uint8_t> encodeHeaders(const KW_PicDoc& doc, int paletteCount) {
  std::vector<std::uint8_t> out(bitmap::kPlainHeaderEnd + 4 * static_cast<std::size_t>(paletteCount));
  std::uint8_t* p = out.data();
  put16(p, bitmap::kType);
  put32(p + 10, static_cast<std::uint32_t>(out.size()));
  std::uint8_t* info = p + bitmap::kFileHeaderSize;
  put32(info, bitmap::kInfoHeaderSize);
  put32(info + 4, static_cast<std::uint32_t>(doc.width));
  put32(info + 8, static_cast<std::uint32_t>(doc.height));
  put16(info + 12, 1);
  put16(info + 14, doc.bitCount);
  put32(info + 24, static_cast<std::uint32_t>(doc.xPelsPerMeter));
  put32(info + 28, static_cast<std::uint32_t>(doc.yPelsPerMeter));
  for (std::size_t i = 0; i < static_cast<std::size_t>(paletteCount); ++i)
    put32(p + bitmap::kPlainHeaderEnd + 4 * i, doc.palette[i]);
  return out;
}

std::uint64_t rowBytesFor(std::uint16_t bits, std::uint64_t width) { return (width * bits + 31) / 32 * 4; }

// One row of pixels into dst, which holds zeros.
void encodeRow(const std::uint32_t* src, std::uint8_t* dst, std::size_t w, std::uint16_t bits,
               const KW_PicDoc& doc, NearestIndexCache& nearest) {
  switch (bits) {
    case 1: {
      const std::uint32_t pal0 = doc.palette[0];
      const std::uint32_t pal1 = doc.palette[1];
      for (std::size_t x = 0; x < w; ++x) {
        // A pixel halfway between the two colours gives a set bit.
        if (colourDistance(src[x], pal0) >= colourDistance(src[x], pal1))
          dst[x >> 3] = static_cast<std::uint8_t>(dst[x >> 3] | (0x80U >> (x & 7)));
      }
      break;
    }
    case 4:
      for (std::size_t x = 0; x < w; ++x) {
        const auto nibble = static_cast<unsigned>(nearest(src[x]) & 15);
        dst[x >> 1] = static_cast<std::uint8_t>(dst[x >> 1] | ((x & 1) == 0 ? nibble << 4 : nibble));
      }
      break;
    case 8:
      for (std::size_t x = 0; x < w; ++x) dst[x] = static_cast<std::uint8_t>(nearest(src[x]));
      break;
    case 16:
      for (std::size_t x = 0; x < w; ++x) {
        const std::uint32_t p = src[x];
        put16(dst + 2 * x, ((p & 0xFF) >> 3) + (((p >> 8) & 0xF8) << 2) + (((p >> 16) & 0xF8) << 7));
      }
      break;
    case 24:
      for (std::size_t x = 0; x < w; ++x, dst += 3) {
        const std::uint32_t p = src[x];
        dst[0] = static_cast<std::uint8_t>(p);
        dst[1] = static_cast<std::uint8_t>(p >> 8);
        dst[2] = static_cast<std::uint8_t>(p >> 16);
      }
      break;
    default:  // 32
      std::memcpy(dst, src, w * 4);
      break;
  }
}

// The pixel rows, bottom row first, each padded with zeros to a multiple of
// 4 bytes. A depth the file format does not have, or an empty picture,
// writes no rows.
bool encodeRows(const KW_PicDoc& doc, int paletteCount, const BitmapWriter& write) {
  const std::uint16_t bits = doc.bitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return true;
  const auto w = static_cast<std::size_t>(doc.width);
  const auto h = static_cast<std::size_t>(doc.height);
  if (w == 0 || h == 0) return true;
  const auto stride = static_cast<std::size_t>(rowBytesFor(bits, w));
  const std::size_t rowsPerBlock = std::max<std::size_t>(1, kWriteBlock / stride);
  std::vector<std::uint8_t> block(std::min(rowsPerBlock, h) * stride);
  NearestIndexCache nearest(doc.palette.data(), paletteCount);
  for (std::size_t first = 0; first < h; first += rowsPerBlock) {
    const std::size_t rows = std::min(rowsPerBlock, h - first);
    std::fill(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(rows * stride), std::uint8_t{0});
    for (std::size_t r = 0; r < rows; ++r)
      encodeRow(doc.pixels.data() + (first + r) * w, block.data() + r * stride, w, bits, doc, nearest);
    if (!write(block.data(), rows * stride)) return false;
  }
  return true;
}

}  // namespace

int NearestPaletteIndex(const std::uint32_t* palette, int count, std::uint32_t pixel) {
  int best = 1024;
  int index = 255;
  for (int i = 0; i < count; ++i) {
    const int d = colourDistance(pixel, palette[i]);
    if (d < best) {
      best = d;
      index = i;
    }
  }
  return index;
}

bool EncodeBitmap(const KW_PicDoc& doc, const BitmapWriter& write) {
  if (!bitmap::bufferMatchesSize(doc)) return false;
  const int paletteCount = clampedPaletteCount(doc);
  const std::vector<std::uint8_t> head = encodeHeaders(doc, paletteCount);
  if (!write(head.data(), head.size())) return false;
  return encodeRows(doc, paletteCount, write);
}
