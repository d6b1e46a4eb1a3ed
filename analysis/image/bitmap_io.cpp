// Reading and writing Windows bitmap files.
//
// A file is a 14-byte file header, an information header (40 bytes in the
// files we write), an optional colour table of 4-byte entries (blue, green,
// red, reserved) and the pixel rows, bottom row first unless the height is
// negative, each row padded to a multiple of 4 bytes.
#include "image/bitmap_io.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "image/detail/pixel_pool.h"

namespace {

constexpr std::uint16_t kBitmapType = 0x4D42;  // "BM"
constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kPlainHeaderEnd = kFileHeaderSize + kInfoHeaderSize;  // 54
constexpr int kPaletteCapacity = 256;
// Information header sizes met in practice; any other size field is taken as
// garbage and the file is read as if the header had 40 bytes.
constexpr std::array<std::uint32_t, 6> kKnownInfoHeaderSizes{40, 52, 56, 64, 108, 124};
// Compressed data is read in pieces of this size, plain rows in blocks of
// about kReadBlock bytes.
constexpr std::size_t kChunkSize = std::size_t{1} << 16;
constexpr std::uint64_t kReadBlock = std::uint64_t{1} << 18;
// Rows are encoded into a buffer of about this size before each write.
constexpr std::size_t kWriteBlock = std::size_t{1} << 20;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::uint16_t get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
  put16(p, v);
  put16(p + 2, v >> 16);
}

// Random access to the bytes of a bitmap: either a block of memory or an open
// file. fetch gives up to n bytes at offset; the view stays valid until the
// next fetch.
class ByteSource {
 public:
  explicit ByteSource(std::span<const std::uint8_t> bytes) : m_memory(bytes), m_size(bytes.size()) {}
  ByteSource(std::FILE* file, std::uint64_t size) : m_file(file), m_size(size) {}

  std::uint64_t size() const { return m_size; }

  std::span<const std::uint8_t> fetch(std::uint64_t offset, std::uint64_t n) {
    if (offset >= m_size) return {};
    const std::uint64_t count = std::min(n, m_size - offset);
    if (m_file == nullptr)
      return m_memory.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(count));
    m_buffer.resize(static_cast<std::size_t>(count));
    if (std::fseek(m_file, static_cast<long>(offset), SEEK_SET) != 0) return {};
    const std::size_t got = std::fread(m_buffer.data(), 1, m_buffer.size(), m_file);
    return {m_buffer.data(), got};
  }

 private:
  std::span<const std::uint8_t> m_memory;
  std::FILE* m_file = nullptr;
  std::uint64_t m_size = 0;
  std::vector<std::uint8_t> m_buffer;
};

// Byte-by-byte reading of run-length data, fetched in pieces.
class ByteCursor {
 public:
  ByteCursor(ByteSource& source, std::uint64_t start) : m_source(source), m_next(start) {}

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
  ByteSource& m_source;
  std::uint64_t m_next;
  std::span<const std::uint8_t> m_chunk;
  std::size_t m_index = 0;
};

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

// Decodes height rows of plain (uncompressed) pixel data. Rows are padded to
// 4 bytes; when the data is too short for padded rows and the depth allows it,
// the rows are read again without padding.
template <class DecodeRow>
bool decodePlainRows(ByteSource& source, std::uint64_t start, std::int64_t width, std::int64_t height,
                     bool topDown, std::uint64_t rowBytes, bool retryUnpadded,
                     std::vector<std::uint32_t>& pixels, DecodeRow decodeRow) {
  const auto h = static_cast<std::uint64_t>(height);
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
  const auto w = static_cast<std::size_t>(width);
  // A bottom-up file fills the buffer from its start: the buffer grows block
  // by block, so each block is cleared just before it is written, while it is
  // still in the cache.
  if (topDown) pixels.resize(static_cast<std::size_t>(h) * w);  // a reused buffer is already full size
  for (std::uint64_t first = 0; first < h; first += rowsPerBlock) {
    const std::uint64_t rows = std::min(rowsPerBlock, h - first);
    const std::uint64_t bytes = (rows - 1) * stride + rowBytes;
    const std::span<const std::uint8_t> data = source.fetch(start + first * stride, bytes);
    if (data.size() < bytes) return false;  // the file shrank or could not be read
    const std::size_t filled = static_cast<std::size_t>(first + rows) * w;
    if (pixels.size() < filled) pixels.resize(filled);
    for (std::uint64_t r = 0; r < rows; ++r) {
      const std::uint64_t k = first + r;
      const std::uint64_t row = topDown ? h - 1 - k : k;
      decodeRow(data.data() + r * stride, pixels.data() + row * w, w);
    }
  }
  return true;
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
    const auto begin = reinterpret_cast<std::uintptr_t>(pixels.data());
    const std::uintptr_t end = begin + bytes;
    const std::uintptr_t hugeBegin = (begin + kHuge - 1) / kHuge * kHuge;
    const std::uintptr_t hugeEnd = end / kHuge * kHuge;
    if (hugeBegin < hugeEnd)
      ::madvise(reinterpret_cast<void*>(hugeBegin), hugeEnd - hugeBegin, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
    // The pages wholly inside the buffer; an old kernel just refuses.
    const std::uintptr_t pageBegin = (begin + kPage - 1) / kPage * kPage;
    const std::uintptr_t pageEnd = end / kPage * kPage;
    if (pageBegin < pageEnd)
      ::madvise(reinterpret_cast<void*>(pageBegin), pageEnd - pageBegin, MADV_POPULATE_WRITE);
#endif
  }
  return pixels;
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
bool decodeRle(ByteCursor& in, std::int64_t width, std::int64_t height,
               const std::array<std::uint32_t, kPaletteCapacity>& pal, std::uint32_t* pixels) {
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
  auto index = [](int i, std::uint8_t c) { return kBits == 8 ? c : (i & 1) == 0 ? c >> 4 : c & 15; };
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

bool decode(ByteSource& source, KW_PicDoc& doc, std::uint64_t maxPixels) {
  const std::span<const std::uint8_t> head = source.fetch(0, kPlainHeaderEnd);
  if (head.size() < kFileHeaderSize || get16(head.data()) != kBitmapType) return false;
  if (head.size() < kPlainHeaderEnd) return false;
  const std::uint8_t* info = head.data() + kFileHeaderSize;
  const std::uint32_t offBits = get32(head.data() + 10);
  const std::uint32_t infoSize = get32(info);
  const auto width = static_cast<std::int32_t>(get32(info + 4));
  const auto rawHeight = static_cast<std::int32_t>(get32(info + 8));
  const std::uint16_t bits = get16(info + 14);
  const std::uint32_t compression = get32(info + 16);
  const auto xPels = static_cast<std::int32_t>(get32(info + 24));
  const auto yPels = static_cast<std::int32_t>(get32(info + 28));
  const std::uint32_t colorsUsed = get32(info + 32);

  // A negative height marks a top-down file.
  const bool topDown = rawHeight < 0;
  const std::int64_t w = width;
  const std::int64_t h = topDown ? -static_cast<std::int64_t>(rawHeight) : rawHeight;
  if (w <= 0 || h <= 0 || h > INT32_MAX) return false;
  const auto count = static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h);
  if (count > maxPixels) return false;

  const Reader reader = chooseReader(bits, compression);
  if (reader == Reader::kNone) return false;

  // The colour table follows the information header; the pixel data starts at
  // the header's pixel-data offset when that lies behind header and table,
  // otherwise right where the table ends.
  const bool knownSize = std::find(kKnownInfoHeaderSizes.begin(), kKnownInfoHeaderSizes.end(), infoSize) !=
                         kKnownInfoHeaderSizes.end();
  const std::uint64_t headerEnd = knownSize && kFileHeaderSize + std::uint64_t{infoSize} <= offBits
                                      ? kFileHeaderSize + infoSize
                                      : kPlainHeaderEnd;
  std::array<std::uint32_t, kPaletteCapacity> pal{};
  int palCount = 0;
  std::uint64_t start = kPlainHeaderEnd;
  if (usesPalette(reader)) {
    if (offBits >= headerEnd) {
      palCount = static_cast<int>(std::min<std::uint64_t>((offBits - headerEnd) / 4, kPaletteCapacity));
      start = offBits;
    }
    const auto tableBytes = static_cast<std::uint64_t>(palCount) * 4;
    const std::span<const std::uint8_t> table = source.fetch(headerEnd, tableBytes);
    if (table.size() < tableBytes) return false;
    for (int i = 0; i < palCount; ++i) pal[static_cast<std::size_t>(i)] = get32(table.data() + 4 * i);
  } else {
    const std::uint64_t tableBytes = reader == Reader::k24 ? 0 : std::uint64_t{colorsUsed} * 4;
    start = offBits >= headerEnd + tableBytes ? offBits : kPlainHeaderEnd + tableBytes;
  }
  if (reader == Reader::k1 && palCount == 0) {
    pal[0] = 0;
    pal[1] = 0xFFFFFF;
  }

  // Refuse plain data the file cannot hold before allocating for it.
  const std::uint64_t dataBytes = start < source.size() ? source.size() - start : 0;
  const std::uint64_t minRowBytes = reader == Reader::k1    ? (static_cast<std::uint64_t>(w) + 7) / 8
                                    : reader == Reader::k4  ? (static_cast<std::uint64_t>(w) + 1) / 2
                                    : reader == Reader::k8  ? static_cast<std::uint64_t>(w)
                                    : reader == Reader::k16 ? static_cast<std::uint64_t>(w) * 2
                                    : reader == Reader::k24 ? static_cast<std::uint64_t>(w) * 3
                                    : reader == Reader::k32 ? static_cast<std::uint64_t>(w) * 4
                                                            : 0;
  if (minRowBytes > 0 && dataBytes / static_cast<std::uint64_t>(h) < minRowBytes) return false;

  // A kept buffer of a closed picture is reused when it is large enough;
  // every reader writes every pixel.
  std::vector<std::uint32_t> pixels = TakePixelBuffer(static_cast<std::size_t>(count));
  if (pixels.empty()) pixels = reservePixels(static_cast<std::size_t>(count));
  std::vector<std::uint32_t>& px = pixels;
  bool ok = false;
  switch (reader) {
    case Reader::k1:
      ok = decodePlainRows(source, start, w, h, topDown, minRowBytes, false, px,
                           [&pal](const std::uint8_t* src, std::uint32_t* dst, std::size_t n) {
                             for (std::size_t x = 0; x < n; ++x)
                               dst[x] = pal[(src[x >> 3] >> (7 - (x & 7))) & 1];
                           });
      break;
    case Reader::k4:
      ok = decodePlainRows(source, start, w, h, topDown, minRowBytes, true, px,
                           [&pal](const std::uint8_t* src, std::uint32_t* dst, std::size_t n) {
                             for (std::size_t x = 0; x < n; ++x)
                               dst[x] = pal[(x & 1) == 0 ? src[x >> 1] >> 4 : src[x >> 1] & 15];
                           });
      // A failing plain 4-bit read would beep (1000 Hz, half a second) on the
      // desktop; there is no sound here.
      break;
    case Reader::k8:
      ok = decodePlainRows(source, start, w, h, topDown, minRowBytes, true, px,
                           [&pal](const std::uint8_t* src, std::uint32_t* dst, std::size_t n) {
                             for (std::size_t x = 0; x < n; ++x) dst[x] = pal[src[x]];
                           });
      break;
    case Reader::k16:
      ok = decodePlainRows(source, start, w, h, topDown, minRowBytes, false, px,
                           [](const std::uint8_t* src, std::uint32_t* dst, std::size_t n) {
                             for (std::size_t x = 0; x < n; ++x) {
                               const std::uint32_t v = get16(src + 2 * x);
                               // 5 bits per channel, bit 15 unused.
                               dst[x] =
                                   ((v & 0x1F) << 3) | (((v >> 5) & 0x1F) << 11) | (((v >> 10) & 0x1F) << 19);
                             }
                           });
      break;
    case Reader::k24:
      ok = decodePlainRows(source, start, w, h, topDown, minRowBytes, true, px, decodeRow24);
      break;
    case Reader::k32:
      ok = decodePlainRows(source, start, w, h, topDown, minRowBytes, false, px,
                           [](const std::uint8_t* src, std::uint32_t* dst, std::size_t n) {
                             std::memcpy(dst, src, n * 4);  // the host is little-endian like the file
                           });
      break;
    case Reader::k4Rle: {
      ByteCursor cursor(source, start);
      pixels.resize(static_cast<std::size_t>(count));
      ok = decodeRle<4>(cursor, w, h, pal, pixels.data());
      break;
    }
    case Reader::k8Rle: {
      ByteCursor cursor(source, start);
      pixels.resize(static_cast<std::size_t>(count));
      ok = decodeRle<8>(cursor, w, h, pal, pixels.data());
      break;
    }
    case Reader::kNone:
      break;
  }
  if (!ok) {
    RecyclePixelBuffer(std::move(pixels));
    return false;
  }

  RecyclePixelBuffer(std::move(doc.pixels));
  doc.pixels = std::move(pixels);
  doc.width = width;
  doc.height = static_cast<std::int32_t>(h);
  doc.bitCount = bits;
  doc.compression = static_cast<std::uint16_t>(compression);
  doc.xPelsPerMeter = xPels;
  doc.yPelsPerMeter = yPels;
  if (usesPalette(reader)) {
    doc.palette = pal;
    doc.paletteCount = palCount;
  } else {
    doc.paletteCount = 0;
  }
  return true;
}

void dropPicture(KW_PicDoc& doc) {
  doc.pixels.clear();
  doc.pixels.shrink_to_fit();
  doc.width = 0;
  doc.height = 0;
}

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

std::uint64_t rowBytesFor(std::uint16_t bits, std::uint64_t width) { return (width * bits + 31) / 32 * 4; }

// Writes the pixel rows, bottom row first, each padded with zeros to a
// multiple of 4 bytes. write(data, n) returns false on failure.
template <class Write>
bool encodeRows(const KW_PicDoc& doc, int paletteCount, Write&& write) {
  const std::uint16_t bits = doc.bitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return true;
  const auto w = static_cast<std::size_t>(doc.width);
  const auto h = static_cast<std::size_t>(doc.height);
  if (w == 0 || h == 0) return true;
  const auto stride = static_cast<std::size_t>(rowBytesFor(bits, w));
  const std::size_t rowsPerBlock = std::max<std::size_t>(1, kWriteBlock / stride);
  std::vector<std::uint8_t> block(std::min(rowsPerBlock, h) * stride);
  NearestIndexCache nearest(doc.palette.data(), paletteCount);
  const std::uint32_t pal0 = doc.palette[0];
  const std::uint32_t pal1 = doc.palette[1];

  for (std::size_t first = 0; first < h; first += rowsPerBlock) {
    const std::size_t rows = std::min(rowsPerBlock, h - first);
    std::fill(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(rows * stride), std::uint8_t{0});
    for (std::size_t r = 0; r < rows; ++r) {
      const std::uint32_t* src = doc.pixels.data() + (first + r) * w;
      std::uint8_t* dst = block.data() + r * stride;
      switch (bits) {
        case 1:
          for (std::size_t x = 0; x < w; ++x) {
            // A pixel halfway between the two colours gives a set bit.
            if (colourDistance(src[x], pal0) >= colourDistance(src[x], pal1))
              dst[x >> 3] = static_cast<std::uint8_t>(dst[x >> 3] | (0x80U >> (x & 7)));
          }
          break;
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
    if (!write(block.data(), rows * stride)) return false;
  }
  return true;
}

int clampedPaletteCount(const KW_PicDoc& doc) { return std::clamp(doc.paletteCount, 0, kPaletteCapacity); }

// File header (size field 0 until known), information header and colour table.
std::vector<std::uint8_t> encodeHeaders(const KW_PicDoc& doc, int paletteCount) {
  std::vector<std::uint8_t> out(kPlainHeaderEnd + 4 * static_cast<std::size_t>(paletteCount));
  std::uint8_t* p = out.data();
  put16(p, kBitmapType);
  put32(p + 10, static_cast<std::uint32_t>(out.size()));
  std::uint8_t* info = p + kFileHeaderSize;
  put32(info, kInfoHeaderSize);
  put32(info + 4, static_cast<std::uint32_t>(doc.width));
  put32(info + 8, static_cast<std::uint32_t>(doc.height));
  put16(info + 12, 1);
  put16(info + 14, doc.bitCount);
  put32(info + 24, static_cast<std::uint32_t>(doc.xPelsPerMeter));
  put32(info + 28, static_cast<std::uint32_t>(doc.yPelsPerMeter));
  for (int i = 0; i < paletteCount; ++i)
    put32(p + kPlainHeaderEnd + 4 * i, doc.palette[static_cast<std::size_t>(i)]);
  return out;
}

// A buffer that does not match width x height cannot be written without
// reading outside it.
bool consistent(const KW_PicDoc& doc) {
  if (doc.width < 0 || doc.height < 0) return false;
  return doc.pixels.size() == static_cast<std::size_t>(doc.width) * static_cast<std::size_t>(doc.height);
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

bool LoadBitmapFromMemory(KW_PicDoc& doc, std::span<const std::uint8_t> bytes, std::uint64_t maxPixels) {
  ByteSource source(bytes);
  if (decode(source, doc, maxPixels)) return true;
  dropPicture(doc);
  return false;
}

bool SaveBitmapToMemory(const KW_PicDoc& doc, std::vector<std::uint8_t>& out) {
  out.clear();
  if (!consistent(doc)) return false;
  const int paletteCount = clampedPaletteCount(doc);
  out = encodeHeaders(doc, paletteCount);
  encodeRows(doc, paletteCount, [&out](const std::uint8_t* data, std::size_t n) {
    out.insert(out.end(), data, data + n);
    return true;
  });
  put32(out.data() + 2, static_cast<std::uint32_t>(out.size()));
  return true;
}

std::uint32_t* KW_PicDoc::LoadBitmap(const std::string& path) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y\n", &local);
  loadTime.assign(text, std::min<std::size_t>(std::strlen(text), 50));

  FilePtr file(std::fopen(path.c_str(), "rb"));
  bool ok = false;
  if (file != nullptr && std::fseek(file.get(), 0, SEEK_END) == 0) {
    const long size = std::ftell(file.get());
    if (size >= 0) {
      ByteSource source(file.get(), static_cast<std::uint64_t>(size));
      ok = decode(source, *this, kMaxBitmapPixels);
    }
  }
  if (!ok) {
    dropPicture(*this);
    return nullptr;
  }
  return pixels.data();
}

bool KW_PicDoc::SaveBitmap(const std::string& path) {
  // Refuse before the file is truncated, so nothing on disk is lost.
  if (!consistent(*this)) return false;
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (file == nullptr) return false;
  const int count = clampedPaletteCount(*this);
  std::vector<std::uint8_t> head = encodeHeaders(*this, count);
  if (std::fwrite(head.data(), 1, head.size(), file.get()) != head.size()) return false;
  std::FILE* f = file.get();
  if (!encodeRows(*this, count,
                  [f](const std::uint8_t* data, std::size_t n) { return std::fwrite(data, 1, n, f) == n; }))
    return false;
  // The size field is known only now.
  const long size = std::ftell(f);
  if (size < 0) return false;
  put32(head.data() + 2, static_cast<std::uint32_t>(size));
  if (std::fseek(f, 0, SEEK_SET) != 0 || std::fwrite(head.data(), 1, kFileHeaderSize, f) != kFileHeaderSize)
    return false;
  return std::fclose(file.release()) == 0;
}
