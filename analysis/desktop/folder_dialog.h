// "Analyse folder": the choices of a run over every picture below a folder,
// those of morvane-batch analyze: the pictures' folder, the sample's
// fields, the result folder, the exports, the jobs and the analysis options.
// Bound to FolderAnalysisChoices; the rules live in FolderAnalysisFromChoices.
#pragma once

#include <QDialog>
#include <optional>

#include "roots/analysis_settings.h"
#include "runs/folder_analysis.h"
#include "runs/folder_choices.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

class FolderAnalysisDialog : public QDialog {
  Q_OBJECT

 public:
  // settings: the analysis options the run starts from.
  explicit FolderAnalysisDialog(const AnalysisSettings& settings, QWidget* parent = nullptr);

  FolderAnalysisChoices choices() const;
  // The analysis options, as the Options button last left them.
  const AnalysisSettings& settings() const { return m_settings; }
  // The run asked for, once the dialog is accepted.
  const FolderAnalysisOptions& runOptions() const { return *m_run; }

  void accept() override;

 private:
  QLineEdit* line(const char* name);
  void browse(QLineEdit* target, const QString& title);
  void changeOptions();

  AnalysisSettings m_settings;
  std::optional<FolderAnalysisOptions> m_run;
  QLineEdit* m_folder;
  QLineEdit* m_results;
  QLineEdit* m_user;
  QLineEdit* m_experiment;
  QLineEdit* m_box;
  QLineEdit* m_genotype;
  QLineEdit* m_media;
  QLineEdit* m_age;
  QLineEdit* m_resolution;
  QCheckBox* m_rsml;
  QCheckBox* m_overlay;
  QCheckBox* m_traits;
  QCheckBox* m_overwrite;
  QSpinBox* m_jobs;
  QLabel* m_options;
  QLabel* m_problem;
};
