#include "base/batch_frontend.h"

namespace FRONTEND {

namespace {
const char* answerText(Answer a) {
  switch (a) {
    case Answer::Yes:
      return "yes";
    case Answer::No:
      return "no";
    case Answer::Cancel:
      return "cancel";
  }
  return "?";
}
}  // namespace

void BatchFrontend::print(const std::string& title, const std::string& text, const char* answer) {
  if (m_out == nullptr) return;
  if (answer != nullptr)
    std::fprintf(m_out, "%s: %s [%s]\n", title.c_str(), text.c_str(), answer);
  else
    std::fprintf(m_out, "%s: %s\n", title.c_str(), text.c_str());
  std::fflush(m_out);
}

void BatchFrontend::showMessage(const std::string& title, const std::string& text) {
  print(title, text, nullptr);
}

bool BatchFrontend::askYesNo(const std::string& title, const std::string& text) {
  const bool yes = m_answers.yesNo == Answer::Yes;
  print(title, text, yes ? "yes" : "no");
  return yes;
}

bool BatchFrontend::askOkCancel(const std::string& title, const std::string& text) {
  print(title, text, m_answers.okCancel ? "ok" : "cancel");
  return m_answers.okCancel;
}

Answer BatchFrontend::askYesNoCancel(const std::string& title, const std::string& text) {
  print(title, text, answerText(m_answers.yesNoCancel));
  return m_answers.yesNoCancel;
}

FolderChoice BatchFrontend::chooseFolder(const std::string& title, const std::string& /*startFolder*/) {
  if (m_answers.folder.empty()) {
    print(title, "no folder given", "cancel");
    return {};
  }
  print(title, m_answers.folder, "chosen");
  return {1, m_answers.folder};
}

bool BatchFrontend::passwordSql(PasswordSQL& dialog) {
  // The password itself is never printed.
  const bool ok = m_answers.adminPassword && m_answers.adminPassword(dialog);
  print("Mysql Administrator Permission", "MySQL administrator Password:", ok ? "ok" : "cancel");
  return ok;
}

SaveFileChoice BatchFrontend::chooseSaveFile(std::size_t maxName) {
  if (m_answers.saveFile.empty() || m_answers.saveFile.size() > maxName) {
    print("Save As", m_answers.saveFile.empty() ? "no file given" : "file name too long", "cancel");
    return {};
  }
  SaveFileChoice c{1, m_answers.saveFile, m_answers.saveFilter};
  m_answers.saveFile.clear();
  return c;
}

bool BatchFrontend::runQuerySheet(BoxQueryPRS& sheet) {
  const bool ok = m_answers.querySheet && m_answers.querySheet(sheet);
  if (!ok) print("Query", "no query given", "cancel");
  return ok;
}

Answer BatchFrontend::ask(const DialogRequest& request) {
  const auto answer = [](bool ok) { return ok ? Answer::Yes : Answer::Cancel; };
  return std::visit(Overloaded{[&](PasswordSQL* dialog) { return answer(passwordSql(*dialog)); },
                               [&](SaveFileRequest* save) {
                                 save->choice = chooseSaveFile(save->maxName);
                                 return answer(save->choice.status == 1);
                               },
                               [&](BoxQueryPRS* sheet) { return answer(runQuerySheet(*sheet)); },
                               [&](auto*) { return DefaultAnswer(request); }},
                    request);
}

}  // namespace FRONTEND
