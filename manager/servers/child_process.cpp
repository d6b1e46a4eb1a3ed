#include "manager/servers/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "manager/platform/process.h"

namespace tessary {
namespace {

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// The readers and the waiter look at their flags at least this often, which
// bounds every join of Stop.
constexpr int kPollMs = 100;

}  // namespace

int ChildProcess::StartChildProcess(const std::string& commandLine, bool show) {
  (void)show;
  Stop();
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return errno;
  if (::pipe2(out, O_CLOEXEC) != 0) {
    const int e = errno;
    ::close(in[0]);
    ::close(in[1]);
    return e;
  }
  if (::pipe2(err, O_CLOEXEC) != 0) {
    const int e = errno;
    ::close(in[0]);
    ::close(in[1]);
    ::close(out[0]);
    ::close(out[1]);
    return e;
  }
  platform::LaunchPipes pipes;
  pipes.stdinFd = in[0];
  pipes.stdoutFd = out[1];
  pipes.stderrFd = err[1];
  pid_t pid = 0;
  const int rc = platform::Spawn(commandLine, pipes, pid);
  // The child's ends belong to the child alone from here on.
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  if (rc != 0) {
    ::close(in[1]);
    ::close(out[0]);
    ::close(err[0]);
    if (m_output != nullptr) m_output->OnStdout("Unable to start " + commandLine);
    return rc;
  }
  m_pid = pid;
  m_stdinWrite = in[1];
  m_stdoutRead = out[0];
  m_stderrRead = err[0];
  if (::pipe2(m_stopEvent, O_CLOEXEC) != 0) m_stopEvent[0] = m_stopEvent[1] = -1;
  m_exitStatus = -1;
  m_childAlive = true;
  m_stopRequested = false;
  m_running = true;
  m_stdoutReader = std::thread([this] { readerLoop(m_stdoutRead, false); });
  m_stderrReader = std::thread([this] { readerLoop(m_stderrRead, true); });
  m_waiter = std::thread([this] { waiterLoop(); });
  if (m_output != nullptr) m_output->OnStart(commandLine);
  return 0;
}

void ChildProcess::readerLoop(int fd, bool isStderr) {
  // The output is drained to its end even after the child has ended (its
  // last lines tell why it ended); only a stop ends the reading early.
  char buf[257];
  for (;;) {
    if (m_stopRequested.load()) return;
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, kPollMs);
    if (ready < 0 && errno != EINTR) return;
    if (ready <= 0) continue;
    const ssize_t n = ::read(fd, buf, 256);
    if (n == 0) return;  // every writer has closed its end: the broken pipe
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return;
    }
    buf[n] = '\0';
    if (m_output == nullptr) continue;
    const std::string text(buf, static_cast<std::size_t>(n));
    if (isStderr)
      m_output->OnStderr(text);
    else
      m_output->OnStdout(text);
  }
}

void ChildProcess::waiterLoop() {
  while (m_running.load()) {
    int status = 0;
    const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
    if (r == m_pid || (r < 0 && errno == ECHILD)) {
      m_exitStatus = r == m_pid ? status : -1;
      m_childAlive = false;
      m_running = false;
      break;
    }
    pollfd p{m_stopEvent[0], POLLIN, 0};
    ::poll(&p, m_stopEvent[0] >= 0 ? 1 : 0, 5);
  }
  if (m_output != nullptr) m_output->OnExit();
}

void ChildProcess::Stop() {
  const bool started = m_waiter.joinable() || m_stdoutReader.joinable() || m_stderrReader.joinable();
  if (!started) return;
  m_running = false;
  m_stopRequested = true;
  if (m_stopEvent[1] >= 0) {
    const char one = 1;
    ssize_t unused = ::write(m_stopEvent[1], &one, 1);
    (void)unused;
  }
  if (m_waiter.joinable()) m_waiter.join();
  if (m_stdoutReader.joinable()) m_stdoutReader.join();
  if (m_stderrReader.joinable()) m_stderrReader.join();
  closeAll();
  if (m_childAlive.load()) {
    // Still alive after the stop: end it (and what it started in its group),
    // then wait a bounded time for it to go.
    platform::KillProcessGroup(m_pid);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
      if (r == m_pid || (r < 0 && errno == ECHILD)) {
        m_exitStatus = r == m_pid ? status : -1;
        m_childAlive = false;
        break;
      }
      ::usleep(5000);
    }
  }
  CloseFd(m_stopEvent[0]);
  CloseFd(m_stopEvent[1]);
}

void ChildProcess::closeAll() {
  CloseFd(m_stdinWrite);
  CloseFd(m_stdoutRead);
  CloseFd(m_stderrRead);
}

}  // namespace tessary
