// The main window's Analyse folder: the choices, then the run in a window
// of its own while this one stays in use; a row of its table opens here.
#include <QImage>

#include "desktop/folder_dialog.h"
#include "desktop/folder_run_window.h"
#include "desktop/main_window.h"
#include "desktop/mdi_child.h"
#include "desktop/options_dialog.h"
#include "desktop/pic_view.h"

void KW_MdiFrm::fileAnalyseFolder() {
  FolderAnalysisDialog dialog(m_options, this);
  if (dialog.exec() != QDialog::Accepted) return;
  // Options changed for the run are those of the next analyses too.
  setAnalysisOptions(dialog.settings());
  FolderAnalysisOptions options = dialog.runOptions();
  options.pixelPool = m_pixelPool;
  auto* window = new FolderRunWindow(std::move(options), this);
  window->setAttribute(Qt::WA_DeleteOnClose);
  connect(window, &FolderRunWindow::pictureChosen, this, &KW_MdiFrm::openWithOverlay);
  window->show();
  window->start();
}

KW_MdiUsr* KW_MdiFrm::openWithOverlay(const QString& picture, const QString& overlay) {
  KW_MdiUsr* child = openFile(picture);
  if (child == nullptr) return nullptr;
  const QImage image(overlay);
  if (!image.isNull()) child->view()->showOverlay(image);
  return child;
}
