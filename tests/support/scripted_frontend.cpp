#include "support/scripted_frontend.h"

#include "image/step_dialog_models.h"

namespace FRONTEND {

Answer ScriptedFrontend::next() {
  if (answers.empty()) return Answer::Yes;
  const Answer a = answers.front();
  answers.pop_front();
  return a;
}

void ScriptedFrontend::showMessage(const std::string& title, const std::string& text) {
  shown.push_back({Kind::Message, title, text});
}

bool ScriptedFrontend::askYesNo(const std::string& title, const std::string& text) {
  shown.push_back({Kind::YesNo, title, text});
  return next() == Answer::Yes;
}

bool ScriptedFrontend::askOkCancel(const std::string& title, const std::string& text) {
  shown.push_back({Kind::OkCancel, title, text});
  return next() == Answer::Yes;
}

Answer ScriptedFrontend::askYesNoCancel(const std::string& title, const std::string& text) {
  shown.push_back({Kind::YesNoCancel, title, text});
  return next();
}

FolderChoice ScriptedFrontend::chooseFolder(const std::string& title, const std::string& startFolder) {
  shown.push_back({Kind::Folder, title, startFolder});
  if (folders.empty()) return {};
  FolderChoice c = folders.front();
  folders.pop_front();
  return c;
}

bool ScriptedFrontend::runThresholdDialog(ThresholdModel& model) {
  shown.push_back({Kind::ThresholdDialog, "Black and White Box", ""});
  if (thresholdScripts.empty()) return true;
  const auto script = std::move(thresholdScripts.front());
  thresholdScripts.pop_front();
  return script(model);
}

bool ScriptedFrontend::runErosionMethodDialog(ErosionMethodModel& model) {
  shown.push_back({Kind::ErosionMethodDialog, "Choice of Erosion Method", ""});
  model.showOn(*this);
  if (erosionMethodScripts.empty()) return true;
  const auto script = std::move(erosionMethodScripts.front());
  erosionMethodScripts.pop_front();
  return script(model);
}

bool ScriptedFrontend::runRetouchDialog(RetouchModel& model) {
  shown.push_back({Kind::RetouchDialog, "Draw line", ""});
  if (retouchScripts.empty()) return false;
  const auto script = std::move(retouchScripts.front());
  retouchScripts.pop_front();
  return script(model);
}

bool ScriptedFrontend::passwordSql(PasswordSQL& dialog) {
  shown.push_back({Kind::PasswordDialog, "Mysql Administrator Permission", ""});
  if (passwordScripts.empty()) return false;
  const auto script = std::move(passwordScripts.front());
  passwordScripts.pop_front();
  return script(dialog);
}

SaveFileChoice ScriptedFrontend::chooseSaveFile(const std::vector<FileFilter>& filters) {
  shown.push_back({Kind::SaveFile, "Save As", ""});
  lastSaveFilters = filters;
  if (saveFiles.empty()) return {};
  SaveFileChoice c = saveFiles.front();
  saveFiles.pop_front();
  return c;
}

bool ScriptedFrontend::runQuerySheet(BoxQueryPRS& sheet) {
  shown.push_back({Kind::QuerySheet, "Query", ""});
  if (querySheetScripts.empty()) return false;
  const auto script = std::move(querySheetScripts.front());
  querySheetScripts.pop_front();
  return script(sheet);
}

Answer ScriptedFrontend::isARoot(MyBoxIsARoot& box) {
  shown.push_back({Kind::IsARootDialog, "Is this a root?", ""});
  if (!isARootScripts.empty()) {
    const auto script = std::move(isARootScripts.front());
    isARootScripts.pop_front();
    return script(box);
  }
  if (isARootAnswers.empty()) return Answer::Yes;
  const Answer a = isARootAnswers.front();
  isARootAnswers.pop_front();
  return a;
}

bool ScriptedFrontend::infoGeneral(MyBoxInfoGeneral& box) {
  shown.push_back({Kind::InfoGeneralDialog, "Image information", ""});
  if (infoGeneralScripts.empty()) return false;
  const auto script = std::move(infoGeneralScripts.front());
  infoGeneralScripts.pop_front();
  return script(box);
}

Answer ScriptedFrontend::resultFileExists(ResultFileExistBox& box) {
  shown.push_back({Kind::ResultFileExistDialog, "Warning!", ""});
  if (resultFileExistScripts.empty()) return Answer::Cancel;
  const auto script = std::move(resultFileExistScripts.front());
  resultFileExistScripts.pop_front();
  return script(box);
}

bool ScriptedFrontend::resultFolder(ResultBox& box) {
  shown.push_back({Kind::ResultFolderDialog, "Result folder path", ""});
  if (resultFolderScripts.empty()) return false;
  const auto script = std::move(resultFolderScripts.front());
  resultFolderScripts.pop_front();
  return script(box);
}

Answer ScriptedFrontend::ask(const DialogRequest& request) {
  const auto answer = [](bool ok) { return ok ? Answer::Yes : Answer::Cancel; };
  return std::visit(
      Overloaded{[&](ThresholdModel* model) { return answer(runThresholdDialog(*model)); },
                 [&](ErosionMethodModel* model) { return answer(runErosionMethodDialog(*model)); },
                 [&](RetouchModel* model) { return answer(runRetouchDialog(*model)); },
                 [&](PasswordSQL* dialog) { return answer(passwordSql(*dialog)); },
                 [&](SaveFileRequest* save) {
                   save->choice = chooseSaveFile(save->filters);
                   return answer(save->choice.status == 1);
                 },
                 [&](BoxQueryPRS* sheet) { return answer(runQuerySheet(*sheet)); },
                 [&](MyBoxIsARoot* box) { return isARoot(*box); },
                 [&](MyBoxInfoGeneral* box) { return answer(infoGeneral(*box)); },
                 [&](ResultFileExistBox* box) { return resultFileExists(*box); },
                 [&](ResultBox* box) { return answer(resultFolder(*box)); }},
      request);
}

std::vector<std::string> ScriptedFrontend::messages() const {
  std::vector<std::string> out;
  for (const Shown& s : shown)
    if (s.kind == Kind::Message) out.push_back(s.text);
  return out;
}

}  // namespace FRONTEND
