// The main window's Options and Help menus: the result folder, the last
// parameters, the analysis options, the manual and the About box.
#include <QDesktopServices>
#include <QLabel>
#include <QUrl>

#include "base/frontend.h"
#include "desktop/analysis_dialogs.h"
#include "desktop/help_window.h"
#include "desktop/main_window.h"
#include "desktop/options_dialog.h"
#include "desktop/step_dialogs.h"
#include "image/calib_param_model.h"
#include "roots/analysis_dialog_models.h"

// ---------------------------------------------------------------------------
// Options and help

void KW_MdiFrm::resultFolderPath() {
  ResultBox box;
  ResultFolderDialog dialog(box, m_frontend, this);
  dialog.exec();
}

void KW_MdiFrm::analysisOptionsDialog() {
  OptionsDialog dialog(m_options, this);
  if (dialog.exec() == QDialog::Accepted) setAnalysisOptions(dialog.options());
}

void KW_MdiFrm::setAnalysisOptions(const AnalysisSettings& options) {
  m_options = options;
  SaveAnalysisOptions(m_options);
  if (m_optionsPane != nullptr) m_optionsPane->setText(AnalysisOptionsSummary(m_options));
}

void KW_MdiFrm::lastParameters() {
  CalibParamBox box(ReadLastCalibParams(m_frontend), this);
  box.exec();
}

void KW_MdiFrm::helpContents() {
  if (m_help == nullptr) m_help = new HelpWindow(this);
  m_help->showContents();
}

void KW_MdiFrm::helpIndex() {
  if (m_help == nullptr) m_help = new HelpWindow(this);
  m_help->showIndex();
}

void KW_MdiFrm::helpSearch() {
  if (m_help == nullptr) m_help = new HelpWindow(this);
  m_help->showSearch();
}

void KW_MdiFrm::helpUserManual() {
  const QString pdf = UserManualPdf();
  if (!pdf.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(pdf))) return;
  helpContents();
}

void KW_MdiFrm::helpAbout() {
  AboutBox box(this);
  box.exec();
}
