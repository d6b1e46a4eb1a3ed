// The about box: the version, the people behind the program, the licence
// and the version check.
#pragma once

#include <QDialog>

#include "manager/app/engine.h"

namespace tessary::ui {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  AboutDialog(ManagerEngine& engine, QWidget* parent = nullptr);

 signals:
  void checkVersionRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  ManagerEngine& m_engine;
  QPoint m_dragFrom;
};

}  // namespace tessary::ui
