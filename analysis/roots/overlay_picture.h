// Overlay pictures: the plate as it was scanned, darkened, with every
// plant's skeleton drawn over it in a colour of its own, the main root
// thicker than the laterals and the plant's number above its top, so that a
// user checks a batch of plates at a glance. The batch program writes them
// as PNG files; the desktop program shows the same picture after Find roots.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class KW_SciDoc;

// Where a plant's number was drawn: the top-left corner of its first digit
// and the size of one glyph cell, in pixels.
struct OverlayLabel {
  std::int32_t plant = 0;  // 1-based, as in the result file
  int col = 0;
  int rowFromTop = 0;
  int cell = 1;
  bool flagged = false;  // drawn in the warning colour with an exclamation mark
};

// A picture of at most 256 colours: a palette index per pixel, a quarter of
// the memory of full colour, and a PNG file that compresses fast.
struct OverlayPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> index;     // top row first
  std::vector<std::uint32_t> palette;  // 0x00RRGGBB
  std::vector<OverlayLabel> labels;
  std::uint32_t at(int col, int rowFromTop) const {
    return palette[index[static_cast<std::size_t>(col) +
                         static_cast<std::size_t>(rowFromTop) * static_cast<std::size_t>(width)]];
  }
};

// The outline of the analysed area and the background of a flagged plant's
// number.
inline constexpr std::uint32_t kOverlayOutlineColour = 0xFFFFFFU;
inline constexpr std::uint32_t kOverlayWarningColour = 0xFFCC00U;

// The colour of plant index (0-based): bright and saturated, and different
// from the colours of the plants next to it.
std::uint32_t OverlayPlantColour(std::size_t plant);

// Line widths in pixels for a picture of this size: thin enough to follow
// the roots, wide enough to be seen when a whole plate fits the screen.
struct OverlayWidths {
  int lateral = 1;
  int main = 3;
};
OverlayWidths OverlayLineWidths(int width, int height);

// The digits' glyphs: 5 rows of 3 cells, top row first, the highest of the
// three low bits the left cell.
inline constexpr int kGlyphColumns = 3;
inline constexpr int kGlyphRows = 5;
using DigitGlyph = std::array<std::uint8_t, kGlyphRows>;
const DigitGlyph& GlyphOfDigit(int digit);

// Draws the overlay of doc's plants: every walk point of a plant in its
// colour, the main root of its measured tree (when there is one) thicker,
// and its number, in black on the warning colour and followed by "!" when
// the plant has quality flags. The picture under them is the whole one doc
// kept when it was opened (keepOpenedPicture), the analysed area outlined
// in it; without it, the analysed area on black.
OverlayPicture RenderOverlay(const KW_SciDoc& doc);

// The overlay of a document on which Find roots has just run, over the
// analysed area only (the area the document's view shows): the trees are
// built and measured on a copy, so the document, its picture and its logs
// stay as they are. Empty when doc has no plant or memory ran out.
OverlayPicture PreviewOverlay(const KW_SciDoc& doc);

// The picture as a PNG file, whole or not at all; false with the reason.
bool WriteOverlayPng(const std::string& path, const OverlayPicture& picture, std::string& error);
