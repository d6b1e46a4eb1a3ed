// Runs a piece of a test on a thread with a small stack, so that a walk that
// takes one call per level of a tree fails there for certain (a crash) at a
// depth that a walk with a stack of its own handles in a moment.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>

namespace dbtest {

// Room for the walks and the client library's calls, a fraction of what one
// call per level of a tree thousands of levels deep takes.
inline constexpr std::size_t kSmallStackBytes = std::size_t{512} * 1024;

// Runs work on a new thread with a stack of stackBytes and waits for it;
// false when the thread could not be started (work has not run then).
inline bool RunOnSmallStack(std::size_t stackBytes, std::function<void()> work) {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  bool started = pthread_attr_setstacksize(&attr, stackBytes) == 0;
  pthread_t thread;
  const auto run = [](void* w) -> void* {
    (*static_cast<std::function<void()>*>(w))();
    return nullptr;
  };
  started = started && pthread_create(&thread, &attr, run, &work) == 0;
  pthread_attr_destroy(&attr);
  if (started) pthread_join(thread, nullptr);
  return started;
}

}  // namespace dbtest
