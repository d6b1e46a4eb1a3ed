// The re-touch editor of the Detect menu ("Draw line"): the user paints
// white and black squares into a copy of the picture, at a magnification of
// x1 to x8 around an offset, and OK writes the copy back into the document.
//
// The copy's row 0 is the picture's top row, as the editor shows it.
#pragma once

#include <cstdint>
#include <vector>

class KW_ImaAna;

// The editor's size on a desktop of desktopWidth x desktopHeight: the dialog
// is the picture plus room for the controls, shrunk by ratio when the desktop
// is smaller; the picture control shows the picture at that ratio.
struct RetouchGeometry {
  int dialogWidth = 0;
  int dialogHeight = 0;
  double ratio = 1.0;
  int pictureWidth = 0;
  int pictureHeight = 0;
};
RetouchGeometry ComputeRetouchGeometry(int width, int height, int desktopWidth, int desktopHeight);

class RetouchModel {
 public:
  static constexpr int kBrushMinimum = 2;
  static constexpr int kBrushMaximum = 40;
  static constexpr int kBrushOpening = 5;
  static constexpr int kStep = 10;
  static constexpr int kCtrlStep = 100;

  // Copies the document's picture, top row first.
  explicit RetouchModel(const KW_ImaAna& doc);

  int width() const { return m_width; }
  int height() const { return m_height; }
  // The edited copy, row 0 at the top.
  const std::vector<std::uint32_t>& picture() const { return m_copy; }

  int magnification() const { return m_magnification; }
  int xOffset() const { return m_xOff; }
  int yOffset() const { return m_yOff; }
  int brush() const { return m_brush; }

  // x1 resets the offset; x2, x4 and x8 keep it inside the picture. Other
  // values are ignored.
  void setMagnification(int m);
  // Dragging or releasing the brush slider's thumb, or paging it downwards.
  void setBrush(int size);
  // The four moves, by 100 with Ctrl held and by 10 otherwise.
  void up(bool ctrl);
  void down(bool ctrl);
  void left(bool ctrl);
  void right(bool ctrl);

  // The part of the picture shown: from the offset, width / m x height / m.
  int shownWidth() const { return m_width / m_magnification; }
  int shownHeight() const { return m_height / m_magnification; }

  // The picture point under (x, y) of a cw x ch picture control.
  void picturePoint(int x, int y, int cw, int ch, int& px, int& py) const;
  // Paints the brush square whose lower-right corner touches the picture
  // point under (x, y): white for the left button, black for the right one.
  void paintAt(int x, int y, int cw, int ch, bool white);
  // Sets columns x - size + 1..x and rows y - size + 1..y (top-down) inside
  // the copy.
  void PaintSquare(int x, int y, int size, std::uint32_t r, std::uint32_t g, std::uint32_t b);

  // OK: the edited copy goes back into the document, bottom row first.
  void accept(KW_ImaAna& doc) const;

 private:
  int step(bool ctrl) const { return ctrl ? kCtrlStep : kStep; }

  std::vector<std::uint32_t> m_copy;
  int m_width = 0;
  int m_height = 0;
  int m_magnification = 1;
  int m_xOff = 0;
  int m_yOff = 0;
  int m_brush = kBrushOpening;
};

// Command " &Re-touch": marks the step, opens the editor through the
// frontend; OK writes the edited picture back. The view is refreshed in
// either case.
void Retouch(KW_ImaAna& doc);
