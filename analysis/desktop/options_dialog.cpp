#include "desktop/options_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {

constexpr const char* kGroup = "Analysis";

QString text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

// A list of the names of values, in the order of the enumeration.
template <class E, std::size_t N>
QComboBox* choice(const char* name, const E (&values)[N], std::string_view (*nameOf)(E), E current,
                  QWidget* parent) {
  auto* c = new QComboBox(parent);
  c->setObjectName(name);
  for (const E v : values) {
    c->addItem(text(nameOf(v)));
    if (v == current) c->setCurrentIndex(c->count() - 1);
  }
  return c;
}

QDoubleSpinBox* number(const char* name, double low, double high, int decimals, double value,
                       QWidget* parent) {
  auto* s = new QDoubleSpinBox(parent);
  s->setObjectName(name);
  s->setRange(low, high);
  s->setDecimals(decimals);
  s->setValue(value);
  return s;
}

constexpr LengthMode kLengths[] = {LengthMode::Pixel, LengthMode::True};
constexpr Background kBackgrounds[] = {Background::Dark, Background::Light, Background::Auto};
constexpr Pipeline kPipelines[] = {Pipeline::Fixed, Pipeline::Adaptive};
constexpr PlateMode kPlates[] = {PlateMode::Find, PlateMode::Frame, PlateMode::None};

// The limits of the batch program's options.
constexpr double kMaxMinLateralCm = 100.0;
constexpr double kMinPlateHeightCm = 0.5;
constexpr double kMaxPlateHeightCm = 100.0;
constexpr double kMaxPixelsPerCm = 100000.0;

}  // namespace

AnalysisSettings LoadAnalysisOptions() {
  QSettings settings;
  settings.beginGroup(kGroup);
  AnalysisSettings o;
  const auto read = [&](const char* key) { return settings.value(key).toString().toStdString(); };
  o.lengths = ParseLengthMode(read("lengths")).value_or(o.lengths);
  o.background = ParseBackground(read("background")).value_or(o.background);
  o.pipeline = ParsePipeline(read("pipeline")).value_or(o.pipeline);
  o.plate = ParsePlateMode(read("plate")).value_or(o.plate);
  // A value out of range, as a hand-edited file may hold, gives the default.
  const auto inRange = [&](const char* key, double low, double high, double fallback) {
    bool ok = false;
    const double v = settings.value(key).toDouble(&ok);
    return ok && v >= low && v <= high ? v : fallback;
  };
  o.minLateralCm = inRange("minLateralCm", 0.0, kMaxMinLateralCm, o.minLateralCm);
  o.plateHeightCm = inRange("plateHeightCm", kMinPlateHeightCm, kMaxPlateHeightCm, o.plateHeightCm);
  o.pixelsPerCm = inRange("pixelsPerCm", 0.0, kMaxPixelsPerCm, o.pixelsPerCm);
  return o;
}

void SaveAnalysisOptions(const AnalysisSettings& options) {
  QSettings settings;
  settings.beginGroup(kGroup);
  settings.setValue("lengths", text(LengthModeName(options.lengths)));
  settings.setValue("minLateralCm", options.minLateralCm);
  settings.setValue("background", text(BackgroundName(options.background)));
  settings.setValue("pipeline", text(PipelineName(options.pipeline)));
  settings.setValue("plate", text(PlateModeName(options.plate)));
  settings.setValue("plateHeightCm", options.plateHeightCm);
  settings.setValue("pixelsPerCm", options.pixelsPerCm);
}

void ApplyAnalysisOptions(const AnalysisSettings& options, AnalysisSettings& document) {
  document.lengths = options.lengths;
  document.minLateralCm = options.minLateralCm;
  document.background = options.background;
  document.pipeline = options.pipeline;
  document.plate = options.plate;
  document.plateHeightCm = options.plateHeightCm;
  document.pixelsPerCm = options.pixelsPerCm;
}

QString AnalysisOptionsSummary(const AnalysisSettings& options) {
  QStringList parts;
  if (options.pipeline == Pipeline::Adaptive) {
    QString plate = QString("plate %1").arg(text(PlateModeName(options.plate)));
    if (options.pixelsPerCm > 0.0)
      plate += QString(", %1 px/cm").arg(options.pixelsPerCm);
    else if (options.plate != PlateMode::None)
      plate += QString(" %1 cm").arg(options.plateHeightCm);
    parts << QString("adaptive (%1)").arg(plate);
  } else {
    parts << "fixed";
  }
  parts << QString("%1 lengths").arg(text(LengthModeName(options.lengths)));
  if (options.minLateralCm > 0.0) parts << QString("laterals >= %1 cm").arg(options.minLateralCm);
  parts << text(BackgroundName(options.background));
  return parts.join(", ");
}

OptionsDialog::OptionsDialog(const AnalysisSettings& options, QWidget* parent)
    : QDialog(parent),
      m_options(options),
      m_lengths(choice("lengths", kLengths, LengthModeName, options.lengths, this)),
      m_minLateral(number("minLateral", 0.0, kMaxMinLateralCm, 2, options.minLateralCm, this)),
      m_background(choice("background", kBackgrounds, BackgroundName, options.background, this)),
      m_pipeline(choice("pipeline", kPipelines, PipelineName, options.pipeline, this)),
      m_plate(choice("plate", kPlates, PlateModeName, options.plate, this)),
      m_plateHeight(
          number("plateHeight", kMinPlateHeightCm, kMaxPlateHeightCm, 2, options.plateHeightCm, this)),
      m_scale(number("scale", 0.0, kMaxPixelsPerCm, 2, options.pixelsPerCm, this)) {
  setObjectName("OptionsDialog");
  setWindowTitle("Analysis options");
  m_minLateral->setSuffix(" cm");
  m_plateHeight->setSuffix(" cm");
  m_scale->setSuffix(" px/cm");
  m_scale->setSpecialValueText("from the plate or the resolution");
  auto* form = new QFormLayout;
  form->addRow("Lengths:", m_lengths);
  form->addRow("Least lateral root:", m_minLateral);
  form->addRow("Background:", m_background);
  form->addRow("Pipeline:", m_pipeline);
  form->addRow("Plate:", m_plate);
  form->addRow("Plate height:", m_plateHeight);
  form->addRow("Scale:", m_scale);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(m_pipeline, &QComboBox::currentIndexChanged, this, &OptionsDialog::updateEnabled);
  connect(m_plate, &QComboBox::currentIndexChanged, this, &OptionsDialog::updateEnabled);
  updateEnabled();
}

void OptionsDialog::updateEnabled() {
  // The plate and the scale are the adaptive pipeline's.
  const bool adaptive = m_pipeline->currentIndex() == static_cast<int>(Pipeline::Adaptive);
  m_plate->setEnabled(adaptive);
  m_plateHeight->setEnabled(adaptive && m_plate->currentIndex() == static_cast<int>(PlateMode::Find));
  m_scale->setEnabled(adaptive);
}

AnalysisSettings OptionsDialog::options() const {
  AnalysisSettings o = m_options;
  o.lengths = kLengths[m_lengths->currentIndex()];
  o.minLateralCm = m_minLateral->value();
  o.background = kBackgrounds[m_background->currentIndex()];
  o.pipeline = kPipelines[m_pipeline->currentIndex()];
  o.plate = kPlates[m_plate->currentIndex()];
  o.plateHeightCm = m_plateHeight->value();
  o.pixelsPerCm = m_scale->value();
  return o;
}
