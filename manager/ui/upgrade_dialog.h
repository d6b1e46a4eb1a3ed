// The upgrade dialog: the installed files, their versions on the upgrade
// server and their hashes, with a check box for each file that can be
// upgraded. Every rule is UpgradeDialogModel's; the transfers run on a
// thread of their own so the window stays alive, with a progress bar and
// Cancel.
#pragma once

#include <QDialog>
#include <atomic>
#include <functional>

#include "manager/app/engine.h"
#include "manager/upgrade/upgrade.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QThread;
class QTreeWidget;
class QTreeWidgetItem;

namespace tessary::ui {

class UpgradeDialog : public QDialog {
  Q_OBJECT

 public:
  UpgradeDialog(ManagerEngine& engine, UpgradeMode mode, QWidget* parent = nullptr);
  // Stops a running transfer and waits for it.
  ~UpgradeDialog() override;

  // Reads the local list and asks the servers. In manual mode the dialog
  // shows at once; at start-up only when there is something to upgrade.
  void start();

  UpgradeDialogModel& model() { return m_model; }
  // The transfers' settings (a test shortens the stall time).
  TransferOptions& transferOptions() { return m_options; }
  bool busy() const { return m_thread != nullptr; }
  // Where the dialog's message boxes go (caption, text, error icon); by
  // default a message box of its own. The main window routes them to its.
  using MessageBox = std::function<void(const QString& caption, const QString& text, bool error)>;
  void setMessageBox(MessageBox box) { m_messageBox = std::move(box); }

 signals:
  // The dialog is over: the local list is written (OK, Cancel) or left
  // alone (nothing to do, the hashes missing).
  void ended();

 public slots:
  void refresh();
  void upgrade();
  void reject() override;

 private:
  // Runs work on a thread of its own, then done on this one.
  void runInBackground(std::function<void()> work, std::function<void()> done);
  void setBusy(bool busy);
  void fillList();
  void showMessages(const std::vector<UpgradeMessage>& messages);
  void upgradeNext();
  void finish(bool writeList);
  void itemChanged(QTreeWidgetItem* item, int column);

  ManagerEngine& m_engine;
  UpgradeDialogModel m_model;
  TransferOptions m_options;
  std::atomic<bool> m_cancel{false};
  QThread* m_thread = nullptr;
  bool m_closing = false;
  bool m_ended = false;
  bool m_filling = false;
  MessageBox m_messageBox;
  std::vector<std::size_t> m_pending;
  std::size_t m_next = 0;

  QTreeWidget* m_list = nullptr;
  QLabel* m_status = nullptr;
  QProgressBar* m_progress = nullptr;
  QPushButton* m_ok = nullptr;
  QPushButton* m_cancelButton = nullptr;
  QPushButton* m_refresh = nullptr;
};

}  // namespace tessary::ui
