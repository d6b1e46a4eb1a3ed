// The check marks of the Prepare and Detect commands. Each document keeps its
// own nine flags; the window shows those of the active document. Starting a
// step sets its flag and clears the other eight, so the menu's check mark sits
// at the last step started.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

enum class StepMark : int {
  MakeBlackWhite = 0,
  RemoveBox,
  RemoveNoise,
  Dilate,
  Skeletonize,
  Retouch,
  FindRoots,
  ConfirmRoots,
  SaveExperiment,
};
inline constexpr int kStepMarkCount = 9;

// The menu entries the flags belong to, in StepMark order.
inline constexpr std::array<std::string_view, kStepMarkCount> kStepMenuEntries = {
    " &Make B\\W", " &Remove box", " Remove noise",  " D&ilate",        " &Skeletonize",
    " &Re-touch",  " Find roots",  " Confirm roots", " Save experiment"};

class StepMarks {
 public:
  // Sets the flag of step and clears the other eight.
  void check(StepMark step) {
    m_flags.fill(false);
    m_flags[index(step)] = true;
  }
  bool isChecked(StepMark step) const { return m_flags[index(step)]; }
  // Sets or clears one flag alone (Find roots keeps the flag of Confirm roots).
  void set(StepMark step, bool on) { m_flags[index(step)] = on; }
  void clear() { m_flags.fill(false); }

 private:
  static std::size_t index(StepMark step) { return static_cast<std::size_t>(step); }
  std::array<bool, kStepMarkCount> m_flags{};
};
