// The run of "Analyse folder": a progress bar with the picture being
// analysed and a Cancel button while the run works on its own threads, then
// a table of every plant (and of every picture that failed, with the
// reason). Double-clicking a row asks for the picture with its overlay.
#pragma once

#include <QDialog>
#include <QTemporaryDir>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "runs/folder_analysis.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

class FolderRunWindow : public QDialog {
  Q_OBJECT

 public:
  // The columns of the table.
  enum Column { kPicture, kPlant, kMainRoot, kLaterals, kLateralLength, kFlags, kColumns };
  // The most messages of a run listed; the rest are counted.
  static constexpr int kMaxNotes = 100;

  explicit FolderRunWindow(FolderAnalysisOptions options, QWidget* parent = nullptr);
  // A run still working is cancelled and waited for.
  ~FolderRunWindow() override;
  FolderRunWindow(const FolderRunWindow&) = delete;
  FolderRunWindow& operator=(const FolderRunWindow&) = delete;

  // Starts the run on its own threads.
  void start();
  bool running() const { return m_worker.joinable(); }
  // What the run ended with; meaningful once it ended.
  const FolderAnalysisSummary& summary() const { return m_summary; }
  QTableWidget* table() const { return m_table; }

 signals:
  // A row was double-clicked: its picture and the overlay written for it.
  void pictureChosen(const QString& picture, const QString& overlay);
  void runEnded();
  // A picture's rows are in the table: done of total pictures.
  void pictureFinished(int done, int total);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class Observer;
  struct Finished {
    QString picture;
    PictureOutcome::State state;
    QString problem;
    std::vector<PlantSummary> plants;
    int done;
    int total;
  };

  void showStarted(const QString& picture);
  void addFinished(const Finished& finished);
  void addNote(const QString& note);
  void ended(const FolderAnalysisSummary& summary);
  void cancel();
  void rowActivated(const QTableWidgetItem* item);

  FolderAnalysisOptions m_options;
  // The overlays shown on a double-click when none are asked for.
  std::unique_ptr<QTemporaryDir> m_overlays;
  std::atomic<bool> m_cancel{false};
  std::unique_ptr<Observer> m_observer;
  std::unique_ptr<FRONTEND::Frontend> m_logFrontend;
  FolderAnalysisSummary m_summary;
  // The run waits for each picture's rows to be in the table before it
  // starts another, so the table keeps pace with the run and Cancel stops
  // right after the pictures the user sees done.
  std::mutex m_shownLock;
  std::condition_variable m_shownChanged;
  int m_shown = 0;
  bool m_closing = false;
  std::thread m_worker;
  int m_notes = 0;
  QLabel* m_current;
  QProgressBar* m_progress;
  QLabel* m_state;
  QTableWidget* m_table;
  QLabel* m_messages;
  QPushButton* m_cancelButton;
  QPushButton* m_close;
};
