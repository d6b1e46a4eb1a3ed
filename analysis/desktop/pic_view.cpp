#include "desktop/pic_view.h"

#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>

#include "image/pic_doc.h"

// The zoom log takes the document's frontend as the window set it, before
// any command: the view paints on the interface thread.
KW_PicVuw::KW_PicVuw(KW_PicDoc& doc, QWidget* parent) : QWidget(parent), m_doc(doc), m_log(doc.frontend()) {
  setObjectName("pictureView");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(16, 16);
}

void KW_PicVuw::Refresh() {
  if (!m_fitted) {
    const int cw = width();
    const int ch = height();
    const ViewSize fit = FitViewSize(cw, ch, m_doc.width, m_doc.height);
    // The frame grows or shrinks by the same amount, so that the view's
    // client area becomes the fitted size; a maximised frame keeps its size.
    auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (frame != nullptr) {
      if (!frame->isMaximized()) frame->resize(frame->size() + QSize(fit.width - cw, fit.height - ch));
    } else {
      resize(fit.width, fit.height);
    }
    m_fitted = true;
    m_log.restart();
    m_log.autozoom(ch, cw, m_doc.height, m_doc.width, m_fitted, m_redraw);
  }
  m_redraw = true;
  m_x0 = 0;
  m_x1 = m_doc.width;
  m_y0 = 0;
  m_y1 = m_doc.height;
  repaint();
}

void KW_PicVuw::rebuildImage() {
  const int w = m_doc.width;
  const int h = m_doc.height;
  if (w <= 0 || h <= 0 || m_doc.pixels.size() != static_cast<std::size_t>(w) * static_cast<std::size_t>(h)) {
    m_image = QImage();
    return;
  }
  if (m_image.width() != w || m_image.height() != h) m_image = QImage(w, h, QImage::Format_RGB32);
  // Picture row 0 is the bottom row; the image's first line is the top.
  for (int row = 0; row < h; ++row) {
    const std::uint32_t* src =
        m_doc.pixels.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(w);
    auto* dst = reinterpret_cast<QRgb*>(m_image.scanLine(h - 1 - row));
    for (int col = 0; col < w; ++col) dst[col] = 0xFF000000U | src[col];
  }
}

void KW_PicVuw::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  if (m_redraw && !m_busy) {
    rebuildImage();
    m_redraw = false;
  }
  const int cw = width();
  const int ch = height();
  const int a = m_x1 - m_x0;
  const int b = m_y1 - m_y0;
  ViewSize dest{0, 0};
  const QImage* shown = replacement();
  if (shown == nullptr || shown->size() != m_image.size()) shown = &m_image;
  if (!shown->isNull() && a > 0 && b > 0 && m_x1 <= shown->width() && m_y1 <= shown->height()) {
    dest = DrawSize(cw, ch, a, b);
    // Smooth scaling stands for halftone stretching.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect source(m_x0, shown->height() - m_y1, a, b);
    painter.drawImage(QRect(0, 0, dest.width, dest.height), *shown, source);
  }
  if (dest.width < cw) painter.fillRect(QRect(dest.width, 0, cw - dest.width, ch), QColor(kBackground));
  if (dest.height < ch)
    painter.fillRect(QRect(0, dest.height, dest.width, ch - dest.height), QColor(kBackground));
  m_drawn = dest;
  if (!m_image.isNull()) m_log.onDraw(ch, cw, a, b, m_doc.width, m_doc.height, dest);
  paintOverlay(painter);
}

void KW_PicVuw::resizeEvent(QResizeEvent* event) {
  m_log.onSize(m_redraw);
  m_redraw = true;
  QWidget::resizeEvent(event);
  update();
}

// ---------------------------------------------------------------------------

KW_SciVuw::KW_SciVuw(KW_PicDoc& doc, QWidget* parent) : KW_PicVuw(doc, parent) {
  setObjectName("analysisView");
}

void KW_SciVuw::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  // The next press removes a band left on the screen.
  m_drawnBand = false;
  m_anchor = event->position().toPoint();
  m_corner = m_anchor;
  m_state = Band::Dragging;
  update();
}

void KW_SciVuw::mouseMoveEvent(QMouseEvent* event) {
  if (m_state != Band::Dragging) return;
  m_corner = event->position().toPoint();
  m_drawnBand = true;
  update();
}

void KW_SciVuw::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || m_state != Band::Dragging) return;
  if (!m_drawnBand) {
    m_state = Band::None;
    return;
  }
  m_corner = event->position().toPoint();
  m_state = Band::Shown;
  const QRect band = QRect(m_anchor, m_corner).normalized();
  if (band.width() < kMinBandWidth || band.height() < kMinBandHeight) {
    // Too small to mean anything: dropped, and not left on the screen.
    m_state = Band::None;
    m_anchor = m_corner;
    m_drawnBand = false;
  }
  update();
}

void KW_SciVuw::paintOverlay(QPainter& painter) {
  if (!m_drawnBand) return;
  // Inverting the pixels under the outline keeps it visible on black and on white.
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  painter.setPen(QPen(Qt::white, 1, Qt::SolidLine));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRect(m_anchor, m_corner).normalized());
}

void KW_SciVuw::showOverlay(const QImage& image) {
  m_overlay = image;
  update();
}

void KW_SciVuw::clearOverlay() {
  if (m_overlay.isNull()) return;
  m_overlay = QImage();
  update();
}

const QImage* KW_SciVuw::replacement() const { return m_overlay.isNull() ? nullptr : &m_overlay; }
