#include "manager/ui/icons.h"

#include <QPainter>

#include "manager/app/window_model.h"

namespace tessary::ui {
namespace {

const QColor kOn(40, 170, 60);
const QColor kOff(200, 60, 50);

QPixmap Dot(const QColor& c, int size) {
  QPixmap p(size, size);
  p.fill(Qt::transparent);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  g.setPen(QPen(c.darker(150), 1));
  g.setBrush(c);
  g.drawEllipse(QRectF(1.5, 1.5, size - 3, size - 3));
  return p;
}

}  // namespace

QIcon TrayIconPicture(int id) {
  const char* names[] = {"tessary-stopped", "tessary-web", "tessary-database", "tessary"};
  const int index = id == kIconWeb ? 1 : id == kIconDatabase ? 2 : id == kIconBoth ? 3 : 0;
  QIcon themed = QIcon::fromTheme(QString::fromLatin1(names[index]));
  if (!themed.isNull()) return themed;
  // Two halves: the web server on the left, the database server on the right.
  QPixmap p(32, 32);
  p.fill(Qt::transparent);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  g.setPen(QPen(QColor(40, 40, 60), 1.5));
  g.setBrush(index & 1 ? kOn : kOff);
  g.drawPie(QRectF(2, 2, 28, 28), 90 * 16, 180 * 16);
  g.setBrush(index & 2 ? kOn : kOff);
  g.drawPie(QRectF(2, 2, 28, 28), -90 * 16, 180 * 16);
  return QIcon(p);
}

QPixmap StatePixmap(int id) {
  if (id == 191) return Dot(kOn, 16);
  if (id == 190) return Dot(QColor(235, 170, 30), 16);
  return Dot(kOff, 16);
}

QIcon PinIcon(bool on) {
  QPixmap p(16, 16);
  p.fill(Qt::transparent);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  g.setPen(QPen(QColor(60, 60, 60), 1.5));
  g.setBrush(on ? QColor(220, 40, 40) : QColor(230, 230, 230));
  g.drawEllipse(QRectF(4, 1, 8, 8));
  g.drawLine(QPointF(8, 9), on ? QPointF(8, 15) : QPointF(12, 14));
  return QIcon(p);
}

}  // namespace tessary::ui
