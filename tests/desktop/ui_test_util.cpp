#include "ui_test_util.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTimer>
#include <QWidget>

#include "image/pic_doc.h"
#include "synth/synth_plate.h"

namespace uitest {

QString FreshHome() {
  QString home = qEnvironmentVariable("MORVANE_HOME");
  QDir(home).removeRecursively();
  QDir().mkpath(home);
  QSettings().clear();
  return home;
}

void LoadGreys(KW_PicDoc& doc, int width, int height) {
  doc.width = width;
  doc.height = height;
  doc.bitCount = 24;
  doc.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (std::size_t i = 0; i < doc.pixels.size(); ++i) {
    const auto v = static_cast<std::uint32_t>(i % 256);
    doc.pixels[i] =
        (i / 256) % 2 == 0 ? (v << 16 | v << 8 | v) : (v << 16 | ((v * 3) % 256) << 8 | ((v * 7) % 256));
  }
}

QString WriteBitmap(const QString& name, int width, int height,
                    const std::function<std::uint32_t(int, int)>& fill) {
  KW_PicDoc doc;
  doc.width = width;
  doc.height = height;
  doc.bitCount = 24;
  doc.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c) doc.At(c, r) = fill(c, r);
  QString path = QDir(qEnvironmentVariable("MORVANE_HOME")).filePath(name);
  doc.SaveBitmap(path.toStdString());
  return path;
}

QString WritePlate(const QString& name) {
  synth::PlateOptions options;
  options.dpi = 150;
  options.plants = 3;
  options.seed = 7;
  const synth::Plate plate = synth::MakePlate(options);
  return WriteBitmap(name, plate.width, plate.height, [&plate](int c, int r) {
    return plate.pixels[static_cast<std::size_t>(c) +
                        static_cast<std::size_t>(r) * static_cast<std::size_t>(plate.width)];
  });
}

void OnNextModal(const std::function<void(QWidget*)>& act) {
  auto* timer = new QTimer(qApp);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    QWidget* w = QApplication::activeModalWidget();
    if (w == nullptr || !w->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(w);
  });
  timer->start();
}

}  // namespace uitest
