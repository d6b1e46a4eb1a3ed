// Fixtures of the Add data and Inquire tests against the private MariaDB
// server: result files written by hand, the sheet worked by a script, the
// output file read back, and morvane-batch run as a program.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>
#include <string_view>

#include "database/import.h"
#include "database/password_sql.h"
#include "database/query_run.h"
#include "db_test_server.h"
#include "roots/result_file.h"
#include "synth/synth_plate.h"

namespace importquerytest {

namespace fs = std::filesystem;
using dbtest::Row;
using dbtest::ServerTest;

// A lateral root of a result file and its own laterals.
struct Lateral {
  double length, position, vector, angle;
  std::vector<Lateral> children;
};
struct Plant {
  double length, vector, angle;
  std::vector<Lateral> laterals;
};

inline void writeLaterals(std::ostringstream& s, const std::vector<Lateral>& ls, const std::string& label,
                          int depth) {
  int n = 0;
  for (const Lateral& l : ls) {
    const std::string own = label + "-LR" + std::to_string(++n);
    char line[400];
    std::snprintf(line, sizeof line,
                  "%s%s: Length: %f\tPosition: %f\tVector: %f\tAngle: %f\tNumber secondary root(s): %i\n",
                  std::string(static_cast<std::size_t>(depth), '\t').c_str(), own.c_str(), l.length,
                  l.position, l.vector, l.angle, static_cast<int>(l.children.size()));
    s << line;
    writeLaterals(s, l.children, own, depth + 1);
  }
}

// A result file as Save experiment writes it.
inline std::string resultFile(const std::string& name, const std::string& user, const std::string& genotype,
                              int age, const std::vector<Plant>& plants) {
  std::ostringstream s;
  s << name << "\nUser name: " << user << "\nExperiment name: exp\nBox name: box\nGenotype: " << genotype
    << "\nMedia: MS\nAge of plants: " << age
    << " day(s) after germination\nNumber of plant: " << plants.size() << "\nscale 0.004233\n";
  int k = 0;
  for (const Plant& p : plants) {
    char head[300];
    std::snprintf(head, sizeof head,
                  "\n\n\nRoot %i: \nMain root length: %f\nMain root vector: %f\nMain root angle: %f\n"
                  "Number lateral root(s): %i\n",
                  ++k, p.length, p.vector, p.angle, static_cast<int>(p.laterals.size()));
    s << head;
    writeLaterals(s, p.laterals, "R" + std::to_string(k), 1);
  }
  return s.str();
}

// One plant with LR 1 (two branches of its own) and LR 2.
inline Plant samplePlant() {
  return {4.0,
          3.5,
          10.0,
          {{1.0, 0.5, 0.9, 45.0, {{0.25, 0.125, 0.2, 30.0, {}}, {0.5, 0.25, 0.4, 35.0, {}}}},
           {2.0, 1.5, 1.75, 50.0, {}}}};
}

// Cells of a delimited file as a standard CSV reader sees them: quoted cells
// may hold the delimiter, doubled quotes and line breaks.
inline std::vector<std::vector<std::string>> readDelimited(const std::string& text, char delimiter) {
  std::vector<std::vector<std::string>> rows(1);
  std::string cell;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        cell += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cell += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == delimiter) {
      rows.back().push_back(cell);
      cell.clear();
    } else if (c == '\n') {
      rows.back().push_back(cell);  // the cell after the last delimiter: empty
      cell.clear();
      rows.emplace_back();
    } else {
      cell += c;
    }
  }
  if (rows.back().empty()) rows.pop_back();
  return rows;
}

class ImportTest : public ServerTest {
 protected:
  fs::path folder() const { return home / "results"; }
  void file(const std::string& rel, const std::string& text) {
    fs::create_directories((folder() / rel).parent_path());
    testenv::WriteFile(folder() / rel, text);
  }
  void answerPassword(const std::string& password, bool ok = true) {
    script.passwordScripts.push_back([password, ok](PasswordSQL& d) {
      d.type(password);
      return ok;
    });
  }
  AddDataResult addData(ImportSummary* summary = nullptr, bool oneConnection = false, bool again = false) {
    script.folders.push_back({1, folder().string()});
    ImportOptions o;
    o.oneConnection = oneConnection;
    o.again = again;
    return Add_Data(script, o, summary);
  }
  std::vector<Row> pictureNames() {
    return root().rows("SELECT `Picture name` FROM plant.Picture ORDER BY `Picture name`, `Picture id`");
  }
  std::string count(const std::string& table) {
    return root().value("SELECT COUNT(*) FROM plant.`" + table + "`").value_or("?");
  }
  bool marker() const { return fs::exists(logFolder() / "log_pass.txt"); }
};

inline Row cells(std::initializer_list<const char*> cs) {
  Row r;
  for (const char* c : cs) r.emplace_back(std::string(c));
  return r;
}

class InquireTest : public ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    setUpPlant();
    fs::create_directories(logFolder());
    testenv::WriteFile(logFolder() / "log_pass.txt", "user created\n");
  }
  // Runs Inquire with the sheet worked by script; returns the file's text.
  std::string inquire(const std::function<void(BoxQueryPRS&)>& work, const std::string& name = "out.csv",
                      int filter = 0, bool oneConnection = false) {
    const std::string out = (home / name).string();
    script.saveFiles.push_back({1, out, filter});
    script.querySheetScripts.push_back([work](BoxQueryPRS& s) {
      work(s);
      return true;
    });
    Inquire(script, oneConnection);
    return testenv::ReadFile(out);
  }
  static void show(KW_PrpPag& page, std::initializer_list<const char*> labels) {
    page.open();
    for (const char* l : labels) page.setTicked(static_cast<std::size_t>(page.findRow(l)), true);
  }
  static void criterion(KW_PrpPag& page, const char* label, int op, const char* v1, const char* v2 = "") {
    page.open();
    const auto r = static_cast<std::size_t>(page.findRow(label));
    page.selectOperator(r, op);
    page.typeValue1(r, v1);
    page.typeValue2(r, v2);
  }
};

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

class BatchDatabaseTest : public InquireTest {
 protected:
  ProgramRun run(const std::string& arguments) {
    ProgramRun r;
    const std::string outFile = (home / "stdout.txt").string();
    const std::string errFile = (home / "stderr.txt").string();
    // Variable assignments before the command name go to the program's environment.
    std::string env;
    std::string rest = arguments;
    while ((rest.rfind("MORVANE_", 0) == 0 || rest.rfind("LC_ALL=", 0) == 0) &&
           rest.find('=') < rest.find(' ')) {
      env += rest.substr(0, rest.find(' ') + 1);
      rest = rest.substr(rest.find(' ') + 1);
    }
    const std::string command = env + "'" + MORVANE_BATCH_PROGRAM + "' " + rest + " </dev/null >'" + outFile +
                                "' 2>'" + errFile + "'";
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = testenv::ReadFile(outFile);
    r.err = testenv::ReadFile(errFile);
    return r;
  }
};

}  // namespace importquerytest
