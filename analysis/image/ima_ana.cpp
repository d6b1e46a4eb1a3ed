#include "ima_ana.h"

namespace {
std::array<bool, kStepMarkCount> g_stepMarks{};
}  // namespace

void CheckStep(StepMark step) {
  g_stepMarks.fill(false);
  g_stepMarks[static_cast<std::size_t>(step)] = true;
}
bool IsStepChecked(StepMark step) { return g_stepMarks[static_cast<std::size_t>(step)]; }
void SetStepChecked(StepMark step, bool on) { g_stepMarks[static_cast<std::size_t>(step)] = on; }
void ClearStepMarks() { g_stepMarks.fill(false); }

int VoteMethodIndex(std::string_view name) {
  for (int i = 0; i < kVoteMethodCount; ++i)
    if (kVoteFilters[static_cast<std::size_t>(i)].name == name) return i;
  return -1;
}

const std::array<std::uint8_t, 120> kRemovableCodes{};
const std::array<bool, 256> kIsRemovable{};

int NeighbourCode(const std::uint32_t*, int, int, int, int) { return 0; }
int CountNeighboursOfSum(const std::uint32_t*, int, int, int, int, int, int, int) { return 0; }
void Whiten(std::uint32_t*, std::size_t) {}
int NextLinePixel(const std::uint32_t*, int, int, int col, int row, int, int& nextCol, int& nextRow) {
  nextCol = col;
  nextRow = row;
  return -1;
}
void Binarise(const std::uint32_t*, std::uint32_t*, int, int, int) {}
int VoteFilter(const std::uint32_t*, std::uint32_t*, int, int, int) { return 0; }
int VoteFilter(const std::uint32_t*, std::uint32_t*, int, int, std::string_view) { return 0; }
void DrawSegment(int, int, int, int, std::uint32_t*, int, int) {}
int ThinPicture(std::uint32_t*, int, int, int) { return 0; }

KW_ImaAna::~KW_ImaAna() { ClearStepMarks(); }
void KW_ImaAna::MakeBlackWhite() {}
void KW_ImaAna::FixedBinarise() {}
int KW_ImaAna::RemoveBox() { return 0; }
void KW_ImaAna::RemoveNoise() {}
int KW_ImaAna::ApplyVoteFilter(int) { return 0; }
void KW_ImaAna::CutMargins(bool) {}
void KW_ImaAna::Dilate() {}
void KW_ImaAna::Skeletonize() {}
int KW_ImaAna::NeighbourCode(int, int) const { return 0; }
int KW_ImaAna::CountNeighboursOfSum(int, int, int, int, int) const { return 0; }
void KW_ImaAna::Whiten() {}
int KW_ImaAna::NextLinePixel(int col, int row, int, int& nextCol, int& nextRow) const {
  nextCol = col;
  nextRow = row;
  return -1;
}
