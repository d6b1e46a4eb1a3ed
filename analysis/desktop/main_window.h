// KW_MdiFrm: the main window "Morvane". Every open picture is an analysis
// document in a child window; the menus, the three toolbars and the status
// bar route each command to the document of the active window.
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class KW_MdiUsr;
class KW_SciDoc;
class PixelPool;
class SampleNames;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QPrinter;
namespace FRONTEND {
class Frontend;
}
#include "desktop/help_window.h"
#include "roots/analysis_settings.h"

class KW_MdiFrm : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kRecentFiles = 4;

  // frontend (not owned) shows the boxes and dialogs of this window and of
  // the documents it opens.
  explicit KW_MdiFrm(FRONTEND::Frontend& frontend, QWidget* parent = nullptr);
  ~KW_MdiFrm() override;

  // Opens a bitmap as an analysis document in a new window (or activates the
  // window that shows it already); nullptr when it cannot be read.
  KW_MdiUsr* openFile(const QString& path);
  KW_MdiUsr* activeChild() const;
  QList<KW_MdiUsr*> children() const;
  // The picture window with this title, compared without regard to case.
  KW_MdiUsr* findChildWindow(const QString& title) const;

  // The command of this object name ("actionOpen", "actionMakeBW", ...).
  QAction* action(const QString& name) const;
  QStringList recentFiles() const;
  QMdiArea* mdiArea() const { return m_mdi; }
  HelpWindow* helpWindow() const { return m_help; }
  // True while a command works on a document.
  bool busy() const { return m_busy; }
  // How the next analyses measure, as the Options dialog last set it.
  const AnalysisSettings& analysisOptions() const { return m_options; }
  void setAnalysisOptions(const AnalysisSettings& options);

  // Opens the picture (as Open does) with overlay, a picture of its size,
  // in place of its pixels; the picture alone when overlay cannot be read.
  KW_MdiUsr* openWithOverlay(const QString& picture, const QString& overlay);

 public slots:
  // Enables the commands that apply and sets the step check marks of the
  // active document.
  void updateActions();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  enum class Run { Here, Background };

  void createActions();
  void createMenus();
  void createToolBars();
  void createStatusBar();

  QAction* makeAction(const char* name, const QString& text, const QString& prompt = {},
                      const QString& tip = {});
  void addRecentFile(const QString& path);
  void updateRecentFileActions();
  void updateWindowMenu();

  // Runs a document command on the active document: here, or on a worker
  // thread while this window keeps painting and its dialogs still open.
  void runOnDocument(const std::function<void(KW_SciDoc&)>& command, Run where);
  // child may be null for a command that works on no document. work gets
  // the worker's frontend, which shows everything through this window's.
  void runInBackground(KW_MdiUsr* child, const std::function<void(FRONTEND::Frontend&)>& work);
  void runDatabaseCommand(const std::function<void(FRONTEND::Frontend&)>& command);
  // Find roots, then the overlay of the plants found in place of the picture
  // until the next command.
  void findRoots();

  void fileOpen();
  // Analyse folder: every picture below a folder, in a window of its own.
  void fileAnalyseFolder();
  void fileClose();
  bool saveChild(KW_MdiUsr* child);
  bool saveChildAs(KW_MdiUsr* child);
  void fileSave();
  void fileSaveAs();
  void fileSaveAll();
  void filePrintSetup();
  void filePrintPreview();
  void filePrint();
  void printPicture(QPrinter* printer);
  void openRecentFile();
  void tileHorizontally();
  void tileVertically();
  void arrangeIcons();
  void helpContents();
  void helpIndex();
  void helpSearch();
  void helpUserManual();
  void helpAbout();
  void resultFolderPath();
  void analysisOptionsDialog();
  void lastParameters();
  void childActivated(QMdiSubWindow* window);

  FRONTEND::Frontend& m_frontend;
  QMdiArea* m_mdi;
  QHash<QString, QAction*> m_actions;
  QList<QAction*> m_recentActions;
  QMenu* m_recentMenu = nullptr;
  QMenu* m_windowMenu = nullptr;
  QList<QLabel*> m_panes;
  QLabel* m_optionsPane = nullptr;
  std::unique_ptr<QPrinter> m_printer;
  QPointer<HelpWindow> m_help;
  bool m_busy = false;
  // The picture buffers the windows' documents hand on to each other.
  std::shared_ptr<PixelPool> m_pixelPool;
  // The database's genotype and media names, handed to every document.
  std::shared_ptr<SampleNames> m_sampleNames;
  AnalysisSettings m_options;
};
