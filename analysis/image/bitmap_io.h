// Windows bitmap files in memory: the decoder and encoder behind
// KW_PicDoc::LoadBitmap and KW_PicDoc::SaveBitmap, usable without a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "image/pic_doc.h"

// Largest picture the reader accepts (width x height); larger headers are
// refused instead of allocating gigabytes.
inline constexpr std::uint64_t kMaxBitmapPixels = std::uint64_t{1} << 28;

// Decodes the bitmap file held in bytes into doc (pixels, width, height,
// bitCount, compression, palette, paletteCount, resolution). Returns true on
// success; on failure doc is left without a picture (pixels empty, width and
// height 0). loadTime is not touched. maxPixels lowers the size limit. A
// run-length picture far larger than its data can describe (more than 255
// pixels per byte of data, above a million pixels) is refused before
// anything is allocated for it.
bool LoadBitmapFromMemory(KW_PicDoc& doc, std::span<const std::uint8_t> bytes,
                          std::uint64_t maxPixels = kMaxBitmapPixels);

// Encodes doc as a bitmap file of depth doc.bitCount into out (replacing its
// content). Returns false, with out empty, when the document's buffer does not
// match its width and height.
bool SaveBitmapToMemory(const KW_PicDoc& doc, std::vector<std::uint8_t>& out);

// Index of the palette entry nearest to pixel among the first count entries by
// |dR| + |dG| + |dB|; the first of equally near entries wins, and an empty
// table gives 255.
int NearestPaletteIndex(const std::uint32_t* palette, int count, std::uint32_t pixel);
