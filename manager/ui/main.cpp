// tessary: the manager. It keeps one instance per user and hands the
// switches of later launches to the first. With a display it runs its
// window over both servers; without one (a terminal, a set-up script) it
// loads the settings and language texts, runs install mode, logs to the
// terminal as well as to Tessary.log, and ends on "-quit" (from its own
// command line or a later launch). Both end on SIGINT and SIGTERM.
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "manager/app/engine.h"
#include "manager/config/install_root.h"
#include "manager/config/switches.h"
#include "manager/platform/single_instance.h"
#include "manager/servers/server_stack.h"
#include "manager/ui/main_window.h"

namespace {

volatile sig_atomic_t g_stop = 0;
int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
  g_stop = 1;
  if (g_signalPipe[1] >= 0) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
  }
}

bool HasDisplay() {
  for (const char* v : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(v);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

// The manager with its window; the event loop also listens to later
// launches and to the end signals.
int RunWindow(int argc, char** argv, const tessary::Switches& switches, tessary::SingleInstance& instance) {
  QApplication app(argc, argv);
  app.setApplicationName("Tessary");
  app.setQuitOnLastWindowClosed(false);
  int status = 0;
  {
    tessary::ServerStack stack(tessary::InstallRoot());
    tessary::ui::MainWindow window(stack, switches);
    window.show();
    QSocketNotifier* handOver = nullptr;
    if (instance.listenDescriptor() >= 0) {
      handOver = new QSocketNotifier(instance.listenDescriptor(), QSocketNotifier::Read, &window);
      QObject::connect(handOver, &QSocketNotifier::activated, &window, [&] {
        for (const auto& names : instance.Receive(0))
          window.engine().HandOver(tessary::SwitchesFromNames(names));
      });
    }
    if (::pipe(g_signalPipe) == 0) {
      auto* ends = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &window);
      QObject::connect(ends, &QSocketNotifier::activated, &window, [&] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &c, 1);
        window.exitManager();
      });
    }
    if (window.Initialise() != 0 && switches.IsPresent("install")) status = 1;
    window.engine().PostSwitches();

    app.exec();
    tessary::Trace("End Tessary...");
  }
  return status;
}

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
  const bool first = instance.Acquire();
  // The hand-over that cannot be offered; the manager runs all the same.
  if (!instance.message().empty()) tessary::Trace("SingleInstance: %s", instance.message().c_str());
  if (!first) {
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
  if (HasDisplay()) return RunWindow(argc, argv, switches, instance);
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
            // Without a window there is nothing to stay for once the list
            // is printed.
            quit = true;
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
      for (const auto& names : instance.Receive(700)) engine.HandOver(tessary::SwitchesFromNames(names));
    }
    tessary::Trace("End Tessary...");
  }  // the engine goes, and with it the settings are saved
  return status;
}
