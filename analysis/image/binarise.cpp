#include "image/binarise.h"

#include "image/detail/pixels.h"

void Binarise(const std::uint32_t* source, std::uint32_t* target, int width, int height, int t) {
  const std::size_t n = pix::count(width, height);
  const double level = t;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t p = source[i];
    const double grey = 0.3 * static_cast<double>((p >> 16) & 0xFFU) +
                        0.59 * static_cast<double>((p >> 8) & 0xFFU) + 0.11 * static_cast<double>(p & 0xFFU);
    target[i] = grey > level ? pix::kWhite : pix::kBlack;
  }
}
