// morvane-batch: the analysis and database work of Morvane without a window.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/batch_frontend.h"
#include "base/kw_log.h"
#include "batch/analyze_command.h"
#include "batch/batch_load.h"
#include "batch/batch_palette.h"
#include "batch/database_commands.h"
#include "batch/image_commands.h"
#include "batch/measure_command.h"
#include "image/pic_doc.h"

namespace {

void printUsage(std::FILE* to) {
  std::fprintf(to,
               "usage: morvane-batch info FILE.bmp\n"
               "       morvane-batch convert IN.bmp OUT.bmp [--depth N]\n%s%s%s%s",
               kImageCommandsUsage, kMeasureCommandUsage, kAnalyzeCommandUsage, kDatabaseCommandsUsage);
}

int usage() {
  printUsage(stderr);
  return 2;
}

// The analysis steps keep their logs in the Log folder; without it they
// would run but could not, for instance, find a plate's frame. Say why
// before anything runs.
bool logFolderWritable() {
  const std::string problem = KW_Log::Log_Folder_Problem();
  if (problem.empty()) return true;
  std::fprintf(stderr,
               "morvane-batch: the log folder cannot be used (%s); set MORVANE_HOME to a writable folder\n",
               problem.c_str());
  return false;
}

int info(const std::vector<std::string>& args) {
  if (args.size() != 1) return usage();
  KW_PicDoc doc;
  if (!LoadPicture(doc, args[0])) return 1;
  std::printf("%s: %d x %d, %d bits, %d palette entries, %d x %d pixels per metre\n", args[0].c_str(),
              doc.width, doc.height, doc.bitCount, doc.paletteCount, doc.xPelsPerMeter, doc.yPelsPerMeter);
  return 0;
}

int convert(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  int depth = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--depth" && i + 1 < args.size()) {
      depth = std::atoi(args[++i].c_str());
      if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32) {
        std::fprintf(stderr, "morvane-batch: depth must be 1, 4, 8, 16, 24 or 32\n");
        return 2;
      }
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 2) return usage();
  KW_PicDoc doc;
  if (!LoadPicture(doc, files[0])) return 1;
  if (depth != 0) {
    // A picture without a usable table gets black and white or grey levels.
    PreparePaletteForDepth(doc, depth);
    doc.bitCount = static_cast<std::uint16_t>(depth);
  }
  if (!doc.SaveBitmap(files[1])) {
    std::fprintf(stderr, "morvane-batch: cannot write %s\n", files[1].c_str());
    return 1;
  }
  std::printf("%s: %d x %d, %d bits\n", files[1].c_str(), doc.width, doc.height, doc.bitCount);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  FRONTEND::BatchFrontend frontend;
  FRONTEND::ScopedFrontend scope(frontend);
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "--help" || command == "-h" || command == "help") {
    printUsage(stdout);
    return 0;
  }
  if ((command == "steps" || command == "measure" || command == "add-data" || command == "inquire") &&
      !logFolderWritable())
    return 1;
  if (command == "info") return info(args);
  if (command == "convert") return convert(args);
  if (command == "synth") return RunSynthCommand(args);
  if (command == "steps") return RunStepsCommand(args);
  if (command == "measure") return RunMeasureCommand(args);
  // The database commands install the frontend their answers need.
  if (command == "add-data") return RunAddDataCommand(args);
  if (command == "inquire") return RunInquireCommand(args);
  if (command == "analyze") return RunAnalyzeCommand(args);
  return usage();
}
