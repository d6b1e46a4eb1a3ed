#include "batch/database_commands.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

#include "base/batch_frontend.h"
#include "batch/command_line.h"
#include "database/import.h"
#include "database/password_sql.h"
#include "database/query_pages.h"
#include "database/query_run.h"

const char* const kAddDataUsage =
    "       morvane-batch add-data FOLDER [--again] [--admin-password-file FILE] [--account-host PATTERN]\n";
const char* const kInquireUsage =
    "       morvane-batch inquire QUERY-FILE --out FILE [--delimiter comma|tab|space]\n";

namespace {

bool readWholeFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  out = s.str();
  return true;
}

// The administrator password typed on the terminal without echo (or read
// from standard input when that is no terminal).
bool readPasswordFromTerminal(std::string& password) {
  const bool terminal = ::isatty(STDIN_FILENO) != 0;
  termios saved{};
  if (terminal) {
    std::fprintf(stderr, "%s ", std::string(PasswordSQL::kPrompt).c_str());
    std::fflush(stderr);
    if (::tcgetattr(STDIN_FILENO, &saved) == 0) {
      termios quiet = saved;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
  }
  std::string line;
  bool got = false;
  int c = 0;
  while ((c = std::fgetc(stdin)) != EOF) {
    got = true;
    if (c == '\n') break;
    line += static_cast<char>(c);
  }
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputc('\n', stderr);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  password = line;
  return got;
}

// Words of a query file line; a word in double quotes may hold spaces.
bool splitWords(std::string_view line, std::vector<std::string>& words) {
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string word;
    if (line[i] == '"') {
      const std::size_t end = line.find('"', i + 1);
      if (end == std::string_view::npos) return false;
      word = std::string(line.substr(i + 1, end - i - 1));
      i = end + 1;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') word += line[i++];
    }
    words.push_back(std::move(word));
  }
  return true;
}

std::string trimmed(std::string_view s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return "";
  const auto e = s.find_last_not_of(" \t\r");
  return std::string(s.substr(b, e - b + 1));
}

}  // namespace

int FilterForFileName(std::string_view name) {
  auto endsWith = [&](std::string_view ext) {
    return name.size() >= ext.size() && name.substr(name.size() - ext.size()) == ext;
  };
  if (endsWith(".csv")) return 0;
  if (endsWith(".txt")) return 1;
  return 2;
}

bool ApplyQueryFile(std::string_view text, BoxQueryPRS& sheet, std::string& error) {
  KW_PrpPag* page = nullptr;
  int number = 0;
  std::size_t pos = 0;
  auto fail = [&](const std::string& what) {
    error = "query file line " + std::to_string(number) + ": " + what;
    return false;
  };
  while (pos <= text.size()) {
    const std::size_t end = std::min(text.find('\n', pos), text.size());
    const std::string line = trimmed(text.substr(pos, end - pos));
    pos = end + 1;
    ++number;
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') return fail("a page title ends with ]");
      page = sheet.findPage(line.substr(1, line.size() - 2));
      if (page == nullptr) return fail("unknown page " + line);
      page->open();
      continue;
    }
    if (page == nullptr) return fail("no page given yet");

    if (line.rfind("show ", 0) == 0 || line == "show") {
      const std::string rest = trimmed(std::string_view(line).substr(4));
      if (rest == "all") {
        page->setSelectAll(true);
        continue;
      }
      std::size_t p = 0;
      while (p <= rest.size()) {
        const std::size_t comma = std::min(rest.find(',', p), rest.size());
        std::string label = trimmed(std::string_view(rest).substr(p, comma - p));
        if (label.size() >= 2 && label.front() == '"' && label.back() == '"')
          label = label.substr(1, label.size() - 2);
        const int row = page->findRow(label);
        if (row < 0) return fail("unknown label \"" + label + "\" on the page " + std::string(page->title()));
        page->setTicked(static_cast<std::size_t>(row), true);
        p = comma + 1;
      }
      continue;
    }

    if (!page->hasCriteria()) return fail("the page " + std::string(page->title()) + " takes no criteria");
    std::vector<std::string> words;
    if (!splitWords(line, words)) return fail("a double quote is not closed");
    // The longest run of leading words that is a label of the page.
    int row = -1;
    std::size_t used = 0;
    std::string label;
    for (std::size_t k = 1; k <= words.size(); ++k) {
      label += (k > 1 ? " " : "") + words[k - 1];
      const int r = page->findRow(label);
      if (r >= 0) {
        row = r;
        used = k;
      }
    }
    if (row < 0) return fail("unknown label in \"" + line + "\" on the page " + std::string(page->title()));
    int oper = -1;
    if (used + 1 < words.size() && words[used] == "not" && words[used + 1] == "between") {
      oper = kNotBetweenOperator;
      used += 2;
    } else if (used < words.size()) {
      for (std::size_t i = 1; i < kQueryOperators.size(); ++i)
        if (kQueryOperators[i] == words[used]) oper = static_cast<int>(i);
      if (oper < 0) return fail("unknown operator \"" + words[used] + "\"");
      ++used;
    } else {
      return fail("an operator is missing");
    }
    const std::size_t values = words.size() - used;
    if (values < 1 || values > 2) return fail("one or two values are expected");
    // A criterion that would make no valid statement is refused here,
    // before anything is queried.
    const bool between = oper == kBetweenOperator || oper == kNotBetweenOperator;
    const std::string operText(kQueryOperators[static_cast<std::size_t>(oper)]);
    if (between && values != 2) return fail(operText + " takes two values");
    if (!between && values != 1) return fail(operText + " takes one value");
    const auto r = static_cast<std::size_t>(row);
    page->selectOperator(r, oper);
    const bool numbers = !page->row(r).digitsOnly ||
                         (IsQueryNumber(words[used]) && (values == 1 || IsQueryNumber(words[used + 1])));
    if (!numbers || !page->typeValue1(r, words[used]) ||
        (values == 2 && !page->typeValue2(r, words[used + 1])))
      return fail("the field " + std::string(page->row(r).display) + " takes a number");
  }
  return true;
}

int RunAddDataCommand(const std::vector<std::string>& args) {
  std::string folder;
  std::optional<std::string> passwordFile;
  bool again = false;
  std::string accountHost;
  const auto command =
      NewCommand("add-data", "Adds the result files of a folder to the database.", kAddDataUsage);
  command->add_option("FOLDER", folder, "the folder of result files")->required();
  command
      ->add_option("--admin-password-file", passwordFile,
                   "the database administrator's password, read from this file (asked otherwise)")
      ->type_name("FILE");
  command->add_flag("--again", again, "imports files whose content was imported before once more");
  command
      ->add_option("--account-host", accountHost,
                   "the computers the set-up lets in with the program's account (a MySQL host pattern such "
                   "as 10.0.%; by default localhost for a local server, % for one elsewhere)")
      ->type_name("PATTERN");
  if (const auto status = ParseCommand(*command, args)) return *status;
  const bool havePasswordFile = passwordFile.has_value();

  FRONTEND::BatchAnswers answers;
  answers.folder = folder;
  answers.adminPassword = [&](PasswordSQL& dialog) {
    std::string password;
    if (havePasswordFile) {
      if (!readWholeFile(*passwordFile, password)) {
        std::fprintf(stderr, "morvane-batch: cannot read %s\n", passwordFile->c_str());
        return false;
      }
      // One line: its line break is not part of the password.
      if (!password.empty() && password.back() == '\n') password.pop_back();
      if (!password.empty() && password.back() == '\r') password.pop_back();
    } else if (!readPasswordFromTerminal(password)) {
      return false;
    }
    dialog.type(password);
    return true;
  };
  FRONTEND::BatchFrontend frontend(answers);

  ImportOptions options;
  options.oneConnection = true;
  options.again = again;
  options.accountHost = accountHost;
  options.onFile = [](const FileReport& report) {
    std::printf("%s\n", FileReportLine(report).c_str());
    std::fflush(stdout);
  };
  ImportSummary summary;
  const AddDataResult result = Add_Data(frontend, options, &summary);
  if (result == AddDataResult::Ended) return 1;
  std::printf("%i result file(s): %i inserted, %i already imported, %i failed, %i stored with cut texts\n",
              summary.found, summary.inserted, summary.already, summary.failed, summary.cut);
  if (summary.skipped > 0) std::printf("%i other file(s) skipped\n", summary.skipped);
  return result == AddDataResult::Inserted ? 0 : 1;
}

int RunInquireCommand(const std::vector<std::string>& args) {
  std::string queryFile;
  std::string out;
  std::optional<std::string> delimiter;
  const auto command =
      NewCommand("inquire", "Runs the inquiry of a query file and writes what it selects.", kInquireUsage);
  command->add_option("QUERY-FILE", queryFile, "the query file")->required();
  command->add_option("--out", out, "the file to write")->type_name("FILE")->required();
  command
      ->add_option("--delimiter", delimiter,
                   "between the columns: comma, tab or space (by default from the "
                   "file's extension)")
      ->type_name("comma|tab|space");
  if (const auto status = ParseCommand(*command, args)) return *status;
  int filter = -1;
  if (delimiter) {
    const std::string& d = *delimiter;
    filter = d == "comma" ? 0 : d == "tab" ? 1 : d == "space" ? 2 : -2;
    if (filter == -2) return BadArgument("the delimiter is comma, tab or space");
  }
  std::string text;
  if (!readWholeFile(queryFile, text)) {
    std::fprintf(stderr, "morvane-batch: cannot read %s\n", queryFile.c_str());
    return 2;
  }
  // The whole file is checked before anything is queried.
  {
    BoxQueryPRS check;
    std::string error;
    if (!ApplyQueryFile(text, check, error)) {
      std::fprintf(stderr, "morvane-batch: %s\n", error.c_str());
      return 2;
    }
    check.pressOk();
    for (const std::string& warning : check.Unused_Criteria())
      std::fprintf(stderr, "morvane-batch: warning: %s\n", warning.c_str());
  }

  FRONTEND::BatchAnswers answers;
  answers.saveFile = out;
  answers.saveFilter = filter >= 0 ? filter : FilterForFileName(out);
  answers.querySheet = [&text](BoxQueryPRS& sheet) {
    std::string error;
    return ApplyQueryFile(text, sheet, error);
  };
  FRONTEND::BatchFrontend frontend(answers);
  switch (Inquire(frontend, true)) {
    case InquireResult::Written:
      std::printf("%s written\n", out.c_str());
      return 0;
    case InquireResult::NoResults:
      std::printf("no results: %s not written\n", out.c_str());
      return 0;
    default:
      return 1;
  }
}
