// morvane: the desktop program. Opens the bitmap named on its command line.
#include <QApplication>

#include "desktop/application.h"
#include "desktop/icons.h"
#include "morvane_version.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName("Morvane");
  QApplication::setApplicationName("Morvane");
  QApplication::setApplicationVersion(MORVANE_VERSION);
  QApplication::setWindowIcon(MorvaneIcon());
  QStringList arguments = QApplication::arguments();
  if (!arguments.isEmpty()) arguments.removeFirst();

  CMorvaneApp morvane;
  if (!morvane.InitInstance(arguments)) return 1;
  return QApplication::exec();
}
