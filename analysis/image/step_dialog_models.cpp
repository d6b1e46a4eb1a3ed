#include "image/step_dialog_models.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "base/frontend.h"
#include "image/ima_ana.h"

// ---------------------------------------------------------------------------
// Threshold dialog

ThresholdModel::ThresholdModel(KW_ImaAna& doc)
    : m_doc(doc), m_start(doc.pixels), m_width(doc.width), m_height(doc.height) {
  setText(std::to_string(kOpening));
}

int ThresholdModel::ClampedValue(std::string_view text) {
  // Read as the C library reads an integer: leading blanks, a sign, digits up
  // to the first other character; nothing readable is 0. Saturates instead of
  // overflowing, which the clamp makes invisible.
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0; ++i) {
    value = std::min<long long>(value * 10 + (text[i] - '0'), 1000000);
  }
  if (negative) value = -value;
  if (value <= kMinimum) return kMinimum;
  if (value >= kMaximum) return kMaximum;
  return static_cast<int>(value);
}

void ThresholdModel::setText(std::string_view text) {
  m_text = std::string(text);
  const int value = ClampedValue(text);
  m_slider = value;
  m_threshold = value;
  preview();
}

void ThresholdModel::sliderMoved(int position) {
  setText(std::to_string(std::clamp(position, kMinimum, kMaximum)));
}

void ThresholdModel::preview() {
  // An empty picture, or one the document no longer has the size of, gets no preview.
  if (m_start.empty() || m_doc.pixels.size() != m_start.size()) return;
  Binarise(m_start.data(), m_doc.pixels.data(), m_width, m_height, m_threshold);
  m_doc.refresh();
}

void ThresholdModel::cancel() {
  m_doc.pixels = m_start;
  m_doc.width = m_width;
  m_doc.height = m_height;
  m_doc.refresh();
}

// ---------------------------------------------------------------------------
// Erosion-method dialog

ErosionMethodModel::ErosionMethodModel(KW_ImaAna& doc)
    : m_doc(doc),
      m_frontend(&doc.frontend()),
      m_start(doc.pixels),
      m_width(doc.width),
      m_height(doc.height),
      m_selected(kDefaultVoteMethod) {
  for (const VoteFilterRow& row : kVoteFilters) m_entries.emplace_back(row.name);
  runFilter();
}

bool ErosionMethodModel::select(int index) {
  if (index < 0 || index >= static_cast<int>(m_entries.size())) return false;
  if (index == m_selected) return true;
  m_selected = index;
  runFilter();
  return true;
}

bool ErosionMethodModel::select(std::string_view text) {
  const auto it = std::find(m_entries.begin(), m_entries.end(), text);
  if (it == m_entries.end()) return false;
  return select(static_cast<int>(it - m_entries.begin()));
}

void ErosionMethodModel::runFilter() {
  if (m_start.empty() || m_doc.pixels.size() != m_start.size()) return;
  const FRONTEND::WaitCursor wait(*m_frontend);
  VoteFilter(m_start.data(), m_doc.pixels.data(), m_width, m_height, m_selected);
  m_doc.refresh();
  if (m_selected == kOriginalMethod) {
    // "Original" shows the starting picture, written back and refreshed again.
    std::copy(m_start.begin(), m_start.end(), m_doc.pixels.begin());
    m_doc.refresh();
  }
}

void ErosionMethodModel::cancel() {
  m_doc.pixels = m_start;
  m_doc.width = m_width;
  m_doc.height = m_height;
  m_doc.refresh();
}
