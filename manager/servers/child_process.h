// The runner of a child program whose standard handles are pipes: two reader
// threads drain its output and error, a waiter notices its end, and a bounded
// stop ends whatever is still alive.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <string>
#include <thread>

namespace tessary {

// What the runner reports. OnStdout, OnStderr and OnExit are called on the
// runner's own threads; OnStart on the thread that starts the child.
class ChildOutput {
 public:
  virtual ~ChildOutput() = default;
  virtual void OnStart(const std::string& commandLine) = 0;
  virtual void OnStdout(const std::string& text) = 0;
  virtual void OnStderr(const std::string& text) = 0;
  virtual void OnExit() = 0;
};

class ChildProcess {
 public:
  // output may be null: then whatever the child writes is read and dropped.
  explicit ChildProcess(ChildOutput* output = nullptr) : m_output(output) {}
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() { Stop(); }

  // Starts the command line with its standard input, output and error on
  // pipes. Returns 0 or the error of the start; on failure OnStdout receives
  // "Unable to start <command line>". A runner still busy is stopped first.
  // show is kept for the callers' sake: a Linux child has no window.
  int StartChildProcess(const std::string& commandLine, bool show = false);

  // Clears the running flag, signals the stop event, joins the threads
  // (each gives up within a tenth of a second), closes the pipes and ends a
  // child still alive (its whole process group) after a bounded wait.
  void Stop();

  // Whether the child has not ended yet.
  bool IsActive() const { return m_childAlive.load(); }
  pid_t childPid() const { return m_pid; }
  // The child's exit status as waitpid gives it, -1 while unknown.
  int exitStatus() const { return m_exitStatus.load(); }

 private:
  void readerLoop(int fd, bool isStderr);
  void waiterLoop();
  void closeAll();

  ChildOutput* m_output;
  pid_t m_pid = 0;
  // The running flag and the stop event of the runner: set before its
  // threads start, cleared (and the event signalled) when it stops.
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_stopRequested{false};
  std::atomic<bool> m_childAlive{false};
  std::atomic<int> m_exitStatus{-1};
  int m_stopEvent[2] = {-1, -1};  // a pipe: writing a byte signals it
  int m_stdinWrite = -1;          // parent's ends of the three pipes
  int m_stdoutRead = -1;
  int m_stderrRead = -1;
  std::thread m_stdoutReader;
  std::thread m_stderrReader;
  std::thread m_waiter;
};

}  // namespace tessary
