#include "desktop/folder_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "desktop/options_dialog.h"

FolderAnalysisDialog::FolderAnalysisDialog(const AnalysisSettings& settings, QWidget* parent)
    : QDialog(parent),
      m_settings(settings),
      m_folder(line("folder")),
      m_results(line("results")),
      m_user(line("user")),
      m_experiment(line("experiment")),
      m_box(line("box")),
      m_genotype(line("genotype")),
      m_media(line("media")),
      m_age(line("age")),
      m_resolution(line("resolution")),
      m_rsml(new QCheckBox("RSML files", this)),
      m_overlay(new QCheckBox("Overlay pictures", this)),
      m_traits(new QCheckBox("Trait table", this)),
      m_overwrite(new QCheckBox("Replace existing result files", this)),
      m_jobs(new QSpinBox(this)),
      m_options(new QLabel(AnalysisOptionsSummary(settings), this)),
      m_problem(new QLabel(this)) {
  setObjectName("FolderAnalysisDialog");
  setWindowTitle("Analyse folder");
  m_rsml->setObjectName("rsml");
  m_overlay->setObjectName("overlay");
  m_traits->setObjectName("traits");
  m_overwrite->setObjectName("overwrite");
  m_jobs->setObjectName("jobs");
  m_jobs->setRange(0, 256);
  m_jobs->setSpecialValueText("one per core");
  m_options->setObjectName("analysisOptions");
  m_problem->setObjectName("problem");
  m_problem->setWordWrap(true);
  m_problem->setStyleSheet("color: #b00000");
  m_resolution->setPlaceholderText("dots per inch");
  m_age->setPlaceholderText("days");

  const auto withBrowse = [this](QLineEdit* edit, const char* name, const QString& title) {
    auto* row = new QHBoxLayout;
    auto* button = new QPushButton("Browse...", this);
    button->setObjectName(name);
    row->addWidget(edit);
    row->addWidget(button);
    connect(button, &QPushButton::clicked, this, [this, edit, title] { browse(edit, title); });
    return row;
  };
  auto* exports = new QHBoxLayout;
  for (QCheckBox* box : {m_rsml, m_overlay, m_traits}) exports->addWidget(box);
  auto* options = new QHBoxLayout;
  auto* change = new QPushButton("Options...", this);
  change->setObjectName("changeOptions");
  options->addWidget(m_options, 1);
  options->addWidget(change);

  auto* form = new QFormLayout;
  form->addRow("Pictures in:", withBrowse(m_folder, "browseFolder", "Folder of the pictures"));
  form->addRow("Result files to:", withBrowse(m_results, "browseResults", "Folder of the result files"));
  form->addRow("User:", m_user);
  form->addRow("Experiment:", m_experiment);
  form->addRow("Box:", m_box);
  form->addRow("Genotype:", m_genotype);
  form->addRow("Medium:", m_media);
  form->addRow("Age:", m_age);
  form->addRow("Resolution:", m_resolution);
  form->addRow("Also write:", exports);
  form->addRow("", m_overwrite);
  form->addRow("Jobs:", m_jobs);
  form->addRow("Analysis:", options);
  auto* where =
      new QLabel("RSML files, overlays and the trait table (traits.csv) go into the result folder.", this);
  where->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  buttons->button(QDialogButtonBox::Ok)->setText("Analyse");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(where);
  layout->addWidget(m_problem);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &FolderAnalysisDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(change, &QPushButton::clicked, this, &FolderAnalysisDialog::changeOptions);
  // The result files go beside the pictures' folder, never into it: a later
  // run would take the overlay pictures for plates.
  connect(m_folder, &QLineEdit::textEdited, this, [this](const QString& folder) {
    if (m_results->isModified() || folder.isEmpty()) return;
    m_results->setText(QDir::cleanPath(folder) + "_results");
  });
}

QLineEdit* FolderAnalysisDialog::line(const char* name) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(name);
  return edit;
}

void FolderAnalysisDialog::browse(QLineEdit* target, const QString& title) {
  const QString folder = QFileDialog::getExistingDirectory(this, title, target->text());
  if (folder.isEmpty()) return;
  target->setText(folder);
  target->setModified(true);
  if (target == m_folder) emit m_folder->textEdited(folder);
}

void FolderAnalysisDialog::changeOptions() {
  OptionsDialog dialog(m_settings, this);
  if (dialog.exec() != QDialog::Accepted) return;
  m_settings = dialog.options();
  m_options->setText(AnalysisOptionsSummary(m_settings));
}

FolderAnalysisChoices FolderAnalysisDialog::choices() const {
  FolderAnalysisChoices c;
  c.folder = m_folder->text().toStdString();
  c.results = m_results->text().toStdString();
  c.user = m_user->text().toStdString();
  c.experiment = m_experiment->text().toStdString();
  c.box = m_box->text().toStdString();
  c.genotype = m_genotype->text().toStdString();
  c.media = m_media->text().toStdString();
  c.age = m_age->text().toStdString();
  c.resolution = m_resolution->text().toStdString();
  c.rsml = m_rsml->isChecked();
  c.overlay = m_overlay->isChecked();
  c.traits = m_traits->isChecked();
  c.overwrite = m_overwrite->isChecked();
  c.jobs = m_jobs->value();
  return c;
}

void FolderAnalysisDialog::accept() {
  auto run = FolderAnalysisFromChoices(choices(), m_settings);
  if (const auto* problem = std::get_if<std::string>(&run)) {
    m_problem->setText(QString::fromStdString(*problem));
    return;
  }
  m_run = std::move(std::get<FolderAnalysisOptions>(run));
  QDialog::accept();
}
