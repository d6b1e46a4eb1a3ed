// "Analysis options": how the next analyses measure (length mode, least
// lateral root, background) and which pipeline prepares the picture (fixed
// or adaptive, the plate, its height, the scale). Bound to AnalysisSettings;
// the choices are kept in the program's settings between runs.
#pragma once

#include <QDialog>
#include <QString>

#include "roots/analysis_settings.h"

class QComboBox;
class QDoubleSpinBox;

// The choices last kept, or the fixed method's defaults.
AnalysisSettings LoadAnalysisOptions();
void SaveAnalysisOptions(const AnalysisSettings& options);
// Copies what the user chooses into a document's settings; what belongs to
// the picture (its resolution, the background auto found) stays.
void ApplyAnalysisOptions(const AnalysisSettings& options, AnalysisSettings& document);
// One line for the status bar: "fixed, pixel lengths, dark" or
// "adaptive (plate find 12.5 cm), true lengths, laterals >= 0.1 cm, auto".
QString AnalysisOptionsSummary(const AnalysisSettings& options);

class OptionsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit OptionsDialog(const AnalysisSettings& options, QWidget* parent = nullptr);
  // The choices shown, as they stand.
  AnalysisSettings options() const;

 private:
  void updateEnabled();

  AnalysisSettings m_options;
  QComboBox* m_lengths;
  QDoubleSpinBox* m_minLateral;
  QComboBox* m_background;
  QComboBox* m_pipeline;
  QComboBox* m_plate;
  QDoubleSpinBox* m_plateHeight;
  QDoubleSpinBox* m_scale;
};
