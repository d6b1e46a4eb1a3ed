#include "base/frontend.h"

#include <cerrno>
#include <cstring>

#include "base/batch_frontend.h"
#include "base/utf8_cut.h"

namespace FRONTEND {

namespace {

// Each thread meets the user through its own frontend: the desktop program
// installs its windows on the interface thread, a batch run one frontend
// per worker. A thread that installed none uses a batch frontend of its own.
thread_local Frontend* t_current = nullptr;

Frontend& defaultFrontend() {
  thread_local BatchFrontend fallback;
  return fallback;
}

std::string title() { return std::string(kAppTitle.substr(0, kMaxTitle)); }

}  // namespace

Frontend& Current() { return t_current != nullptr ? *t_current : defaultFrontend(); }

Frontend* Install(Frontend* f) {
  Frontend* previous = t_current;
  t_current = f;
  return previous;
}

std::string CutText(std::string_view s, std::size_t n) { return cutUtf8(s, n); }

void ShowMessage(std::string_view text) { Current().showMessage(title(), CutText(text, kMaxMessage)); }

bool AskYesNo(std::string_view text) { return Current().askYesNo(title(), CutText(text, kMaxMessage)); }

bool AskOkCancel(std::string_view text) { return Current().askOkCancel(title(), CutText(text, kMaxMessage)); }

Answer AskYesNoCancel(std::string_view text) {
  return Current().askYesNoCancel(title(), CutText(text, kMaxMessage));
}

FolderChoice ChooseFolder(std::string_view chooserTitle, std::string_view startFolder) {
  return Current().chooseFolder(CutText(chooserTitle, kMaxTitle), std::string(startFolder));
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
