// The layout of a Windows bitmap file, shared by its decoder and encoder.
//
// A file is a 14-byte file header, an information header (40 bytes in the
// files we write), an optional colour table of 4-byte entries (blue, green,
// red, reserved) and the pixel rows, bottom row first unless the height is
// negative, each row padded to a multiple of 4 bytes. Numbers are stored
// little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/pic_doc.h"

namespace bitmap {

inline constexpr std::uint16_t kType = 0x4D42;  // "BM"
inline constexpr std::uint32_t kFileHeaderSize = 14;
inline constexpr std::uint32_t kInfoHeaderSize = 40;
inline constexpr std::uint32_t kPlainHeaderEnd = kFileHeaderSize + kInfoHeaderSize;  // 54
// Offset of the file size field in the file header.
inline constexpr std::size_t kFileSizeField = 2;
inline constexpr int kPaletteCapacity = 256;

inline std::uint16_t get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::uint8_t* p, std::uint32_t v) {
  put16(p, v);
  put16(p + 2, v >> 16);
}

// A buffer that does not match width x height cannot be written without
// reading outside it.
inline bool bufferMatchesSize(const KW_PicDoc& doc) {
  if (doc.width < 0 || doc.height < 0) return false;
  return doc.pixels.size() == static_cast<std::size_t>(doc.width) * static_cast<std::size_t>(doc.height);
}

}  // namespace bitmap
