// A frontend for tests: questions are answered from queues filled by the
// test, and every box shown is recorded with its kind, title and text.
// An empty queue answers with the default (Yes, OK, cancel for folders)
// and the box is still recorded.
#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "base/frontend.h"

namespace FRONTEND {

class ScriptedFrontend : public Frontend {
 public:
  enum class Kind {
    Message,
    YesNo,
    OkCancel,
    YesNoCancel,
    Folder,
    ThresholdDialog,
    ErosionMethodDialog,
    PasswordDialog,
    RetouchDialog,
    SaveFile,
    QuerySheet,
    IsARootDialog,
    InfoGeneralDialog,
    ResultFileExistDialog,
    ResultFolderDialog
  };
  struct Shown {
    Kind kind;
    std::string title;
    std::string text;
  };

  void showMessage(const std::string& title, const std::string& text) override;
  bool askYesNo(const std::string& title, const std::string& text) override;
  bool askOkCancel(const std::string& title, const std::string& text) override;
  Answer askYesNoCancel(const std::string& title, const std::string& text) override;
  FolderChoice chooseFolder(const std::string& title, const std::string& startFolder) override;
  // Records the dialog and answers it from its queue.
  Answer ask(const DialogRequest& request) override;
  void setWaitCursor(bool on) override { on ? ++waitCursorShown : ++waitCursorRemoved; }

  // Queues of answers, taken front first.
  std::deque<Answer> answers;        // yes/no, OK/cancel (Yes = OK) and yes/no/cancel
  std::deque<FolderChoice> folders;  // folder chooser
  // The image-step dialogs: each script works the model as a user would and
  // returns true for OK, false for Cancel. An empty queue answers OK.
  std::deque<std::function<bool(ThresholdModel&)>> thresholdScripts;
  std::deque<std::function<bool(ErosionMethodModel&)>> erosionMethodScripts;
  // The re-touch editor: each script edits the model and returns true for
  // OK. An empty queue answers Cancel.
  std::deque<std::function<bool(RetouchModel&)>> retouchScripts;
  // How often the wait cursor was shown and removed.
  int waitCursorShown = 0;
  int waitCursorRemoved = 0;
  // The administrator password dialog: each script types into the dialog and
  // returns true for OK. An empty queue answers Cancel.
  std::deque<std::function<bool(PasswordSQL&)>> passwordScripts;
  // The save-file dialog: answers taken front first; an empty queue cancels.
  std::deque<SaveFileChoice> saveFiles;
  // The filters of the last save-file dialog shown.
  std::vector<FileFilter> lastSaveFilters;
  // The query sheet: each script works the pages as a user would and returns
  // true for OK. An empty queue answers Cancel.
  std::deque<std::function<bool(BoxQueryPRS&)>> querySheetScripts;
  // The analysis dialogs. "Is this a root?" takes its answers from
  // isARootAnswers (empty: Yes). The other three run their scripts, which
  // work the model as a user would; an empty queue answers Cancel (the
  // result folder dialog: not shown, false).
  std::deque<Answer> isARootAnswers;
  // Run before isARootAnswers while any is left: sees the model, sets its rest.
  std::deque<std::function<Answer(MyBoxIsARoot&)>> isARootScripts;
  std::deque<std::function<bool(MyBoxInfoGeneral&)>> infoGeneralScripts;
  std::deque<std::function<Answer(ResultFileExistBox&)>> resultFileExistScripts;
  std::deque<std::function<bool(ResultBox&)>> resultFolderScripts;
  // Everything shown, in order.
  std::vector<Shown> shown;

  // The texts of the plain messages shown, in order.
  std::vector<std::string> messages() const;

 private:
  Answer next();
  bool runThresholdDialog(ThresholdModel& model);
  bool runErosionMethodDialog(ErosionMethodModel& model);
  bool runRetouchDialog(RetouchModel& model);
  bool passwordSql(PasswordSQL& dialog);
  SaveFileChoice chooseSaveFile(const std::vector<FileFilter>& filters);
  bool runQuerySheet(BoxQueryPRS& sheet);
  Answer isARoot(MyBoxIsARoot& box);
  bool infoGeneral(MyBoxInfoGeneral& box);
  Answer resultFileExists(ResultFileExistBox& box);
  bool resultFolder(ResultBox& box);
};

}  // namespace FRONTEND
