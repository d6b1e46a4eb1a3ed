#include "roots/detail/log_buffer.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/kw_log.h"

namespace {
constexpr std::string_view kBoundLine = "[log bound reached: the rest of this log was left out]\n";
}

void LogBuffer::add(std::string_view text) {
  if (m_full) return;
  if (m_taken + text.size() > m_bound) {
    closeAtBound();
    return;
  }
  m_taken += text.size();
  m_text.append(text);
  if (m_text.size() >= kFlushSize) flush();
}

void LogBuffer::closeAtBound() {
  m_full = true;
  m_text.append(kBoundLine);
  flush();
}

namespace {

// Formats the conversions the analysis logs use, %i and %f, straight into
// text; false (text unchanged) for any other conversion.
bool FormatSimple(std::string& text, const char* format, va_list args) {
  const std::size_t start = text.size();
  for (const char* p = format; *p != '\0'; ++p) {
    const char* percent = std::strchr(p, '%');
    if (percent == nullptr) {
      text.append(p);
      return true;
    }
    text.append(p, percent);
    p = percent + 1;
    if (*p == 'i' || *p == 'd') {
      std::array<char, 16> digits{};
      const auto [end, ec] = std::to_chars(digits.data(), digits.data() + digits.size(), va_arg(args, int));
      text.append(digits.data(), end);
    } else if (*p == 'f') {
      // Fixed notation with six decimals, rounded exactly as printf does.
      const double value = va_arg(args, double);
      std::array<char, 400> number{};
      const auto [end, ec] = std::isfinite(value)
                                 ? std::to_chars(number.data(), number.data() + number.size(), value,
                                                 std::chars_format::fixed, 6)
                                 : std::to_chars_result{nullptr, std::errc::invalid_argument};
      if (ec != std::errc{}) {
        text.resize(start);
        return false;
      }
      text.append(number.data(), end);
    } else if (*p == '%') {
      text.push_back('%');
    } else {
      text.resize(start);
      return false;
    }
  }
  return true;
}

}  // namespace

void LogBuffer::addF(const char* format, ...) {
  if (m_full) return;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const std::size_t before = m_text.size();
  const bool done = FormatSimple(m_text, format, args);
  va_end(args);
  if (done) {
    va_end(again);
    const std::size_t added = m_text.size() - before;
    if (m_taken + added > m_bound) {
      m_text.resize(before);
      closeAtBound();
      return;
    }
    m_taken += added;
    if (m_text.size() >= kFlushSize) flush();
    return;
  }
  std::array<char, 512> small{};
  va_list third;
  va_copy(third, again);
  const int n = std::vsnprintf(small.data(), small.size(), format, again);
  va_end(again);
  if (n < 0) {
    va_end(third);
    return;
  }
  const auto size = static_cast<std::size_t>(n);
  if (size < small.size()) {
    va_end(third);
    add(std::string_view(small.data(), size));
    return;
  }
  std::string big(size + 1, '\0');
  std::vsnprintf(big.data(), big.size(), format, third);
  va_end(third);
  big.resize(size);
  add(big);
}

void LogBuffer::flush() {
  if (m_text.empty()) return;
  AppendLog(m_sink, m_name, m_text);
  m_text.clear();
}
