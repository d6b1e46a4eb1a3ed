// "Mysql Administrator Permission": the administrator password asked before
// the program's database account is set up. One masked field, "password".
#pragma once

#include <QDialog>

class PasswordSQL;
class QLineEdit;

class PasswordBox : public QDialog {
  Q_OBJECT

 public:
  explicit PasswordBox(PasswordSQL& model, QWidget* parent = nullptr);

 private:
  PasswordSQL& m_model;
  QLineEdit* m_field;
};
