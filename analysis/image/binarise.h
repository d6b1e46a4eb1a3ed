// Black-and-white conversion of a picture at a threshold.
#pragma once

#include <cstdint>

// target = black and white version of source: grey = 0.3 R + 0.59 G + 0.11 B
// above t (strictly) gives white, anything else black. source and target may
// be the same buffer. Every pixel is written; there is no border.
void Binarise(const std::uint32_t* source, std::uint32_t* target, int width, int height, int t);
