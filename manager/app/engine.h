// The manager's engine as the main window owns it: the objects it brings
// up in order, install mode and the removable-drive question, and the
// hand-over of switches from later launches. The window (or the small
// engine-only program) is the frontend.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "manager/config/language.h"
#include "manager/config/manager_log.h"
#include "manager/config/settings.h"
#include "manager/config/switches.h"
#include "manager/servers/stack_control.h"

namespace tessary {

// What the engine asks of the window.
class ManagerFrontend : public LogListSink {
 public:
  // A Yes/No question with the question icon; true for Yes.
  virtual bool AskYesNo(std::string_view caption, std::string_view question) = 0;
  // Queues a main window command (a switch, a shortcut).
  virtual void PostCommand(int command) = 0;
  // A later launch handed over: show the window in front.
  virtual void BringToFront() = 0;
};

class ManagerEngine {
 public:
  // Brings up, in this order: the settings (load, PATH), the language list
  // and the language of "Lang", the settings pushed into the servers (when
  // there is a stack control), the PHP configuration paths and time.
  ManagerEngine(ManagerFrontend& frontend, const Switches& switches, StackControl* stack);
  ManagerEngine(const ManagerEngine&) = delete;
  ManagerEngine& operator=(const ManagerEngine&) = delete;

  // When the window is initialised: the settings or language file that
  // could not be used are logged, then install mode when the "install"
  // switch is present, else the removable-drive question when the program
  // is not on a fixed drive. 0, or the first error of install mode.
  int Initialise();
  // Install mode: services off, the stack laid out (what is missing), the
  // live files regenerated, the safe copies written. Problems are logged
  // and listed in installMessages().
  int InstallMode();
  // The question for a program on removable media: regenerate the live
  // configuration files (Yes) before the servers run? The answer.
  bool AskRemovableDriveQuestion();

  // The commands of the switches given at start, in table order.
  void PostSwitches();
  // The switches of a later launch: window to the front, then its commands.
  void HandOver(const Switches& switches);

  // The text of a string id in the current language.
  const char* LoadText(int id) { return m_languages.LoadText(id); }
  // The database arguments: the setting, or string 32782 when it is empty
  // (at most 249 bytes).
  std::string DatabaseArguments();

  Settings& settings() { return m_settings; }
  LanguageList& languages() { return m_languages; }
  ManagerLog& log() { return m_log; }
  const Switches& switches() const { return m_switches; }
  const std::vector<std::string>& installMessages() const { return m_installMessages; }

  const std::string& phpTemplate() const { return m_phpTemplate; }
  const std::string& phpLive() const { return m_phpLive; }
  std::filesystem::file_time_type phpTemplateTime() const { return m_phpTemplateTime; }

 private:
  ManagerFrontend& m_frontend;
  Switches m_switches;
  StackControl* m_stack;
  Settings m_settings;
  LanguageList m_languages;
  ManagerLog m_log;
  std::string m_phpTemplate;
  std::string m_phpLive;
  std::filesystem::file_time_type m_phpTemplateTime{};
  std::vector<std::string> m_installMessages;
};

// Copies the three live configuration files into root "safe/" (replacing
// older copies; a missing live file is skipped).
void WriteSafeCopies(const std::string& root);

}  // namespace tessary
