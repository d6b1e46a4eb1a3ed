// "Result folder path": shows the folder the result files are written to
// ("path", shortened in the middle to 240 pixels) and lets the user choose
// another one ("change").
#pragma once

#include <QDialog>

class QLineEdit;

class ResultBox : public QDialog {
  Q_OBJECT

 public:
  // Reads the result folder, asking for one when none is set yet.
  explicit ResultBox(QWidget* parent = nullptr);

  // The full path shown (the field shows it shortened).
  QString folder() const { return m_folder; }

 private:
  void showFolder(const QString& folder);
  void change();

  QLineEdit* m_path;
  QString m_folder;
};
