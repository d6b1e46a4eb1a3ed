// Feeds arbitrary bytes to the bitmap reader; whatever loads is written and
// read back, and must come back with the same size and depth. The reader runs
// with its own size limit, so headers that declare huge pictures are reached;
// scripts/fuzz caps each allocation, so a reader that allocates far beyond
// what the input can describe is reported as a failure.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "image/bitmap_io.h"
#include "image/pic_doc.h"

namespace {

bool roundTripHolds(const std::uint8_t* data, std::size_t size) {
  KW_PicDoc doc;
  if (!LoadBitmapFromMemory(doc, std::span<const std::uint8_t>(data, size))) {
    return !doc.hasPicture() && doc.width == 0 && doc.height == 0;
  }
  if (doc.pixels.size() != static_cast<std::size_t>(doc.width) * static_cast<std::size_t>(doc.height))
    return false;
  std::vector<std::uint8_t> saved;
  if (!SaveBitmapToMemory(doc, saved)) return false;
  KW_PicDoc back;
  if (!LoadBitmapFromMemory(back, saved)) return false;
  if (back.width != doc.width || back.height != doc.height || back.bitCount != doc.bitCount) return false;
  // 16-, 24- and 32-bit pictures come back pixel for pixel (16 bits after
  // the first reduction to 5 bits per channel).
  return !(doc.bitCount == 24 || doc.bitCount == 32 || doc.bitCount == 16) || back.pixels == doc.pixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The documents use no buffer pool: a kept buffer of tens of megabytes
  // would be cleared again each time a smaller picture hands it back, which
  // would slow every later input.
  if (!roundTripHolds(data, size)) std::abort();
  return 0;
}
