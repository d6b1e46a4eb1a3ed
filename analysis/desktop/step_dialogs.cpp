#include "desktop/step_dialogs.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include "image/retouch_model.h"
#include "image/step_dialog_models.h"

namespace {

// The display boxes of the dialogs: pale green, read-only.
QLabel* displayBox(const QString& text, const char* name, QWidget* parent) {
  auto* box = new QLabel(text, parent);
  box->setObjectName(name);
  box->setFrameShape(QFrame::StyledPanel);
  box->setAutoFillBackground(true);
  QPalette p = box->palette();
  p.setColor(QPalette::Window, QColor(224, 238, 224));
  box->setPalette(p);
  box->setMinimumWidth(60);
  return box;
}

QPushButton* button(const QString& text, const char* name, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

QImage PictureImage(const std::vector<std::uint32_t>& topDown, int width, int height) {
  if (width <= 0 || height <= 0 ||
      topDown.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    return {};
  }
  QImage image(width, height, QImage::Format_RGB32);
  for (int row = 0; row < height; ++row) {
    const std::uint32_t* src =
        topDown.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
    auto* dst = reinterpret_cast<QRgb*>(image.scanLine(row));
    for (int col = 0; col < width; ++col) dst[col] = 0xFF000000U | src[col];
  }
  return image;
}

// ---------------------------------------------------------------------------
// Threshold dialog

MyBWTBBox::MyBWTBBox(ThresholdModel& model, QWidget* parent)
    : QDialog(parent),
      m_model(model),
      m_edit(new QLineEdit(this)),
      m_slider(new QSlider(Qt::Horizontal, this)) {
  setObjectName("MyBWTBBox");
  setWindowTitle("Black and White Box");
  m_edit->setObjectName("threshold");
  m_slider->setObjectName("thresholdSlider");
  m_slider->setRange(ThresholdModel::kMinimum, ThresholdModel::kMaximum);
  m_slider->setTickPosition(QSlider::TicksBelow);
  m_slider->setTickInterval(ThresholdModel::kTickEvery);
  m_slider->setPageStep(ThresholdModel::kPageSize);
  m_slider->setMinimumWidth(240);
  // The model typed the opening value and previewed it already.
  m_edit->setText(QString::fromStdString(model.text()));
  m_slider->setValue(model.sliderPosition());

  auto* ok = button("OK", "ok", this);
  auto* cancel = button("Cancel", "cancel", this);
  ok->setDefault(true);
  auto* row = new QHBoxLayout;
  auto* label = new QLabel("Threshold ", this);
  label->setBuddy(m_edit);
  row->addWidget(label);
  row->addWidget(m_edit);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(m_slider);
  layout->addLayout(buttons);

  connect(m_edit, &QLineEdit::textChanged, this, &MyBWTBBox::textEdited);
  connect(m_edit, &QLineEdit::editingFinished, this, &MyBWTBBox::editingFinished);
  connect(m_slider, &QSlider::sliderMoved, this, &MyBWTBBox::sliderMoved);
  connect(m_slider, &QSlider::sliderReleased, this, [this] { sliderMoved(m_slider->value()); });
  connect(m_slider, &QSlider::actionTriggered, this, &MyBWTBBox::sliderAction);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &MyBWTBBox::reject);
}

void MyBWTBBox::textEdited(const QString& text) {
  m_model.setText(text.toStdString());
  const QSignalBlocker block(m_slider);
  m_slider->setValue(m_model.sliderPosition());
}

void MyBWTBBox::sliderMoved(int position) {
  // The edit box receives the position, which previews it.
  m_edit->setText(QString::number(position));
}

void MyBWTBBox::sliderAction(int action) {
  // Every move of the keys or of a click beside the thumb reaches the edit
  // box, so that the box and the picture show the thumb's value.
  if (action != QAbstractSlider::SliderNoAction && action != QAbstractSlider::SliderMove)
    sliderMoved(m_slider->sliderPosition());
}

void MyBWTBBox::editingFinished() {
  // A value out of range is applied clamped: the box then shows what is applied.
  const QString applied = QString::number(m_model.threshold());
  if (m_edit->text() == applied) return;
  m_edit->setText(applied);
}

void MyBWTBBox::reject() {
  m_model.cancel();
  QDialog::reject();
}

// ---------------------------------------------------------------------------
// Erosion-method dialog

CleaningBox::CleaningBox(ErosionMethodModel& model, QWidget* parent)
    : QDialog(parent), m_model(model), m_list(new QComboBox(this)) {
  setObjectName("CleaningBox");
  setWindowTitle("Choice of Erosion Method");
  m_list->setObjectName("method");
  for (const std::string& entry : model.entries()) m_list->addItem(QString::fromStdString(entry));
  m_list->setCurrentIndex(model.selected());

  auto* ok = button("OK", "ok", this);
  auto* cancel = button("Cancel", "cancel", this);
  ok->setDefault(true);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel("Erosion Method : ", this));
  row->addWidget(m_list, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addLayout(buttons);

  connect(m_list, &QComboBox::currentIndexChanged, this, &CleaningBox::selectionChanged);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &CleaningBox::reject);
}

void CleaningBox::selectionChanged(int index) {
  if (index >= 0) m_model.select(index);
}

void CleaningBox::reject() {
  m_model.cancel();
  QDialog::reject();
}

// ---------------------------------------------------------------------------
// Re-touch editor

RetouchPicture::RetouchPicture(RetouchModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
  setObjectName("picture");
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  pictureChanged();
}

void RetouchPicture::pictureChanged() {
  m_image = PictureImage(m_model.picture(), m_model.width(), m_model.height());
  update();
}

void RetouchPicture::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (m_image.isNull()) return;
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const QRect source(m_model.xOffset(), m_model.yOffset(), m_model.shownWidth(), m_model.shownHeight());
  painter.drawImage(rect(), m_image, source);
  if (m_pointer.x() >= 0) {
    // The brush outline: its lower-right corner at the pointer, m x s pixels wide.
    const int side = m_model.magnification() * m_model.brush();
    const int x0 = std::max(m_pointer.x() - side, 0);
    const int y0 = std::max(m_pointer.y() - side, 0);
    painter.setPen(QPen(QColor(255, 128, 0), 1));
    painter.drawRect(QRect(QPoint(x0, y0), m_pointer));
  }
}

void RetouchPicture::paintWithButtons(QMouseEvent* event, bool press) {
  const QPoint p = event->position().toPoint();
  const Qt::MouseButtons held = press ? event->button() : event->buttons();
  const bool plain = (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) == 0 || press;
  if (held == Qt::LeftButton && plain) {
    m_model.paintAt(p.x(), p.y(), width(), height(), true);
  } else if (held == Qt::RightButton && plain) {
    m_model.paintAt(p.x(), p.y(), width(), height(), false);
  } else {
    return;
  }
  m_image = PictureImage(m_model.picture(), m_model.width(), m_model.height());
}

void RetouchPicture::mousePressEvent(QMouseEvent* event) {
  paintWithButtons(event, true);
  update();
}

void RetouchPicture::mouseMoveEvent(QMouseEvent* event) {
  m_pointer = event->position().toPoint();
  paintWithButtons(event, false);
  update();
}

void RetouchPicture::leaveEvent(QEvent* /*event*/) {
  m_pointer = {-1, -1};
  update();
}

MyBoxDrawLine::MyBoxDrawLine(RetouchModel& model, int desktopWidth, int desktopHeight, QWidget* parent)
    : QDialog(parent),
      m_model(model),
      m_slider(new QSlider(Qt::Horizontal, this)),
      m_size(displayBox(QString::number(model.brush()), "brushSize", this)),
      m_picture(new RetouchPicture(model, this)) {
  setObjectName("MyBoxDrawLine");
  setWindowTitle("Draw line");
  m_slider->setObjectName("brushSlider");
  m_slider->setRange(RetouchModel::kBrushMinimum, RetouchModel::kBrushMaximum);
  m_slider->setValue(model.brush());
  m_slider->setTickPosition(QSlider::TicksBelow);
  m_slider->setTickInterval(1);
  m_slider->setPageStep(1);

  const RetouchGeometry g =
      ComputeRetouchGeometry(model.width(), model.height(), desktopWidth, desktopHeight);
  m_picture->setFixedSize(std::max(g.pictureWidth, 1), std::max(g.pictureHeight, 1));

  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel("Size Brush:", this));
  controls->addWidget(m_size);
  controls->addWidget(m_slider, 1);
  auto* group = new QButtonGroup(this);
  const std::pair<const char*, int> mags[] = {{"x1", 1}, {"x2", 2}, {"x4", 4}, {"x8", 8}};
  for (const auto& [name, m] : mags) {
    auto* radio = new QRadioButton(m == 1 ? QString("Magnification:  x1") : QString(name), this);
    radio->setObjectName(name);
    radio->setChecked(m == 1);
    group->addButton(radio, m);
    controls->addWidget(radio);
  }
  auto* up = button("Up", "up", this);
  auto* down = button("Down", "down", this);
  auto* left = button("Left", "left", this);
  auto* right = button("Right", "right", this);
  auto* ok = button("OK", "ok", this);
  auto* cancel = button("Cancel", "cancel", this);
  auto* moves = new QHBoxLayout;
  for (QPushButton* b : {up, down, left, right}) moves->addWidget(b);
  moves->addStretch();
  moves->addWidget(ok);
  moves->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(5, 5, 5, 5);
  layout->addLayout(controls);
  layout->addWidget(m_picture, 0, Qt::AlignLeft | Qt::AlignTop);
  layout->addLayout(moves);
  layout->addStretch();

  move(10, 10);
  resize(g.dialogWidth, g.dialogHeight);

  connect(m_slider, &QSlider::sliderMoved, this, [this](int v) {
    m_model.setBrush(v);
    m_size->setText(QString::number(m_model.brush()));
  });
  connect(m_slider, &QSlider::sliderReleased, this, [this] {
    m_model.setBrush(m_slider->value());
    m_size->setText(QString::number(m_model.brush()));
  });
  connect(m_slider, &QSlider::actionTriggered, this, &MyBoxDrawLine::brushAction);
  connect(group, &QButtonGroup::idClicked, this, [this](int m) {
    m_model.setMagnification(m);
    m_picture->update();
  });
  connect(up, &QPushButton::clicked, this, [this] { moveShown(&RetouchModel::up); });
  connect(down, &QPushButton::clicked, this, [this] { moveShown(&RetouchModel::down); });
  connect(left, &QPushButton::clicked, this, [this] { moveShown(&RetouchModel::left); });
  connect(right, &QPushButton::clicked, this, [this] { moveShown(&RetouchModel::right); });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void MyBoxDrawLine::brushAction(int action) {
  if (action != QAbstractSlider::SliderPageStepSub) return;
  m_model.setBrush(m_slider->sliderPosition());
  m_size->setText(QString::number(m_model.brush()));
}

void MyBoxDrawLine::moveShown(void (RetouchModel::*step)(bool)) {
  const bool ctrl = (QGuiApplication::keyboardModifiers() & Qt::ControlModifier) != 0;
  (m_model.*step)(ctrl);
  m_picture->update();
}

// ---------------------------------------------------------------------------
// Last calibration parameters

CalibParamBox::CalibParamBox(const LastCalibParams& params, QWidget* parent) : QDialog(parent) {
  setObjectName("CalibParamBox");
  setWindowTitle("Last calibration parameters");
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel("Black and white threshold : ", this), 0, 0);
  grid->addWidget(displayBox(QString::number(params.threshold), "threshold", this), 0, 1);
  grid->addWidget(new QLabel("Erosion method : ", this), 1, 0);
  grid->addWidget(displayBox(QString::fromStdString(params.method), "method", this), 1, 1);
  auto* ok = button("OK", "ok", this);
  ok->setDefault(true);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
