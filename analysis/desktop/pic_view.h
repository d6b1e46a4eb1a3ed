// The picture views: KW_PicVuw shows a document's picture scaled to fit its
// window, never enlarged, or at a zoom of its own with scroll bars (Ctrl and
// the wheel, + and -, 1 for one picture pixel per screen pixel, 0 to fit;
// dragging with the middle or right button pans). KW_SciVuw, the view of an
// analysis document, adds a rubber band drawn with the left mouse button and
// the frame around the plant being asked about.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <array>

#include "image/view_fit.h"

class KW_PicDoc;

class KW_PicVuw : public QWidget {
  Q_OBJECT

 public:
  // Light grey around the picture.
  static constexpr QRgb kBackground = 0xF1F1F1;

  explicit KW_PicVuw(KW_PicDoc& doc, QWidget* parent = nullptr);

  KW_PicDoc& document() const { return m_doc; }

  // The refresh every image step ends with: fits the window once after an
  // open, then re-reads the pixels and repaints at once.
  void Refresh();
  // A new open: the next refresh fits the window again.
  void clearFitted() { m_fitted = false; }

  bool fitted() const { return m_fitted; }
  bool redrawPending() const { return m_redraw; }
  // The picture's size on screen at the last paint.
  ViewSize lastDrawSize() const { return m_drawn; }
  // While a command works on the document in the background the view shows
  // the picture it last read and reads no pixels.
  void setDocumentBusy(bool busy) { m_busy = busy; }

  // The zooms a step goes through, screen pixels per picture pixel.
  static constexpr std::array<double, 14> kZoomLevels = {0.0625, 0.125, 0.25, 0.5,  1.0,  2.0,  3.0,
                                                         4.0,    6.0,   8.0,  12.0, 16.0, 24.0, 32.0};
  // True while the picture is fitted to the window (the zoom follows its size).
  bool fitsWindow() const { return m_zoom <= 0.0; }
  // Screen pixels per picture pixel as drawn now.
  double zoom() const;
  void zoomIn();
  void zoomOut();
  void fitToWindow();
  void actualSize();
  // Sets the zoom (limited to kZoomLevels' range), keeping the picture point
  // under anchor (a point of the view) where it is.
  void setZoom(double zoom, QPoint anchor);
  // The top-left corner of the part shown, in zoomed pixels.
  QPoint scrollPosition() const { return m_scroll; }
  // The part of the view the picture is drawn in (without the scroll bars).
  QRect pictureArea() const;
  // Where a rectangle of the picture (top row first) lies in the view.
  QRectF toView(const QRectF& picture) const;
  // Scrolls so that the rectangle of the picture (top row first) is in sight.
  void ensureVisible(const QRect& picture);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(class QWheelEvent* event) override;
  void keyPressEvent(class QKeyEvent* event) override;
  // The middle and right buttons pan the zoomed picture.
  void mousePressEvent(class QMouseEvent* event) override;
  void mouseMoveEvent(class QMouseEvent* event) override;
  void mouseReleaseEvent(class QMouseEvent* event) override;
  bool panning() const { return m_panning; }
  // Drawn over the picture by the analysis view.
  virtual void paintOverlay(class QPainter& /*painter*/) {}
  // The picture to draw in place of the document's pixels, or null.
  virtual const QImage* replacement() const { return nullptr; }

 private:
  void rebuildImage();
  // The picture's size at the current zoom.
  QSize zoomedSize() const;
  void updateScrollBars();
  void scrollTo(QPoint position);
  void paintZoomed(class QPainter& painter, const QImage& shown);

  KW_PicDoc& m_doc;
  // 0: fitted to the window.
  double m_zoom = 0.0;
  QPoint m_scroll;
  class QScrollBar* m_hbar;
  class QScrollBar* m_vbar;
  bool m_panning = false;
  QPoint m_panStart;
  QPoint m_panScroll;
  bool m_fitted = false;
  bool m_redraw = true;
  bool m_busy = false;
  // sourceRect: left x0, right x1, bottom y0, top y1, in picture pixels.
  int m_x0 = 0;
  int m_x1 = 0;
  int m_y0 = 0;
  int m_y1 = 0;
  QImage m_image;
  ViewSize m_drawn;
  ZoomLog m_log;
};

class KW_SciVuw : public KW_PicVuw {
  Q_OBJECT

 public:
  enum class Band { None, Dragging, Shown };
  // A band smaller than this is dropped when the button is released.
  static constexpr int kMinBandWidth = 4;
  static constexpr int kMinBandHeight = 4;

  explicit KW_SciVuw(KW_PicDoc& doc, QWidget* parent = nullptr);

  Band bandState() const { return m_state; }
  QPoint anchor() const { return m_anchor; }
  QPoint corner() const { return m_corner; }
  // True while a band outline is on the screen.
  bool bandDrawn() const { return m_drawnBand; }

  // Shows image (a picture of the document's size, top row first) in place
  // of the document's pixels until clearOverlay; the overlay of the plants
  // after Find roots. An image of another size is not shown.
  void showOverlay(const QImage& image);
  void clearOverlay();
  // Frames a rectangle of the picture (top row first) and brings it into
  // sight; an empty one takes the frame away.
  void setHighlight(const QRect& picture);
  QRect highlight() const { return m_highlight; }
  bool overlayShown() const { return !m_overlay.isNull(); }
  const QImage& overlay() const { return m_overlay; }

 protected:
  void mousePressEvent(class QMouseEvent* event) override;
  void mouseMoveEvent(class QMouseEvent* event) override;
  void mouseReleaseEvent(class QMouseEvent* event) override;
  void paintOverlay(class QPainter& painter) override;
  const QImage* replacement() const override;

 private:
  QImage m_overlay;
  QRect m_highlight;
  Band m_state = Band::None;
  bool m_drawnBand = false;
  QPoint m_anchor;
  QPoint m_corner;
};
