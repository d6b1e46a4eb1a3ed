#include "image/pixel_pool.h"

std::vector<std::uint32_t> PixelPool::take(std::size_t count) {
  std::vector<std::uint32_t> buffer;
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (count == 0 || m_kept.size() < count) return buffer;
    buffer.swap(m_kept);
  }
  // Shrinking keeps the memory and touches no value.
  buffer.resize(count);
  return buffer;
}

void PixelPool::recycle(std::vector<std::uint32_t>&& buffer) {
  if (buffer.capacity() == 0) return;
  // The whole capacity counts, so a later larger picture fits without
  // clearing; the values beyond the size are cleared once here.
  if (buffer.size() < buffer.capacity()) buffer.resize(buffer.capacity());
  std::vector<std::uint32_t> dropped;
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (buffer.size() <= m_kept.size()) return;  // buffer is freed by its owner
    dropped.swap(m_kept);
    m_kept.swap(buffer);
  }
  // dropped, the smaller buffer, is freed outside the lock.
}

void PixelPool::release() {
  std::vector<std::uint32_t> dropped;
  const std::lock_guard<std::mutex> lock(m_mutex);
  dropped.swap(m_kept);
}
