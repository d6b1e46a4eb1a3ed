#include "manager/servers/restart_policy.h"

namespace tessary {

bool CrashRestartPolicy::Allow(Clock::time_point now) {
  while (!m_times.empty() && now - m_times.front() >= kWindow) m_times.pop_front();
  if (m_times.size() >= static_cast<std::size_t>(kMaxRestarts)) return false;
  m_times.push_back(now);
  return true;
}

}  // namespace tessary
