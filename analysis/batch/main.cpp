// morvane-batch: the analysis and database work of Morvane without a window.
#include <clocale>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "base/kw_log.h"
#include "batch/analyze_command.h"
#include "batch/batch_load.h"
#include "batch/batch_palette.h"
#include "batch/command_line.h"
#include "batch/database_commands.h"
#include "batch/image_commands.h"
#include "batch/measure_command.h"
#include "image/pic_doc.h"
#include "morvane_version.h"

namespace {

const char* const kInfoUsage = "       morvane-batch info FILE.bmp\n";
const char* const kConvertUsage = "       morvane-batch convert IN.bmp OUT.bmp [--depth N]\n";

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
  std::string file;
  const auto command =
      NewCommand("info", "Prints the size, depth, palette and resolution of a bitmap.", kInfoUsage);
  command->add_option("FILE.bmp", file, "the bitmap")->required();
  if (const auto status = ParseCommand(*command, args)) return *status;
  KW_PicDoc doc;
  if (!LoadPicture(doc, file)) return 1;
  std::printf("%s: %d x %d, %d bits, %d palette entries, %d x %d pixels per metre\n", file.c_str(), doc.width,
              doc.height, doc.bitCount, doc.paletteCount, doc.xPelsPerMeter, doc.yPelsPerMeter);
  return 0;
}

int convert(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  std::optional<std::string> depthText;
  const auto command =
      NewCommand("convert", "Reads a bitmap and writes it back, at another depth if asked.", kConvertUsage);
  command->add_option("IN.bmp OUT.bmp", files, "the bitmap and the copy to write")->expected(2)->required();
  command->add_option("--depth", depthText, "bits per pixel of the copy: 1, 4, 8, 16, 24 or 32")
      ->type_name("N");
  if (const auto status = ParseCommand(*command, args)) return *status;
  int depth = 0;
  if (depthText) {
    const auto d = WholeNumber(*depthText);
    if (!d || (*d != 1 && *d != 4 && *d != 8 && *d != 16 && *d != 24 && *d != 32))
      return BadArgument("depth must be 1, 4, 8, 16, 24 or 32");
    depth = static_cast<int>(*d);
  }
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

struct Command {
  const char* name;
  const char* description;
  const char* usage;
  int (*run)(const std::vector<std::string>&);
  bool needsLogFolder;
};

int run(int argc, char** argv) {
  // Each command makes the frontend its answers need; a document left
  // without one writes its boxes to standard error and takes the defaults.
  static const Command kCommands[] = {
      {"info", "print a bitmap's size, depth, palette and resolution", kInfoUsage, info, false},
      {"convert", "write a bitmap back, at another depth if asked", kConvertUsage, convert, false},
      {"synth", "draw a synthetic plate scan with its ground truth", kSynthUsage, RunSynthCommand, false},
      {"steps", "run image steps on a bitmap", kStepsUsage, RunStepsCommand, true},
      {"measure", "measure the plants of plates", kMeasureCommandUsage, RunMeasureCommand, true},
      {"analyze", "take plates from the bitmap to the saved result file", kAnalyzeCommandUsage,
       RunAnalyzeCommand, false},
      {"add-data", "add a folder of result files to the database", kAddDataUsage, RunAddDataCommand, true},
      {"inquire", "select from the database with a query file", kInquireUsage, RunInquireCommand, true},
  };
  std::string usage;
  for (const Command& c : kCommands) usage += c.usage;
  CLI::App program("The analysis and database work of Morvane without a window.", "morvane-batch");
  program.set_version_flag("--version", "morvane-batch " MORVANE_VERSION);
  program.footer("Usage:\n" + usage + "Every command tells its options with --help.");
  program.require_subcommand(1);
  // A command reads its own options, --help among them.
  for (const Command& c : kCommands)
    program.add_subcommand(c.name, c.description)->prefix_command()->set_help_flag();
  try {
    program.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(program.help().c_str(), stdout);
    return 0;
  } catch (const CLI::CallForVersion& e) {
    std::printf("%s\n", e.what());
    return 0;
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "morvane-batch: %s\n%s", e.what(), program.help().c_str());
    return 2;
  }
  for (const Command& c : kCommands) {
    const CLI::App* chosen = program.get_subcommand(c.name);
    if (!chosen->parsed()) continue;
    if (c.needsLogFolder && !logFolderWritable()) return 1;
    return c.run(chosen->remaining());
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // The user's locale, as the desktop program takes it: what the terminal
  // shows may follow it, every number in a file, a statement or an export
  // never does.
  std::setlocale(LC_ALL, "");
  // Nothing a command throws ends the program unexplained: memory running
  // out while the options are set up, or in a command, is said like any
  // other failure.
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "morvane-batch: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "morvane-batch: unexpected failure\n");
  }
  return 1;
}
