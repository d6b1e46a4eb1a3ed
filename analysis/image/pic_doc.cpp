#include "image/pic_doc.h"

#include <algorithm>
#include <cctype>

#include "base/kw_log.h"
#include "image/picture_files.h"
#include "image/pixel_pool.h"

std::string PathExtension(std::string_view path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.find_last_of("/\\");
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  std::string ext(path.substr(dot + 1));
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool HasBitmapExtension(std::string_view path) { return PathExtension(path) == "bmp"; }

void CopyFlipped(const std::uint32_t* source, std::uint32_t* target, int width, int height) {
  const auto w = static_cast<std::size_t>(width);
  for (int i = 0; i < height; ++i) {
    const std::uint32_t* from = source + static_cast<std::size_t>(height - 1 - i) * w;
    std::copy(from, from + w, target + static_cast<std::size_t>(i) * w);
  }
}

void FillPixels(std::uint32_t* values, std::size_t count, std::uint32_t value) {
  std::fill(values, values + count, value);
}

KW_PicDoc::~KW_PicDoc() {
  if (pixelPool != nullptr) pixelPool->recycle(std::move(pixels));
}

bool KW_PicDoc::OnOpenDocument(const std::string& path) {
  TruncateLog(logSink(), logname::kZoom);
  bool read = false;
  if (HasPictureExtension(path))
    read = LoadPictureFile(*this, path, loadError);
  else
    loadError = "not a picture file (.bmp, .png, .jpg, .tif)";
  // Whatever the extension and the outcome, the path is remembered and the
  // view re-fitted.
  if (view != nullptr) {
    view->addRecentFile(path);
    view->refitFirstView();
  }
  return read;
}

bool KW_PicDoc::OnSaveDocument(const std::string& path) {
  TruncateLog(logSink(), logname::kZoom);
  if (!HasBitmapExtension(path)) return false;
  return SaveBitmap(path);
}
