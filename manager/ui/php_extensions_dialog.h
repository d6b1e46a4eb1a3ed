// The PHP extensions of the PHP template, switched on and off. The rules
// (the block, what may load, what Apply writes) are PhpExtensionsModel's.
#pragma once

#include <QDialog>

#include "manager/app/engine.h"
#include "manager/config/php_extensions.h"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tessary::ui {

class PhpExtensionsDialog : public QDialog {
  Q_OBJECT

 public:
  PhpExtensionsDialog(ManagerEngine& engine, const std::string& templatePath, QWidget* parent = nullptr);

  PhpExtensionsModel& model() { return m_model; }

 public slots:
  void refresh();
  void apply();

 private:
  void itemChanged(QListWidgetItem* item);
  void showDependencies();

  ManagerEngine& m_engine;
  PhpExtensionsModel m_model;
  std::string m_viewer;
  bool m_loading = false;
  QListWidget* m_list;
  QPushButton* m_apply;
  QPushButton* m_close;
  QPushButton* m_refresh;
  QPushButton* m_depends;
  QLabel* m_note;
};

}  // namespace tessary::ui
