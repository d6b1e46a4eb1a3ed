// The bitmap decoder: bytes of a bitmap file, from memory or an open file,
// into a picture document.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "image/pic_doc.h"

// Random access to the bytes of a bitmap: either a block of memory or an open
// file. fetch gives up to n bytes at offset; the view stays valid until the
// next fetch. A file is read piece by piece, so a picture needs no second
// buffer of its full size.
class BitmapSource {
 public:
  explicit BitmapSource(std::span<const std::uint8_t> bytes) : m_memory(bytes), m_size(bytes.size()) {}
  BitmapSource(std::FILE* file, std::uint64_t size) : m_file(file), m_size(size) {}

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

// Decodes the bitmap held by source into doc (pixels, width, height,
// bitCount, compression, palette, paletteCount, resolution). Returns true on
// success; on failure doc is left without a picture (pixels empty, width and
// height 0). loadTime is not touched. Pictures of more than maxPixels pixels,
// and run-length pictures far larger than their data can describe, are
// refused before anything is allocated for them.
bool DecodeBitmap(BitmapSource& source, KW_PicDoc& doc, std::uint64_t maxPixels);

// Reads the bitmap file already opened as file (size bytes; null: nothing to
// read) into doc and sets its load time; true when a picture was read.
bool LoadOpenedBitmap(KW_PicDoc& doc, std::FILE* file, std::uint64_t size);
