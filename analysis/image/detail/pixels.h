// Small pixel helpers shared by the image kernels of this library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pix {

inline constexpr std::uint32_t kBlack = 0x000000U;
inline constexpr std::uint32_t kWhite = 0xFFFFFFU;
inline constexpr std::uint32_t kColourMask = 0xFFFFFFU;

inline bool nonBlack(std::uint32_t p) { return (p & kColourMask) != 0; }
inline bool isWhite(std::uint32_t p) { return (p & kColourMask) == kWhite; }
// Brightness sum R + G + B, 0..765.
inline int brightness(std::uint32_t p) {
  return static_cast<int>(((p >> 16) & 0xFFU) + ((p >> 8) & 0xFFU) + (p & 0xFFU));
}

inline std::size_t indexOf(int col, int row, int width) {
  return static_cast<std::size_t>(col) + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
}
// width x height, or 0 for a picture without pixels.
inline std::size_t count(int width, int height) {
  if (width <= 0 || height <= 0) return 0;
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}
inline bool inside(int col, int row, int width, int height) {
  return col >= 0 && row >= 0 && col < width && row < height;
}

}  // namespace pix
