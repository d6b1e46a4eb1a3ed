// Bitmap files on disk and in memory: the paths of KW_PicDoc::LoadBitmap and
// KW_PicDoc::SaveBitmap to the decoder and the encoder.
//
// Only regular files are read or written. A named pipe opened without a
// writer (or, for saving, without a reader) would block the open for ever,
// and a device never ends; so the file is opened without blocking and its
// type checked on what was opened, not on a name that may have changed since.
#include "image/bitmap_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "image/detail/bitmap_decode.h"
#include "image/detail/bitmap_encode.h"
#include "image/detail/bitmap_format.h"
#include "image/detail/regular_file.h"

namespace {

// Creates the file or empties it once it is known to be a regular file.
FilePtr openForWriting(const std::string& path) {
  FilePtr file =
      regularFile(::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666), "wb", nullptr);
  if (file != nullptr && ::ftruncate(::fileno(file.get()), 0) != 0) return nullptr;
  return file;
}

}  // namespace

bool LoadBitmapFromMemory(KW_PicDoc& doc, std::span<const std::uint8_t> bytes, std::uint64_t maxPixels) {
  BitmapSource source(bytes);
  return DecodeBitmap(source, doc, maxPixels);
}

bool SaveBitmapToMemory(const KW_PicDoc& doc, std::vector<std::uint8_t>& out) {
  out.clear();
  const bool ok = EncodeBitmap(doc, [&out](const std::uint8_t* data, std::size_t n) {
    out.insert(out.end(), data, data + n);
    return true;
  });
  if (!ok) return false;
  bitmap::put32(out.data() + bitmap::kFileSizeField, static_cast<std::uint32_t>(out.size()));
  return true;
}

bool LoadOpenedBitmap(KW_PicDoc& doc, std::FILE* file, std::uint64_t size) {
  doc.loadTime = LocalTimeText();
  // A file that cannot be opened decodes as no bytes at all, which leaves the
  // document without a picture like any other failure.
  BitmapSource source =
      file != nullptr ? BitmapSource(file, size) : BitmapSource(std::span<const std::uint8_t>());
  return DecodeBitmap(source, doc, kMaxBitmapPixels);
}

std::uint32_t* KW_PicDoc::LoadBitmap(const std::string& path) {
  std::uint64_t size = 0;
  const FilePtr file = openForReading(path, size);
  return LoadOpenedBitmap(*this, file.get(), size) ? pixels.data() : nullptr;
}

bool KW_PicDoc::SaveBitmap(const std::string& path) {
  // Refuse before the file is emptied, so nothing on disk is lost.
  if (!bitmap::bufferMatchesSize(*this)) return false;
  FilePtr file = openForWriting(path);
  if (file == nullptr) return false;
  std::FILE* f = file.get();
  if (!EncodeBitmap(*this,
                    [f](const std::uint8_t* data, std::size_t n) { return std::fwrite(data, 1, n, f) == n; }))
    return false;
  // The size field is known only now.
  const long size = std::ftell(f);
  if (size < 0) return false;
  std::uint8_t field[4];
  bitmap::put32(field, static_cast<std::uint32_t>(size));
  if (std::fseek(f, static_cast<long>(bitmap::kFileSizeField), SEEK_SET) != 0 ||
      std::fwrite(field, 1, 4, f) != 4)
    return false;
  return std::fclose(file.release()) == 0;
}
