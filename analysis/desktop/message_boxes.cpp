#include "desktop/message_boxes.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTreeView>
#include <QVBoxLayout>

#include "desktop/analysis_dialogs.h"
#include "desktop/icons.h"
#include "desktop/password_box.h"
#include "desktop/query_sheet.h"
#include "desktop/step_dialogs.h"
#include "image/retouch_model.h"
#include "image/step_dialog_models.h"

namespace {

QString fromStd(const std::string& s) { return QString::fromStdString(s); }

QPushButton* boxButton(const QString& text, const char* name, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setMinimumWidth(80);
  return b;
}

}  // namespace

KW_MsgBox::KW_MsgBox(Buttons buttons, const QString& title, const QString& text, QWidget* parent)
    : QDialog(parent), m_buttons(buttons), m_text(new QLabel(text.left(int(FRONTEND::kMaxMessage)), this)) {
  setObjectName("messageBox");
  setWindowTitle(title.isEmpty() ? QString("Message") : title.left(int(FRONTEND::kMaxTitle)));
  setWindowIcon(MorvaneIcon());
  m_text->setObjectName("message");
  m_text->setTextFormat(Qt::PlainText);
  m_text->setWordWrap(text.size() > 80);
  m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_text->setMinimumWidth(std::min(m_text->sizeHint().width(), 480));
  auto* icon = new QLabel(this);
  icon->setObjectName("icon");
  icon->setPixmap(MorvaneIcon().pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop);

  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addSpacing(10);
  top->addWidget(m_text, 1);
  auto* row = new QHBoxLayout;
  row->addStretch();
  auto add = [&](const QString& label, const char* name, int code) {
    QPushButton* b = boxButton(label, name, this);
    row->addWidget(b);
    connect(b, &QPushButton::clicked, this, [this, code] { done(code); });
    return b;
  };
  switch (buttons) {
    case Buttons::Ok:
      add("OK", "ok", kYes)->setDefault(true);
      break;
    case Buttons::YesNo:
      add("&Yes", "yes", kYes)->setDefault(true);
      add("&No", "no", kNo);
      break;
    case Buttons::OkCancel:
      add("OK", "ok", kYes)->setDefault(true);
      add("Cancel", "cancel", kCancel);
      break;
    case Buttons::YesNoCancel:
      add("&Yes", "yes", kYes)->setDefault(true);
      add("&No", "no", kNo);
      add("Cancel", "cancel", kCancel);
      break;
  }
  row->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  layout->addLayout(top);
  layout->addSpacing(12);
  layout->addLayout(row);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString KW_MsgBox::text() const { return m_text->text(); }

void KW_MsgBox::showEvent(QShowEvent* event) {
  // The beep is a user setting, off unless turned on; the yes/no box never beeps.
  if (m_buttons != Buttons::YesNo && QSettings().value("Settings/Beep", false).toBool()) QApplication::beep();
  QDialog::showEvent(event);
}

// ---------------------------------------------------------------------------

KW_PthBox::KW_PthBox(const QString& title, const QString& startFolder, QWidget* parent)
    : QDialog(parent),
      m_model(new QFileSystemModel(this)),
      m_tree(new QTreeView(this)),
      m_path(new QLabel(this)),
      m_ok(boxButton("OK", "ok", this)) {
  setObjectName("KW_PthBox");
  setWindowTitle(title);
  m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  m_model->setRootPath("/");
  m_tree->setObjectName("folders");
  m_tree->setModel(m_model);
  for (int c = 1; c < m_model->columnCount(); ++c) m_tree->hideColumn(c);
  m_tree->header()->hide();
  m_tree->setStyleSheet("QTreeView { background-color: rgb(255, 255, 192); }");
  m_path->setObjectName("path");
  m_path->setWordWrap(true);
  m_path->setMinimumHeight(m_path->fontMetrics().height() * 2);
  auto* cancel = boxButton("Cancel", "cancel", this);
  m_ok->setDefault(true);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(m_ok);
  row->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_tree, 1);
  layout->addWidget(m_path);
  layout->addLayout(row);
  resize(420, 460);
  connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this, &KW_PthBox::selectionChanged);
  connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  if (!startFolder.isEmpty() && QDir(startFolder).exists()) selectFolder(startFolder);
  selectionChanged();
}

QString KW_PthBox::path() const {
  const QModelIndex index = m_tree->currentIndex();
  return index.isValid() ? m_model->filePath(index) : QString();
}

void KW_PthBox::selectFolder(const QString& folder) {
  const QModelIndex index = m_model->index(QDir(folder).absolutePath());
  if (!index.isValid()) return;
  m_tree->setCurrentIndex(index);
  m_tree->scrollTo(index);
  m_tree->expand(index);
}

void KW_PthBox::selectionChanged() {
  const QString p = path();
  m_path->setText(p);
  m_ok->setEnabled(!p.isEmpty());
}

FRONTEND::FolderChoice KW_PthBox::choice(int execResult) const {
  const QString p = path();
  if (execResult != QDialog::Accepted || p.isEmpty()) return {};
  return {1, p.toStdString()};
}

// ---------------------------------------------------------------------------

QWidget* QtFrontend::parentWindow() {
  QWidget* w = QApplication::activeModalWidget();
  if (w == nullptr) w = QApplication::activeWindow();
  return w;
}

void QtFrontend::showMessage(const std::string& title, const std::string& text) {
  QMesajBOX box(fromStd(title), fromStd(text), parentWindow());
  box.exec();
}

bool QtFrontend::askYesNo(const std::string& title, const std::string& text) {
  QYesNoBOX box(fromStd(title), fromStd(text), parentWindow());
  return box.exec() == KW_MsgBox::kYes;
}

bool QtFrontend::askOkCancel(const std::string& title, const std::string& text) {
  QExtMbBOX box(fromStd(title), fromStd(text), parentWindow());
  return box.exec() == KW_MsgBox::kYes;
}

FRONTEND::Answer QtFrontend::askYesNoCancel(const std::string& title, const std::string& text) {
  QYNcanBOX box(fromStd(title), fromStd(text), parentWindow());
  switch (box.exec()) {
    case KW_MsgBox::kYes:
      return FRONTEND::Answer::Yes;
    case KW_MsgBox::kNo:
      return FRONTEND::Answer::No;
    default:
      return FRONTEND::Answer::Cancel;
  }
}

FRONTEND::FolderChoice QtFrontend::chooseFolder(const std::string& title, const std::string& startFolder) {
  KW_PthBox box(fromStd(title), fromStd(startFolder), parentWindow());
  return box.choice(box.exec());
}

bool QtFrontend::runThresholdDialog(ThresholdModel& model) {
  MyBWTBBox box(model, parentWindow());
  return box.exec() == QDialog::Accepted;
}

bool QtFrontend::runErosionMethodDialog(ErosionMethodModel& model) {
  // A filter run from the dialog shows this window's wait cursor.
  model.showOn(*this);
  CleaningBox box(model, parentWindow());
  return box.exec() == QDialog::Accepted;
}

bool QtFrontend::runRetouchDialog(RetouchModel& model) {
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect desktop = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  MyBoxDrawLine box(model, desktop.width(), desktop.height(), parentWindow());
  return box.exec() == QDialog::Accepted;
}

void QtFrontend::setWaitCursor(bool on) {
  if (on) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QGuiApplication::restoreOverrideCursor();
  }
}

bool QtFrontend::passwordSql(PasswordSQL& dialog) {
  PasswordBox box(dialog, parentWindow());
  return box.exec() == QDialog::Accepted;
}

FRONTEND::Answer QtFrontend::isARoot(MyBoxIsARoot& box) {
  IsARootDialog dialog(box, parentWindow());
  dialog.exec();
  return dialog.answer();
}

bool QtFrontend::infoGeneral(MyBoxInfoGeneral& box) {
  InfoGeneralDialog dialog(box, *this, parentWindow());
  return dialog.exec() == QDialog::Accepted;
}

FRONTEND::Answer QtFrontend::resultFileExists(ResultFileExistBox& box) {
  ResultFileExistDialog dialog(box, parentWindow());
  dialog.exec();
  return dialog.answer();
}

bool QtFrontend::resultFolder(ResultBox& box) {
  ResultFolderDialog dialog(box, *this, parentWindow());
  dialog.exec();
  return true;
}

FRONTEND::SaveFileChoice QtFrontend::chooseSaveFile(const std::vector<FRONTEND::FileFilter>& filters,
                                                    int selected, std::size_t maxName) {
  QStringList names;
  for (const FRONTEND::FileFilter& f : filters)
    names << QString("%1 (%2)").arg(QString::fromStdString(f.name), QString::fromStdString(f.pattern));
  QFileDialog dialog(parentWindow(), "Save As");
  dialog.setObjectName("saveFile");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters(names);
  if (selected >= 0 && selected < names.size()) dialog.selectNameFilter(names[selected]);
  for (;;) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const QString path = dialog.selectedFiles().first();
    if (static_cast<std::size_t>(path.toUtf8().size()) <= maxName) {
      return {1, path.toStdString(), static_cast<int>(names.indexOf(dialog.selectedNameFilter()))};
    }
    // A name the program could not hold whole is asked for again rather than cut.
    showMessage(std::string(FRONTEND::kAppTitle),
                QString("The file name is too long (at most %1 characters).").arg(maxName).toStdString());
  }
}

bool QtFrontend::runQuerySheet(BoxQueryPRS& sheet) {
  QuerySheetDialog dialog(sheet, parentWindow());
  return dialog.exec() == QDialog::Accepted;
}

FRONTEND::Answer QtFrontend::ask(const FRONTEND::DialogRequest& request) {
  using FRONTEND::Answer;
  const auto answer = [](bool ok) { return ok ? Answer::Yes : Answer::Cancel; };
  return std::visit(
      FRONTEND::Overloaded{[&](ThresholdModel* model) { return answer(runThresholdDialog(*model)); },
                           [&](ErosionMethodModel* model) { return answer(runErosionMethodDialog(*model)); },
                           [&](RetouchModel* model) { return answer(runRetouchDialog(*model)); },
                           [&](PasswordSQL* dialog) { return answer(passwordSql(*dialog)); },
                           [&](FRONTEND::SaveFileRequest* save) {
                             save->choice = chooseSaveFile(save->filters, save->selected, save->maxName);
                             return answer(save->choice.status == 1);
                           },
                           [&](BoxQueryPRS* sheet) { return answer(runQuerySheet(*sheet)); },
                           [&](MyBoxIsARoot* box) { return isARoot(*box); },
                           [&](MyBoxInfoGeneral* box) { return answer(infoGeneral(*box)); },
                           [&](ResultFileExistBox* box) { return resultFileExists(*box); },
                           [&](ResultBox* box) { return answer(resultFolder(*box)); }},
      request);
}
