// Inserting analysed pictures into the database: 200 pictures of 10 plants
// with 10 lateral roots each (one of them with 3 second-order laterals), one
// connection per picture through Insert_Picture_Data as the import does,
// against loading the same rows with LOAD DATA LOCAL INFILE, the practical
// limit of the server.
//
// The benchmark starts a private server with scripts/test-mariadb in a
// temporary folder and stops it at the end, unless MORVANE_DB_SOCKET and
// MORVANE_DB_PORT already name one (whose root has an empty password). The
// server belongs to the benchmark's process: it is stopped also when the
// benchmark is killed.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_db_server.h"
#include "database/database_setup.h"
#include "database/kw_sql.h"
#include "support/scripted_frontend.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPictures = 200;
constexpr int kPlants = 10;
constexpr int kLaterals = 10;
constexpr int kSecondOrder = 3;
constexpr int kRowsPerPicture = 1 + kPlants * (1 + kLaterals + kSecondOrder);

INFO_PICTURE makePicture(int n) {
  INFO_PICTURE p;
  p.user = "bench";
  p.experiment = "speed";
  p.name = "plate_" + std::to_string(n) + ".bmp";
  p.plate = "plate " + std::to_string(n);
  p.media = "MS";
  p.genotype = "Col-0";
  p.age = 9;
  for (int i = 0; i < kPlants; ++i) {
    INFO_MR m;
    m.main_length = 50.0f + static_cast<float>(i);
    m.main_straightness = 45.5f;
    m.main_angle = 3.25f;
    for (int j = 0; j < kLaterals; ++j) {
      INFO_LR r;
      r.length = 5.0f + static_cast<float>(j);
      r.straightness = 4.5f;
      r.position = 2.0f * static_cast<float>(j + 1);
      r.angle = 40.0f;
      if (j == 0) {
        for (int k = 0; k < kSecondOrder; ++k) {
          INFO_LR c;
          c.length = 1.0f + static_cast<float>(k);
          c.straightness = 0.75f;
          c.position = 0.5f * static_cast<float>(k + 1);
          c.angle = -35.0f;
          r.children.push_back(c);
        }
        r.nbr_child = kSecondOrder;
      }
      m.children.push_back(r);
    }
    m.nbr_secondary_root = kLaterals;
    p.arbre.push_back(m);
  }
  p.nbr = kPlants;
  return p;
}

// The private server and the program folder of the run.
using BenchServer = BenchDbServer;

BenchServer* g_server = nullptr;

// A connection of the benchmark itself, allowed to send local files.
MysqlHandle rootConnection() {
  MysqlHandle h(mysql_init(nullptr));
  if (h == nullptr) return h;
  const unsigned int localInfile = 1;
  mysql_options(h.get(), MYSQL_OPT_LOCAL_INFILE, &localInfile);
  mysql_options(h.get(), MYSQL_SET_CHARSET_NAME, "utf8mb4");
  const char* socket = std::getenv(dbparam::kSocketVariable);
  if (mysql_real_connect(h.get(), "localhost", "root", "", "plant", 0, socket, 0) == nullptr) h.reset();
  return h;
}

bool run(MYSQL* h, const std::string& statement) {
  if (mysql_real_query(h, statement.data(), static_cast<unsigned long>(statement.size())) == 0) return true;
  std::fprintf(stderr, "db_bench: %s: %s\n", statement.c_str(), mysql_error(h));
  return false;
}

bool emptyTables() {
  const MysqlHandle h = rootConnection();
  return h != nullptr && run(h.get(), "TRUNCATE TABLE `Picture`") &&
         run(h.get(), "TRUNCATE TABLE `Main Root`") && run(h.get(), "TRUNCATE TABLE `Secondary Root`");
}

// Rows in the three result tables, to make sure both ways stored everything.
long long storedRows() {
  const MysqlHandle h = rootConnection();
  if (h == nullptr || !run(h.get(),
                           "SELECT (SELECT COUNT(*) FROM `Picture`) + (SELECT COUNT(*) FROM `Main Root`) + "
                           "(SELECT COUNT(*) FROM `Secondary Root`)"))
    return -1;
  const MysqlResult r(mysql_store_result(h.get()));
  MYSQL_ROW row = r != nullptr ? mysql_fetch_row(r.get()) : nullptr;
  return row != nullptr && row[0] != nullptr ? std::atoll(row[0]) : -1;
}

void BM_InsertPictureData(benchmark::State& state) {
  if (g_server == nullptr || !g_server->ready()) {
    state.SkipWithError("no database server");
    return;
  }
  const INFO_PICTURE picture = makePicture(1);
  FRONTEND::ScriptedFrontend script;
  for (auto _ : state) {
    state.PauseTiming();
    if (!emptyTables()) {
      state.SkipWithError("cannot empty the tables");
      return;
    }
    state.ResumeTiming();
    for (int i = 0; i < kPictures; ++i) {
      KW_SQL c(script);
      if (c.Connect(dbparam::kLocalHost, dbparam::kProgramUser, dbparam::kProgramPassword, dbparam::kPort,
                    1) == 0 ||
          c.Select_Base(dbparam::kPlantBase) == 0) {
        state.SkipWithError("connection failed");
        return;
      }
      c.Insert_Picture_Data(picture);
      c.Disconnect();
    }
  }
  if (!script.shown.empty()) state.SkipWithError(script.shown.front().text.c_str());
  if (storedRows() != static_cast<long long>(kPictures) * kRowsPerPicture)
    state.SkipWithError("not every row was stored");
  state.counters["rows"] = benchmark::Counter(
      static_cast<double>(kPictures) * kRowsPerPicture * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}

// The same rows as tab-separated files with their ids given, loaded in one
// connection.
void writeBulkFiles(const fs::path& folder) {
  const INFO_PICTURE p = makePicture(1);
  std::ofstream pictures(folder / "picture.tsv"), mains(folder / "main.tsv"),
      laterals(folder / "lateral.tsv");
  int mainId = 0;
  int lateralId = 0;
  char line[512];
  for (int pic = 1; pic <= kPictures; ++pic) {
    pictures << pic << '\t' << p.user << '\t' << p.experiment << '\t' << p.name << '\t' << p.plate << '\t'
             << p.age << '\t' << p.media << '\t' << p.nbr << '\t' << p.genotype << '\n';
    for (int i = 0; i < kPlants; ++i) {
      const INFO_MR& m = p.arbre[static_cast<std::size_t>(i)];
      std::snprintf(line, sizeof line, "%d\t%d\t%f\t%f\t%f\t%d\t%s\t%d\n", ++mainId, i + 1,
                    static_cast<double>(m.main_length), static_cast<double>(m.main_straightness),
                    static_cast<double>(m.main_angle), m.nbr_secondary_root, m.genotype.c_str(), pic);
      mains << line;
      for (int j = 0; j < kLaterals; ++j) {
        const INFO_LR& r = m.children[static_cast<std::size_t>(j)];
        const int ownId = ++lateralId;
        std::snprintf(line, sizeof line, "%d\t%d\t%f\t%f\t%f\t%f\t%d\t%d\t%d\n", ownId, j + 1,
                      static_cast<double>(r.length), static_cast<double>(r.straightness),
                      static_cast<double>(r.angle), static_cast<double>(r.position), r.nbr_child, 1, mainId);
        laterals << line;
        for (int k = 0; k < r.nbr_child; ++k) {
          const INFO_LR& c = r.children[static_cast<std::size_t>(k)];
          std::snprintf(line, sizeof line, "%d\t%d\t%f\t%f\t%f\t%f\t%d\t%d\t%d\n", ++lateralId, k + 1,
                        static_cast<double>(c.length), static_cast<double>(c.straightness),
                        static_cast<double>(c.angle), static_cast<double>(c.position), 0, 2, ownId);
          laterals << line;
        }
      }
    }
  }
}

void BM_LoadDataLocalInfile(benchmark::State& state) {
  if (g_server == nullptr || !g_server->ready()) {
    state.SkipWithError("no database server");
    return;
  }
  const fs::path folder = g_server->home();
  writeBulkFiles(folder);
  for (auto _ : state) {
    state.PauseTiming();
    if (!emptyTables()) {
      state.SkipWithError("cannot empty the tables");
      return;
    }
    state.ResumeTiming();
    const MysqlHandle h = rootConnection();
    const bool ok = h != nullptr &&
                    run(h.get(), "LOAD DATA LOCAL INFILE '" + (folder / "picture.tsv").string() +
                                     "' INTO TABLE `Picture`") &&
                    run(h.get(), "LOAD DATA LOCAL INFILE '" + (folder / "main.tsv").string() +
                                     "' INTO TABLE `Main Root`") &&
                    run(h.get(), "LOAD DATA LOCAL INFILE '" + (folder / "lateral.tsv").string() +
                                     "' INTO TABLE `Secondary Root`");
    if (!ok) {
      state.SkipWithError("LOAD DATA LOCAL INFILE failed");
      return;
    }
  }
  if (storedRows() != static_cast<long long>(kPictures) * kRowsPerPicture)
    state.SkipWithError("not every row was stored");
  state.counters["rows"] = benchmark::Counter(
      static_cast<double>(kPictures) * kRowsPerPicture * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}

BENCHMARK(BM_InsertPictureData)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_LoadDataLocalInfile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  BenchServer server("dbbench");
  g_server = &server;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_server = nullptr;
  return 0;
}
