// The user-facing boxes through which the analysis and database logic talk
// to the user: four message boxes, the folder chooser and one typed request
// per dialog, plus the system error text. The logic never shows a window
// itself; it is handed a frontend by whoever runs it (the desktop program's,
// the batch program's, or a scripted one in tests) and calls that.
#pragma once

#include <string>
#include <string_view>
#include <variant>
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

// The save-file dialog: the type list filters, the entry `selected` chosen
// at opening, for a name of at most maxName characters. On Yes the frontend
// has filled choice.
struct SaveFileRequest {
  std::vector<FileFilter> filters;
  int selected = 0;
  std::size_t maxName = 0;
  SaveFileChoice choice;
};

// One dialog the logic opens, given by its model; the frontend works the
// model as the user does and answers:
// - ThresholdModel (MyBWTBBox), ErosionMethodModel (CleaningBox),
//   RetouchModel (MyBoxDrawLine), PasswordSQL, BoxQueryPRS (the "Query"
//   sheet), MyBoxInfoGeneral: Yes for OK, Cancel for Cancel;
// - SaveFileRequest: Yes when a name was chosen (in its choice), Cancel;
// - MyBoxIsARoot: Yes or No as pressed, Cancel when closed any other way;
// - ResultFileExistBox: Yes for OK or Overwrite (the model holds the result
//   name), Cancel for Cancel, No when closed any other way;
// - ResultBox: Yes once the dialog was shown and closed, Cancel when there
//   is no dialog to show.
using DialogRequest =
    std::variant<ThresholdModel*, ErosionMethodModel*, RetouchModel*, PasswordSQL*, SaveFileRequest*,
                 BoxQueryPRS*, MyBoxIsARoot*, MyBoxInfoGeneral*, ResultFileExistBox*, ResultBox*>;

// The answer of a frontend that has no dialog for the request: the
// threshold and the erosion method selected at opening are accepted, the
// re-touch editor edits nothing (Cancel), every plant is taken as a root
// (Yes), and every other dialog is cancelled, so that nothing is written or
// overwritten unasked.
Answer DefaultAnswer(const DialogRequest& request);

// Visitor made of lambdas, for answering requests with std::visit.
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

// One implementation per way of meeting the user.
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
  // Every other dialog; a frontend answers those it does not show with
  // DefaultAnswer.
  virtual Answer ask(const DialogRequest& request) { return DefaultAnswer(request); }
  // The wait cursor over the program's windows while a long step runs.
  virtual void setWaitCursor(bool /*on*/) {}
};

// The frontend of whoever set none: writes every box to standard error and
// answers each with its default, as the batch program without options does.
// It holds no state; every caller may share it.
Frontend& DefaultFrontend();

// True when the user confirmed the dialog (OK or Yes).
inline bool Accepted(Frontend& frontend, const DialogRequest& request) {
  return frontend.ask(request) == Answer::Yes;
}

// The four boxes and the chooser, as the logic calls them.
void ShowMessage(Frontend& frontend, std::string_view text);
bool AskYesNo(Frontend& frontend, std::string_view text);
bool AskOkCancel(Frontend& frontend, std::string_view text);
Answer AskYesNoCancel(Frontend& frontend, std::string_view text);
FolderChoice ChooseFolder(Frontend& frontend, std::string_view title, std::string_view startFolder);

// Shows the wait cursor for its lifetime.
class WaitCursor {
 public:
  explicit WaitCursor(Frontend& frontend) : m_frontend(frontend) { m_frontend.setWaitCursor(true); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  ~WaitCursor() { m_frontend.setWaitCursor(false); }

 private:
  Frontend& m_frontend;
};

// The operating system's text for error code err (errno), at most 127
// characters, without a trailing line break.
std::string SystemErrorText(int err);
// The same for the current errno.
std::string SystemErrorText();

// Cuts s to at most n bytes without splitting a UTF-8 sequence.
std::string CutText(std::string_view s, std::size_t n);

}  // namespace FRONTEND
