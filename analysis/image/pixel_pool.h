// Picture buffers outlive their documents by one step: the buffer of a closed
// document is kept and handed to the next picture that fits in it. Users
// open plates one after another by the hundred, mostly of one size; reusing
// the buffer spares the system clearing tens of megabytes of fresh memory for
// every plate. One buffer is kept, the largest. A pool belongs to whoever
// opens the documents (a batch run, the desktop window) and may be shared by
// their threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

class PixelPool {
 public:
  // A buffer of exactly count pixels whose values are left as they were (the
  // caller overwrites every one), or an empty vector when no kept buffer is
  // large enough.
  std::vector<std::uint32_t> take(std::size_t count);
  // Keeps buffer for a later picture when it is larger than the one kept.
  void recycle(std::vector<std::uint32_t>&& buffer);
  // Frees the kept buffer.
  void release();

 private:
  std::mutex m_mutex;
  std::vector<std::uint32_t> m_kept;
};
