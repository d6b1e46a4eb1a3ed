// Bitmap files put together byte by byte, for the tests of the bitmap
// reader and writer.
#pragma once

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

namespace bmptest {

using Bytes = std::vector<std::uint8_t>;

inline void add16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v & 0xFF));
  b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
inline void add32(Bytes& b, std::uint32_t v) {
  add16(b, v & 0xFFFF);
  add16(b, v >> 16);
}
inline std::uint32_t read32(const Bytes& b, std::size_t at) {
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

inline bool load(KW_PicDoc& doc, const Bytes& b) { return LoadBitmapFromMemory(doc, b); }

inline Bytes save(const KW_PicDoc& doc) {
  Bytes out;
  EXPECT_TRUE(SaveBitmapToMemory(doc, out));
  return out;
}

// Rows given top row first, as one reads a picture.
inline std::vector<std::uint32_t> bottomUp(const std::vector<std::vector<std::uint32_t>>& topFirst) {
  std::vector<std::uint32_t> out;
  for (auto it = topFirst.rbegin(); it != topFirst.rend(); ++it)
    out.insert(out.end(), it->begin(), it->end());
  return out;
}

inline void addBgr(Bytes& b, std::uint32_t rgb) {
  b.push_back(static_cast<std::uint8_t>(rgb & 0xFF));
  b.push_back(static_cast<std::uint8_t>((rgb >> 8) & 0xFF));
  b.push_back(static_cast<std::uint8_t>((rgb >> 16) & 0xFF));
}

// A w x h 24-bit file whose pixel (x, y) is colourAt(x, y), rows padded
// (or not).
inline BmpFile rgbFile(int w, int h, bool pad, bool topDown = false) {
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
inline std::uint32_t colourAt(int x, int row) {
  return static_cast<std::uint32_t>(0x10000 * (row * 40 + 3) + 0x100 * (x * 30 + 7) + (x + row + 1));
}

inline void expectRgbPicture(const KW_PicDoc& doc, int w, int h) {
  ASSERT_EQ(doc.width, w);
  ASSERT_EQ(doc.height, h);
  ASSERT_EQ(doc.pixels.size(), static_cast<std::size_t>(w * h));
  for (int row = 0; row < h; ++row)
    for (int x = 0; x < w; ++x) EXPECT_EQ(doc.At(x, row), colourAt(x, row)) << x << "," << row;
}

inline BmpFile greyPalette8(int w, int h) {
  BmpFile f;
  f.width = w;
  f.height = h;
  f.bits = 8;
  for (std::uint32_t i = 0; i < 256; ++i) f.palette.push_back(i * 0x010101U);
  return f;
}

// Run-length data.
inline BmpFile rleFile(std::uint16_t bits, int w, int h, Bytes data) {
  BmpFile f;
  f.width = w;
  f.height = h;
  f.bits = bits;
  f.compression = bits == 8 ? 1 : 2;
  f.palette = {0x000001, 0x000002, 0x000003, 0x000004, 0x000005};
  f.data = std::move(data);
  return f;
}

}  // namespace bmptest
