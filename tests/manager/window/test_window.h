// The manager's window with its message boxes, questions, pages and files
// recorded instead of shown or opened.
#pragma once

#include <QStringList>

#include "manager/ui/main_window.h"

namespace managerwindowtest {

class TestWindow : public tessary::ui::MainWindow {
 public:
  using MainWindow::MainWindow;
  QStringList messages, addresses, files;
  // The answer to every question.
  bool answer = false;
  // Whether a file has a program that opens it.
  bool filesOpen = true;

 protected:
  bool askQuestion(const QString& caption, const QString& question) override {
    messages << caption + ": " + question;
    return answer;
  }
  void showMessageBox(const QString& caption, const QString& message, Icon) override {
    messages << caption + ": " + message;
  }
  bool openUrl(const QString& address) override {
    addresses << address;
    return true;
  }
  bool openFile(const QString& path) override {
    files << path;
    return filesOpen;
  }
};

}  // namespace managerwindowtest
