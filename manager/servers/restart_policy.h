// The limit on restarting a server that ended unexpectedly: a server that
// keeps crashing is given up on rather than restarted in a loop.
#pragma once

#include <chrono>
#include <deque>

namespace tessary {

class CrashRestartPolicy {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kMaxRestarts = 3;
  static constexpr std::chrono::seconds kWindow{60};

  // Whether a restart at now is allowed: fewer than kMaxRestarts restarts
  // in the kWindow before it. An allowed restart is counted.
  bool Allow(Clock::time_point now);
  // The restarts counted within kWindow before the last Allow.
  int Recent() const { return static_cast<int>(m_times.size()); }

 private:
  std::deque<Clock::time_point> m_times;  // at most kMaxRestarts
};

}  // namespace tessary
