#include "manager/ui/text_editor.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <cstring>
#include <utility>

#include "manager/app/text_file.h"
#include "manager/ui/icons.h"
#include "manager/ui/qt_text.h"

namespace tessary::ui {

TextEditor::TextEditor(ManagerEngine& engine, std::string path, Ask ask, Tell tell, QWidget* parent)
    : QDialog(parent),
      m_engine(engine),
      m_path(std::move(path)),
      m_ask(std::move(ask)),
      m_tell(std::move(tell)) {
  setObjectName("textEditor");
  setWindowIcon(TrayIconPicture(142));
  setWindowTitle(QText(m_path));
  m_text = new QPlainTextEdit(this);
  m_text->setObjectName("editorText");
  m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  m_save = new QPushButton(text(32909), this);
  m_save->setObjectName("save");
  m_save->setEnabled(false);
  m_close = new QPushButton(text(32910), this);
  m_close->setObjectName("close");

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_save);
  buttons->addWidget(m_close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_text, 1);
  layout->addLayout(buttons);
  resize(760, 560);

  connect(m_text->document(), &QTextDocument::modificationChanged, m_save, &QPushButton::setEnabled);
  connect(m_save, &QPushButton::clicked, this, &TextEditor::save);
  connect(m_close, &QPushButton::clicked, this, &TextEditor::reject);
  auto* saveKey = new QShortcut(QKeySequence::Save, this);
  connect(saveKey, &QShortcut::activated, this, &TextEditor::save);
}

bool TextEditor::load() {
  std::string bytes;
  const int err = ReadTextFile(m_path, bytes);
  if (err != 0) {
    m_tell(windowTitle(), text(32912).replace("%s", QText(m_path)) + ": " + QText(std::strerror(err)));
    return false;
  }
  m_text->setPlainText(QText(bytes));
  m_text->document()->setModified(false);
  return true;
}

bool TextEditor::save() {
  const QByteArray bytes = m_text->toPlainText().toUtf8();
  const int err =
      SaveTextFile(m_path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  if (err != 0) {
    m_tell(windowTitle(), text(32913).replace("%s", QText(m_path)) + ": " + QText(std::strerror(err)));
    return false;
  }
  m_text->document()->setModified(false);
  return true;
}

bool TextEditor::modified() const { return m_text->document()->isModified(); }

bool TextEditor::mayDiscard() {
  return !modified() || m_ask(windowTitle(), text(32911).replace("%s", QText(m_path)));
}

void TextEditor::reject() {
  if (mayDiscard()) QDialog::reject();
}

}  // namespace tessary::ui
