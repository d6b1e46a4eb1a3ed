// The manager's settings: six switches, the editor and the language, which takes
// effect at once. Works on the engine's Settings directly; Apply copies the
// switches into them, the window saves them when the dialog has closed.
#pragma once

#include <QDialog>

#include "manager/app/engine.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tessary::ui {

class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  SettingsDialog(ManagerEngine& engine, QWidget* parent = nullptr);

  // Whether the two switches that reach beyond this user may be changed.
  static bool SystemSwitchesAllowed();

 signals:
  void aboutRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void relabel();
  void apply();
  void changed();
  void languageChosen(int index);

  ManagerEngine& m_engine;
  QCheckBox* m_autoStartTessary;
  QCheckBox* m_startAsServices;
  QCheckBox* m_autoStartServers;
  QCheckBox* m_checkVersion;
  QCheckBox* m_autoReloadConf;
  QCheckBox* m_autoRestart;
  QCheckBox* m_checkServerPorts;
  QLabel* m_languageLabel;
  QComboBox* m_language;
  QLabel* m_editorLabel;
  QLineEdit* m_editor;
  QPushButton* m_apply;
  QPushButton* m_close;
  QPushButton* m_about;
};

}  // namespace tessary::ui
