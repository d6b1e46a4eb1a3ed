// The state and rules of the four dialogs of the root analysis, kept apart
// from any window so that tests, the batch program and the desktop program
// share them: "Is this a root?" (MyBoxIsARoot), "Image information"
// (MyBoxInfoGeneral), "Warning!" (ResultFileExistBox) and "Result folder
// path" (ResultBox). A window binds its controls to these members and calls
// the button operations; it holds no rule of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class SampleNames;
namespace FRONTEND {
class Frontend;
}

// Confirms one plant: shows the copy of the picture inside the plant's
// bounding box, upright.
class MyBoxIsARoot {
 public:
  static constexpr std::string_view kCaption = "Is this a root?";
  // The dialog opens at this screen position.
  static constexpr int kLeft = 650;
  static constexpr int kTop = 300;

  // subPicture holds xdim x ydim pixels, bottom row first (the plant record's
  // copy); missing pixels show black.
  MyBoxIsARoot(const std::vector<std::uint32_t>& subPicture, int xdim, int ydim);
  // The same with the copy made by cut when the picture is first looked at:
  // a frontend that answers without showing it costs no copy.
  MyBoxIsARoot(std::function<std::vector<std::uint32_t>()> cut, int xdim, int ydim);

  // Room for the picture and the two buttons: xdim + 20 wide, but never less
  // than 202; ydim + 76 high.
  static int DialogWidth(int xdim) { return xdim > 186 ? xdim + 20 : 202; }
  static int DialogHeight(int ydim) { return ydim + 76; }
  int dialogWidth() const { return DialogWidth(m_width); }
  int dialogHeight() const { return DialogHeight(m_height); }

  // The picture as shown, 0x00RRGGBB, the plant's top row first.
  const std::vector<std::uint32_t>& picture() const;
  int pictureWidth() const { return m_width; }
  int pictureHeight() const { return m_height; }

  // The plant asked about is number index (1-based) of count.
  int index = 0;
  int count = 0;
  // What the answer means for the plants not yet asked: ask each (the
  // default), take them all as roots with this one (Yes to all), or ask no
  // more and leave them as they were found (Stop; answers given are kept).
  enum class Rest { AskNext, AllYes, Stop };
  Rest rest = Rest::AskNext;

 private:
  void flip(const std::vector<std::uint32_t>& subPicture) const;

  int m_width;
  int m_height;
  mutable std::function<std::vector<std::uint32_t>()> m_cut;
  mutable std::vector<std::uint32_t> m_picture;
};

// The description of the plate and the picture resolution, asked when an
// experiment is saved.
class MyBoxInfoGeneral {
 public:
  static constexpr std::string_view kCaption = "Image information";
  static constexpr std::size_t kMaxText = 249;

  // The lists come from names (not owned); without it they stay empty.
  explicit MyBoxInfoGeneral(SampleNames* names = nullptr) : m_names(names) {}

  // The seven texts as the controls hold them ("User name:", "Experiment
  // name:", "Box name:", "Genotype:", "Media:", "Days after germination",
  // "Picture Resolution"); empty at construction.
  std::string user;
  std::string experiment;
  std::string box;
  std::string genotype;
  std::string media;
  std::string age;
  std::string resolution;
  // Set by OK when the resolution is a positive number.
  bool complete = false;

  // Opening: empties both lists and fills them with the genotype and media
  // names of the database (SampleNamesSql reads each table over a connection
  // of its own that shows no error, every name appended to log_sql.txt);
  // sorted. A database out of reach, or none, leaves a list empty. frontend
  // is the one that shows the dialog.
  void open(FRONTEND::Frontend& frontend);
  const std::vector<std::string>& genotypeList() const { return m_genotypes; }
  const std::vector<std::string>& mediaList() const { return m_media; }

  // The age and resolution edits accept digits only: the text they keep.
  static std::string DigitsOnly(std::string_view typed);

  // OK: cuts every text to 249 characters and sets complete when the
  // resolution is a positive number. An empty resolution, or one of 0 (which
  // would give no scale), leaves complete clear.
  void ok();
  // True after OK when a resolution was typed but is not a positive number:
  // the caller says that a positive resolution is needed.
  bool resolutionRefused() const { return m_refused; }
  // The resolution in dots per inch as typed (the leading digits), 0 without.
  int resolutionDpi() const;

 private:
  SampleNames* m_names;
  std::vector<std::string> m_genotypes;
  std::vector<std::string> m_media;
  bool m_refused = false;
};

// A result file of the proposed name exists: save under another name,
// overwrite it, or cancel.
class ResultFileExistBox {
 public:
  static constexpr std::string_view kCaption = "Warning!";
  static constexpr std::string_view kExistsLabel = "This file already exists!";
  static constexpr std::string_view kSaveAsLabel = "Save as:";
  static constexpr std::size_t kMaxResultName = 149;

  // The edit box opens with the proposed name.
  explicit ResultFileExistBox(std::string proposedName);

  // The edit box's text.
  std::string edited;

  // "OK": the result name is the edit box's text.
  void ok();
  // "Overwrite": the result name is the proposed name.
  void overwrite();

  const std::string& proposedName() const { return m_proposed; }
  const std::string& resultName() const { return m_result; }

 private:
  std::string m_proposed;
  std::string m_result;
};

// Shows the result folder and changes it.
class ResultBox {
 public:
  static constexpr std::string_view kCaption = "Result folder path";
  static constexpr std::string_view kLabel = "Result folder path : ";
  // Background of the folder's text field.
  static constexpr std::uint32_t kFieldColour = 0xE0EEE0U;

  // Opening: the result folder (asked for when none is set yet). frontend
  // is the one that shows the dialog: it asks for the folder.
  void open(FRONTEND::Frontend& frontend);
  // "Change": forgets the folder (removing it when empty) and asks for a new one.
  void change(FRONTEND::Frontend& frontend);
  // The full path; empty when none is set.
  const std::string& folder() const { return m_folder; }
  // The path cut in the middle with "..." to at most maxChars characters,
  // for a view that measures in characters.
  static std::string ElideMiddle(std::string_view path, std::size_t maxChars);

 private:
  std::string m_folder;
};
