// The introduction to the stack and the window, shown in the manager
// itself when no browser opens its page.
#pragma once

#include <QDialog>
#include <string>

#include "manager/app/engine.h"

namespace tessary::ui {

class IntroductionDialog : public QDialog {
  Q_OBJECT

 public:
  // page: the introduction page of the stack; the copy the program carries
  // is shown when that cannot be read.
  IntroductionDialog(ManagerEngine& engine, const std::string& page, QWidget* parent = nullptr);
};

}  // namespace tessary::ui
