// The built-in log viewer: one server's logs, read-only, the last part of
// the chosen one and then the lines appended to it while it is open.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "manager/app/engine.h"
#include "manager/app/log_tail.h"

class QComboBox;
class QPlainTextEdit;
class QTimer;

namespace tessary::ui {

struct LogChoice {
  QString label;
  std::string path;
};

class LogViewer : public QDialog {
  Q_OBJECT

 public:
  // The lines the view keeps; older ones go as new ones arrive.
  static constexpr int kMaxLines = 20000;

  LogViewer(ManagerEngine& engine, const QString& title, std::vector<LogChoice> logs,
            QWidget* parent = nullptr);

  // Shows the log of that index from its last part on.
  void select(int index);
  int selected() const;
  // Adds what the log has new (the timer does it twice a second).
  void follow();

 private:
  ManagerEngine& m_engine;
  std::vector<LogChoice> m_logs;
  QComboBox* m_choice;
  QPlainTextEdit* m_text;
  QTimer* m_timer;
  std::unique_ptr<LogTail> m_tail;
};

}  // namespace tessary::ui
