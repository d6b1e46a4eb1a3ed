// The built-in editor of a configuration template: the file as it is,
// saved whole through a temporary file renamed over it, and a question
// before unsaved changes are thrown away.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "manager/app/engine.h"

class QPlainTextEdit;
class QPushButton;

namespace tessary::ui {

class TextEditor : public QDialog {
  Q_OBJECT

 public:
  // ask puts a Yes/No question (true for Yes); tell shows an error.
  using Ask = std::function<bool(const QString& caption, const QString& question)>;
  using Tell = std::function<void(const QString& caption, const QString& message)>;

  TextEditor(ManagerEngine& engine, std::string path, Ask ask, Tell tell, QWidget* parent = nullptr);

  // Reads the file into the editor; false, with the reason told, when it
  // cannot be read.
  bool load();
  // Writes the text to the file; false, with the reason told, when it
  // could not (the file is then as it was).
  bool save();
  bool modified() const;
  const std::string& path() const { return m_path; }

  // Closing (the button, Escape, the window's frame) with unsaved changes
  // asks first; "No" keeps the editor open.
  void reject() override;

 private:
  bool mayDiscard();
  QString text(int id) const { return QString::fromUtf8(m_engine.LoadText(id)); }

  ManagerEngine& m_engine;
  std::string m_path;
  Ask m_ask;
  Tell m_tell;
  QPlainTextEdit* m_text;
  QPushButton* m_save;
  QPushButton* m_close;
};

}  // namespace tessary::ui
