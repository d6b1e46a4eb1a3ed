#include "desktop/application.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSplashScreen>

#include "base/kw_log.h"
#include "desktop/icons.h"
#include "desktop/main_window.h"
#include "desktop/message_boxes.h"

std::unique_ptr<QSplashScreen> MakeSplash() {
  QPixmap pixmap(420, 220);
  pixmap.fill(QColor(245, 248, 240));
  {
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.drawImage(QPoint(24, 46), MorvaneIconImage(128));
    QFont f = p.font();
    f.setPixelSize(40);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(40, 90, 50));
    p.drawText(QRect(170, 60, 240, 50), Qt::AlignLeft | Qt::AlignVCenter, "Morvane");
    f.setPixelSize(14);
    f.setBold(false);
    p.setFont(f);
    p.setPen(QColor(60, 60, 60));
    p.drawText(QRect(170, 112, 240, 60), Qt::AlignLeft | Qt::TextWordWrap,
               "Root architecture of seedlings\non scanned culture plates");
    p.setPen(QPen(QColor(120, 120, 120), 2));
    p.drawRect(pixmap.rect().adjusted(1, 1, -1, -1));
  }
  auto splash = std::make_unique<QSplashScreen>(pixmap, Qt::WindowStaysOnTopHint);
  splash->setObjectName("Splasher");
  splash->setWindowTitle("Splasher");
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    splash->move(screen->geometry().center() - splash->rect().center());
  }
  return splash;
}

CMorvaneApp::CMorvaneApp() = default;

CMorvaneApp::~CMorvaneApp() {
  // The windows go before the frontend they may still call.
  m_frame.reset();
}

bool CMorvaneApp::InitInstance(const QStringList& arguments) {
  std::unique_ptr<QSplashScreen> splash = MakeSplash();
  splash->show();
  QGuiApplication::processEvents();

  m_frontend = std::make_unique<QtFrontend>();
  m_frame = std::make_unique<KW_MdiFrm>(*m_frontend);
  m_frame->show();
  splash->finish(m_frame.get());
  splash.reset();

  if (!arguments.isEmpty() && !arguments.first().isEmpty()) m_frame->openFile(arguments.first());
  TruncateLog(*m_frontend, logname::kSql);
  return true;
}
