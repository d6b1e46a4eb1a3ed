// The program's four message boxes and its folder chooser, and the Qt
// frontend through which the analysis and database logic reach them and the
// dialogs of the image steps, the analysis and the database.
#pragma once

#include <QDialog>
#include <QPointer>

#include "base/frontend.h"

class QFileSystemModel;
class QLabel;
class QTreeView;

// One box: the message beside the application's icon, the title of the
// application and a row of buttons. exec() returns a Result.
class KW_MsgBox : public QDialog {
  Q_OBJECT

 public:
  enum class Buttons { Ok, YesNo, OkCancel, YesNoCancel };
  // exec() results.
  static constexpr int kCancel = 0;
  static constexpr int kYes = 1;  // also OK
  static constexpr int kNo = 2;

  KW_MsgBox(Buttons buttons, const QString& title, const QString& text, QWidget* parent = nullptr);

  // The message as shown (at most 1023 characters).
  QString text() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  Buttons m_buttons;
  QLabel* m_text;
};

// OK.
class QMesajBOX : public KW_MsgBox {
 public:
  QMesajBOX(const QString& title, const QString& text, QWidget* parent = nullptr)
      : KW_MsgBox(Buttons::Ok, title, text, parent) {}
};
// Yes, No.
class QYesNoBOX : public KW_MsgBox {
 public:
  QYesNoBOX(const QString& title, const QString& text, QWidget* parent = nullptr)
      : KW_MsgBox(Buttons::YesNo, title, text, parent) {}
};
// OK, Cancel.
class QExtMbBOX : public KW_MsgBox {
 public:
  QExtMbBOX(const QString& title, const QString& text, QWidget* parent = nullptr)
      : KW_MsgBox(Buttons::OkCancel, title, text, parent) {}
};
// Yes, No, Cancel.
class QYNcanBOX : public KW_MsgBox {
 public:
  QYNcanBOX(const QString& title, const QString& text, QWidget* parent = nullptr)
      : KW_MsgBox(Buttons::YesNoCancel, title, text, parent) {}
};

// The folder chooser: a tree of folders opened at the start folder, the
// chosen path shown under it ("path"), OK and Cancel. exec() accepts only
// with a folder chosen.
class KW_PthBox : public QDialog {
  Q_OBJECT

 public:
  KW_PthBox(const QString& title, const QString& startFolder, QWidget* parent = nullptr);

  // The selected folder; empty when none.
  QString path() const;
  // Selects folder in the tree, as a click would.
  void selectFolder(const QString& folder);
  // 1 and the path when a folder was chosen, -1 otherwise.
  FRONTEND::FolderChoice choice(int execResult) const;

 private:
  void selectionChanged();

  QFileSystemModel* m_model;
  QTreeView* m_tree;
  QLabel* m_path;
  QPushButton* m_ok;
};

// The desktop program's frontend, used on the interface thread. Every box
// is modal over the program's active window.
class QtFrontend : public FRONTEND::Frontend {
 public:
  QtFrontend() = default;

  void showMessage(const std::string& title, const std::string& text) override;
  bool askYesNo(const std::string& title, const std::string& text) override;
  bool askOkCancel(const std::string& title, const std::string& text) override;
  FRONTEND::Answer askYesNoCancel(const std::string& title, const std::string& text) override;
  FRONTEND::FolderChoice chooseFolder(const std::string& title, const std::string& startFolder) override;
  // Shows the Qt dialog of every request.
  FRONTEND::Answer ask(const FRONTEND::DialogRequest& request) override;
  void setWaitCursor(bool on) override;

 private:
  static QWidget* parentWindow();
  bool runThresholdDialog(ThresholdModel& model);
  bool runErosionMethodDialog(ErosionMethodModel& model);
  bool runRetouchDialog(RetouchModel& model);
  bool passwordSql(PasswordSQL& dialog);
  FRONTEND::SaveFileChoice chooseSaveFile(const std::vector<FRONTEND::FileFilter>& filters, int selected,
                                          std::size_t maxName);
  bool runQuerySheet(BoxQueryPRS& sheet);
  FRONTEND::Answer isARoot(MyBoxIsARoot& box);
  bool infoGeneral(MyBoxInfoGeneral& box);
  FRONTEND::Answer resultFileExists(ResultFileExistBox& box);
  bool resultFolder(ResultBox& box);
};
