// Feeds arbitrary bytes to the bitmap reader; whatever loads is written and
// read back, and must come back with the same size and depth.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "image/bitmap_io.h"
#include "image/pic_doc.h"

namespace {
// Keeps each run quick; the reader's own limit is far larger.
constexpr std::uint64_t kFuzzMaxPixels = std::uint64_t{1} << 18;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  KW_PicDoc doc;
  if (!LoadBitmapFromMemory(doc, std::span<const std::uint8_t>(data, size), kFuzzMaxPixels)) {
    if (doc.hasPicture() || doc.width != 0 || doc.height != 0) std::abort();
    return 0;
  }
  if (doc.pixels.size() != static_cast<std::size_t>(doc.width) * static_cast<std::size_t>(doc.height))
    std::abort();
  std::vector<std::uint8_t> saved;
  if (!SaveBitmapToMemory(doc, saved)) std::abort();
  KW_PicDoc back;
  if (!LoadBitmapFromMemory(back, saved, kFuzzMaxPixels)) std::abort();
  if (back.width != doc.width || back.height != doc.height || back.bitCount != doc.bitCount) std::abort();
  // 16-, 24- and 32-bit pictures come back pixel for pixel (16 bits after
  // the first reduction to 5 bits per channel).
  if ((doc.bitCount == 24 || doc.bitCount == 32 || doc.bitCount == 16) && back.pixels != doc.pixels)
    std::abort();
  return 0;
}
