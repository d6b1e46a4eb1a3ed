#include "image/retouch_model.h"

#include <algorithm>

#include "base/frontend.h"
#include "image/ima_ana.h"

RetouchGeometry ComputeRetouchGeometry(int width, int height, int desktopWidth, int desktopHeight) {
  RetouchGeometry g;
  // Room for the controls: 30 pixels across, 100 below; never narrower than
  // the row of controls (700 pixels).
  g.dialogWidth = width < 670 ? 700 : width + 30;
  g.dialogHeight = height + 100;
  g.ratio = 1.0;
  if (desktopWidth - 50 < g.dialogWidth) {
    g.ratio = static_cast<double>(desktopWidth - 50) / g.dialogWidth;
    g.dialogWidth = desktopWidth - 10;
    g.dialogHeight = static_cast<int>(g.dialogHeight * g.ratio);
  }
  if (desktopHeight - 50 < g.dialogHeight) {
    g.ratio = static_cast<double>(desktopHeight - 50) / g.dialogHeight;
    g.dialogHeight = desktopHeight - 50;
    g.dialogWidth = static_cast<int>(g.dialogWidth * g.ratio);
  }
  g.pictureWidth = static_cast<int>(width * g.ratio);
  g.pictureHeight = static_cast<int>(height * g.ratio);
  return g;
}

RetouchModel::RetouchModel(const KW_ImaAna& doc) {
  const bool valid =
      doc.width > 0 && doc.height > 0 &&
      doc.pixels.size() == static_cast<std::size_t>(doc.width) * static_cast<std::size_t>(doc.height);
  if (!valid) return;  // no copy: the editor shows and paints nothing
  m_width = doc.width;
  m_height = doc.height;
  m_copy.resize(doc.pixels.size());
  CopyFlipped(doc.pixels.data(), m_copy.data(), m_width, m_height);
}

void RetouchModel::setMagnification(int m) {
  if (m != 1 && m != 2 && m != 4 && m != 8) return;
  m_magnification = m;
  if (m == 1) {
    m_xOff = 0;
    m_yOff = 0;
    return;
  }
  m_xOff = std::min(m_xOff, m_width - shownWidth());
  m_yOff = std::min(m_yOff, m_height - shownHeight());
}

void RetouchModel::setBrush(int size) { m_brush = std::clamp(size, kBrushMinimum, kBrushMaximum); }

void RetouchModel::up(bool ctrl) { m_yOff = std::max(m_yOff - step(ctrl), 0); }
void RetouchModel::down(bool ctrl) { m_yOff = std::min(m_yOff + step(ctrl), m_height - shownHeight()); }
void RetouchModel::left(bool ctrl) { m_xOff = std::max(m_xOff - step(ctrl), 0); }
void RetouchModel::right(bool ctrl) { m_xOff = std::min(m_xOff + step(ctrl), m_width - shownWidth()); }

void RetouchModel::picturePoint(int x, int y, int cw, int ch, int& px, int& py) const {
  // Integer arithmetic from left to right; a control without area maps to the offset.
  px = cw > 0 ? static_cast<int>(static_cast<long long>(shownWidth()) * x / cw) + m_xOff : m_xOff;
  py = ch > 0 ? static_cast<int>(static_cast<long long>(shownHeight()) * y / ch) + m_yOff : m_yOff;
}

void RetouchModel::paintAt(int x, int y, int cw, int ch, bool white) {
  int px = 0;
  int py = 0;
  picturePoint(x, y, cw, ch, px, py);
  const std::uint32_t v = white ? 255U : 0U;
  PaintSquare(px - 1, py - 1, m_brush, v, v, v);
}

void RetouchModel::PaintSquare(int x, int y, int size, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  const std::uint32_t value = r * 65536U + g * 256U + b;
  const int c0 = std::max(x - size + 1, 0);
  const int c1 = std::min(x, m_width - 1);
  const int r0 = std::max(y - size + 1, 0);
  const int r1 = std::min(y, m_height - 1);
  for (int row = r0; row <= r1; ++row) {
    std::uint32_t* line = m_copy.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(m_width);
    for (int col = c0; col <= c1; ++col) line[col] = value;
  }
}

void RetouchModel::accept(KW_ImaAna& doc) const {
  // The document must still hold the picture the editor was opened on.
  if (m_copy.empty() || doc.width != m_width || doc.height != m_height ||
      doc.pixels.size() != m_copy.size()) {
    return;
  }
  CopyFlipped(m_copy.data(), doc.pixels.data(), m_width, m_height);
}

void Retouch(KW_ImaAna& doc) {
  doc.marks.check(StepMark::Retouch);
  RetouchModel model(doc);
  if (FRONTEND::Accepted(doc.frontend(), &model)) model.accept(doc);
  doc.refresh();
}
