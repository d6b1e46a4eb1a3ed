#include "support/png_reader.h"

#include <png.h>

namespace testenv {

std::optional<PngPicture> ReadPng(const std::filesystem::path& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return std::nullopt;
  image.format = PNG_FORMAT_BGRA;  // bytes B, G, R, A: a little-endian 0xAARRGGBB
  std::vector<std::uint32_t> buffer(PNG_IMAGE_SIZE(image) / 4);
  if (png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr) == 0) {
    png_image_free(&image);
    return std::nullopt;
  }
  PngPicture picture;
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  picture.argb = std::move(buffer);
  return picture;
}

}  // namespace testenv
