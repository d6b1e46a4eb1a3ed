// The picture views: KW_PicVuw shows a document's picture scaled to fit its
// window, never enlarged; KW_SciVuw, the view of an analysis document, adds
// a rubber band drawn with the left mouse button.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>

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

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  // Drawn over the picture by the analysis view.
  virtual void paintOverlay(class QPainter& /*painter*/) {}
  // The picture to draw in place of the document's pixels, or null.
  virtual const QImage* replacement() const { return nullptr; }

 private:
  void rebuildImage();

  KW_PicDoc& m_doc;
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
  Band m_state = Band::None;
  bool m_drawnBand = false;
  QPoint m_anchor;
  QPoint m_corner;
};
