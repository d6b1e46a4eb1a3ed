// Decoding PNG files for comparisons with reference pictures.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace testenv {

// A decoded picture, top row first; each pixel 0xAARRGGBB.
struct PngPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> argb;
  std::uint32_t at(int col, int rowFromTop) const {
    return argb[static_cast<std::size_t>(col) +
                static_cast<std::size_t>(rowFromTop) * static_cast<std::size_t>(width)];
  }
};

// Reads any PNG (palette, grey, 16-bit, with or without alpha) as 8-bit RGBA;
// nothing when the file cannot be read.
std::optional<PngPicture> ReadPng(const std::filesystem::path& path);

}  // namespace testenv
