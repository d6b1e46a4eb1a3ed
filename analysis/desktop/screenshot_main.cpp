// morvane-screenshot PICTURE FOLDER OUTDIR: the pictures of the README,
// taken as a user works. PICTURE opens in the main window, is prepared with
// the fixed parameters of Auto, skeletonized and its roots found through the
// menu: main-window.png at 1:1, main-window-zoomed.png zoomed in; Confirm
// roots then shows its first plant: confirm-plant.png; File > Analyse
// folder runs over FOLDER: folder-results.png. Run under Xvfb by
// scripts/screenshot, so that anyone can see the program without a desktop.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "desktop/application.h"
#include "desktop/folder_run_window.h"
#include "desktop/icons.h"
#include "desktop/main_window.h"
#include "desktop/mdi_child.h"
#include "desktop/pic_view.h"
#include "roots/sci_doc.h"

namespace {

// Runs act on the next modal dialog shown, from the event loop.
void OnModal(const std::function<void(QWidget*)>& act) {
  auto* timer = new QTimer(qApp);
  timer->setInterval(50);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    QWidget* w = QApplication::activeModalWidget();
    if (w == nullptr || !w->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    // Painted once before it is taken.
    QTimer::singleShot(300, w, [w, act] { act(w); });
  });
  timer->start();
}

bool Save(const QPixmap& shot, const QString& path) {
  const bool saved = shot.save(path);
  std::printf("%s%s\n", qPrintable(path), saved ? "" : ": not written");
  return saved;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName("Morvane");
  QApplication::setApplicationName("Morvane");
  QApplication::setWindowIcon(MorvaneIcon());
  if (argc != 4) {
    std::fprintf(stderr, "usage: morvane-screenshot PICTURE FOLDER OUTDIR\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[2]);
  const QDir out(QString::fromLocal8Bit(argv[3]));
  CMorvaneApp morvane;
  if (!morvane.InitInstance({QString::fromLocal8Bit(argv[1])})) return 1;
  KW_MdiFrm* frame = morvane.mainFrame();
  // Without a window manager "maximised" means nothing: the frame takes the screen.
  frame->setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
  bool good = true;
  const auto screen = [] { return QGuiApplication::primaryScreen()->grabWindow(0); };
  QTimer::singleShot(500, frame, [&] {
    KW_MdiUsr* child = frame->activeChild();
    if (child == nullptr) {
      std::fprintf(stderr, "morvane-screenshot: the picture did not open\n");
      QApplication::exit(1);
      return;
    }
    child->showMaximized();
    child->document().AutoPrepare();
    child->document().refresh();
    frame->action("actionSkeletonize")->trigger();
    frame->action("actionFindRoots")->trigger();
    frame->action("actionActualSize")->trigger();
    frame->statusBar()->showMessage("Detect roots and architecture");
    QTimer::singleShot(800, frame, [&, child] {
      good = Save(screen(), out.filePath("main-window.png")) && good;
      for (int i = 0; i < 2; ++i) child->view()->zoomIn();
      QTimer::singleShot(500, frame, [&] {
        good = Save(screen(), out.filePath("main-window-zoomed.png")) && good;
        frame->action("actionAutoZoom")->trigger();
        // The first plant asked about; every plant is then kept.
        OnModal([&](QWidget* dialog) {
          good = Save(dialog->grab(), out.filePath("confirm-plant.png")) && good;
          dialog->findChild<QPushButton*>("yesToAll")->click();
        });
        frame->action("actionConfirmRoots")->trigger();
        OnModal([&](QWidget* dialog) {
          dialog->findChild<QLineEdit*>("folder")->setText(folder);
          dialog->findChild<QLineEdit*>("results")->setText(out.filePath("folder-results"));
          dialog->findChild<QLineEdit*>("experiment")->setText("light");
          dialog->findChild<QLineEdit*>("genotype")->setText("Col-0");
          dialog->findChild<QLineEdit*>("resolution")->setText("200");
          dialog->findChild<QCheckBox*>("traits")->setChecked(true);
          dialog->findChild<QPushButton*>("ok")->click();
        });
        frame->action("actionAnalyseFolder")->trigger();
        auto* run = frame->findChild<FolderRunWindow*>();
        if (run == nullptr) {
          QApplication::exit(1);
          return;
        }
        QObject::connect(run, &FolderRunWindow::runEnded, run, [&, run] {
          QTimer::singleShot(500, run, [&, run] {
            good = Save(run->grab(), out.filePath("folder-results.png")) && good;
            QDir(out.filePath("folder-results")).removeRecursively();
            QApplication::exit(good ? 0 : 1);
          });
        });
      });
    });
  });
  return QApplication::exec();
}
