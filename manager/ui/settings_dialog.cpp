#include "manager/ui/settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "manager/platform/system.h"
#include "manager/ui/icons.h"

namespace tessary::ui {

bool SettingsDialog::SystemSwitchesAllowed() { return IsAdmin() && IsWindowsNT() && IsOnFixedDrive(); }

SettingsDialog::SettingsDialog(ManagerEngine& engine, QWidget* parent) : QDialog(parent), m_engine(engine) {
  setObjectName("settingsDialog");
  setWindowIcon(TrayIconPicture(142));
  auto box = [this](const char* name) {
    auto* c = new QCheckBox(this);
    c->setObjectName(name);
    return c;
  };
  m_autoStartTessary = box("autoStartTessary");
  m_startAsServices = box("startAsServices");
  m_autoStartServers = box("autoStartServers");
  m_checkVersion = box("checkVersion");
  m_autoReloadConf = box("autoReloadConf");
  m_autoRestart = box("autoRestart");
  m_checkServerPorts = box("checkServerPorts");
  m_languageLabel = new QLabel(this);
  m_languageLabel->setObjectName("languageLabel");
  m_language = new QComboBox(this);
  m_language->setObjectName("language");
  m_editorLabel = new QLabel(this);
  m_editorLabel->setObjectName("editorLabel");
  m_editor = new QLineEdit(this);
  m_editor->setObjectName("editor");
  m_editor->setMaxLength(static_cast<int>(Settings::kMaxPath));
  m_apply = new QPushButton(this);
  m_apply->setObjectName("apply");
  m_close = new QPushButton(this);
  m_close->setObjectName("close");
  m_about = new QPushButton(this);
  m_about->setObjectName("about");

  auto* layout = new QVBoxLayout(this);
  for (QCheckBox* c : {m_autoStartTessary, m_startAsServices, m_autoStartServers, m_checkVersion,
                       m_autoReloadConf, m_autoRestart, m_checkServerPorts})
    layout->addWidget(c);
  auto* lang = new QHBoxLayout;
  lang->addWidget(m_languageLabel);
  lang->addWidget(m_language, 1);
  layout->addLayout(lang);
  layout->addWidget(m_editorLabel);
  layout->addWidget(m_editor);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_about);
  buttons->addStretch();
  buttons->addWidget(m_apply);
  buttons->addWidget(m_close);
  layout->addLayout(buttons);

  LanguageList& languages = m_engine.languages();
  for (int i = 0; i < languages.Count(); ++i) m_language->addItem(QString::fromStdString(languages.Name(i)));
  m_language->setCurrentIndex(languages.CurrentIndex());

  const Settings& s = m_engine.settings();
  m_autoStartTessary->setChecked(s.autoStartTessary);
  m_startAsServices->setChecked(s.startAsServices);
  m_autoStartServers->setChecked(s.autoStartServers);
  m_checkVersion->setChecked(s.checkVersion);
  m_autoReloadConf->setChecked(s.autoReloadConf);
  m_autoRestart->setChecked(s.autoRestart);
  m_checkServerPorts->setChecked(s.checkServerPorts);
  m_editor->setText(QString::fromStdString(s.editor));
  const bool system = SystemSwitchesAllowed();
  m_startAsServices->setEnabled(system);
  m_autoStartTessary->setEnabled(system);
  m_autoStartServers->setEnabled(!s.startAsServices);
  relabel();

  for (QCheckBox* c : {m_autoStartTessary, m_autoStartServers, m_checkVersion, m_autoReloadConf,
                       m_autoRestart, m_checkServerPorts})
    connect(c, &QCheckBox::clicked, this, &SettingsDialog::changed);
  connect(m_startAsServices, &QCheckBox::clicked, this, [this](bool on) {
    // Services start with the system, so the start with the manager has no say.
    m_autoStartServers->setEnabled(!on);
    changed();
  });
  connect(m_editor, &QLineEdit::textEdited, this, &SettingsDialog::changed);
  connect(m_language, &QComboBox::activated, this, &SettingsDialog::languageChosen);
  connect(m_apply, &QPushButton::clicked, this, &SettingsDialog::apply);
  connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
  connect(m_about, &QPushButton::clicked, this, &SettingsDialog::aboutRequested);
  m_apply->setEnabled(false);
  m_close->setDefault(true);
  m_close->setFocus();
}

void SettingsDialog::relabel() {
  auto t = [this](int id) { return QString::fromUtf8(m_engine.LoadText(id)); };
  setWindowTitle(QString::fromStdString(m_engine.settings().programName));
  m_autoStartTessary->setText(t(32827));
  m_startAsServices->setText(t(32828));
  m_autoStartServers->setText(t(32829));
  m_checkVersion->setText(t(32830));
  m_autoReloadConf->setText(t(32831));
  m_autoRestart->setText(t(32921));
  m_autoRestart->setToolTip(t(32922));
  m_checkServerPorts->setText(t(32855));
  m_languageLabel->setText(t(32856));
  m_editorLabel->setText(t(32915));
  m_apply->setText(t(32833));
  m_close->setText(t(32834));
  m_about->setText(t(32835));
  m_checkVersion->setToolTip(t(32801));
  m_autoReloadConf->setToolTip(t(32802));
  m_startAsServices->setToolTip(t(32798));
  m_autoStartServers->setToolTip(t(32804));
}

void SettingsDialog::changed() { m_apply->setEnabled(true); }

void SettingsDialog::languageChosen(int index) {
  if (!m_engine.languages().Select(index)) return;
  std::string name = m_engine.languages().Name(index);
  if (name.size() > LanguageList::kMaxName) name.resize(LanguageList::kMaxName);
  m_engine.settings().lang = name;
  relabel();
  changed();
}

void SettingsDialog::apply() {
  Settings& s = m_engine.settings();
  s.autoStartTessary = m_autoStartTessary->isChecked();
  s.startAsServices = m_startAsServices->isChecked();
  s.autoStartServers = m_autoStartServers->isChecked();
  s.checkVersion = m_checkVersion->isChecked();
  s.autoReloadConf = m_autoReloadConf->isChecked();
  s.autoRestart = m_autoRestart->isChecked();
  s.checkServerPorts = m_checkServerPorts->isChecked();
  const std::string editor = m_editor->text().trimmed().toStdString();
  // A command cut to fit would name another program: it is refused whole.
  if (editor.size() <= Settings::kMaxPath)
    s.editor = editor;
  else
    QMessageBox::warning(this, windowTitle(),
                         m_editorLabel->text() + QString(": > %1").arg(Settings::kMaxPath));
  m_apply->setEnabled(false);
}

void SettingsDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    QWidget* w = focusWidget();
    const int id = w == m_autoStartServers ? 32804 : w == m_startAsServices ? 32798 : 0;
    if (id != 0) {
      QMessageBox::information(this, windowTitle(), QString::fromUtf8(m_engine.LoadText(id)));
      return;
    }
  }
  QDialog::keyPressEvent(event);
}

}  // namespace tessary::ui
