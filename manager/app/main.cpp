// tessary: the manager's start-up without its window. It keeps one
// instance per user, hands the switches of later launches to the first,
// loads the settings and language texts, runs install mode, and ends on
// "-quit" (from its own command line or a later launch) or on SIGINT and
// SIGTERM. Its log lines go to the terminal as well as to Tessary.log.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <string>

#include "manager/engine.h"
#include "manager/platform/single_instance.h"
#include "manager/switches.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

class TerminalFrontend : public tessary::ManagerFrontend {
 public:
  void AddLogLine(const std::string& line) override { std::printf("%s\n", line.c_str()); }
  bool AskYesNo(std::string_view caption, std::string_view question) override {
    if (::isatty(STDIN_FILENO) == 0) return false;
    std::printf("%.*s: %.*s [y/N] ", static_cast<int>(caption.size()), caption.data(),
                static_cast<int>(question.size()), question.data());
    std::fflush(stdout);
    char answer[16] = {};
    return std::fgets(answer, sizeof answer, stdin) != nullptr && (answer[0] == 'y' || answer[0] == 'Y');
  }
  void PostCommand(int command) override { queue.push_back(command); }
  void BringToFront() override {}

  std::deque<int> queue;
};

std::string CommandLine(int argc, char** argv) {
  std::string s;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) s += ' ';
    s += argv[i];
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  tessary::Switches switches;
  switches.Parse(argc, argv);
  const std::string cmdline = CommandLine(argc, argv);

  tessary::SingleInstance instance;
  if (!instance.Acquire()) {
    tessary::Trace("New instance Tessary, cmdline = %s", cmdline.c_str());
    instance.HandOver(switches.Names());
    return 0;
  }

  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  tessary::Trace("Start Tessary, cmdline = %s", cmdline.c_str());
  int status = 0;
  {
    TerminalFrontend frontend;
    tessary::ManagerEngine engine(frontend, switches, nullptr);
    if (engine.Initialise() != 0 && switches.IsPresent("install")) {
      std::fprintf(stderr, "tessary: the stack is not complete:\n");
      for (const std::string& m : engine.installMessages()) std::fprintf(stderr, "  %s\n", m.c_str());
      status = 1;
    }
    engine.PostSwitches();

    bool quit = false;
    while (!quit && g_stop == 0) {
      while (!frontend.queue.empty() && !quit) {
        const int command = frontend.queue.front();
        frontend.queue.pop_front();
        switch (command) {
          case tessary::kCmdQuit:
            quit = true;
            break;
          case tessary::kCmdSwitchList:
            std::printf("%s",
                        tessary::SwitchListText([&engine](int id) { return engine.LoadText(id); }).c_str());
            break;
          case tessary::kCmdInstall:
            break;  // install mode ran at start-up
          default:
            engine.log().WriteLog("Command " + std::to_string(command) + " needs the servers' window",
                                  tessary::kTagProgram);
            break;
        }
      }
      if (quit) break;
      for (const tessary::Switches& s : instance.Receive(700)) engine.HandOver(s);
    }
    tessary::Trace("End Tessary...");
  }  // the engine goes, and with it the settings are saved
  return status;
}
