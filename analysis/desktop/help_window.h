// The help viewer of the Help menu: the program's HTML manual with its
// contents, its index and a search field, and the about box.
#pragma once

#include <QDialog>
#include <QWidget>

#include "morvane_version.h"

class QLineEdit;
class QTextBrowser;

// The folder of the HTML manual: beside the program in the build folder, or
// in the installed documentation folder; empty when neither holds it.
QString ManualFolder();
// "Morvane user manual.pdf" beside the program or in the documentation
// folder; empty when none is installed.
QString UserManualPdf();

class HelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit HelpWindow(QWidget* parent = nullptr);

  void showContents();
  void showIndex();
  void showSearch();
  // Finds the next occurrence of the search text; false when there is none.
  bool findNext();

  QTextBrowser* browser() const { return m_browser; }

 private:
  bool load(const QString& anchor);

  QTextBrowser* m_browser;
  QLineEdit* m_search;
};

class AboutBox : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kVersion = MORVANE_VERSION;
  static constexpr const char* kReleaseDate = "8 December 2026";

  explicit AboutBox(QWidget* parent = nullptr);
};
