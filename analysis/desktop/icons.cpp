#include "desktop/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

constexpr int kCanvas = 48;  // drawn at twice the button's icon size

const QColor kInk(40, 40, 40);
const QColor kPaper(250, 250, 245);
const QColor kRoot(150, 90, 40);
const QColor kLeaf(40, 150, 60);
const QColor kBlue(40, 90, 190);
const QColor kRed(200, 50, 40);

QPen pen(const QColor& c, double w) { return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

// A seedling: two leaves on a stem and a branched root below, in a box of
// side s at the origin.
void drawSeedling(QPainter& p, double s, const QColor& root) {
  p.setPen(pen(kLeaf, s * 0.06));
  p.setBrush(kLeaf);
  QPainterPath leafL;
  leafL.moveTo(s * 0.5, s * 0.3);
  leafL.quadTo(s * 0.2, s * 0.05, s * 0.15, s * 0.22);
  leafL.quadTo(s * 0.3, s * 0.32, s * 0.5, s * 0.3);
  QPainterPath leafR;
  leafR.moveTo(s * 0.5, s * 0.3);
  leafR.quadTo(s * 0.8, s * 0.05, s * 0.85, s * 0.22);
  leafR.quadTo(s * 0.7, s * 0.32, s * 0.5, s * 0.3);
  p.drawPath(leafL);
  p.drawPath(leafR);
  p.setBrush(Qt::NoBrush);
  p.setPen(pen(root, s * 0.07));
  p.drawLine(QPointF(s * 0.5, s * 0.3), QPointF(s * 0.5, s * 0.92));
  p.setPen(pen(root, s * 0.045));
  p.drawLine(QPointF(s * 0.5, s * 0.45), QPointF(s * 0.3, s * 0.6));
  p.drawLine(QPointF(s * 0.5, s * 0.55), QPointF(s * 0.72, s * 0.7));
  p.drawLine(QPointF(s * 0.5, s * 0.7), QPointF(s * 0.32, s * 0.84));
}

void drawPage(QPainter& p, QRectF r) {
  p.setPen(pen(kInk, 2.5));
  p.setBrush(kPaper);
  p.drawRect(r);
}

void drawFolder(QPainter& p) {
  p.setPen(pen(QColor(150, 110, 20), 2.5));
  p.setBrush(QColor(240, 200, 80));
  QPainterPath f;
  f.moveTo(4, 12);
  f.lineTo(18, 12);
  f.lineTo(22, 16);
  f.lineTo(44, 16);
  f.lineTo(44, 40);
  f.lineTo(4, 40);
  f.closeSubpath();
  p.drawPath(f);
}

void drawDisk(QPainter& p, QRectF r) {
  p.setPen(pen(QColor(20, 40, 110), 2.5));
  p.setBrush(kBlue);
  p.drawRoundedRect(r, 3, 3);
  p.setBrush(kPaper);
  p.drawRect(QRectF(r.left() + r.width() * 0.2, r.top() + 2, r.width() * 0.6, r.height() * 0.38));
  p.setBrush(QColor(200, 200, 210));
  p.drawRect(QRectF(r.left() + r.width() * 0.28, r.bottom() - r.height() * 0.35, r.width() * 0.44,
                    r.height() * 0.32));
}

void drawWindows(QPainter& p, const QRectF* rects, int n) {
  for (int i = 0; i < n; ++i) {
    p.setPen(pen(kInk, 2));
    p.setBrush(kPaper);
    p.drawRect(rects[i]);
    p.setBrush(kBlue);
    p.drawRect(QRectF(rects[i].left(), rects[i].top(), rects[i].width(), 6));
  }
}

void drawLetter(QPainter& p, const QString& text, const QColor& c, QRectF r) {
  QFont f = p.font();
  f.setBold(true);
  f.setPixelSize(static_cast<int>(r.height() * 0.75));
  p.setFont(f);
  p.setPen(c);
  p.drawText(r, Qt::AlignCenter, text);
}

void drawMagnifier(QPainter& p, QPointF c, double radius) {
  p.setPen(pen(kInk, 4));
  p.setBrush(QColor(200, 230, 255));
  p.drawEllipse(c, radius, radius);
  p.drawLine(c + QPointF(radius * 0.7, radius * 0.7), c + QPointF(radius * 1.9, radius * 1.9));
}

// A small database cylinder at the given place.
void drawDatabase(QPainter& p, QRectF r) {
  p.setPen(pen(QColor(30, 60, 30), 2.5));
  p.setBrush(QColor(120, 180, 120));
  const double e = r.height() * 0.22;
  QPainterPath body;
  body.moveTo(r.left(), r.top() + e / 2);
  body.lineTo(r.left(), r.bottom() - e / 2);
  body.arcTo(QRectF(r.left(), r.bottom() - e, r.width(), e), 180, 180);
  body.lineTo(r.right(), r.top() + e / 2);
  p.drawPath(body);
  p.drawEllipse(QRectF(r.left(), r.top(), r.width(), e));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(r.left(), r.top() + r.height() * 0.33, r.width(), e), 180 * 16, 180 * 16);
}

void draw(QPainter& p, ToolIcon which) {
  switch (which) {
    case ToolIcon::Open:
      drawFolder(p);
      p.setPen(pen(kLeaf, 4));
      p.drawLine(QPointF(30, 4), QPointF(30, 22));
      p.drawLine(QPointF(24, 10), QPointF(30, 4));
      p.drawLine(QPointF(36, 10), QPointF(30, 4));
      break;
    case ToolIcon::Close:
      drawPage(p, QRectF(8, 4, 30, 38));
      p.setPen(pen(kRed, 5));
      p.drawLine(QPointF(18, 16), QPointF(40, 38));
      p.drawLine(QPointF(40, 16), QPointF(18, 38));
      break;
    case ToolIcon::Save:
      drawDisk(p, QRectF(6, 6, 36, 36));
      break;
    case ToolIcon::SaveAll:
      drawDisk(p, QRectF(4, 4, 28, 28));
      drawDisk(p, QRectF(16, 16, 28, 28));
      break;
    case ToolIcon::Print:
      drawPage(p, QRectF(14, 4, 20, 14));
      p.setPen(pen(kInk, 2.5));
      p.setBrush(QColor(170, 170, 180));
      p.drawRoundedRect(QRectF(4, 18, 40, 18), 3, 3);
      drawPage(p, QRectF(12, 30, 24, 14));
      break;
    case ToolIcon::Cascade: {
      const QRectF r[] = {{4, 4, 26, 20}, {11, 13, 26, 20}, {18, 22, 26, 20}};
      drawWindows(p, r, 3);
      break;
    }
    case ToolIcon::TileHorizontally: {
      const QRectF r[] = {{4, 4, 40, 18}, {4, 26, 40, 18}};
      drawWindows(p, r, 2);
      break;
    }
    case ToolIcon::TileVertically: {
      const QRectF r[] = {{4, 4, 18, 40}, {26, 4, 18, 40}};
      drawWindows(p, r, 2);
      break;
    }
    case ToolIcon::HelpContents:
      p.setPen(pen(QColor(20, 60, 140), 2.5));
      p.setBrush(QColor(90, 140, 220));
      p.drawRoundedRect(QRectF(8, 4, 32, 40), 3, 3);
      drawLetter(p, "?", Qt::white, QRectF(8, 6, 32, 36));
      break;
    case ToolIcon::HelpIndex:
      drawPage(p, QRectF(8, 4, 32, 40));
      p.setPen(pen(kBlue, 3));
      for (int i = 0; i < 4; ++i) p.drawLine(QPointF(14, 12 + i * 8), QPointF(34, 12 + i * 8));
      break;
    case ToolIcon::HelpSearch:
      drawPage(p, QRectF(4, 4, 28, 36));
      drawMagnifier(p, QPointF(26, 24), 9);
      break;
    case ToolIcon::About:
      p.setPen(pen(QColor(20, 60, 140), 2.5));
      p.setBrush(QColor(90, 140, 220));
      p.drawEllipse(QRectF(4, 4, 40, 40));
      drawLetter(p, "i", Qt::white, QRectF(4, 6, 40, 38));
      break;
    case ToolIcon::MakeBlackWhite:
      p.setPen(pen(kInk, 2.5));
      p.setBrush(Qt::white);
      p.drawEllipse(QRectF(4, 4, 40, 40));
      p.setBrush(Qt::black);
      p.drawPie(QRectF(4, 4, 40, 40), 90 * 16, 180 * 16);
      break;
    case ToolIcon::RemoveBox:
      p.setPen(QPen(kInk, 3, Qt::DashLine));
      p.setBrush(Qt::NoBrush);
      p.drawRect(QRectF(4, 4, 40, 40));
      p.setPen(pen(kInk, 2));
      p.setBrush(kPaper);
      p.drawRect(QRectF(12, 12, 24, 24));
      p.setPen(pen(kRed, 4));
      p.drawLine(QPointF(6, 6), QPointF(12, 12));
      p.drawLine(QPointF(42, 42), QPointF(36, 36));
      break;
    case ToolIcon::RemoveNoise:
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::black);
      p.drawRect(QRectF(2, 2, 44, 44));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(20, 6, 6, 36));
      for (const QPointF& d : {QPointF(8, 10), QPointF(36, 14), QPointF(10, 34), QPointF(38, 38)})
        p.drawRect(QRectF(d, QSizeF(3, 3)));
      p.setPen(pen(kRed, 3));
      p.drawLine(QPointF(5, 7), QPointF(14, 16));
      p.drawLine(QPointF(34, 35), QPointF(43, 44));
      break;
    case ToolIcon::Dilate:
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::black);
      p.drawRect(QRectF(2, 2, 44, 44));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(16, 6, 16, 36));
      p.setPen(pen(kLeaf, 3));
      p.drawLine(QPointF(4, 24), QPointF(14, 24));
      p.drawLine(QPointF(34, 24), QPointF(44, 24));
      break;
    case ToolIcon::Skeletonize:
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::black);
      p.drawRect(QRectF(2, 2, 44, 44));
      p.setPen(pen(Qt::white, 2));
      p.drawLine(QPointF(24, 6), QPointF(24, 42));
      p.drawLine(QPointF(24, 18), QPointF(12, 28));
      p.drawLine(QPointF(24, 26), QPointF(38, 36));
      break;
    case ToolIcon::Retouch:
      p.setPen(pen(kInk, 2));
      p.setBrush(QColor(230, 180, 60));
      {
        QPainterPath pencil;
        pencil.moveTo(8, 40);
        pencil.lineTo(12, 30);
        pencil.lineTo(36, 6);
        pencil.lineTo(42, 12);
        pencil.lineTo(18, 36);
        pencil.closeSubpath();
        p.drawPath(pencil);
      }
      p.setBrush(kInk);
      p.drawEllipse(QRectF(6, 38, 5, 5));
      break;
    case ToolIcon::FindRoots:
      p.save();
      p.translate(2, 2);
      drawSeedling(p, 38, kRoot);
      p.restore();
      drawMagnifier(p, QPointF(30, 30), 7);
      break;
    case ToolIcon::ConfirmRoots:
      p.save();
      p.translate(0, 2);
      drawSeedling(p, 40, kRoot);
      p.restore();
      p.setPen(pen(kLeaf, 5));
      p.drawLine(QPointF(26, 34), QPointF(33, 42));
      p.drawLine(QPointF(33, 42), QPointF(46, 24));
      break;
    case ToolIcon::SaveExperiment:
      p.save();
      p.translate(0, 0);
      drawSeedling(p, 34, kRoot);
      p.restore();
      drawDisk(p, QRectF(22, 22, 24, 24));
      break;
    case ToolIcon::AddData:
      drawDatabase(p, QRectF(6, 10, 28, 34));
      p.setPen(pen(kLeaf, 5));
      p.drawLine(QPointF(38, 4), QPointF(38, 22));
      p.drawLine(QPointF(29, 13), QPointF(47, 13));
      break;
    case ToolIcon::Inquire:
      drawDatabase(p, QRectF(4, 4, 28, 34));
      drawMagnifier(p, QPointF(32, 30), 8);
      break;
  }
}

}  // namespace

QImage MorvaneIconImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size;
  // A square culture plate with a seedling growing down it.
  p.setPen(pen(QColor(90, 90, 100), s * 0.04));
  p.setBrush(QColor(235, 240, 230));
  p.drawRoundedRect(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88), s * 0.08, s * 0.08);
  p.translate(s * 0.14, s * 0.1);
  drawSeedling(p, s * 0.72, kRoot);
  return image;
}

QIcon MorvaneIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(MorvaneIconImage(size)));
  return icon;
}

QIcon MakeToolIcon(ToolIcon which) {
  QPixmap pixmap(kCanvas, kCanvas);
  pixmap.fill(Qt::transparent);
  {
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p, which);
  }
  return QIcon(pixmap);
}
