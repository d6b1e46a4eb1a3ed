#include "log_buffer.h"

#include "kw_log.h"

#include <array>
#include <cstdarg>
#include <cstdio>

void LogBuffer::add(std::string_view text) {
  m_text.append(text);
  if (m_text.size() >= kFlushSize) flush();
}

void LogBuffer::addF(const char* format, ...) {
  std::array<char, 512> small{};
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(small.data(), small.size(), format, args);
  va_end(args);
  if (n < 0) {
    va_end(again);
    return;
  }
  const auto size = static_cast<std::size_t>(n);
  if (size < small.size()) {
    va_end(again);
    add(std::string_view(small.data(), size));
    return;
  }
  std::string big(size + 1, '\0');
  std::vsnprintf(big.data(), big.size(), format, again);
  va_end(again);
  big.resize(size);
  add(big);
}

void LogBuffer::flush() {
  if (m_text.empty()) return;
  AppendLog(m_name, m_text);
  m_text.clear();
}
