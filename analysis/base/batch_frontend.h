// The frontend of the command-line program: messages go to standard error,
// questions are answered from the command line's options.
#pragma once

#include <cstdio>
#include <functional>

#include "base/frontend.h"

namespace FRONTEND {

struct BatchAnswers {
  Answer yesNo = Answer::Yes;  // --yes / --no
  bool okCancel = true;        // OK unless --no
  Answer yesNoCancel = Answer::Yes;
  std::string folder;  // answer of the folder chooser; empty: cancel
  // Types the administrator password into the dialog and returns true for OK;
  // empty: cancel.
  std::function<bool(PasswordSQL&)> adminPassword;
  // Answer of the save-file dialog, given once (a second dialog, shown after
  // a refused name, is cancelled); empty: cancel.
  std::string saveFile;
  int saveFilter = 0;
  // Works the query sheet's pages and returns true for OK; empty: cancel.
  std::function<bool(BoxQueryPRS&)> querySheet;
};

class BatchFrontend : public Frontend {
 public:
  explicit BatchFrontend(BatchAnswers answers = {}, std::FILE* out = stderr)
      : m_answers(std::move(answers)), m_out(out) {}

  void showMessage(const std::string& title, const std::string& text) override;
  bool askYesNo(const std::string& title, const std::string& text) override;
  bool askOkCancel(const std::string& title, const std::string& text) override;
  Answer askYesNoCancel(const std::string& title, const std::string& text) override;
  FolderChoice chooseFolder(const std::string& title, const std::string& startFolder) override;
  // Answers the password dialog, the save-file dialog and the query sheet
  // from the options; every other dialog with its default.
  Answer ask(const DialogRequest& request) override;

  BatchAnswers& answers() { return m_answers; }

 private:
  void print(const std::string& title, const std::string& text, const char* answer);
  bool passwordSql(PasswordSQL& dialog);
  SaveFileChoice chooseSaveFile(std::size_t maxName);
  bool runQuerySheet(BoxQueryPRS& sheet);

  BatchAnswers m_answers;
  std::FILE* m_out;
};

}  // namespace FRONTEND
