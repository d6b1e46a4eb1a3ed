// Decoding a Windows bitmap file into a picture document.
//
// The headers choose one reader by depth and compression; the colour table
// follows the information header, and the pixel data starts at the header's
// pixel-data offset when that lies behind header and table, otherwise right
// where the table ends. Plain rows are decoded a block at a time; run-length
// data is walked byte pair by byte pair. Nothing is allocated for a picture
// until its size is known to be backed by the file.
#include "image/detail/bitmap_decode.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "image/detail/bitmap_format.h"
#include "image/pixel_pool.h"

namespace {

using bitmap::get16;
using bitmap::get32;
using Palette = std::array<std::uint32_t, bitmap::kPaletteCapacity>;

// Information header sizes met in practice; any other size field is taken as
// garbage and the file is read as if the header had 40 bytes.
constexpr std::array<std::uint32_t, 6> kKnownInfoHeaderSizes{40, 52, 56, 64, 108, 124};
// Compressed data is read in pieces of this size, plain rows in blocks of
// about kReadBlock bytes.
constexpr std::size_t kChunkSize = std::size_t{1} << 16;
constexpr std::uint64_t kReadBlock = std::uint64_t{1} << 18;

// A run-length pair of two bytes gives at most 255 pixels, so D bytes of data
// describe at most 127.5 D pixels; any further pixel of the picture can only
// be passed over by a line end or a delta, and then holds nothing from the
// file. A picture may be twice what its data can describe (half of it passed
// over: rows ended early, gaps), and one of up to kRunLengthFreePixels loads
// whatever its data (small pictures made mostly of line ends and deltas, such
// as blank sheets and icons with see-through parts). Beyond both, the header
// promises pixels the file does not hold: about 1 KB of data declaring
// 16384 x 16384 pixels would cost a gigabyte to hold and hundreds of
// megabytes to save. A scanned plate describes every pixel, so even a plain
// white background stays below 127.5 pixels per byte.
constexpr std::uint64_t kRunLengthPixelsPerByte = 255;
constexpr std::uint64_t kRunLengthFreePixels = std::uint64_t{1} << 20;

enum class Reader { kNone, k1, k4, k4Rle, k8, k8Rle, k16, k24, k32 };

Reader chooseReader(std::uint16_t bits, std::uint32_t compression) {
  switch (bits) {
    case 1:
      return Reader::k1;
    case 4:
      return compression == 0 ? Reader::k4 : compression == 2 ? Reader::k4Rle : Reader::kNone;
    case 8:
      return compression == 0 ? Reader::k8 : compression == 1 ? Reader::k8Rle : Reader::kNone;
    case 16:
      return compression == 0 ? Reader::k16 : Reader::kNone;
    case 24:
      return Reader::k24;
    case 32:
      return compression == 0 ? Reader::k32 : Reader::kNone;
    default:
      return Reader::kNone;
  }
}

bool usesPalette(Reader r) {
  return r == Reader::k1 || r == Reader::k4 || r == Reader::k4Rle || r == Reader::k8 || r == Reader::k8Rle;
}

bool isRunLength(Reader r) { return r == Reader::k4Rle || r == Reader::k8Rle; }

// Bytes of one unpadded plain row; 0 for run-length data.
std::uint64_t minRowBytes(Reader r, std::uint64_t width) {
  switch (r) {
    case Reader::k1:
      return (width + 7) / 8;
    case Reader::k4:
      return (width + 1) / 2;
    case Reader::k8:
      return width;
    case Reader::k16:
      return width * 2;
    case Reader::k24:
      return width * 3;
    case Reader::k32:
      return width * 4;
    default:
      return 0;
  }
}

// What the two headers say; width and height are positive.
struct Header {
  std::uint32_t offBits = 0;
  std::uint32_t infoSize = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool topDown = false;
  std::uint16_t bits = 0;
  std::uint32_t compression = 0;
  std::int32_t xPels = 0;
  std::int32_t yPels = 0;
  std::uint32_t colorsUsed = 0;
};

bool readHeader(BitmapSource& source, Header& h) {
  const std::span<const std::uint8_t> head = source.fetch(0, bitmap::kPlainHeaderEnd);
  if (head.size() < bitmap::kFileHeaderSize || get16(head.data()) != bitmap::kType) return false;
  if (head.size() < bitmap::kPlainHeaderEnd) return false;
  const std::uint8_t* info = head.data() + bitmap::kFileHeaderSize;
  h.offBits = get32(head.data() + 10);
  h.infoSize = get32(info);
  h.width = static_cast<std::int32_t>(get32(info + 4));
  const auto rawHeight = static_cast<std::int32_t>(get32(info + 8));
  h.bits = get16(info + 14);
  h.compression = get32(info + 16);
  h.xPels = static_cast<std::int32_t>(get32(info + 24));
  h.yPels = static_cast<std::int32_t>(get32(info + 28));
  h.colorsUsed = get32(info + 32);
  // A negative height marks a top-down file.
  h.topDown = rawHeight < 0;
  h.height = h.topDown ? -static_cast<std::int64_t>(rawHeight) : rawHeight;
  return h.width > 0 && h.height > 0 && h.height <= INT32_MAX;
}

// Reads the colour table of a palette picture into pal and palCount and
// returns where the pixel data starts; 0 when the table is cut short.
std::uint64_t readColourTable(BitmapSource& source, const Header& h, Reader reader, Palette& pal,
                              int& palCount) {
  const bool knownSize = std::find(kKnownInfoHeaderSizes.begin(), kKnownInfoHeaderSizes.end(), h.infoSize) !=
                         kKnownInfoHeaderSizes.end();
  const std::uint64_t headerEnd =
      knownSize && bitmap::kFileHeaderSize + std::uint64_t{h.infoSize} <= h.offBits
          ? bitmap::kFileHeaderSize + h.infoSize
          : bitmap::kPlainHeaderEnd;
  palCount = 0;
  if (!usesPalette(reader)) {
    // 16 and 32 bits skip their colours-used entries; 24 bits has no table.
    const std::uint64_t tableBytes = reader == Reader::k24 ? 0 : std::uint64_t{h.colorsUsed} * 4;
    return h.offBits >= headerEnd + tableBytes ? h.offBits : bitmap::kPlainHeaderEnd + tableBytes;
  }
  std::uint64_t start = bitmap::kPlainHeaderEnd;
  if (h.offBits >= headerEnd) {
    palCount =
        static_cast<int>(std::min<std::uint64_t>((h.offBits - headerEnd) / 4, bitmap::kPaletteCapacity));
    start = h.offBits;
  }
  const auto tableBytes = static_cast<std::uint64_t>(palCount) * 4;
  const std::span<const std::uint8_t> table = source.fetch(headerEnd, tableBytes);
  if (table.size() < tableBytes) return 0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(palCount); ++i) pal[i] = get32(table.data() + 4 * i);
  if (reader == Reader::k1 && palCount == 0) {
    pal[0] = 0;
    pal[1] = 0xFFFFFF;
  }
  return start;
}

// Whether dataBytes of pixel data can hold a picture of count pixels: plain
// rows must all be there (without padding at the least), run-length data
// must describe the picture closely enough (see kRunLengthPixelsPerByte).
bool dataBacksPicture(Reader reader, const Header& h, std::uint64_t count, std::uint64_t dataBytes) {
  if (isRunLength(reader))
    return count <= kRunLengthFreePixels || count <= dataBytes * kRunLengthPixelsPerByte;
  const std::uint64_t rowBytes = minRowBytes(reader, static_cast<std::uint64_t>(h.width));
  return dataBytes / static_cast<std::uint64_t>(h.height) >= rowBytes;
}

// An empty picture buffer with room for count pixels. Big buffers ask the
// system for huge pages and map all their pages in one call: a 3000 x 3000
// picture then costs a few calls instead of thousands of page faults.
std::vector<std::uint32_t> reservePixels(std::size_t count) {
  std::vector<std::uint32_t> pixels;
  pixels.reserve(count);
  constexpr std::uintptr_t kPage = 4096;
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  const std::size_t bytes = count * sizeof(std::uint32_t);
  if (bytes >= 2 * kHuge) {
    // Aligned addresses are found as numbers and reached as offsets from the
    // buffer's start.
    auto* const base = reinterpret_cast<char*>(pixels.data());
    const auto begin = reinterpret_cast<std::uintptr_t>(base);
    const std::uintptr_t end = begin + bytes;
    const std::uintptr_t hugeBegin = (begin + kHuge - 1) / kHuge * kHuge;
    const std::uintptr_t hugeEnd = end / kHuge * kHuge;
    if (hugeBegin < hugeEnd) ::madvise(base + (hugeBegin - begin), hugeEnd - hugeBegin, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
    // The pages wholly inside the buffer; an old kernel just refuses.
    const std::uintptr_t pageBegin = (begin + kPage - 1) / kPage * kPage;
    const std::uintptr_t pageEnd = end / kPage * kPage;
    if (pageBegin < pageEnd) ::madvise(base + (pageBegin - begin), pageEnd - pageBegin, MADV_POPULATE_WRITE);
#endif
  }
  return pixels;
}

// Decodes the rows of plain (uncompressed) pixel data. Rows are padded to
// 4 bytes; when the data is too short for padded rows and the depth allows it,
// the rows are read again without padding.
template <class DecodeRow>
bool decodePlainRows(BitmapSource& source, std::uint64_t start, const Header& hdr, std::uint64_t rowBytes,
                     bool retryUnpadded, std::vector<std::uint32_t>& pixels, DecodeRow decodeRow) {
  const auto h = static_cast<std::uint64_t>(hdr.height);
  const std::uint64_t available = start < source.size() ? source.size() - start : 0;
  std::uint64_t stride = (rowBytes + 3) / 4 * 4;
  // The last row needs no padding after it.
  if (available < (h - 1) * stride + rowBytes) {
    if (!retryUnpadded || available < h * rowBytes) return false;
    stride = rowBytes;
  }
  // Rows are fetched a block at a time, so a file needs no second buffer of
  // its full size.
  const std::uint64_t rowsPerBlock = std::max<std::uint64_t>(1, kReadBlock / stride);
  const auto w = static_cast<std::size_t>(hdr.width);
  // A bottom-up file fills the buffer from its start: the buffer grows block
  // by block, so each block is cleared just before it is written, while it is
  // still in the cache.
  if (hdr.topDown) pixels.resize(static_cast<std::size_t>(h) * w);  // a reused buffer is already full size
  for (std::uint64_t first = 0; first < h; first += rowsPerBlock) {
    const std::uint64_t rows = std::min(rowsPerBlock, h - first);
    const std::uint64_t bytes = (rows - 1) * stride + rowBytes;
    const std::span<const std::uint8_t> data = source.fetch(start + first * stride, bytes);
    if (data.size() < bytes) return false;  // the file shrank or could not be read
    const std::size_t filled = static_cast<std::size_t>(first + rows) * w;
    if (pixels.size() < filled) pixels.resize(filled);
    for (std::uint64_t r = 0; r < rows; ++r) {
      const std::uint64_t k = first + r;
      const std::uint64_t row = hdr.topDown ? h - 1 - k : k;
      decodeRow(data.data() + r * stride, pixels.data() + row * w, w);
    }
  }
  return true;
}

// 24-bit rows: bytes blue, green, red. Four pixels at a time from three
// 4-byte words, the rest byte by byte.
void decodeRow24(const std::uint8_t* src, std::uint32_t* dst, std::size_t n) {
  std::size_t x = 0;
  for (; x + 4 <= n; x += 4, src += 12) {
    std::uint32_t w[3];
    std::memcpy(w, src, 12);
    dst[x] = w[0] & 0xFFFFFFU;
    dst[x + 1] = (w[0] >> 24) | ((w[1] & 0xFFFFU) << 8);
    dst[x + 2] = (w[1] >> 16) | ((w[2] & 0xFFU) << 16);
    dst[x + 3] = w[2] >> 8;
  }
  for (; x < n; ++x, src += 3)
    dst[x] = static_cast<std::uint32_t>(src[0]) | (static_cast<std::uint32_t>(src[1]) << 8) |
             (static_cast<std::uint32_t>(src[2]) << 16);
}

bool decodePlain(BitmapSource& source, std::uint64_t start, const Header& h, Reader reader,
                 const Palette& pal, std::vector<std::uint32_t>& px) {
  const std::uint64_t rowBytes = minRowBytes(reader, static_cast<std::uint64_t>(h.width));
  switch (reader) {
    case Reader::k1:
      return decodePlainRows(source, start, h, rowBytes, false, px,
                             [&pal](const std::uint8_t* src, std::uint32_t* dst, std::size_t n) {
                               for (std::size_t x = 0; x < n; ++x)
                                 dst[x] = pal[(src[x >> 3] >> (7 - (x & 7))) & 1];
                             });
    case Reader::k4:
      // A failing plain 4-bit read would beep (1000 Hz, half a second) on the
      // desktop; there is no sound here.
      return decodePlainRows(source, start, h, rowBytes, true, px,
                             [&pal](const std::uint8_t* src, std::uint32_t* dst, std::size_t n) {
                               for (std::size_t x = 0; x < n; ++x)
                                 dst[x] = pal[(x & 1) == 0 ? src[x >> 1] >> 4 : src[x >> 1] & 15];
                             });
    case Reader::k8:
      return decodePlainRows(source, start, h, rowBytes, true, px,
                             [&pal](const std::uint8_t* src, std::uint32_t* dst, std::size_t n) {
                               for (std::size_t x = 0; x < n; ++x) dst[x] = pal[src[x]];
                             });
    case Reader::k16:
      return decodePlainRows(source, start, h, rowBytes, false, px,
                             [](const std::uint8_t* src, std::uint32_t* dst, std::size_t n) {
                               for (std::size_t x = 0; x < n; ++x) {
                                 const std::uint32_t v = get16(src + 2 * x);
                                 // 5 bits per channel, bit 15 unused.
                                 dst[x] = ((v & 0x1F) << 3) | (((v >> 5) & 0x1F) << 11) |
                                          (((v >> 10) & 0x1F) << 19);
                               }
                             });
    case Reader::k24:
      return decodePlainRows(source, start, h, rowBytes, true, px, decodeRow24);
    case Reader::k32:
      return decodePlainRows(source, start, h, rowBytes, false, px,
                             [](const std::uint8_t* src, std::uint32_t* dst, std::size_t n) {
                               std::memcpy(dst, src, n * 4);  // the host is little-endian like the file
                             });
    default:
      return false;
  }
}

// Byte-by-byte reading of run-length data, fetched in pieces.
class ByteCursor {
 public:
  ByteCursor(BitmapSource& source, std::uint64_t start) : m_source(source), m_next(start) {}

  // False when the data has ended.
  bool get(std::uint8_t& b) {
    if (m_index == m_chunk.size()) {
      m_chunk = m_source.fetch(m_next, kChunkSize);
      m_next += m_chunk.size();
      m_index = 0;
      if (m_chunk.empty()) return false;
    }
    b = m_chunk[m_index++];
    return true;
  }

 private:
  BitmapSource& m_source;
  std::uint64_t m_next;
  std::span<const std::uint8_t> m_chunk;
  std::size_t m_index = 0;
};

// Run-length data of 4 bits (kBits 4) or 8 bits per pixel. Every pixel starts
// as palette[0]. Byte pairs follow: (n > 0, c) is a run of n pixels, (0, 0)
// ends the line, (0, 1) ends the picture, (0, 2) moves by the next pair, and
// (0, n >= 3) is an absolute run of n pixels padded to a 2-byte boundary;
// data that ends without an end mark is fine.
// In 4-bit data a run alternates the two nibbles of c, starting with the high
// one, and within a row the column stops at the last column, so surplus
// pixels of a run land there. In 8-bit data positions run on through the
// buffer without stopping at the row end. A position at or beyond the end of
// the picture fails either way.
template <int kBits>
bool decodeRle(ByteCursor& in, std::int64_t width, std::int64_t height, const Palette& pal,
               std::uint32_t* pixels) {
  static_assert(kBits == 4 || kBits == 8);
  const std::int64_t total = width * height;
  std::fill(pixels, pixels + total, pal[0]);
  std::int64_t col = 0;
  std::int64_t row = 0;
  auto put = [&](std::uint32_t value) {
    const std::int64_t pos = col + row * width;
    if (pos >= total) return false;
    pixels[pos] = value;
    if (kBits == 8 || col < width - 1) ++col;
    return true;
  };
  // The palette index of pixel i of a run whose byte is c.
  auto index = [](int i, std::uint8_t c) -> std::size_t {
    return kBits == 8 ? c : (i & 1) == 0 ? c >> 4 : c & 15;
  };
  std::uint8_t a = 0;
  std::uint8_t b = 0;
  for (;;) {
    if (!in.get(a) || !in.get(b)) return true;
    if (a > 0) {
      for (int i = 0; i < a; ++i)
        if (!put(pal[index(i, b)])) return false;
      continue;
    }
    if (b == 0) {
      ++row;
      col = 0;
    } else if (b == 1) {
      return true;
    } else if (b == 2) {
      std::uint8_t dx = 0;
      std::uint8_t dy = 0;
      if (!in.get(dx) || !in.get(dy)) return true;
      col += dx;
      row += dy;
    } else {
      // A new byte for every pixel, or for every second one in 4-bit data.
      std::uint8_t byte = 0;
      for (int i = 0; i < b; ++i) {
        if ((kBits == 8 || (i & 1) == 0) && !in.get(byte)) return true;
        if (!put(pal[index(i, byte)])) return false;
      }
      const int bytes = kBits == 8 ? b : (b + 1) / 2;
      if (bytes % 2 != 0 && !in.get(byte)) return true;
    }
  }
}

bool decodeRunLength(BitmapSource& source, std::uint64_t start, const Header& h, Reader reader,
                     const Palette& pal, std::vector<std::uint32_t>& px) {
  ByteCursor cursor(source, start);
  px.resize(static_cast<std::size_t>(h.width * h.height));
  return reader == Reader::k4Rle ? decodeRle<4>(cursor, h.width, h.height, pal, px.data())
                                 : decodeRle<8>(cursor, h.width, h.height, pal, px.data());
}

bool decode(BitmapSource& source, KW_PicDoc& doc, std::uint64_t maxPixels) {
  Header h;
  if (!readHeader(source, h)) return false;
  const auto count = static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.height);
  if (count > maxPixels) return false;
  const Reader reader = chooseReader(h.bits, h.compression);
  if (reader == Reader::kNone) return false;

  Palette pal{};
  int palCount = 0;
  const std::uint64_t start = readColourTable(source, h, reader, pal, palCount);
  if (start == 0) return false;
  // Refuse a picture the file cannot hold before allocating for it.
  const std::uint64_t dataBytes = start < source.size() ? source.size() - start : 0;
  if (!dataBacksPicture(reader, h, count, dataBytes)) return false;

  // A kept buffer of a closed picture is reused when it is large enough;
  // every reader writes every pixel.
  std::vector<std::uint32_t> pixels;
  if (doc.pixelPool != nullptr) pixels = doc.pixelPool->take(static_cast<std::size_t>(count));
  if (pixels.empty()) pixels = reservePixels(static_cast<std::size_t>(count));
  const bool ok = isRunLength(reader) ? decodeRunLength(source, start, h, reader, pal, pixels)
                                      : decodePlain(source, start, h, reader, pal, pixels);
  if (!ok) {
    if (doc.pixelPool != nullptr) doc.pixelPool->recycle(std::move(pixels));
    return false;
  }

  if (doc.pixelPool != nullptr) doc.pixelPool->recycle(std::move(doc.pixels));
  doc.pixels = std::move(pixels);
  doc.width = static_cast<std::int32_t>(h.width);
  doc.height = static_cast<std::int32_t>(h.height);
  doc.bitCount = h.bits;
  doc.compression = static_cast<std::uint16_t>(h.compression);
  doc.xPelsPerMeter = h.xPels;
  doc.yPelsPerMeter = h.yPels;
  if (usesPalette(reader)) {
    doc.palette = pal;
    doc.paletteCount = palCount;
  } else {
    doc.paletteCount = 0;
  }
  return true;
}

}  // namespace

bool DecodeBitmap(BitmapSource& source, KW_PicDoc& doc, std::uint64_t maxPixels) {
  if (decode(source, doc, maxPixels)) return true;
  doc.pixels.clear();
  doc.pixels.shrink_to_fit();
  doc.width = 0;
  doc.height = 0;
  return false;
}
