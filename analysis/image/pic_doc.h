// The document of one open picture: a buffer of 32-bit pixels read from and
// written to a Windows bitmap file, with the accessors every image step uses.
//
// Pixel (col, row) is pixels[col + row * width]; row 0 is the bottom row as
// displayed. A pixel is 0x00RRGGBB; black is 0, white 0xFFFFFF, and the steps
// classify a pixel by its brightness sum R + G + B.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/frontend.h"
#include "base/kw_log.h"

class PixelPool;

// Hooks of the window that shows a document; the desktop program implements
// them, the core only calls them.
class DocumentViewHooks {
 public:
  DocumentViewHooks() = default;
  DocumentViewHooks(const DocumentViewHooks&) = delete;
  DocumentViewHooks& operator=(const DocumentViewHooks&) = delete;
  virtual ~DocumentViewHooks() = default;
  // After every open: add the path to the recent-file list.
  virtual void addRecentFile(const std::string& /*path*/) {}
  // After every open: clear the fitted flag, auto-zoom, resend the size.
  virtual void refitFirstView() {}
  // After a step changed the picture: redraw the first view.
  virtual void refreshFirstView() {}
  // While the user is asked about a part of the picture (a plant): frame
  // that rectangle, top row first; an empty one takes the frame away.
  virtual void highlightArea(int /*left*/, int /*top*/, int /*width*/, int /*height*/) {}
};

class KW_PicDoc {
 public:
  KW_PicDoc() = default;
  KW_PicDoc(const KW_PicDoc&) = delete;
  KW_PicDoc& operator=(const KW_PicDoc&) = delete;
  // The picture buffer goes to pixelPool for the next picture.
  virtual ~KW_PicDoc();

  // Where the picture buffer goes when the document closes or loads another
  // picture, and where a loaded picture looks for a buffer; none: the
  // buffer is freed. Shared by the documents of a batch run or a window.
  std::shared_ptr<PixelPool> pixelPool;

  // The picture; empty while none is loaded.
  std::vector<std::uint32_t> pixels;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t bitCount = 0;
  std::uint16_t compression = 0;
  std::array<std::uint32_t, 256> palette{};
  std::int32_t paletteCount = 1;
  std::int32_t xPelsPerMeter = 0;
  std::int32_t yPelsPerMeter = 0;
  // Local time the file was read, asctime form with its line break; at most 50 characters.
  std::string loadTime;
  // Why the last OnOpenDocument read nothing, in a few words; empty after a success.
  std::string loadError;

  bool hasPicture() const { return !pixels.empty(); }

  // Pixel accessors: no bounds check, the caller keeps (col, row) inside.
  std::uint32_t& At(int col, int row) {
    return pixels[static_cast<std::size_t>(col) +
                  static_cast<std::size_t>(row) * static_cast<std::size_t>(width)];
  }
  std::uint32_t At(int col, int row) const {
    return pixels[static_cast<std::size_t>(col) +
                  static_cast<std::size_t>(row) * static_cast<std::size_t>(width)];
  }
  int Red(int col, int row) const { return static_cast<int>((At(col, row) >> 16) & 0xFFU); }
  int Green(int col, int row) const { return static_cast<int>((At(col, row) >> 8) & 0xFFU); }
  int Blue(int col, int row) const { return static_cast<int>(At(col, row) & 0xFFU); }
  double WeightedSum(int col, int row, double wr, double wg, double wb) const {
    return Red(col, row) * wr + Green(col, row) * wg + Blue(col, row) * wb;
  }
  void OrRed(int col, int row, std::uint32_t v) { At(col, row) |= v << 16; }
  void OrGreen(int col, int row, std::uint32_t v) { At(col, row) |= v << 8; }
  void OrBlue(int col, int row, std::uint32_t v) { At(col, row) |= v; }
  void ClearPixel(int col, int row) { At(col, row) = 0; }
  void SetPixel(int col, int row, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    At(col, row) = r * 65536U + g * 256U + b;
  }

  // Reads the bitmap file at path; returns the new pixels, or nullptr on failure
  // (the document is then left without a picture).
  std::uint32_t* LoadBitmap(const std::string& path);
  // Writes the picture as a bitmap of depth bitCount; true on success.
  bool SaveBitmap(const std::string& path);

  // Opening and saving a document: a path whose extension is "bmp" (without
  // regard to case) is read and written as a bitmap; "png", "jpg", "jpeg",
  // "tif" and "tiff" are read (loadError says why one was not); any other
  // reads or writes nothing. Both truncate the zoom log first. Open returns true when a
  // picture was read; Save returns true when the file was written.
  bool OnOpenDocument(const std::string& path);
  bool OnSaveDocument(const std::string& path);

  // The window that shows this document, when there is one (not owned).
  DocumentViewHooks* view = nullptr;

  // Whom the document's commands and dialogs meet the user through: set by
  // whoever opens the document (not owned); none set, the default frontend
  // (standard error, every question answered with its default).
  FRONTEND::Frontend& frontend() const {
    return m_frontend != nullptr ? *m_frontend : FRONTEND::DefaultFrontend();
  }
  // Sets the frontend (nullptr: the default) and returns the one set before.
  FRONTEND::Frontend* setFrontend(FRONTEND::Frontend* frontend) {
    FRONTEND::Frontend* previous = m_frontend;
    m_frontend = frontend;
    return previous;
  }
  // Where the document's commands write their module logs: into capture
  // (not owned) while one is set, else straight to the log files.
  void setLogCapture(LogCapture* capture) { m_logCapture = capture; }
  LogSink logSink() const { return LogSink(frontend(), m_logCapture); }

 protected:
  void refreshView() {
    ++m_refreshCount;
    if (view != nullptr) view->refreshFirstView();
  }

 public:
  // How many times the first view was asked to redraw (tests check that
  // each step refreshes).
  int refreshCount() const { return m_refreshCount; }

 private:
  int m_refreshCount = 0;
  FRONTEND::Frontend* m_frontend = nullptr;
  LogCapture* m_logCapture = nullptr;
};

// The extension after the last "." of path's file name, in lower case;
// empty when the name has none.
std::string PathExtension(std::string_view path);
// True when the extension after the last "." of path is "bmp" in any case.
bool HasBitmapExtension(std::string_view path);

// Copies height rows of width pixels with the row order reversed.
void CopyFlipped(const std::uint32_t* source, std::uint32_t* target, int width, int height);
// Sets count values to value.
void FillPixels(std::uint32_t* values, std::size_t count, std::uint32_t value);
