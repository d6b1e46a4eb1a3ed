#include "manager/platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

namespace tessary::platform {
namespace {

// A descriptor closed when it goes out of scope.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : m_fd(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }
  int get() const { return m_fd; }
  void reset(int fd = -1) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }

 private:
  int m_fd = -1;
};

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// The program file of a command's first word: absolute or relative paths as
// they are, a bare name searched along PATH (done before fork, where the
// child may no longer allocate).
std::string ResolveProgram(const std::string& word) {
  if (word.find('/') != std::string::npos) return word;
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::stringstream in(dirs);
  std::string dir;
  while (std::getline(in, dir, ':')) {
    if (dir.empty()) continue;
    std::string candidate = dir;
    candidate += '/';
    candidate += word;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return word;
}

// Marks every descriptor from 3 up close-on-exec, so that nothing of this
// process leaks into the program while the exec error report stays usable
// until the exec; async-signal-safe.
void CloseFrom3OnExec(int maxFd) {
#ifdef SYS_close_range
  constexpr unsigned kCloseRangeCloexec = 4U;
  if (::syscall(SYS_close_range, 3U, ~0U, kCloseRangeCloexec) == 0) return;
#endif
  for (int fd = 3; fd < maxFd; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

int MaxFd() {
  const long n = ::sysconf(_SC_OPEN_MAX);
  return n > 0 && n < 65536 ? static_cast<int>(n) : 65536;
}

void WriteErrno(int fd, int err) {
  ssize_t unused = ::write(fd, &err, sizeof err);
  (void)unused;
}

// Reads the errno a child sends before failing its exec; 0 when the pipe
// closes without one (the exec worked).
int ReadExecError(int fd) {
  int err = 0;
  ssize_t n;
  do {
    n = ::read(fd, &err, sizeof err);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(sizeof err) ? err : 0;
}

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string text;
  char buf[4096];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    text.append(buf, static_cast<std::size_t>(in.gcount()));
    if (text.size() > 65536) break;  // command lines and stat lines are short
  }
  return text;
}

std::string ReadLink(const std::string& path) {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<std::size_t>(n));
}

// State letter, parent and process group of /proc/<pid>/stat; false when
// unreadable.
bool ReadStat(pid_t pid, char& state, pid_t& ppid, std::string* comm, pid_t* pgid = nullptr) {
  const std::string stat = ReadSmallFile("/proc/" + std::to_string(pid) + "/stat");
  const auto open = stat.find('(');
  const auto close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close + 4 > stat.size()) return false;
  if (comm != nullptr) *comm = stat.substr(open + 1, close - open - 1);
  state = stat[close + 2];
  char* end = nullptr;
  ppid = static_cast<pid_t>(std::strtol(stat.c_str() + close + 4, &end, 10));
  if (pgid != nullptr) *pgid = static_cast<pid_t>(std::strtol(end, nullptr, 10));
  return true;
}

// Socket inodes listening on port, from one /proc/net table.
void ListeningInodes(const std::string& table, int port, std::set<std::string>& inodes) {
  std::ifstream in(table);
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string sl, local, remote, st, queues, timer, retr, uid, timeout, inode;
    if (!(fields >> sl >> local >> remote >> st >> queues >> timer >> retr >> uid >> timeout >> inode))
      continue;
    if (st != "0A") continue;  // LISTEN
    const auto colon = local.rfind(':');
    if (colon == std::string::npos) continue;
    if (std::strtol(local.c_str() + colon + 1, nullptr, 16) == port) inodes.insert(inode);
  }
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

int Spawn(const std::string& commandLine, const LaunchPipes& pipes, pid_t& pid) {
  pid = 0;
  std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty()) return ENOENT;
  const std::string program = ResolveProgram(words[0]);
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  Fd devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
  int errPipe[2];
  if (::pipe2(errPipe, O_CLOEXEC) != 0) return errno;
  Fd errRead(errPipe[0]);
  Fd errWrite(errPipe[1]);
  const int maxFd = MaxFd();
  const int in = pipes.stdinFd >= 0 ? pipes.stdinFd : devNull.get();
  const int out = pipes.stdoutFd >= 0 ? pipes.stdoutFd : devNull.get();
  const int err = pipes.stderrFd >= 0 ? pipes.stderrFd : devNull.get();

  const pid_t child = ::fork();
  if (child < 0) return errno;
  if (child == 0) {
    ::setsid();
    // dup2 onto 0..2 clears close-on-exec on the copies.
    if (::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) {
      WriteErrno(errWrite.get(), errno);
      ::_exit(127);
    }
    CloseFrom3OnExec(maxFd);
    ::execv(program.c_str(), argv.data());
    WriteErrno(errWrite.get(), errno);
    ::_exit(127);
  }
  errWrite.reset();
  const int execError = ReadExecError(errRead.get());
  if (execError != 0) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return execError;
  }
  pid = child;
  return 0;
}

int LaunchDetached(const std::string& commandLine, pid_t* daemonPid) {
  if (daemonPid != nullptr) *daemonPid = 0;
  std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty()) return ENOENT;
  const std::string program = ResolveProgram(words[0]);
  if (::access(program.c_str(), X_OK) != 0) return errno;
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  Fd devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
  int pidPipe[2];
  if (::pipe2(pidPipe, O_CLOEXEC) != 0) return errno;
  Fd pidRead(pidPipe[0]);
  Fd pidWrite(pidPipe[1]);
  // Closes when the program has been executed (or says why it was not), so
  // that on return the pid runs the program, not a copy of this one.
  int errPipe[2];
  if (::pipe2(errPipe, O_CLOEXEC) != 0) return errno;
  Fd errRead(errPipe[0]);
  Fd errWrite(errPipe[1]);
  const int maxFd = MaxFd();
  const int nul = devNull.get();

  const pid_t middle = ::fork();
  if (middle < 0) return errno;
  if (middle == 0) {
    ::setsid();
    const pid_t grandChild = ::fork();
    if (grandChild == 0) {
      // A session and process group of its own, so that the program and
      // whatever it starts can be ended as a whole.
      ::setsid();
      ::dup2(nul, 0);
      ::dup2(nul, 1);
      ::dup2(nul, 2);
      CloseFrom3OnExec(maxFd);
      ::execv(program.c_str(), argv.data());
      WriteErrno(errPipe[1], errno);
      ::_exit(127);
    }
    const int sent = static_cast<int>(grandChild);
    ssize_t unused = ::write(pidPipe[1], &sent, sizeof sent);
    (void)unused;
    ::_exit(grandChild > 0 ? 0 : 1);
  }
  pidWrite.reset();
  errWrite.reset();
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int grandChild = 0;
  const ssize_t n = ::read(pidRead.get(), &grandChild, sizeof grandChild);
  if (n != static_cast<ssize_t>(sizeof grandChild) || grandChild <= 0) return ECHILD;
  const int execError = ReadExecError(errRead.get());
  if (execError != 0) return execError;
  if (daemonPid != nullptr) *daemonPid = grandChild;
  return 0;
}

bool ReapIfEnded(pid_t pid, int* exitStatus) {
  if (pid <= 0) return true;
  int status = 0;
  const pid_t r = ::waitpid(pid, &status, WNOHANG);
  if (r == pid) {
    if (exitStatus != nullptr) *exitStatus = status;
    return true;
  }
  if (r < 0 && errno == ECHILD) return ProcessAlive(pid) != 0;
  return false;
}

int ProcessAlive(pid_t pid) {
  if (pid <= 0) return ESRCH;
  int status = 0;
  if (::waitpid(pid, &status, WNOHANG) == pid) return ESRCH;  // our child, now reaped
  char state = 0;
  pid_t ppid = 0;
  if (!ReadStat(pid, state, ppid, nullptr)) return ESRCH;
  if (state == 'Z' || state == 'X' || state == 'x') return ESRCH;
  return 0;
}

std::vector<ProcessEntry> ListProcesses() {
  std::vector<ProcessEntry> list;
  DirHandle proc(::opendir("/proc"));
  if (!proc) return list;
  while (const dirent* e = ::readdir(proc.get())) {
    char* end = nullptr;
    const long n = std::strtol(e->d_name, &end, 10);
    if (n <= 0 || end == nullptr || *end != '\0') continue;
    ProcessEntry entry;
    entry.pid = static_cast<pid_t>(n);
    char state = 0;
    if (!ReadStat(entry.pid, state, entry.ppid, &entry.comm, &entry.pgid)) continue;
    if (state == 'Z' || state == 'X') continue;
    const std::string base = std::string("/proc/") + e->d_name;
    const std::string cmdline = ReadSmallFile(base + "/cmdline");
    entry.argv0 = cmdline.substr(0, cmdline.find('\0'));
    entry.exe = ReadLink(base + "/exe");
    entry.cwd = ReadLink(base + "/cwd");
    list.push_back(std::move(entry));
  }
  return list;
}

pid_t TopmostProcess(const std::vector<ProcessEntry>& list,
                     const std::function<bool(const ProcessEntry&)>& matches) {
  std::set<pid_t> matching;
  for (const auto& e : list)
    if (matches(e)) matching.insert(e.pid);
  for (const auto& e : list)
    if (matching.count(e.pid) != 0 && matching.count(e.ppid) == 0) return e.pid;
  return matching.empty() ? 0 : *matching.begin();
}

bool StartedAs(const ProcessEntry& entry, const std::string& path) {
  if (path.empty() || entry.argv0.empty()) return false;
  if (entry.argv0 == path) return true;
  if (entry.argv0[0] == '/' || entry.cwd.empty()) return false;
  // A relative start: compare the absolute form.
  std::string absolute = entry.cwd + "/" + entry.argv0;
  return absolute == path;
}

int CanSignal(pid_t pid) {
  if (pid <= 0) return ESRCH;
  if (ProcessAlive(pid) != 0) return ESRCH;
  return ::kill(pid, 0) == 0 ? 0 : errno;
}

bool CatchesSignal(pid_t pid, int signal) {
  if (pid <= 0 || signal < 1 || signal > 64) return false;
  std::istringstream status(ReadSmallFile("/proc/" + std::to_string(pid) + "/status"));
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigCgt:", 0) != 0) continue;
    const unsigned long long mask = std::strtoull(line.c_str() + 7, nullptr, 16);
    return ((mask >> (signal - 1)) & 1ULL) != 0;
  }
  return false;
}

int SendSignal(pid_t pid, int signal) {
  if (pid <= 0) return ESRCH;
  return ::kill(pid, signal) == 0 ? 0 : errno;
}

int KillProcessGroup(pid_t pid) {
  if (pid <= 0) return ESRCH;
  const pid_t group = ::getpgid(pid);
  // A leader that has ended leaves its group id taken while members remain,
  // so the id still names the same group.
  if ((group == pid || group < 0) && ::kill(-pid, SIGKILL) == 0) {
    ReapIfEnded(pid);
    return 0;
  }
  return ::kill(pid, SIGKILL) == 0 ? 0 : errno;
}

std::string PortHolder(int port) {
  std::set<std::string> inodes;
  ListeningInodes("/proc/net/tcp", port, inodes);
  ListeningInodes("/proc/net/tcp6", port, inodes);
  if (inodes.empty()) return {};
  std::set<std::string> targets;
  for (const auto& inode : inodes) targets.insert("socket:[" + inode + "]");
  DirHandle proc(::opendir("/proc"));
  if (!proc) return {};
  std::string found;
  pid_t foundPid = 0;
  while (const dirent* e = ::readdir(proc.get())) {
    char* end = nullptr;
    const long n = std::strtol(e->d_name, &end, 10);
    if (n <= 0 || end == nullptr || *end != '\0') continue;
    const std::string fdDir = std::string("/proc/") + e->d_name + "/fd";
    DirHandle fds(::opendir(fdDir.c_str()));
    if (!fds) continue;
    while (const dirent* f = ::readdir(fds.get())) {
      if (f->d_name[0] == '.') continue;
      if (targets.count(ReadLink(fdDir + "/" + f->d_name)) == 0) continue;
      const pid_t pid = static_cast<pid_t>(n);
      char state = 0;
      pid_t ppid = 0;
      std::string comm;
      if (foundPid == 0 && ReadStat(pid, state, ppid, &comm)) {
        found = comm;
        foundPid = pid;
      }
      break;
    }
    if (foundPid != 0) break;
  }
  if (foundPid == 0) return {};
  // Workers share the listening socket with their master: walk up while the parent has the same name: the
  // master of a server.
  for (int hops = 0; hops < 8; ++hops) {
    char state = 0;
    pid_t ppid = 0;
    std::string comm;
    if (!ReadStat(foundPid, state, ppid, &comm)) break;
    std::string parentComm;
    char parentState = 0;
    pid_t grand = 0;
    if (ppid <= 1 || !ReadStat(ppid, parentState, grand, &parentComm) || parentComm != comm) break;
    foundPid = ppid;
  }
  return found + " (pid " + std::to_string(foundPid) + ")";
}

std::int64_t FileWriteTime(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return 0;
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

std::string CurrentUserName() {
  const uid_t uid = ::geteuid();
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* result = nullptr;
  if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &result) == 0 && result != nullptr)
    return result->pw_name;
  return std::to_string(uid);
}

long ProcessAgeSeconds(pid_t pid) {
  if (pid <= 0) return -1;
  const std::string stat = ReadSmallFile("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  // The start time is field 22, the 20th after the command's closing ")".
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  for (int i = 0; i < 20 && fields >> field; ++i) {
  }
  if (!fields) return -1;
  const double ticks = std::strtod(field.c_str(), nullptr);
  const double uptime = std::strtod(ReadSmallFile("/proc/uptime").c_str(), nullptr);
  const long perSecond = ::sysconf(_SC_CLK_TCK);
  if (perSecond <= 0 || uptime <= 0) return -1;
  const double age = uptime - ticks / static_cast<double>(perSecond);
  return age < 0 ? 0 : static_cast<long>(age);
}

}  // namespace tessary::platform
