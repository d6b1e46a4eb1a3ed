#include "manager/ui/introduction_dialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "manager/app/text_file.h"
#include "manager/config/stack_files.h"
#include "manager/ui/icons.h"
#include "manager/ui/qt_text.h"

namespace tessary::ui {

IntroductionDialog::IntroductionDialog(ManagerEngine& engine, const std::string& page, QWidget* parent)
    : QDialog(parent) {
  setObjectName("introduction");
  setWindowIcon(TrayIconPicture(142));
  setWindowTitle(QString::fromUtf8(engine.LoadText(32920)));
  std::string html;
  if (ReadTextFile(page, html, 1 << 20) != 0) html = std::string(ShippedFileBytes("accueil.html"));
  auto* browser = new QTextBrowser(this);
  browser->setObjectName("introductionText");
  browser->setOpenExternalLinks(true);
  browser->setHtml(QText(html));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* close = buttons->button(QDialogButtonBox::Close);
  close->setObjectName("close");
  close->setText(QString::fromUtf8(engine.LoadText(32910)));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(browser, 1);
  layout->addWidget(buttons);
  resize(640, 560);
}

}  // namespace tessary::ui
