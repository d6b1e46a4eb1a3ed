#include "roots/overlay_picture.h"

#include <png.h>

#include <algorithm>
#include <new>

#include "database/kw_log.h"
#include "roots/result_writer.h"
#include "roots/root_lines.h"
#include "roots/sci_doc.h"

namespace {

// Bright colours that differ in hue from one plant to the next; none is
// grey, so none can be mistaken for the darkened plate under them.
constexpr std::array<std::uint32_t, 10> kPlantColours = {
    0xFF3B30U, 0x34C759U, 0x0A84FFU, 0xFFD60AU, 0xFF2DAAU,
    0x32D7E6U, 0xFF9F0AU, 0xA77BFFU, 0xB5F23DU, 0xFF7AB0U,
};

constexpr std::array<DigitGlyph, 10> kDigits = {{
    {0b111, 0b101, 0b101, 0b101, 0b111},
    {0b010, 0b110, 0b010, 0b010, 0b111},
    {0b111, 0b001, 0b111, 0b100, 0b111},
    {0b111, 0b001, 0b111, 0b001, 0b111},
    {0b101, 0b101, 0b111, 0b001, 0b001},
    {0b111, 0b100, 0b111, 0b001, 0b111},
    {0b111, 0b100, 0b111, 0b101, 0b111},
    {0b111, 0b001, 0b001, 0b001, 0b001},
    {0b111, 0b101, 0b111, 0b101, 0b111},
    {0b111, 0b101, 0b111, 0b001, 0b111},
}};

class Canvas {
 public:
  explicit Canvas(OverlayPicture& picture) : m_p(picture) {}
  void fill(int col0, int row0, int cols, int rows, std::uint32_t colour) {
    const int c0 = std::max(col0, 0), c1 = std::min(col0 + cols, m_p.width);
    const int r0 = std::max(row0, 0), r1 = std::min(row0 + rows, m_p.height);
    for (int r = r0; r < r1; ++r) {
      std::uint32_t* line = m_p.pixels.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(m_p.width);
      std::fill(line + c0, line + std::max(c0, c1), colour);
    }
  }
  // A square of side width centred on the picture point (col, row), row 0 at the bottom.
  void dot(int col, int row, int width, std::uint32_t colour) {
    const int half = (width - 1) / 2;
    fill(col - half, m_p.height - 1 - row - half, width, width, colour);
  }

 private:
  OverlayPicture& m_p;
};

// The plate under the skeletons: the picture as opened, cut as the analysis
// cut it, in grey and darkened so that the colours stand out.
void DrawPlate(const KW_SciDoc& doc, OverlayPicture& out) {
  const bool kept = !doc.openedPicture.empty() && doc.openedPicture.size() == static_cast<std::size_t>(doc.openedWidth) *
                                                                               static_cast<std::size_t>(doc.openedHeight);
  if (!kept) return;
  for (int top = 0; top < out.height; ++top) {
    const int openedTop = top + doc.cropTop;
    const int openedRow = doc.openedHeight - 1 - openedTop;
    if (openedRow < 0 || openedRow >= doc.openedHeight) continue;
    const std::uint32_t* from =
        doc.openedPicture.data() + static_cast<std::size_t>(openedRow) * static_cast<std::size_t>(doc.openedWidth);
    std::uint32_t* to = out.pixels.data() + static_cast<std::size_t>(top) * static_cast<std::size_t>(out.width);
    const int c0 = std::max(0, -doc.cropLeft);
    const int c1 = std::min(out.width, doc.openedWidth - doc.cropLeft);
    for (int c = c0; c < c1; ++c) {
      const std::uint32_t px = from[c + doc.cropLeft];
      const std::uint32_t luma = (((px >> 16) & 0xFFU) * 77U + ((px >> 8) & 0xFFU) * 150U + (px & 0xFFU) * 29U) >> 8;
      const std::uint32_t grey = luma * 3U / 8U;
      to[c] = grey * 0x010101U;
    }
  }
}

void DrawNumber(Canvas& canvas, OverlayPicture& out, std::int32_t plant, const ContourPoint& top,
                std::uint32_t colour) {
  const int cell = std::max(2, std::min(out.width, out.height) / 300);
  const std::string digits = std::to_string(plant);
  const int count = static_cast<int>(digits.size());
  const int textWidth = (count * (kGlyphColumns + 1) - 1) * cell;
  const int textHeight = kGlyphRows * cell;
  // Centred above the plant's top, a little apart from it, inside the picture.
  int col = top.col - textWidth / 2;
  int row = out.height - 1 - top.row - 2 * cell - textHeight;
  col = std::clamp(col, cell, std::max(cell, out.width - textWidth - cell));
  row = std::clamp(row, cell, std::max(cell, out.height - textHeight - cell));
  canvas.fill(col - cell, row - cell, textWidth + 2 * cell, textHeight + 2 * cell, 0);
  for (int d = 0; d < count; ++d) {
    const DigitGlyph& glyph = GlyphOfDigit(digits[static_cast<std::size_t>(d)] - '0');
    const int left = col + d * (kGlyphColumns + 1) * cell;
    for (int gr = 0; gr < kGlyphRows; ++gr)
      for (int gc = 0; gc < kGlyphColumns; ++gc)
        if ((glyph[static_cast<std::size_t>(gr)] >> (kGlyphColumns - 1 - gc)) & 1U)
          canvas.fill(left + gc * cell, row + gr * cell, cell, cell, colour);
  }
  out.labels.push_back({plant, col, row, cell});
}

OverlayPicture Render(const KW_SciDoc& doc, const std::vector<Item>& items, const std::vector<RootTree>& trees) {
  OverlayPicture out;
  if (doc.width <= 0 || doc.height <= 0) return out;
  out.width = doc.width;
  out.height = doc.height;
  out.pixels.assign(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height), 0U);
  DrawPlate(doc, out);
  Canvas canvas(out);
  const OverlayWidths widths = OverlayLineWidths(out.width, out.height);
  // The numbers first: a skeleton near the top edge stays visible over them.
  for (std::size_t i = 0; i < items.size(); ++i)
    if (!items[i].tab.empty())
      DrawNumber(canvas, out, static_cast<std::int32_t>(i + 1), items[i].tab.front(), OverlayPlantColour(i));
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::uint32_t colour = OverlayPlantColour(i);
    for (const ContourPoint& p : items[i].tab) canvas.dot(p.col, p.row, widths.lateral, colour);
    if (i < trees.size()) {
      const std::vector<RootLine> lines = RootLines(trees[i]);
      if (!lines.empty())
        for (const ContourPoint& p : lines.front().points) canvas.dot(p.col, p.row, widths.main, colour);
    }
  }
  return out;
}

}  // namespace

std::uint32_t OverlayPlantColour(std::size_t plant) { return kPlantColours[plant % kPlantColours.size()]; }

OverlayWidths OverlayLineWidths(int width, int height) {
  const int unit = std::max(1, std::min(width, height) / 1000);
  return {unit, 3 * unit};
}

const DigitGlyph& GlyphOfDigit(int digit) { return kDigits[static_cast<std::size_t>(std::clamp(digit, 0, 9))]; }

OverlayPicture RenderOverlay(const KW_SciDoc& doc) {
  try {
    return Render(doc, doc.item, doc.root);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

OverlayPicture PreviewOverlay(const KW_SciDoc& doc) {
  if (doc.item.empty()) return {};
  try {
    // The trees paint the picture and write their logs: on a copy, and into
    // a capture that is never committed.
    KW_SciDoc scratch;
    scratch.pixels = doc.pixels;
    scratch.width = doc.width;
    scratch.height = doc.height;
    scratch.item = doc.item;
    scratch.nbr_item = doc.nbr_item;
    LogCapture dropped;
    {
      const LogCapture::Scope capture(dropped);
      if (scratch.CreateTrees() != 1 || scratch.MeasureTrees() != 1) return {};
    }
    return Render(doc, doc.item, scratch.root);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

bool WriteOverlayPng(const std::string& path, const OverlayPicture& picture, std::string& error) {
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.pixels.size() != static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height)) {
    error = "no picture to write";
    return false;
  }
  std::string file;
  try {
    std::vector<std::uint8_t> rgb(picture.pixels.size() * 3);
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
      const std::uint32_t px = picture.pixels[i];
      rgb[3 * i] = static_cast<std::uint8_t>(px >> 16);
      rgb[3 * i + 1] = static_cast<std::uint8_t>(px >> 8);
      rgb[3 * i + 2] = static_cast<std::uint8_t>(px);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.width);
    image.height = static_cast<png_uint_32>(picture.height);
    image.format = PNG_FORMAT_RGB;
    // A batch writes one per plate: speed before the last per cent of size.
    image.flags = PNG_IMAGE_FLAG_FAST;
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
    file.resize(size);
    if (png_image_write_to_memory(&image, file.data(), &size, 0, rgb.data(), 0, nullptr) == 0) {
      error = std::string("the PNG encoder failed: ") + image.message;
      png_image_free(&image);
      return false;
    }
    file.resize(size);
  } catch (const std::bad_alloc&) {
    error = "not enough memory";
    return false;
  }
  return WriteFileWhole(path, file, error);
}
