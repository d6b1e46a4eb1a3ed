#include "roots/analysis_dialog_models.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "base/frontend.h"
#include "base/kw_log.h"
#include "roots/sample_names.h"

MyBoxIsARoot::MyBoxIsARoot(const std::vector<std::uint32_t>& subPicture, int xdim, int ydim)
    : m_width(std::max(0, xdim)), m_height(std::max(0, ydim)) {
  flip(subPicture);
}

MyBoxIsARoot::MyBoxIsARoot(std::function<std::vector<std::uint32_t>()> cut, int xdim, int ydim)
    : m_width(std::max(0, xdim)), m_height(std::max(0, ydim)), m_cut(std::move(cut)) {}

const std::vector<std::uint32_t>& MyBoxIsARoot::picture() const {
  if (m_cut) {
    const auto cut = std::move(m_cut);
    m_cut = nullptr;
    flip(cut());
  }
  return m_picture;
}

void MyBoxIsARoot::flip(const std::vector<std::uint32_t>& subPicture) const {
  const auto w = static_cast<std::size_t>(m_width);
  const auto h = static_cast<std::size_t>(m_height);
  m_picture.assign(w * h, 0U);
  // The plant's copy starts at its bottom row; the dialog shows its top first.
  for (std::size_t r = 0; r < h; ++r) {
    const std::size_t from = (h - 1 - r) * w;
    if (from >= subPicture.size()) continue;
    const std::size_t n = std::min(w, subPicture.size() - from);
    std::copy_n(subPicture.begin() + static_cast<std::ptrdiff_t>(from), n,
                m_picture.begin() + static_cast<std::ptrdiff_t>(r * w));
  }
}

void MyBoxInfoGeneral::open(FRONTEND::Frontend& frontend) {
  m_genotypes.clear();
  m_media.clear();
  if (m_names == nullptr) return;
  m_genotypes = m_names->genotypeNames(frontend);
  m_media = m_names->mediaNames(frontend);
  // The lists sort their entries.
  std::sort(m_genotypes.begin(), m_genotypes.end());
  std::sort(m_media.begin(), m_media.end());
}

std::string MyBoxInfoGeneral::DigitsOnly(std::string_view typed) {
  std::string digits;
  for (const char c : typed)
    if (c >= '0' && c <= '9') digits.push_back(c);
  return digits;
}

int MyBoxInfoGeneral::resolutionDpi() const {
  // As atoi reads it, without its overflow.
  const long long v = std::strtoll(resolution.c_str(), nullptr, 10);
  if (v <= 0) return 0;
  return v > 1000000 ? 1000000 : static_cast<int>(v);
}

void MyBoxInfoGeneral::ok() {
  for (std::string* text : {&user, &experiment, &box, &genotype, &media, &age, &resolution})
    *text = FRONTEND::CutText(*text, kMaxText);
  complete = resolutionDpi() > 0;
  // A resolution of 0 gives no scale: refused as an empty one, but said.
  m_refused = !complete && !resolution.empty();
}

ResultFileExistBox::ResultFileExistBox(std::string proposedName)
    : edited(proposedName), m_proposed(std::move(proposedName)), m_result(m_proposed) {}

void ResultFileExistBox::ok() { m_result = FRONTEND::CutText(edited, kMaxResultName); }

void ResultFileExistBox::overwrite() { m_result = m_proposed; }

void ResultBox::open(FRONTEND::Frontend& frontend) {
  m_folder = KW_Log::Result_Folder_Path(frontend).value_or(std::string());
}

void ResultBox::change(FRONTEND::Frontend& frontend) {
  m_folder = KW_Log::Change_Result_Folder(frontend).value_or(std::string());
}

std::string ResultBox::ElideMiddle(std::string_view path, std::size_t maxChars) {
  if (path.size() <= maxChars) return std::string(path);
  if (maxChars <= 3) return std::string(path.substr(0, maxChars));
  const std::size_t keep = maxChars - 3;
  const std::size_t head = (keep + 1) / 2;
  const std::size_t tail = keep - head;
  return std::string(path.substr(0, head)) + "..." + std::string(path.substr(path.size() - tail));
}
