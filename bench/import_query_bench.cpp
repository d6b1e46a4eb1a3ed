// Add data and Inquire at the size of a large experiment: 500 result files of
// 10 plants with 10 lateral roots each (one of them with 3 second-order
// laterals), checked and imported with their records, then everything
// fetched and written in the layout with one row per lateral root, and the
// pictures alone and the main roots alone. Each with one connection per
// statement (the desktop program) and with one connection for the whole run
// (the batch).
//
// The benchmark starts a private server with scripts/test-mariadb in a
// temporary folder and stops it at the end, unless MORVANE_DB_SOCKET and
// MORVANE_DB_PORT already name one (whose root has an empty password).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_db_server.h"
#include "database/database_setup.h"
#include "database/import.h"
#include "database/kw_sql.h"
#include "database/query_run.h"
#include "support/scripted_frontend.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 500;
constexpr int kPlants = 10;
constexpr int kLaterals = 10;
constexpr int kSecondOrder = 3;
constexpr int kRowsPerFile = 1 + kPlants * (1 + kLaterals + kSecondOrder);

// One result file as Save experiment writes it.
std::string resultFile(int n) {
  std::string s = "plate_" + std::to_string(n) +
                  "\nUser name: bench\nExperiment name: speed\nBox name: box\nGenotype: Col-0\nMedia: MS\n"
                  "Age of plants: 9 day(s) after germination\nNumber of plant: " +
                  std::to_string(kPlants) + "\nscale 0.004233\n";
  char line[400];
  for (int k = 1; k <= kPlants; ++k) {
    std::snprintf(line, sizeof line,
                  "\n\n\nRoot %i: \nMain root length: %f\nMain root vector: %f\nMain root angle: %f\n"
                  "Number lateral root(s): %i\n",
                  k, 50.0 + k, 45.5, 3.25, kLaterals);
    s += line;
    for (int j = 1; j <= kLaterals; ++j) {
      const int children = j == 1 ? kSecondOrder : 0;
      std::snprintf(
          line, sizeof line,
          "\tR%i-LR%i: Length: %f\tPosition: %f\tVector: %f\tAngle: %f\tNumber secondary root(s): %i\n", k, j,
          5.0 + j, 2.0 * j, 4.5, 40.0, children);
      s += line;
      for (int c = 1; c <= children; ++c) {
        std::snprintf(line, sizeof line,
                      "\t\tR%i-LR%i-LR%i: Length: %f\tPosition: %f\tVector: %f\tAngle: %f\t"
                      "Number secondary root(s): 0\n",
                      k, j, c, 1.0 + c, 0.5 * c, 0.75, -35.0);
        s += line;
      }
    }
  }
  return s;
}

// The private server, and the result files to import in its program folder.
class BenchServer : public BenchDbServer {
 public:
  BenchServer() : BenchDbServer("iqbench") {
    std::filesystem::create_directories(results());
    for (int i = 0; i < kFiles; ++i) {
      std::ofstream f(results() / ("plate_" + std::to_string(i) + ".txt"), std::ios::binary);
      f << resultFile(i);
    }
  }
  fs::path results() const { return home() / "results"; }
};

BenchServer* g_server = nullptr;

bool emptyTables(FRONTEND::Frontend& frontend) {
  KW_SQL c(frontend);
  if (c.Connect(dbparam::kLocalHost, dbparam::kRootUser, "", dbparam::kPort, 0) == 0) return false;
  const bool ok = c.Select_Base(dbparam::kPlantBase) != 0 && c.Query("TRUNCATE TABLE `Picture`") != 0 &&
                  c.Query("TRUNCATE TABLE `Main Root`") != 0 &&
                  c.Query("TRUNCATE TABLE `Secondary Root`") != 0 &&
                  c.Query("TRUNCATE TABLE `Imported file`") != 0;
  c.Disconnect();
  return ok;
}

void BM_AddData(benchmark::State& state) {
  if (g_server == nullptr || !g_server->ready()) {
    state.SkipWithError("no database server");
    return;
  }
  FRONTEND::ScriptedFrontend script;
  ImportOptions options;
  options.oneConnection = state.range(0) != 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!emptyTables(script)) {
      state.SkipWithError("cannot empty the tables");
      return;
    }
    state.ResumeTiming();
    ResultImport import(script, options);
    import.Insert_Folder(g_server->results().string());
    if (import.summary().inserted != kFiles) {
      state.SkipWithError("not every result file went in");
      return;
    }
  }
  state.counters["rows"] =
      benchmark::Counter(static_cast<double>(kFiles) * kRowsPerFile * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

// Everything ticked: one row per lateral root, with its picture, main root
// and derived values. Runs on the tables the last import left.
void BM_InquireEverything(benchmark::State& state) {
  if (g_server == nullptr || !g_server->ready()) {
    state.SkipWithError("no database server");
    return;
  }
  FRONTEND::ScriptedFrontend script;
  const std::string out = (g_server->home() / "everything.csv").string();
  std::size_t rows = 0;
  for (auto _ : state) {
    BoxQueryPRS sheet;
    for (std::size_t p = 0; p < sheet.pageCount(); ++p) {
      sheet.page(p).open();
      sheet.page(p).setSelectAll(true);
    }
    sheet.pressOk();
    QueryRun run(script, state.range(0) != 0);
    run.Run_Queries(sheet);
    run.Compute_More_Parameters();
    sheet.Set_Labels();
    run.Write_Query_File(out, QueryRun::Output_Mode(sheet), sheet);
    rows = run.laterals.size();
    state.counters["statements"] = run.statementCount();
  }
  if (rows != static_cast<std::size_t>(kFiles) * kPlants * (kLaterals + kSecondOrder))
    state.SkipWithError("not every lateral root was fetched");
  state.counters["rows"] = benchmark::Counter(
      static_cast<double>(rows) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// One page ticked whole: pictures alone, or main roots alone (with the
// values of More parameters that need no lateral root). Neither reads a
// lateral root.
void inquireOnePage(benchmark::State& state, std::size_t pageIndex, std::size_t expectedRows) {
  if (g_server == nullptr || !g_server->ready()) {
    state.SkipWithError("no database server");
    return;
  }
  FRONTEND::ScriptedFrontend script;
  const std::string out = (g_server->home() / "one-page.csv").string();
  std::size_t rows = 0;
  for (auto _ : state) {
    BoxQueryPRS sheet;
    sheet.page(pageIndex).open();
    sheet.page(pageIndex).setSelectAll(true);
    sheet.pressOk();
    QueryRun run(script, state.range(0) != 0);
    run.Run_Queries(sheet);
    run.Compute_More_Parameters();
    sheet.Set_Labels();
    run.Write_Query_File(out, QueryRun::Output_Mode(sheet), sheet);
    rows = pageIndex == 0 ? run.pictures.size() : run.mainRoots.size();
    if (!run.laterals.empty()) state.SkipWithError("lateral roots were read");
    state.counters["statements"] = run.statementCount();
  }
  if (rows != expectedRows) state.SkipWithError("not every row was fetched");
}

void BM_InquirePictures(benchmark::State& state) { inquireOnePage(state, 0, kFiles); }
void BM_InquireMainRoots(benchmark::State& state) {
  inquireOnePage(state, 1, static_cast<std::size_t>(kFiles) * kPlants);
}

// Argument: 0 one connection per statement, 1 one connection for the run.
BENCHMARK(BM_AddData)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_InquireEverything)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_InquirePictures)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_InquireMainRoots)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  BenchServer server;
  g_server = &server;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_server = nullptr;
  return 0;
}
