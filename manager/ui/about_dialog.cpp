#include "manager/ui/about_dialog.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "manager/app/window_model.h"
#include "manager/platform/system.h"
#include "manager/ui/icons.h"
#include "manager/upgrade/file_version.h"

namespace tessary::ui {
namespace {

// A link: blue underlined text, a hand over it, its target as tooltip.
QLabel* Link(QWidget* parent, const char* name, const QString& text, const QString& target, bool bold) {
  auto* l = new QLabel(QString("<a href=\"%1\" style=\"color:#0000ee;%3\">%2</a>")
                           .arg(target.toHtmlEscaped(), text.toHtmlEscaped(), bold ? "font-weight:800;" : ""),
                       parent);
  l->setObjectName(name);
  l->setToolTip(target);
  l->setCursor(Qt::PointingHandCursor);
  l->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  QObject::connect(l, &QLabel::linkActivated, parent,
                   [](const QString& t) { QDesktopServices::openUrl(QUrl(t)); });
  return l;
}

}  // namespace

AboutDialog::AboutDialog(ManagerEngine& engine, QWidget* parent) : QDialog(parent), m_engine(engine) {
  setObjectName("aboutDialog");
  setWindowIcon(TrayIconPicture(kIconBoth));
  auto t = [this](int id) { return QString::fromUtf8(m_engine.LoadText(id)); };
  // The version of the program file, as the version check sends it.
  FileVersion version;
  GetFileVersion(ProgramPath(), version);
  const QString versionText = QString::fromStdString(VersionText(version));
  setWindowTitle(t(32821) + " " + versionText);

  auto* created = new QLabel(t(32825), this);
  created->setObjectName("createdBy");
  created->setWordWrap(true);
  auto* visit = new QLabel(t(32822), this);
  visit->setObjectName("visit");
  auto* blank = new QLabel(t(32858), this);
  blank->setObjectName("note");
  const QString subject = "?subject=" + QString::fromStdString(m_engine.settings().programName);
  auto* licence = new QPushButton(t(32823), this);
  licence->setObjectName("viewLicence");
  auto* check = new QPushButton(t(32824), this);
  check->setObjectName("checkVersion");
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("ok");
  ok->setDefault(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Link(this, "product", "Tessary " + versionText,
                         QString::fromStdString(m_engine.settings().homePage), true));
  layout->addWidget(created);
  layout->addWidget(Link(this, "credit1", "The Tessary team", "mailto:team@tessary.org" + subject, false));
  layout->addWidget(
      Link(this, "credit2", "Translations", "mailto:translations@tessary.org" + subject, false));
  layout->addWidget(Link(this, "credit3", "Packaging", "mailto:packaging@tessary.org" + subject, false));
  layout->addWidget(visit);
  layout->addWidget(blank);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(licence);
  buttons->addWidget(check);
  buttons->addStretch();
  buttons->addWidget(ok);
  layout->addLayout(buttons);

  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(licence, &QPushButton::clicked, this, [this] {
    QDesktopServices::openUrl(
        QUrl::fromLocalFile(QString::fromStdString(m_engine.settings().root + "gpl.txt")));
  });
  connect(check, &QPushButton::clicked, this, &AboutDialog::checkVersionRequested);
}

void AboutDialog::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QLinearGradient g(0, 0, 0, height());
  g.setColorAt(0, QColor(150, 173, 218));
  g.setColorAt(1, Qt::white);
  p.fillRect(rect(), g);
}

void AboutDialog::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    m_dragFrom = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void AboutDialog::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - m_dragFrom);
}

}  // namespace tessary::ui
