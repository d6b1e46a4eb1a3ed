#include "image/detail/pixel_pool.h"

#include <mutex>

namespace {

std::mutex g_mutex;
std::vector<std::uint32_t> g_kept;

}  // namespace

std::vector<std::uint32_t> TakePixelBuffer(std::size_t count) {
  std::vector<std::uint32_t> buffer;
  {
    const std::lock_guard<std::mutex> lock(g_mutex);
    if (count == 0 || g_kept.size() < count) return buffer;
    buffer.swap(g_kept);
  }
  // Shrinking keeps the memory and touches no value.
  buffer.resize(count);
  return buffer;
}

void RecyclePixelBuffer(std::vector<std::uint32_t>&& buffer) {
  if (buffer.capacity() == 0) return;
  // The whole capacity counts, so a later larger picture fits without
  // clearing; the values beyond the size are cleared once here.
  if (buffer.size() < buffer.capacity()) buffer.resize(buffer.capacity());
  std::vector<std::uint32_t> dropped;
  {
    const std::lock_guard<std::mutex> lock(g_mutex);
    if (buffer.size() <= g_kept.size()) return;  // buffer is freed by its owner
    dropped.swap(g_kept);
    g_kept.swap(buffer);
  }
  // dropped, the smaller buffer, is freed outside the lock.
}

void ReleasePixelPool() {
  std::vector<std::uint32_t> dropped;
  const std::lock_guard<std::mutex> lock(g_mutex);
  dropped.swap(g_kept);
}
