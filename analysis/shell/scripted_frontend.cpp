#include "scripted_frontend.h"

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

std::vector<std::string> ScriptedFrontend::messages() const {
  std::vector<std::string> out;
  for (const Shown& s : shown)
    if (s.kind == Kind::Message) out.push_back(s.text);
  return out;
}

}  // namespace FRONTEND
