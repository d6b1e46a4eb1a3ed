// morvane-screenshot PICTURE OUT.png: opens PICTURE in the main window as a
// user would, prepares it with the fixed parameters of Auto, skeletonizes it
// and finds the roots through the menu, then saves the screen as OUT.png.
// Run under Xvfb by scripts/screenshot, so that anyone can see the program
// without a desktop.
#include <QAction>
#include <QApplication>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <cstdio>

#include "desktop/application.h"
#include "desktop/icons.h"
#include "desktop/main_window.h"
#include "desktop/mdi_child.h"
#include "roots/sci_doc.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName("Morvane");
  QApplication::setApplicationName("Morvane");
  QApplication::setWindowIcon(MorvaneIcon());
  if (argc != 3) {
    std::fprintf(stderr, "usage: morvane-screenshot PICTURE OUT.png\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[2]);
  CMorvaneApp morvane;
  if (!morvane.InitInstance({QString::fromLocal8Bit(argv[1])})) return 1;
  KW_MdiFrm* frame = morvane.mainFrame();
  // Without a window manager "maximised" means nothing: the frame takes the screen.
  frame->setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
  int status = 1;
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
    frame->statusBar()->showMessage("Detect roots and architecture");
    QTimer::singleShot(800, frame, [&] {
      const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
      status = shot.save(out) ? 0 : 1;
      std::printf("%s: %d plants\n", qPrintable(out), frame->activeChild()->document().nbr_item);
      QApplication::exit(status);
    });
  });
  return QApplication::exec();
}
