#include "roots/ui/result_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "database/kw_log.h"

ResultBox::ResultBox(QWidget* parent) : QDialog(parent), m_path(new QLineEdit(this)) {
  setObjectName("ResultBox");
  setWindowTitle("Result folder path");
  m_path->setObjectName("path");
  m_path->setReadOnly(true);
  m_path->setFixedWidth(250);
  QPalette p = m_path->palette();
  p.setColor(QPalette::Base, QColor(224, 238, 224));
  m_path->setPalette(p);
  auto* change = new QPushButton("Change", this);
  change->setObjectName("change");
  change->setAutoDefault(false);
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel("Result folder path : ", this));
  row->addWidget(m_path);
  row->addWidget(change);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  connect(change, &QPushButton::clicked, this, &ResultBox::change);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  showFolder(QString::fromStdString(KW_Log::Result_Folder_Path().value_or(std::string())));
}

void ResultBox::showFolder(const QString& folder) {
  m_folder = folder;
  m_path->setText(m_path->fontMetrics().elidedText(folder, Qt::ElideMiddle, 240));
  m_path->setToolTip(folder);
}

void ResultBox::change() {
  showFolder(QString::fromStdString(KW_Log::Change_Result_Folder().value_or(std::string())));
}
