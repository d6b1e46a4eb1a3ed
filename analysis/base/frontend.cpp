#include "base/frontend.h"

#include <cerrno>
#include <cstring>

#include "base/batch_frontend.h"
#include "base/utf8_cut.h"

namespace FRONTEND {

namespace {

// Shows through a batch frontend of its own, made for the call, so that no
// answer given to one caller is left for the next.
class StderrFrontend final : public Frontend {
 public:
  void showMessage(const std::string& title, const std::string& text) override {
    BatchFrontend().showMessage(title, text);
  }
  bool askYesNo(const std::string& title, const std::string& text) override {
    return BatchFrontend().askYesNo(title, text);
  }
  bool askOkCancel(const std::string& title, const std::string& text) override {
    return BatchFrontend().askOkCancel(title, text);
  }
  Answer askYesNoCancel(const std::string& title, const std::string& text) override {
    return BatchFrontend().askYesNoCancel(title, text);
  }
  FolderChoice chooseFolder(const std::string& title, const std::string& startFolder) override {
    return BatchFrontend().chooseFolder(title, startFolder);
  }
  Answer ask(const DialogRequest& request) override { return BatchFrontend().ask(request); }
};

std::string title() { return std::string(kAppTitle.substr(0, kMaxTitle)); }

}  // namespace

Frontend& DefaultFrontend() {
  // Holds no data: shared by every caller on every thread.
  static StderrFrontend frontend;
  return frontend;
}

Answer DefaultAnswer(const DialogRequest& request) {
  return std::visit(
      Overloaded{[](ThresholdModel*) { return Answer::Yes; }, [](ErosionMethodModel*) { return Answer::Yes; },
                 [](MyBoxIsARoot*) { return Answer::Yes; }, [](auto*) { return Answer::Cancel; }},
      request);
}

std::string CutText(std::string_view s, std::size_t n) { return cutUtf8(s, n); }

void ShowMessage(Frontend& frontend, std::string_view text) {
  frontend.showMessage(title(), CutText(text, kMaxMessage));
}

bool AskYesNo(Frontend& frontend, std::string_view text) {
  return frontend.askYesNo(title(), CutText(text, kMaxMessage));
}

bool AskOkCancel(Frontend& frontend, std::string_view text) {
  return frontend.askOkCancel(title(), CutText(text, kMaxMessage));
}

Answer AskYesNoCancel(Frontend& frontend, std::string_view text) {
  return frontend.askYesNoCancel(title(), CutText(text, kMaxMessage));
}

FolderChoice ChooseFolder(Frontend& frontend, std::string_view chooserTitle, std::string_view startFolder) {
  return frontend.chooseFolder(CutText(chooserTitle, kMaxTitle), std::string(startFolder));
}

std::string SystemErrorText(int err) {
  char buffer[256] = {};
  // The GNU strerror_r may return a static string instead of filling buffer.
  const char* text = strerror_r(err, buffer, sizeof buffer);
  std::string s = text != nullptr ? text : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return CutText(s, kMaxSystemError);
}

std::string SystemErrorText() { return SystemErrorText(errno); }

}  // namespace FRONTEND
