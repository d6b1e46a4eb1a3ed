// The state and rules of the two preview dialogs of the Prepare menu, kept
// apart from any window so that tests and every frontend share them:
// the threshold dialog of Make B\W ("Black and White Box") and the
// erosion-method dialog of Remove noise ("Choice of Erosion Method").
//
// Both keep the document's picture as it was when they opened (the starting
// picture) and write their preview into the document's picture, so the
// document's view always shows the current preview.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class KW_ImaAna;
namespace FRONTEND {
class Frontend;
}

class ThresholdModel {
 public:
  static constexpr int kMinimum = 40;
  static constexpr int kMaximum = 120;
  static constexpr int kOpening = 90;
  // The slider shows a tick every 2 values and pages by 1.
  static constexpr int kTickEvery = 2;
  static constexpr int kPageSize = 1;

  // Keeps the starting picture and types "90" into the edit box, which runs
  // the first preview.
  explicit ThresholdModel(KW_ImaAna& doc);
  ThresholdModel(const ThresholdModel&) = delete;
  ThresholdModel& operator=(const ThresholdModel&) = delete;

  // The edit box's text changed: the text read as an integer, 40 or less
  // giving 40 and 120 or more giving 120, moves the slider, becomes the
  // threshold and is previewed. The box keeps the text as typed.
  void setText(std::string_view text);
  // The slider's thumb was dragged or released, or it paged downwards: the
  // edit box receives the position.
  void sliderMoved(int position);

  const std::string& text() const { return m_text; }
  int sliderPosition() const { return m_slider; }
  int threshold() const { return m_threshold; }

  // OK: the document keeps the black-and-white picture; returns the threshold.
  int accept() const { return m_threshold; }
  // Cancel: the starting picture goes back into the document, which refreshes.
  void cancel();

  // The text as the edit box reads it, clamped to 40..120.
  static int ClampedValue(std::string_view text);

 private:
  void preview();

  KW_ImaAna& m_doc;
  std::vector<std::uint32_t> m_start;
  int m_width;
  int m_height;
  std::string m_text;
  int m_slider = kOpening;
  int m_threshold = kOpening;
};

class ErosionMethodModel {
 public:
  // Fills the list in the vote table's order, selects "Gaussian2", keeps the
  // starting picture and runs the filter once.
  explicit ErosionMethodModel(KW_ImaAna& doc);
  ErosionMethodModel(const ErosionMethodModel&) = delete;
  ErosionMethodModel& operator=(const ErosionMethodModel&) = delete;

  // The list's entries, in order.
  const std::vector<std::string>& entries() const { return m_entries; }
  int selected() const { return m_selected; }
  const std::string& selectedText() const { return m_entries[static_cast<std::size_t>(m_selected)]; }

  // A change of selection runs the filter; selecting the entry already
  // selected changes nothing. Returns false for an index or text not in the list.
  bool select(int index);
  bool select(std::string_view text);

  // OK: the document keeps the filtered picture; returns the list's text.
  const std::string& accept() const { return selectedText(); }
  // Cancel: the starting picture goes back into the document, which refreshes.
  void cancel();

  // The frontend that shows the dialog: the wait cursor of a filter run by
  // a change of selection is its own. Until then the document's.
  void showOn(FRONTEND::Frontend& frontend) { m_frontend = &frontend; }

 private:
  void runFilter();

  KW_ImaAna& m_doc;
  FRONTEND::Frontend* m_frontend;
  std::vector<std::uint32_t> m_start;
  int m_width;
  int m_height;
  std::vector<std::string> m_entries;
  int m_selected;
};
