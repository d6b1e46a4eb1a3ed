#include "desktop/password_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "database/password_sql.h"

PasswordBox::PasswordBox(PasswordSQL& model, QWidget* parent)
    : QDialog(parent), m_model(model), m_field(new QLineEdit(this)) {
  setObjectName("PasswordSQL");
  setWindowTitle(QString::fromUtf8(PasswordSQL::kTitle.data(), static_cast<int>(PasswordSQL::kTitle.size())));
  m_field->setObjectName("password");
  m_field->setEchoMode(QLineEdit::Password);
  m_field->setMaxLength(static_cast<int>(PasswordSQL::kMaxPassword));
  m_field->setText(QString::fromStdString(model.field()));
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("cancel");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(
      QString::fromUtf8(PasswordSQL::kPrompt.data(), static_cast<int>(PasswordSQL::kPrompt.size())), this));
  layout->addWidget(m_field);
  layout->addWidget(new QLabel(
      QString::fromUtf8(PasswordSQL::kHint.data(), static_cast<int>(PasswordSQL::kHint.size())), this));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(m_field, &QLineEdit::textChanged, this,
          [this](const QString& t) { m_model.type(t.toStdString()); });
  connect(ok, &QPushButton::clicked, this, [this] {
    m_model.type(m_field->text().toStdString());
    m_model.pressOk();
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, [this] {
    m_model.pressCancel();
    reject();
  });
}
