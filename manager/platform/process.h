// Processes on Linux for the server supervision: command lines, launching,
// liveness, the process list of /proc, signals and the holder of a TCP port.
//
// Results follow the manager's convention: 0 for success, else an error code
// (errno values here; the few codes the servers report by their Windows
// numbers are named in server_base.h).
#pragma once

#include <spawn.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessary::platform {

// Splits a command line into its words. Blanks separate words; a double quote
// starts or ends a quoted run in which blanks are kept (the quotes themselves
// are dropped), so "\"/a b/apache\" -k start" gives three words.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// The file actions of a posix_spawn, destroyed with their owner.
struct SpawnActions {
  posix_spawn_file_actions_t actions;
  SpawnActions() { posix_spawn_file_actions_init(&actions); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
};

// Where the standard handles of a launched program go.
struct LaunchPipes {
  int stdinFd = -1;   // the child's standard input, or -1 for /dev/null
  int stdoutFd = -1;  // the child's standard output, or -1 for /dev/null
  int stderrFd = -1;  // the child's standard error, or -1 for /dev/null
};

// Starts a command line as a child of this process in a session of its own
// (so a terminal's Ctrl-C does not reach it and its process group can be
// ended as a whole). No other descriptor of this process leaks into it.
// Returns 0 and the child's pid, or the error of the start (the program
// missing or not executable is reported here, not later).
int Spawn(const std::string& commandLine, const LaunchPipes& pipes, pid_t& pid);

// Starts a command line detached from this process (its parent is init), the
// way a program launcher does: nothing waits for it and it leaves no zombie.
// When daemonPid is given it receives the pid of the detached program.
int LaunchDetached(const std::string& commandLine, pid_t* daemonPid = nullptr);

// Reaps the child pid when it has ended; true when it has (or is no child of
// ours and no longer exists). Never blocks.
bool ReapIfEnded(pid_t pid, int* exitStatus = nullptr);

// The liveness test of a pid: 0 when the process exists and has not ended
// (a zombie counts as ended; a child of ours is reaped here), else ESRCH.
int ProcessAlive(pid_t pid);

// One entry of the process list.
struct ProcessEntry {
  pid_t pid = 0;
  pid_t ppid = 0;
  pid_t pgid = 0;     // its process group
  std::string argv0;  // first word of its command line
  std::string comm;   // the kernel's short name
  std::string exe;    // target of /proc/<pid>/exe, when readable
  std::string cwd;    // target of /proc/<pid>/cwd, when readable
};

// Every live process (zombies left out) that this user may inspect.
std::vector<ProcessEntry> ListProcesses();

// The topmost process whose entry matches: one whose parent does not match
// too (the master of a server, not one of its workers). 0 when none.
pid_t TopmostProcess(const std::vector<ProcessEntry>& list,
                     const std::function<bool(const ProcessEntry&)>& matches);

// Whether a process is running the program at path, started by that path
// (the first word of its command line is path, or its absolute form).
bool StartedAs(const ProcessEntry& entry, const std::string& path);

// "The event can be opened": the process exists (and is no zombie) and this
// user may signal it. Returns 0 or the error (ESRCH, EPERM).
int CanSignal(pid_t pid);

// Whether the process has its own handler for the signal (a server that
// has not set its handlers up yet would simply die of a hang-up).
bool CatchesSignal(pid_t pid, int signal);

// Sends a signal; 0 or the error.
int SendSignal(pid_t pid, int signal);

// Ends a process for good: its whole process group when it leads one (a web
// server's workers keep the port otherwise), else the process alone. A
// group whose leader has already ended (the workers of a killed master) is
// ended all the same.
int KillProcessGroup(pid_t pid);

// Names the program listening on 127.0.0.1 or any address at port as
// "name (pid N)" when /proc tells; empty otherwise.
std::string PortHolder(int port);

// How long the process has run, in whole seconds (from /proc); -1 when
// that cannot be read (the process is gone).
long ProcessAgeSeconds(pid_t pid);

// The last-write time of a file in nanoseconds, 0 when it cannot be read.
std::int64_t FileWriteTime(const std::string& path);

// The name of the user this process runs as (its effective user).
std::string CurrentUserName();

}  // namespace tessary::platform
