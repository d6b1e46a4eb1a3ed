// Black-and-white conversion of a picture at a threshold.
#pragma once

#include <cstdint>

// target = black and white version of source: grey = 0.3 R + 0.59 G + 0.11 B
// above t (strictly) gives white, anything else black. source and target may
// be the same buffer. Every pixel is written; there is no border.
void Binarise(const std::uint32_t* source, std::uint32_t* target, int width, int height, int t);

// Dark roots on a light background become bright roots on a dark one: every
// channel c becomes 255 - c (so grey g becomes 255 - g). Every pixel is
// written; there is no border.
void InvertPicture(std::uint32_t* pixels, int width, int height);

// True when the picture looks like dark roots on a light background. The
// inside of the plate is taken as the middle half of the picture in both
// directions (a scan holds the plate with a margin around it). Each pixel
// there is compared with the mean of the square of 31 x 31 pixels around
// it: thin roots stand out on their own side of it, while the edges of large
// areas (a dark half of the plate, a seed) stand out on both sides alike.
// When more pixels stand out darker than brighter, the background is light;
// with nothing standing out, a median grey above mid-grey says light. A
// picture without pixels is dark.
bool LooksLightBackground(const std::uint32_t* pixels, int width, int height);
