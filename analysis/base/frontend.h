// The user-facing boxes through which the analysis and database logic talk
// to the user: four message boxes, the system error text and the folder
// chooser. The logic never shows a window itself; it calls these functions,
// which forward to the frontend installed for the calling thread: the
// desktop program's, the batch program's, or a scripted one in tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Models of the image-step dialogs (analysis/image/step_dialog_models.h).
class ThresholdModel;
class ErosionMethodModel;
class RetouchModel;
// Model of the administrator password dialog (analysis/database/password_sql.h).
class PasswordSQL;
// The query sheet (analysis/database/query_pages.h).
class BoxQueryPRS;
// Models of the analysis dialogs (analysis/roots/analysis_dialog_models.h).
class MyBoxIsARoot;
class MyBoxInfoGeneral;
class ResultFileExistBox;
class ResultBox;

namespace FRONTEND {

// Message text is cut to 1023 characters, the title to 255.
inline constexpr std::size_t kMaxMessage = 1023;
inline constexpr std::size_t kMaxTitle = 255;
inline constexpr std::size_t kMaxSystemError = 127;
// The application's title, shown as the caption of every box.
inline constexpr std::string_view kAppTitle = "Morvane";

enum class Answer { Yes, No, Cancel };

// Result of the folder chooser: 1 and the chosen path, or -1 on cancel.
struct FolderChoice {
  int status = -1;
  std::string path;
};

// One entry of a save dialog's type list: "Csv file" and "*.csv".
struct FileFilter {
  std::string name;
  std::string pattern;
};

// Result of the save-file dialog: 1, the chosen name and the index of the
// type list entry selected when the user confirmed; -1 on cancel.
struct SaveFileChoice {
  int status = -1;
  std::string path;
  int filter = 0;
};

// One implementation per way of meeting the user. Every dialog that the
// logic opens has one operation here.
class Frontend {
 public:
  Frontend() = default;
  Frontend(const Frontend&) = delete;
  Frontend& operator=(const Frontend&) = delete;
  virtual ~Frontend() = default;

  // QMesajBOX: OK only.
  virtual void showMessage(const std::string& title, const std::string& text) = 0;
  // QYesNoBOX: true when Yes was pressed.
  virtual bool askYesNo(const std::string& title, const std::string& text) = 0;
  // QExtMbBOX: true when OK was pressed.
  virtual bool askOkCancel(const std::string& title, const std::string& text) = 0;
  // QYNcanBOX.
  virtual Answer askYesNoCancel(const std::string& title, const std::string& text) = 0;
  // KW_PthBox: the folder browser opened at startFolder.
  virtual FolderChoice chooseFolder(const std::string& title, const std::string& startFolder) = 0;
  // MyBWTBBox: the threshold dialog over model; true for OK, false for Cancel.
  // Without a dialog the opening threshold is accepted.
  virtual bool runThresholdDialog(ThresholdModel& /*model*/) { return true; }
  // CleaningBox: the erosion-method dialog over model; true for OK. Without a
  // dialog the method selected at opening is accepted.
  virtual bool runErosionMethodDialog(ErosionMethodModel& /*model*/) { return true; }
  // MyBoxDrawLine: the re-touch editor over model; true for OK. Without a
  // dialog nothing is edited and the picture stays as it was.
  virtual bool runRetouchDialog(RetouchModel& /*model*/) { return false; }
  // The wait cursor over the program's windows while a long step runs.
  virtual void setWaitCursor(bool /*on*/) {}
  // PasswordSQL: the administrator password dialog; types into dialog and
  // returns true for OK, false for Cancel. Without a dialog: Cancel.
  virtual bool passwordSql(PasswordSQL& /*dialog*/) { return false; }
  // The system's save-file dialog with the type list filters, the entry
  // `selected` chosen at opening, for a name of at most maxName characters.
  // Without a dialog: cancel.
  virtual SaveFileChoice chooseSaveFile(const std::vector<FileFilter>& /*filters*/, int /*selected*/,
                                        std::size_t /*maxName*/) {
    return {};
  }
  // BoxQueryPRS: the "Query" sheet; the user works its pages and the
  // frontend returns true for OK (the sheet then reads its pages). Without
  // a sheet: Cancel.
  virtual bool runQuerySheet(BoxQueryPRS& /*sheet*/) { return false; }
  // MyBoxIsARoot: Yes or No as pressed, Cancel when closed any other way.
  // Without a dialog every plant is taken as a root.
  virtual Answer isARoot(MyBoxIsARoot& /*box*/) { return Answer::Yes; }
  // MyBoxInfoGeneral: the dialog opens the model, the user types into it;
  // true for OK (the model's ok() was called), false for Cancel. Without a
  // dialog: Cancel.
  virtual bool infoGeneral(MyBoxInfoGeneral& /*box*/) { return false; }
  // ResultFileExistBox: Yes for OK or Overwrite (the model holds the result
  // name), Cancel for Cancel, No when closed any other way. Without a
  // dialog: Cancel, so no file is overwritten unasked.
  virtual Answer resultFileExists(ResultFileExistBox& /*box*/) { return Answer::Cancel; }
  // ResultBox: the dialog opens the model and closes with OK; false when
  // there is no dialog to show.
  virtual bool resultFolder(ResultBox& /*box*/) { return false; }
};

// The frontend in use on the calling thread. Until one is installed there, a
// batch frontend that writes to standard error and answers every question
// with its default is used.
Frontend& Current();
// Installs f (not owned) for the calling thread and returns the previous one;
// nullptr restores the default.
Frontend* Install(Frontend* f);

// The four boxes and the chooser, as the logic calls them.
void ShowMessage(std::string_view text);
bool AskYesNo(std::string_view text);
bool AskOkCancel(std::string_view text);
Answer AskYesNoCancel(std::string_view text);
FolderChoice ChooseFolder(std::string_view title, std::string_view startFolder);
inline SaveFileChoice ChooseSaveFile(const std::vector<FileFilter>& filters, int selected,
                                     std::size_t maxName) {
  return Current().chooseSaveFile(filters, selected, maxName);
}
// The image-step dialogs, as the commands open them.
inline bool RunThresholdDialog(ThresholdModel& model) { return Current().runThresholdDialog(model); }
inline bool RunErosionMethodDialog(ErosionMethodModel& model) {
  return Current().runErosionMethodDialog(model);
}

// The analysis dialogs, as the commands open them.
inline Answer IsARoot(MyBoxIsARoot& box) { return Current().isARoot(box); }
inline bool InfoGeneral(MyBoxInfoGeneral& box) { return Current().infoGeneral(box); }
inline Answer ResultFileExists(ResultFileExistBox& box) { return Current().resultFileExists(box); }
inline bool ResultFolder(ResultBox& box) { return Current().resultFolder(box); }

// Shows the wait cursor for its lifetime.
class WaitCursor {
 public:
  WaitCursor() { Current().setWaitCursor(true); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  ~WaitCursor() { Current().setWaitCursor(false); }
};

// The operating system's text for error code err (errno), at most 127
// characters, without a trailing line break.
std::string SystemErrorText(int err);
// The same for the current errno.
std::string SystemErrorText();

// Cuts s to at most n bytes without splitting a UTF-8 sequence.
std::string CutText(std::string_view s, std::size_t n);

// Installs a frontend for the lifetime of the guard and restores the previous
// one after.
class ScopedFrontend {
 public:
  explicit ScopedFrontend(Frontend& f) : m_previous(Install(&f)) {}
  ScopedFrontend(const ScopedFrontend&) = delete;
  ScopedFrontend& operator=(const ScopedFrontend&) = delete;
  ~ScopedFrontend() { Install(m_previous); }

 private:
  Frontend* m_previous;
};

}  // namespace FRONTEND
