#include "desktop/analysis_dialogs.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QVBoxLayout>

#include "desktop/step_dialogs.h"
#include "roots/analysis_dialog_models.h"

namespace {

QString text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

QPushButton* button(const QString& label, const char* name, QWidget* parent) {
  auto* b = new QPushButton(label, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

QLineEdit* edit(const char* name, QWidget* parent) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setMaxLength(static_cast<int>(MyBoxInfoGeneral::kMaxText));
  return e;
}

QComboBox* list(const char* name, const std::vector<std::string>& entries, QWidget* parent) {
  auto* c = new QComboBox(parent);
  c->setObjectName(name);
  c->setEditable(true);
  c->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& e : entries) c->addItem(QString::fromStdString(e));
  c->model()->sort(0);
  c->setCurrentIndex(-1);
  c->setMinimumWidth(200);
  return c;
}

}  // namespace

// ---------------------------------------------------------------------------

IsARootDialog::IsARootDialog(MyBoxIsARoot& box, QWidget* parent) : QDialog(parent) {
  setObjectName("MyBoxIsARoot");
  setWindowTitle(text(MyBoxIsARoot::kCaption));
  int w = box.dialogWidth();
  int h = box.dialogHeight();
  QSize shown(box.pictureWidth(), box.pictureHeight());
  // A plant taller or wider than the screen is shown shrunk, and the dialog
  // moves in from its place as far as needed, so that the buttons stay reachable.
  QPoint place(MyBoxIsARoot::kLeft, MyBoxIsARoot::kTop);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    const QSize limit(std::max(area.width() - 60, 182), std::max(area.height() - 140, 100));
    if (shown.width() > limit.width() || shown.height() > limit.height()) {
      shown.scale(limit, Qt::KeepAspectRatio);
      w = MyBoxIsARoot::DialogWidth(shown.width());
      h = MyBoxIsARoot::DialogHeight(shown.height());
    }
    place.setX(std::max(area.left(), std::min(place.x(), area.right() - w)));
    place.setY(std::max(area.top(), std::min(place.y(), area.bottom() - h - 40)));
  }
  auto* picture = new QLabel(this);
  picture->setObjectName("picture");
  const QImage image = PictureImage(box.picture(), box.pictureWidth(), box.pictureHeight());
  if (!image.isNull()) {
    picture->setPixmap(QPixmap::fromImage(
        image.scaled(shown.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
  }
  picture->setAlignment(Qt::AlignCenter);
  // The picture holds the focus: Enter and Space press no button.
  picture->setFocusPolicy(Qt::StrongFocus);
  auto* progress = new QLabel(QString("plant %1 of %2").arg(box.index).arg(box.count), this);
  progress->setObjectName("progress");
  progress->setAlignment(Qt::AlignCenter);
  auto* yes = button("Yes", "yes", this);
  auto* no = button("No", "no", this);
  auto* all = button("Yes to all", "yesToAll", this);
  auto* stop = button("Stop", "stop", this);
  auto* row = new QHBoxLayout;
  row->addStretch();
  for (QPushButton* b : {yes, no, all, stop}) row->addWidget(b);
  row->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(10, 10, 10, 10);
  layout->addWidget(progress);
  layout->addWidget(picture, 1);
  layout->addLayout(row);
  move(place);
  // Room for the four buttons and the line above the picture.
  setFixedSize(std::max(w, 360), h + 24);
  picture->setFocus();
  const auto answer = [this, &box](FRONTEND::Answer a, MyBoxIsARoot::Rest rest) {
    m_answer = a;
    box.rest = rest;
    done(a == FRONTEND::Answer::No ? QDialog::Rejected : QDialog::Accepted);
  };
  connect(yes, &QPushButton::clicked, this,
          [=] { answer(FRONTEND::Answer::Yes, MyBoxIsARoot::Rest::AskNext); });
  connect(no, &QPushButton::clicked, this,
          [=] { answer(FRONTEND::Answer::No, MyBoxIsARoot::Rest::AskNext); });
  connect(all, &QPushButton::clicked, this,
          [=] { answer(FRONTEND::Answer::Yes, MyBoxIsARoot::Rest::AllYes); });
  connect(stop, &QPushButton::clicked, this,
          [=] { answer(FRONTEND::Answer::Cancel, MyBoxIsARoot::Rest::Stop); });
}

// ---------------------------------------------------------------------------

InfoGeneralDialog::InfoGeneralDialog(MyBoxInfoGeneral& box, FRONTEND::Frontend& frontend, QWidget* parent)
    : QDialog(parent),
      m_box(box),
      m_user(edit("user", this)),
      m_experiment(edit("experiment", this)),
      m_plate(edit("box", this)),
      m_genotype(nullptr),
      m_media(nullptr),
      m_age(edit("age", this)),
      m_resolution(edit("resolution", this)) {
  setObjectName("MyBoxInfoGeneral");
  setWindowTitle(text(MyBoxInfoGeneral::kCaption));
  box.open(frontend);
  m_genotype = list("genotype", box.genotypeList(), this);
  m_media = list("media", box.mediaList(), this);
  m_user->setText(QString::fromStdString(box.user));
  m_experiment->setText(QString::fromStdString(box.experiment));
  m_plate->setText(QString::fromStdString(box.box));
  m_genotype->setEditText(QString::fromStdString(box.genotype));
  m_media->setEditText(QString::fromStdString(box.media));
  const auto* digits = new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this);
  m_age->setValidator(digits);
  m_resolution->setValidator(digits);
  m_age->setText(QString::fromStdString(MyBoxInfoGeneral::DigitsOnly(box.age)));
  m_resolution->setText(QString::fromStdString(MyBoxInfoGeneral::DigitsOnly(box.resolution)));
  m_resolution->setPlaceholderText("dots per inch, e.g. 300");

  auto* form = new QFormLayout;
  form->addRow("User name:", m_user);
  form->addRow("Experiment name:", m_experiment);
  form->addRow("Box name:", m_plate);
  form->addRow("Genotype:", m_genotype);
  form->addRow("Media:", m_media);
  form->addRow("Days after germination", m_age);
  form->addRow("Picture Resolution", m_resolution);
  auto* ok = button("OK", "ok", this);
  ok->setDefault(true);
  auto* cancel = button("Cancel", "cancel", this);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(ok);
  row->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(row);
  // The lists are made after the edits: Tab follows the form, not the order of making.
  QWidget* const order[] = {m_user, m_experiment, m_plate, m_genotype, m_media,
                            m_age,  m_resolution, ok,      cancel};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
  connect(ok, &QPushButton::clicked, this, &InfoGeneralDialog::okPressed);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void InfoGeneralDialog::okPressed() {
  m_box.user = m_user->text().toStdString();
  m_box.experiment = m_experiment->text().toStdString();
  m_box.box = m_plate->text().toStdString();
  m_box.genotype = m_genotype->currentText().toStdString();
  m_box.media = m_media->currentText().toStdString();
  m_box.age = MyBoxInfoGeneral::DigitsOnly(m_age->text().toStdString());
  m_box.resolution = MyBoxInfoGeneral::DigitsOnly(m_resolution->text().toStdString());
  m_box.ok();
  accept();
}

// ---------------------------------------------------------------------------

ResultFileExistDialog::ResultFileExistDialog(ResultFileExistBox& box, QWidget* parent)
    : QDialog(parent), m_box(box), m_name(new QLineEdit(this)) {
  setObjectName("ResultFileExistBox");
  setWindowTitle(text(ResultFileExistBox::kCaption));
  m_name->setObjectName("name");
  m_name->setMaxLength(static_cast<int>(ResultFileExistBox::kMaxResultName));
  m_name->setText(QString::fromStdString(box.proposedName()));
  m_name->setMinimumWidth(260);
  auto* ok = button("OK", "ok", this);
  ok->setDefault(true);
  auto* overwrite = button("Overwrite", "overwrite", this);
  auto* cancel = button("Cancel", "cancel", this);
  auto* name = new QHBoxLayout;
  name->addWidget(new QLabel(text(ResultFileExistBox::kSaveAsLabel), this));
  name->addWidget(m_name, 1);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(ok);
  row->addWidget(overwrite);
  row->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(text(ResultFileExistBox::kExistsLabel), this));
  layout->addLayout(name);
  layout->addLayout(row);
  connect(ok, &QPushButton::clicked, this, [this] {
    m_box.edited = m_name->text().toStdString();
    m_box.ok();
    m_answer = FRONTEND::Answer::Yes;
    accept();
  });
  connect(overwrite, &QPushButton::clicked, this, [this] {
    m_box.overwrite();
    m_answer = FRONTEND::Answer::Yes;
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, [this] {
    m_answer = FRONTEND::Answer::Cancel;
    reject();
  });
}

// ---------------------------------------------------------------------------

ResultFolderDialog::ResultFolderDialog(ResultBox& box, FRONTEND::Frontend& frontend, QWidget* parent)
    : QDialog(parent), m_box(box), m_frontend(frontend), m_path(new QLineEdit(this)) {
  setObjectName("ResultBox");
  setWindowTitle(text(ResultBox::kCaption));
  m_path->setObjectName("path");
  m_path->setReadOnly(true);
  m_path->setFixedWidth(250);
  QPalette p = m_path->palette();
  p.setColor(QPalette::Base, QColor(QRgb(ResultBox::kFieldColour)));
  m_path->setPalette(p);
  auto* change = button("Change", "change", this);
  auto* ok = button("OK", "ok", this);
  ok->setDefault(true);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(text(ResultBox::kLabel), this));
  row->addWidget(m_path);
  row->addWidget(change);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  connect(change, &QPushButton::clicked, this, [this] {
    m_box.change(m_frontend);
    showFolder();
  });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  box.open(frontend);
  showFolder();
}

void ResultFolderDialog::showFolder() {
  const QString folder = QString::fromStdString(m_box.folder());
  m_path->setText(m_path->fontMetrics().elidedText(folder, Qt::ElideMiddle, 240));
  m_path->setToolTip(folder);
}
