#include "roots/overlay_picture.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <new>

#include "base/kw_log.h"
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
// The mark after the number of a flagged plant.
constexpr DigitGlyph kExclamation = {0b010, 0b010, 0b010, 0b000, 0b010};

// The palette: kGreyLevels greys for the plate, then the plant colours,
// then the outline of the analysed area and the warning colour of flagged
// plants.
constexpr int kGreyLevels = 8;
constexpr std::uint8_t kBlack = 0;
constexpr auto kOutline = static_cast<std::uint8_t>(kGreyLevels + kPlantColours.size());
constexpr auto kWarning = static_cast<std::uint8_t>(kOutline + 1);
constexpr std::uint8_t PlantIndex(std::size_t plant) {
  return static_cast<std::uint8_t>(kGreyLevels + plant % kPlantColours.size());
}

// Where the analysed picture lies in the overlay: the overlay pixel of an
// analysed point is (col + left, top + (height - 1 - row)).
struct Placement {
  int left = 0;
  int top = 0;
  int height = 0;  // of the analysed picture
  int colOf(int col) const { return col + left; }
  int topOf(int row) const { return top + height - 1 - row; }
};

class Canvas {
 public:
  Canvas(OverlayPicture& picture, Placement place) : m_p(picture), m_place(place) {}
  void fill(int col0, int row0, int cols, int rows, std::uint8_t colour) {
    const int c0 = std::max(col0, 0), c1 = std::min(col0 + cols, m_p.width);
    const int r0 = std::max(row0, 0), r1 = std::min(row0 + rows, m_p.height);
    for (int r = r0; r < r1; ++r) {
      std::uint8_t* line =
          m_p.index.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(m_p.width);
      std::fill(line + c0, line + std::max(c0, c1), colour);
    }
  }
  // A square of side width centred on the analysed point (col, row), row 0 at the bottom.
  void dot(int col, int row, int width, std::uint8_t colour) {
    const int half = (width - 1) / 2;
    fill(m_place.colOf(col) - half, m_place.topOf(row) - half, width, width, colour);
  }
  // The outline of a rectangle, line pixels wide, inside it.
  void frame(int col0, int row0, int cols, int rows, int line, std::uint8_t colour) {
    fill(col0, row0, cols, line, colour);
    fill(col0, row0 + rows - line, cols, line, colour);
    fill(col0, row0, line, rows, colour);
    fill(col0 + cols - line, row0, line, rows, colour);
  }
  const Placement& place() const { return m_place; }

 private:
  OverlayPicture& m_p;
  Placement m_place;
};

bool KeptPicture(const KW_SciDoc& doc) {
  return !doc.openedPicture.empty() && doc.openedWidth > 0 && doc.openedHeight > 0 &&
         doc.openedPicture.size() ==
             static_cast<std::size_t>(doc.openedWidth) * static_cast<std::size_t>(doc.openedHeight);
}

// The plate under the skeletons: the picture as opened, from the overlay's
// top-left corner at (-left, -top) of it, in a few darkened greys so that
// the colours stand out (and the file compresses well).
void DrawPlate(const KW_SciDoc& doc, int left, int top, OverlayPicture& out) {
  if (!KeptPicture(doc)) return;
  const int c0 = std::max(0, -left);
  const int c1 = std::min(out.width, doc.openedWidth - left);
  for (int r = 0; r < out.height; ++r) {
    const int openedRow = doc.openedHeight - 1 - (r + top);
    if (openedRow < 0 || openedRow >= doc.openedHeight) continue;
    const std::uint32_t* from =
        doc.openedPicture.data() +
        static_cast<std::size_t>(openedRow) * static_cast<std::size_t>(doc.openedWidth) +
        static_cast<std::ptrdiff_t>(left);
    std::uint8_t* to = out.index.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(out.width);
    for (int c = c0; c < c1; ++c) {
      const std::uint32_t px = from[c];
      const std::uint32_t luma = ((px >> 16) & 0xFFU) * 77U + ((px >> 8) & 0xFFU) * 150U + (px & 0xFFU) * 29U;
      to[c] = static_cast<std::uint8_t>(luma >> 13);  // 0..7
    }
  }
}

// The plant's number above its top; a flagged plant's in black on the
// warning colour, followed by an exclamation mark.
void DrawNumber(Canvas& canvas, OverlayPicture& out, std::int32_t plant, const ContourPoint& top,
                std::uint8_t colour, bool flagged) {
  const int cell = std::max(2, std::min(out.width, out.height) / 200);
  const std::string digits = std::to_string(plant);
  const int count = static_cast<int>(digits.size()) + (flagged ? 1 : 0);
  const int textWidth = (count * (kGlyphColumns + 1) - 1) * cell;
  const int textHeight = kGlyphRows * cell;
  // Centred above the plant's top, a little apart from it, inside the picture.
  int col = canvas.place().colOf(top.col) - textWidth / 2;
  int row = canvas.place().topOf(top.row) - 2 * cell - textHeight;
  col = std::clamp(col, cell, std::max(cell, out.width - textWidth - cell));
  row = std::clamp(row, cell, std::max(cell, out.height - textHeight - cell));
  canvas.fill(col - cell, row - cell, textWidth + 2 * cell, textHeight + 2 * cell,
              flagged ? kWarning : kBlack);
  const std::uint8_t ink = flagged ? kBlack : colour;
  for (int d = 0; d < count; ++d) {
    const bool mark = d == static_cast<int>(digits.size());
    const DigitGlyph& glyph = mark ? kExclamation : GlyphOfDigit(digits[static_cast<std::size_t>(d)] - '0');
    const int left = col + d * (kGlyphColumns + 1) * cell;
    for (int gr = 0; gr < kGlyphRows; ++gr)
      for (int gc = 0; gc < kGlyphColumns; ++gc)
        if ((glyph[static_cast<std::size_t>(gr)] >> (kGlyphColumns - 1 - gc)) & 1U)
          canvas.fill(left + gc * cell, row + gr * cell, cell, cell, ink);
  }
  out.labels.push_back({plant, col, row, cell, flagged});
}

OverlayPicture Render(const KW_SciDoc& doc, const std::vector<Item>& items,
                      const std::vector<RootTree>& trees, bool wholePicture) {
  OverlayPicture out;
  if (doc.width <= 0 || doc.height <= 0) return out;
  // The whole picture as opened, with the analysed area outlined in it, or
  // the analysed area alone.
  const bool whole = wholePicture && KeptPicture(doc);
  const Placement place{whole ? doc.cropLeft : 0, whole ? doc.cropTop : 0, doc.height};
  out.width = whole ? doc.openedWidth : doc.width;
  out.height = whole ? doc.openedHeight : doc.height;
  out.index.assign(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height), kBlack);
  for (int k = 0; k < kGreyLevels; ++k) out.palette.push_back(static_cast<std::uint32_t>(k * 12) * 0x010101U);
  out.palette.insert(out.palette.end(), kPlantColours.begin(), kPlantColours.end());
  out.palette.push_back(kOverlayOutlineColour);
  out.palette.push_back(kOverlayWarningColour);
  DrawPlate(doc, whole ? 0 : doc.cropLeft, whole ? 0 : doc.cropTop, out);
  Canvas canvas(out, place);
  const OverlayWidths widths = OverlayLineWidths(out.width, out.height);
  if (whole) canvas.frame(place.left, place.top, doc.width, doc.height, widths.lateral, kOutline);
  // The numbers first: a skeleton near the top edge stays visible over them.
  for (std::size_t i = 0; i < items.size(); ++i)
    if (!items[i].tab.empty())
      DrawNumber(canvas, out, static_cast<std::int32_t>(i + 1), items[i].tab.front(), PlantIndex(i),
                 i < trees.size() && trees[i].flags != 0U);
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::uint8_t colour = PlantIndex(i);
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

const DigitGlyph& GlyphOfDigit(int digit) {
  return kDigits[static_cast<std::size_t>(std::clamp(digit, 0, 9))];
}

OverlayPicture RenderOverlay(const KW_SciDoc& doc) {
  try {
    return Render(doc, doc.item, doc.root, true);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

OverlayPicture PreviewOverlay(const KW_SciDoc& doc) {
  if (doc.item.empty()) return {};
  try {
    // The trees paint the picture and write their logs: on a copy, and into
    // a capture that is never committed (made first: it outlives the copy).
    LogCapture dropped;
    KW_SciDoc scratch;
    scratch.pixels = doc.pixels;
    scratch.width = doc.width;
    scratch.height = doc.height;
    scratch.item = doc.item;
    scratch.nbr_item = doc.nbr_item;
    scratch.setFrontend(&doc.frontend());
    scratch.setLogCapture(&dropped);
    if (scratch.CreateTrees() != 1 || scratch.MeasureTrees() != 1) return {};
    return Render(doc, doc.item, scratch.root, false);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

namespace {

// The encoded file grows in a buffer reserved beforehand for the largest
// possible result, so writing never allocates inside libpng (whose errors
// return by longjmp, past any C++ frame).
struct PngSink {
  std::string bytes;
  std::array<char, 200> error{};  // filled without allocating
};

void PngWrite(png_structp png, png_bytep data, png_size_t size) {
  auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
  if (sink->bytes.size() + size > sink->bytes.capacity()) png_error(png, "the picture grew past its bound");
  sink->bytes.append(reinterpret_cast<const char*>(data), size);
}
void PngFlush(png_structp /*png*/) {}
[[noreturn]] void PngError(png_structp png, png_const_charp message) {
  std::array<char, 200>& error = static_cast<PngSink*>(png_get_error_ptr(png))->error;
  std::snprintf(error.data(), error.size(), "%s", message);
  png_longjmp(png, 1);
}
void PngWarning(png_structp /*png*/, png_const_charp /*message*/) {}

// Encodes picture into sink.bytes; false with sink.error. Only plain data
// lives between setjmp and the calls that may jump back to it.
bool EncodePng(const OverlayPicture& picture, const std::vector<png_color>& colours, PngSink& sink) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, PngError, PngWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    return false;
  }
  png_set_write_fn(png, &sink, PngWrite, PngFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height),
               8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(png, info, colours.data(), static_cast<int>(colours.size()));
  // Long runs of one colour: run-length deflate at the fastest level keeps
  // the file small at a fraction of the usual time.
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_compression_level(png, 1);
  png_set_compression_strategy(png, Z_RLE);
  png_write_info(png, info);
  for (int r = 0; r < picture.height; ++r)
    png_write_row(
        png, picture.index.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(picture.width));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WriteOverlayPng(const std::string& path, const OverlayPicture& picture, std::string& error) {
  const std::size_t count = static_cast<std::size_t>(std::max(picture.width, 0)) *
                            static_cast<std::size_t>(std::max(picture.height, 0));
  if (count == 0 || picture.index.size() != count || picture.palette.empty() ||
      picture.palette.size() > 256) {
    error = "no picture to write";
    return false;
  }
  PngSink sink;
  std::vector<png_color> colours;
  try {
    for (const std::uint32_t c : picture.palette)
      colours.push_back(
          {static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)});
    // Deflate grows data by a few bytes per 16 KiB block at most, the file's
    // chunks take 12 bytes per 8 KiB, and the rows carry a filter byte each:
    // one per cent more is plenty.
    sink.bytes.reserve(count + static_cast<std::size_t>(picture.height) + count / 100 + 65536);
  } catch (const std::bad_alloc&) {
    error = "not enough memory";
    return false;
  }
  if (!EncodePng(picture, colours, sink)) {
    error = sink.error[0] != '\0' ? std::string("the PNG encoder failed: ") + sink.error.data()
                                  : std::string("the PNG encoder could not start");
    return false;
  }
  return WriteFileWhole(path, sink.bytes, error);
}
