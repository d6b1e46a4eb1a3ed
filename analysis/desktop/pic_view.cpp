#include "desktop/pic_view.h"

#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "image/pic_doc.h"

namespace {

// The zoom level after now, up or down.
double NextLevel(double now, bool up) {
  if (up) {
    for (const double level : KW_PicVuw::kZoomLevels)
      if (level > now * 1.001) return level;
    return KW_PicVuw::kZoomLevels.back();
  }
  for (auto level = KW_PicVuw::kZoomLevels.rbegin(); level != KW_PicVuw::kZoomLevels.rend(); ++level)
    if (*level < now * 0.999) return *level;
  return KW_PicVuw::kZoomLevels.front();
}

}  // namespace

// The zoom log takes the document's frontend as the window set it, before
// any command: the view paints on the interface thread.
KW_PicVuw::KW_PicVuw(KW_PicDoc& doc, QWidget* parent)
    : QWidget(parent),
      m_doc(doc),
      m_hbar(new QScrollBar(Qt::Horizontal, this)),
      m_vbar(new QScrollBar(Qt::Vertical, this)),
      m_log(doc.frontend()) {
  setObjectName("pictureView");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(16, 16);
  setFocusPolicy(Qt::ClickFocus);
  m_hbar->setObjectName("horizontalScrollBar");
  m_vbar->setObjectName("verticalScrollBar");
  m_hbar->hide();
  m_vbar->hide();
  connect(m_hbar, &QScrollBar::valueChanged, this, [this](int x) { scrollTo(QPoint(x, m_scroll.y())); });
  connect(m_vbar, &QScrollBar::valueChanged, this, [this](int y) { scrollTo(QPoint(m_scroll.x(), y)); });
}

void KW_PicVuw::Refresh() {
  if (!m_fitted) {
    // A new picture opens fitted to the window.
    m_zoom = 0.0;
    m_scroll = QPoint();
    updateScrollBars();
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
  // A step may have cropped the picture: the zoom stays, the scroll bars follow.
  updateScrollBars();
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
  if (!fitsWindow()) {
    paintZoomed(painter, *shown);
    paintOverlay(painter);
    return;
  }
  if (!shown->isNull() && a > 0 && b > 0 && m_x1 <= shown->width() && m_y1 <= shown->height()) {
    dest = DrawSize(cw, ch, a, b);
    // Smooth scaling stands for halftone stretching when the picture is
    // reduced; a picture drawn at its size or larger keeps sharp pixels.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, dest.width < a);
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
  updateScrollBars();
  update();
}

// ---------------------------------------------------------------------------
// Zoom and scrolling

double KW_PicVuw::zoom() const {
  if (!fitsWindow()) return m_zoom;
  const int a = m_x1 - m_x0;
  if (a <= 0) return 1.0;
  return static_cast<double>(DrawSize(width(), height(), a, std::max(1, m_y1 - m_y0)).width) / a;
}

QSize KW_PicVuw::zoomedSize() const {
  return QSize(static_cast<int>(std::lround(m_doc.width * m_zoom)),
               static_cast<int>(std::lround(m_doc.height * m_zoom)));
}

QRect KW_PicVuw::pictureArea() const {
  QRect area = rect();
  if (m_vbar->isVisible()) area.setWidth(area.width() - m_vbar->width());
  if (m_hbar->isVisible()) area.setHeight(area.height() - m_hbar->height());
  return area;
}

void KW_PicVuw::updateScrollBars() {
  if (fitsWindow() || m_doc.width <= 0 || m_doc.height <= 0) {
    m_hbar->hide();
    m_vbar->hide();
    m_scroll = QPoint();
    return;
  }
  const QSize content = zoomedSize();
  const int bw = m_vbar->sizeHint().width();
  const int bh = m_hbar->sizeHint().height();
  // One bar takes room from the other direction: decided twice.
  bool h = content.width() > width();
  bool v = content.height() > height() - (h ? bh : 0);
  h = content.width() > width() - (v ? bw : 0);
  const QSize area(width() - (v ? bw : 0), height() - (h ? bh : 0));
  m_hbar->setGeometry(0, height() - bh, area.width(), bh);
  m_vbar->setGeometry(width() - bw, 0, bw, area.height());
  m_hbar->setVisible(h);
  m_vbar->setVisible(v);
  const QSignalBlocker blockH(m_hbar);
  const QSignalBlocker blockV(m_vbar);
  m_hbar->setRange(0, std::max(0, content.width() - area.width()));
  m_vbar->setRange(0, std::max(0, content.height() - area.height()));
  m_hbar->setPageStep(std::max(1, area.width()));
  m_vbar->setPageStep(std::max(1, area.height()));
  m_hbar->setSingleStep(std::max(1, static_cast<int>(m_zoom * 8)));
  m_vbar->setSingleStep(std::max(1, static_cast<int>(m_zoom * 8)));
  m_scroll =
      QPoint(std::clamp(m_scroll.x(), 0, m_hbar->maximum()), std::clamp(m_scroll.y(), 0, m_vbar->maximum()));
  m_hbar->setValue(m_scroll.x());
  m_vbar->setValue(m_scroll.y());
}

void KW_PicVuw::scrollTo(QPoint position) {
  if (fitsWindow()) return;
  m_scroll = position;
  updateScrollBars();
  update();
}

void KW_PicVuw::setZoom(double zoom, QPoint anchor) {
  if (m_doc.width <= 0 || m_doc.height <= 0) return;
  const double z = std::clamp(zoom, kZoomLevels.front(), kZoomLevels.back());
  // The picture point under the anchor before and after.
  const double old = this->zoom();
  const QPointF origin = fitsWindow() ? QPointF() : QPointF(m_scroll);
  const QPointF at = (QPointF(anchor) + origin) / old;
  m_zoom = z;
  m_scroll = (at * z - QPointF(anchor)).toPoint();
  updateScrollBars();
  update();
}

void KW_PicVuw::zoomIn() { setZoom(NextLevel(zoom(), true), pictureArea().center()); }

void KW_PicVuw::zoomOut() { setZoom(NextLevel(zoom(), false), pictureArea().center()); }

void KW_PicVuw::fitToWindow() {
  m_zoom = 0.0;
  updateScrollBars();
  update();
}

void KW_PicVuw::actualSize() { setZoom(1.0, pictureArea().center()); }

QRectF KW_PicVuw::toView(const QRectF& picture) const {
  const double z = zoom();
  const QPointF origin = fitsWindow() ? QPointF() : QPointF(m_scroll);
  return QRectF(picture.topLeft() * z - origin, picture.size() * z);
}

void KW_PicVuw::ensureVisible(const QRect& picture) {
  if (fitsWindow()) return;
  const QRectF shown = toView(picture);
  const QRect area = pictureArea();
  if (area.contains(shown.toAlignedRect())) return;
  // Centred on the rectangle, or on its top when it is taller than the view.
  const QPointF centre(shown.center().x(), std::min(shown.center().y(), shown.top() + area.height() / 2.0));
  scrollTo(m_scroll + (centre - QPointF(area.center())).toPoint());
}

void KW_PicVuw::paintZoomed(QPainter& painter, const QImage& shown) {
  const QRect area = pictureArea();
  painter.fillRect(rect(), QColor(kBackground));
  if (shown.isNull() || m_x1 > shown.width() || m_y1 > shown.height()) return;
  // Only the picture pixels in sight are drawn, each a square of zoom screen pixels.
  const double z = m_zoom;
  const int c0 = std::max(0, static_cast<int>(std::floor(m_scroll.x() / z)));
  const int r0 = std::max(0, static_cast<int>(std::floor(m_scroll.y() / z)));
  const int c1 = std::min(shown.width(), static_cast<int>(std::ceil((m_scroll.x() + area.width()) / z)));
  const int r1 = std::min(shown.height(), static_cast<int>(std::ceil((m_scroll.y() + area.height()) / z)));
  if (c1 <= c0 || r1 <= r0) return;
  painter.save();
  painter.setClipRect(area);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, z < 1.0);
  const QRectF target(c0 * z - m_scroll.x(), r0 * z - m_scroll.y(), (c1 - c0) * z, (r1 - r0) * z);
  painter.drawImage(target, shown, QRect(c0, r0, c1 - c0, r1 - r0));
  painter.restore();
  m_drawn = ViewSize{static_cast<int>(std::lround(shown.width() * z)),
                     static_cast<int>(std::lround(shown.height() * z))};
}

void KW_PicVuw::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y() / 120;
  if (event->modifiers() & Qt::ControlModifier) {
    if (steps > 0) {
      for (int i = 0; i < steps; ++i) setZoom(NextLevel(zoom(), true), event->position().toPoint());
    } else {
      for (int i = 0; i < -steps; ++i) setZoom(NextLevel(zoom(), false), event->position().toPoint());
    }
    event->accept();
    return;
  }
  if (fitsWindow()) {
    QWidget::wheelEvent(event);
    return;
  }
  QScrollBar* bar = event->modifiers() & Qt::ShiftModifier ? m_hbar : m_vbar;
  bar->setValue(bar->value() - event->angleDelta().y() * bar->singleStep() / 40);
  event->accept();
}

void KW_PicVuw::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      zoomIn();
      break;
    case Qt::Key_Minus:
      zoomOut();
      break;
    case Qt::Key_1:
      actualSize();
      break;
    case Qt::Key_0:
      fitToWindow();
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
}

void KW_PicVuw::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::MiddleButton && event->button() != Qt::RightButton) return;
  m_panning = !fitsWindow();
  m_panStart = event->position().toPoint();
  m_panScroll = m_scroll;
}

void KW_PicVuw::mouseMoveEvent(QMouseEvent* event) {
  if (m_panning) scrollTo(m_panScroll - (event->position().toPoint() - m_panStart));
}

void KW_PicVuw::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton || event->button() == Qt::RightButton) m_panning = false;
}

// ---------------------------------------------------------------------------

KW_SciVuw::KW_SciVuw(KW_PicDoc& doc, QWidget* parent) : KW_PicVuw(doc, parent) {
  setObjectName("analysisView");
}

void KW_SciVuw::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    KW_PicVuw::mousePressEvent(event);
    return;
  }
  // The next press removes a band left on the screen.
  m_drawnBand = false;
  m_anchor = event->position().toPoint();
  m_corner = m_anchor;
  m_state = Band::Dragging;
  update();
}

void KW_SciVuw::mouseMoveEvent(QMouseEvent* event) {
  if (panning()) {
    KW_PicVuw::mouseMoveEvent(event);
    return;
  }
  if (m_state != Band::Dragging) return;
  m_corner = event->position().toPoint();
  m_drawnBand = true;
  update();
}

void KW_SciVuw::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    KW_PicVuw::mouseReleaseEvent(event);
    return;
  }
  if (m_state != Band::Dragging) return;
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
  if (!m_highlight.isEmpty()) {
    // A margin around the plant, so that the frame never hides its pixels.
    const QRectF frame = toView(QRectF(m_highlight)).adjusted(-4, -4, 4, 4);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(255, 0, 255), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame);
    painter.restore();
  }
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

void KW_SciVuw::setHighlight(const QRect& picture) {
  m_highlight = picture;
  if (!picture.isEmpty()) ensureVisible(picture);
  update();
}

const QImage* KW_SciVuw::replacement() const { return m_overlay.isNull() ? nullptr : &m_overlay; }
